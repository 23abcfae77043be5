// An intrusive doubly linked list between a head and a tail sentinel owned by the user;
// the nodes live inside the users' records, so nothing is allocated.
#pragma once

#include <cstdint>

struct ListNode {
  int32_t key;     // the owner's key; -1 in the sentinels
  uintptr_t data;  // the owner's value (an address fits)
  ListNode* prev;  // null in the head sentinel
  ListNode* next;  // null in the tail sentinel
};

// Links head and tail to each other; 0.
int ListInit(ListNode* head, ListNode* tail);
// Stores key and data in node and links it directly after `at` (never the tail): after
// the head, the newest node comes first. 0.
int ListInsertAfter(ListNode* at, ListNode* node, int32_t key, uintptr_t data);
// Links the node's neighbours to each other (not a sentinel); the node keeps its fields. 0.
int ListUnlink(ListNode* node);
