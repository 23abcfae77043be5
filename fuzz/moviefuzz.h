// What the movie targets share: the mutator that changes Ogg pages from inside, and the
// engine's start, once, headless and windowed on the manual clock. Their seeds are the
// movie writer's (fuzz/seeds/movie_decoder.sh).
#pragma once

#include "engine/base/log.h"
#include "engine/engine.h"
#include "engine/system/system.h"
#include "platform/kernel/kernel.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

// The structure-aware mutator of both movie targets. libogg drops every page whose
// checksum is wrong, so plain byte mutations almost never reach the picture decoder: this
// one takes the input apart into Ogg pages and their packets, changes one thing inside
// them (a packet's bytes, a header field, the order or number of pages) and writes the
// pages back with their segment tables and checksums made anew. A few mutations in
// sixteen are plain ones over the whole input, so that broken pages stay tried too.
struct OggPagePiece {
  uint8_t fields[27];                         // the fixed header; the segment count is rewritten
  std::vector<std::vector<uint8_t>> packets;  // the packets (or pieces) in the body
  bool lastContinues = false;                 // the last one goes on in the next page
};

// The whole pages from the start of the input; false when it does not start with one.
// What follows the last whole page goes to tail.
inline bool SplitOggPages(const uint8_t* data, size_t size, std::vector<OggPagePiece>* pages,
                          std::vector<uint8_t>* tail) {
  size_t at = 0;
  while (at + 27 <= size && std::memcmp(data + at, "OggS", 4) == 0) {
    const size_t segments = data[at + 26];
    if (at + 27 + segments > size) break;
    size_t body = 0;
    for (size_t i = 0; i < segments; i++) body += data[at + 27 + i];
    if (at + 27 + segments + body > size) break;
    OggPagePiece page;
    std::memcpy(page.fields, data + at, 27);
    const uint8_t* bytes = data + at + 27 + segments;
    std::vector<uint8_t> packet;
    for (size_t i = 0; i < segments; i++) {
      const uint8_t lace = data[at + 27 + i];
      packet.insert(packet.end(), bytes, bytes + lace);
      bytes += lace;
      if (lace < 255) {
        page.packets.push_back(std::move(packet));
        packet.clear();
      }
    }
    if (segments > 0 && data[at + 27 + segments - 1] == 255) {
      page.packets.push_back(std::move(packet));
      page.lastContinues = true;
    }
    pages->push_back(std::move(page));
    at += 27 + segments + body;
  }
  tail->assign(data + at, data + size);
  return !pages->empty();
}

// The pages back into bytes, each with its segment table and checksum; 0 when they do
// not fit maxSize or a page's packets need more than 255 lacing values.
inline size_t JoinOggPages(const std::vector<OggPagePiece>& pages, const std::vector<uint8_t>& tail, uint8_t* out,
                           size_t maxSize) {
  size_t at = 0;
  std::vector<uint8_t> lacing;
  for (const OggPagePiece& page : pages) {
    lacing.clear();
    for (size_t i = 0; i < page.packets.size(); i++) {
      const size_t n = page.packets[i].size();
      lacing.insert(lacing.end(), n / 255, 255);
      // A piece that goes on in the next page ends on a full segment; one of another
      // length is closed here.
      if (!(page.lastContinues && i + 1 == page.packets.size() && n % 255 == 0 && n > 0))
        lacing.push_back(uint8_t(n % 255));
    }
    if (lacing.size() > 255) return 0;
    size_t body = 0;
    for (const std::vector<uint8_t>& p : page.packets) body += p.size();
    const size_t header = 27 + lacing.size();
    if (at + header + body > maxSize) return 0;
    uint8_t* start = out + at;
    std::memcpy(start, page.fields, 27);
    start[26] = uint8_t(lacing.size());
    if (!lacing.empty()) std::memcpy(start + 27, lacing.data(), lacing.size());
    size_t b = header;
    for (const std::vector<uint8_t>& p : page.packets) {
      if (!p.empty()) std::memcpy(start + b, p.data(), p.size());
      b += p.size();
    }
    ogg_page whole{start, long(header), start + header, long(body)};
    ogg_page_checksum_set(&whole);
    at += header + body;
  }
  if (at + tail.size() > maxSize) return 0;
  if (!tail.empty()) std::memcpy(out + at, tail.data(), tail.size());
  return at + tail.size();
}

inline size_t MutateOggPages(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
  std::minstd_rand random(seed);
  auto pick = [&random](size_t n) { return size_t(random() % n); };
  std::vector<OggPagePiece> pages;
  std::vector<uint8_t> tail;
  if (!SplitOggPages(data, size, &pages, &tail) || pick(16) == 0) return LLVMFuzzerMutate(data, size, maxSize);
  OggPagePiece& page = pages[pick(pages.size())];
  const size_t kind = pick(16);
  if (kind < 10 && !page.packets.empty()) {
    // A packet's bytes. A piece that goes on in the next page keeps its length.
    const size_t index = pick(page.packets.size());
    std::vector<uint8_t>& packet = page.packets[index];
    const bool keepLength = page.lastContinues && index + 1 == page.packets.size();
    const size_t before = packet.size();
    if (before == 0) packet.push_back(uint8_t(random()));  // libFuzzer mutates no empty buffer
    const size_t room = keepLength ? before : std::min(maxSize > size ? maxSize - size : 0, size_t(4096)) + before;
    packet.resize(std::max<size_t>(room, 1));
    const size_t after = LLVMFuzzerMutate(packet.data(), std::max<size_t>(before, 1), std::max<size_t>(room, 1));
    packet.resize(keepLength ? before : after);
  } else if (kind < 13) {
    // A header field: the flags, the granule position, the serial number or the
    // sequence number.
    static const size_t kFields[][2] = {{5, 1}, {6, 8}, {14, 4}, {18, 4}};
    const size_t* field = kFields[pick(4)];
    LLVMFuzzerMutate(page.fields + field[0], field[1], field[1]);
  } else if (kind == 13) {
    const OggPagePiece copy = page;
    pages.insert(pages.begin() + ptrdiff_t(pick(pages.size() + 1)), copy);
  } else if (kind == 14 && pages.size() > 1) {
    pages.erase(pages.begin() + ptrdiff_t(pick(pages.size())));
  } else if (pages.size() > 1) {
    std::swap(pages[pick(pages.size())], pages[pick(pages.size())]);
  }
  const size_t written = JoinOggPages(pages, tail, data, maxSize);
  return written ? written : LLVMFuzzerMutate(data, size, maxSize);
}

// Starts the engine and gives the path each input is written to (in a fresh directory
// named after prefix).
inline std::string StartMovieFuzzing(const char* prefix) {
  std::string tmpl = std::string("/tmp/") + prefix + "_XXXXXX";
  if (!mkdtemp(tmpl.data())) abort();
  setenv("KR_PLATFORM", "headless", 1);
  PlatClockSetManual(1, 1000);
  SetLogOff(1);
  ChangeWindowMode(1);
  if (EngineInitCore() != 0) abort();
  return tmpl + "/movie.ogg";
}
