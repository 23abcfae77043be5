// HTTP/1.0 requests (GET, POST, HEAD) over raw network connections, up to 100 at a time.
// Each request lives in a slot and is a small state machine that the message pump steps
// once per round, doing only what the data already waiting allows.
#pragma once

#include <cstdint>

struct PlatFile;

enum : int32_t { HTTP_SLOT_COUNT = 100 };
// The body bytes one round of the pump moves for all running requests together (taken
// from the connections), shared among them with at
// least 4096 each: a peer that sends without pause fills its download over many rounds
// and never holds one up.
enum : int32_t { HTTP_BYTES_PER_ROUND = 256 << 10 };
// A request that gets no byte for this long ends as failed (the program can change it).
enum : uint32_t { HTTP_DEFAULT_INACTIVITY_MS = 30000 };
enum : int32_t { HTTP_GET = 0, HTTP_POST = 1, HTTP_HEAD = 2 };
enum : int32_t { HTTP_TO_FILE = 0, HTTP_TO_MEMORY = 1 };
// Detail of a failure (result 2).
enum : int32_t {
  HTTP_DETAIL_STATUS = 0,       // the status was neither 200 nor 404, or the answer unreadable
  HTTP_DETAIL_NOT_FOUND = 1,    // status 404
  HTTP_DETAIL_NO_MEMORY = 2,    // no room for the body
  HTTP_DETAIL_CONNECTION = 3,   // the connection ended (or fell silent past the inactivity
                                // limit) before the answer was complete
};

struct HttpSlot {
  int32_t kind;         // HTTP_GET, HTTP_POST, HTTP_HEAD
  int32_t step;
  int32_t result;       // -1 running, 0 success, 2 failure
  int32_t detail;       // -1 running and after a success, else HTTP_DETAIL_*
  int32_t netHandle;    // the raw connection, -1 when none
  int32_t destination;  // HTTP_TO_FILE or HTTP_TO_MEMORY
  PlatFile* file;       // receives the body; closed when the request finishes
  void** memoryTarget;  // receives the tracked body block; nulled (and freed) on failure
  int32_t contentLength;  // -1 while unknown
  int32_t received;       // body bytes so far
  char host[128];
  char path[256];
  void* postData;  // tracked; freed when the request finishes
  int32_t postLength;
  int32_t port;
  // The request text, and how much of it and of the POST data has gone out.
  char request[512];
  int32_t requestLength;
  int32_t requestSent;
  int32_t bodyCapacity;  // size of the memory block while the body length is unknown
  uint32_t lastActivityMs;  // when the last byte went out or came in
  int32_t waitingSeen;      // bytes the connection held at the end of the last step
};

struct HttpTable {
  HttpSlot* slots[HTTP_SLOT_COUNT];
  int32_t count;
  uint32_t inactivityLimitMs;  // 0: no limit
};

extern HttpTable g_HttpTable;

// Zeroes the table and sets the default inactivity limit (engine initialisation; the end
// has deleted every slot before).
int ClearHttpTable();
// How long a running request may go without a byte going out or coming in before it
// ends with result 2 and HTTP_DETAIL_CONNECTION (logged); 0 lets it wait for ever. Holds
// for running requests too. The limit it replaces.
uint32_t SetHttpInactivityLimit(uint32_t ms);

// One step of the request in the slot: -1 for an empty slot, else 0.
int HttpStep(int slot);
int HttpGet(int slot);
int HttpPost(int slot);
int HttpHead(int slot);
// Steps every used slot in slot order (every pump call, and every pass while the window
// is inactive); 0.
int StepAllHttpSlots();
// Ends a request: closes its connection and file, frees the POST data, and, for a first
// finish, stores result and detail; a memory body is freed when the result is not 0.
// -1 for an empty slot, else 0.
int FinishHttpSlot(int slot, int result, int detail);
// Finishes the request (a running one fails) and frees the slot; 0, or -1.
int DeleteHttpSlot(int slot);
// Deletes every used slot; 0.
int EndHttp();
// The number after the first blank of the line, -1 without a blank or a number.
int ParseHttpStatusCode(const char* line);

// Starts a request in a free slot to a dotted IPv4 host and port over a raw connection
// that is connected before this returns. The body goes to a file created at filePath
// (HTTP_TO_FILE; null keeps no body) or to a tracked block stored through memoryTarget
// (HTTP_TO_MEMORY; the caller frees it after a success). POST data is copied. Host, path
// and the request text must fit their buffers. The slot, or -1 (logged).
int StartHttpRequest(int kind, const char* host, int port, const char* path, int destination,
                     const char* filePath, void** memoryTarget, const void* postData,
                     int32_t postLength);
// The slot's record, or null for an empty slot or an index out of range.
const HttpSlot* GetHttpSlot(int slot);
