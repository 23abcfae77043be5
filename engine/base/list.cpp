#include "engine/base/list.h"

int ListInit(ListNode* head, ListNode* tail) {
  *head = ListNode{-1, 0, nullptr, tail};
  *tail = ListNode{-1, 0, head, nullptr};
  return 0;
}

int ListInsertAfter(ListNode* at, ListNode* node, int32_t key, uintptr_t data) {
  node->key = key;
  node->data = data;
  node->prev = at;
  node->next = at->next;
  at->next->prev = node;
  at->next = node;
  return 0;
}

int ListUnlink(ListNode* node) {
  node->prev->next = node->next;
  node->next->prev = node->prev;
  return 0;
}
