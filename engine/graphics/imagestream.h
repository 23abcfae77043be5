// What the byte-level loaders (raw BGRA, TGA, DDS) share: exact reads from a stream row,
// the bytes a stream has left, and little-endian fields.
#pragma once

#include "engine/file/file.h"

#include <cstdint>

// Exactly `count` bytes from the stream's position: counted in bytes, so that a short
// read never leaves stale bytes behind. 1, or 0 when fewer came.
inline int ReadStreamBytes(const StreamRow* stream, void* to, uint64_t count) {
  if (count == 0) return 1;
  if (count > UINT32_MAX) return 0;
  return stream->functions.read(to, 1, uint32_t(count), stream->handle) == int64_t(count);
}

// The stream's length, the position left where it was; -1 when it cannot be measured.
inline int64_t StreamLength(const StreamRow* stream) {
  const StreamFunctions& f = stream->functions;
  const int64_t position = f.tell(stream->handle);
  if (position < 0 || position > INT32_MAX || f.seek(stream->handle, 0, FILE_SEEK_END) != 0)
    return -1;
  const int64_t end = f.tell(stream->handle);
  if (f.seek(stream->handle, int32_t(position), FILE_SEEK_SET) != 0) return -1;
  return end;
}

// Bytes from the position to the end; -1 when unknown.
inline int64_t StreamBytesLeft(const StreamRow* stream) {
  const int64_t end = StreamLength(stream);
  const int64_t position = stream->functions.tell(stream->handle);
  if (end < 0 || position < 0 || position > end) return -1;
  return end - position;
}

inline uint32_t ReadLe16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
