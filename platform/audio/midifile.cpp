// The Standard MIDI File reader: the header, each track's events with running status,
// and the tempo map over all tracks, into events at frames of the mixer's output.
//
// Every length read from the file is checked against what is left of its chunk, and the
// chunk against the file. Event times are summed in 64 bits and the song may not pass 24
// hours, so that no file makes the reader or the sequencer run away.
#include "platform/audio/midiparts.h"

#include <algorithm>

namespace {

uint32_t Big32(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint32_t Big16(const unsigned char* p) { return uint32_t(p[0]) << 8 | p[1]; }

// An event as read, before the tempo map gives it a frame.
struct RawEvent {
  uint64_t tick;
  uint32_t track, order;
  enum Kind : uint8_t { CHANNEL, SYSEX, TEMPO, OTHER } kind;
  uint8_t status, data1, data2;
  uint32_t at, length;  // sysex bytes in the file; the tempo for TEMPO
};

struct Reader {
  const unsigned char* p;
  size_t left;
  const char* why = nullptr;

  bool Fail(const char* reason) {
    if (!why) why = reason;
    return false;
  }
  bool Byte(uint8_t* out) {
    if (left < 1) return Fail("an event runs past the end of its track");
    *out = *p++;
    left--;
    return true;
  }
  // A variable-length quantity: at most four bytes.
  bool VarLen(uint32_t* out) {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) {
      uint8_t b;
      if (!Byte(&b)) return false;
      v = v << 7 | (b & 0x7F);
      if (!(b & 0x80)) {
        *out = v;
        return true;
      }
    }
    return Fail("a variable-length quantity of more than four bytes");
  }
  bool Skip(uint32_t n) {
    if (n > left) return Fail("a length runs past the end of its track");
    p += n;
    left -= n;
    return true;
  }
};

int DataBytes(uint8_t status) {
  const uint8_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

bool ReadTrack(const unsigned char* file, const unsigned char* body, size_t length, uint32_t track,
               std::vector<RawEvent>* out, const char** why) {
  Reader r{body, length};
  uint64_t tick = 0;
  uint8_t running = 0;
  uint32_t order = 0;
  while (r.left > 0) {
    uint32_t delta;
    if (!r.VarLen(&delta)) break;
    tick += delta;
    uint8_t status;
    if (!r.Byte(&status)) break;
    RawEvent e{tick, track, order++, RawEvent::OTHER, 0, 0, 0, 0, 0};
    if (status < 0x80) {
      if (!running) {
        r.Fail("a data byte with no status before it");
        break;
      }
      // Running status: the byte is the first data byte.
      e.kind = RawEvent::CHANNEL;
      e.status = running;
      e.data1 = status;
      if (DataBytes(running) == 2 && !r.Byte(&e.data2)) break;
    } else if (status < 0xF0) {
      running = status;
      e.kind = RawEvent::CHANNEL;
      e.status = status;
      if (!r.Byte(&e.data1)) break;
      if (DataBytes(status) == 2 && !r.Byte(&e.data2)) break;
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t n;
      if (!r.VarLen(&n)) break;
      const unsigned char* data = r.p;
      if (!r.Skip(n)) break;
      // Only a whole system exclusive message goes to the synthesizer; an escaped packet
      // (F7) keeps its time and is not sent.
      if (status == 0xF0) {
        e.kind = RawEvent::SYSEX;
        e.status = 0xF0;
        e.at = uint32_t(data - file);
        e.length = n > 0 && data[n - 1] == 0xF7 ? n - 1 : n;
      }
    } else if (status == 0xFF) {
      uint8_t type;
      uint32_t n;
      if (!r.Byte(&type) || !r.VarLen(&n)) break;
      const unsigned char* data = r.p;
      if (!r.Skip(n)) break;
      if (type == 0x51 && n == 3) {
        e.kind = RawEvent::TEMPO;
        e.length = uint32_t(data[0]) << 16 | uint32_t(data[1]) << 8 | data[2];
      }
      out->push_back(e);
      if (type == 0x2F) return true;  // End of Track: what follows is not read
      continue;
    } else {
      r.Fail("a system message that has no place in a file");
      break;
    }
    if (e.kind == RawEvent::CHANNEL && ((e.data1 | e.data2) & 0x80)) {
      r.Fail("a data byte with its high bit set");
      break;
    }
    out->push_back(e);
  }
  if (r.why) {
    *why = r.why;
    return false;
  }
  return true;  // a track without End of Track ends with its chunk
}

}  // namespace

int MidiReadFile(const unsigned char* data, size_t size, MidiSong* song, const char** why) {
  const char* reason = nullptr;
  auto refuse = [&](const char* text) {
    if (why) *why = reason ? reason : text;
    return -1;
  };
  if (size < 14 || !std::equal(data, data + 4, "MThd")) return refuse("not a Standard MIDI File");
  const uint32_t headerLength = Big32(data + 4);
  if (headerLength < 6 || headerLength > size - 8) return refuse("a header of a wrong length");
  const uint32_t format = Big16(data + 8), tracks = Big16(data + 10), division = Big16(data + 12);
  if (format > 1) return refuse("format 2 (or unknown) is not played");
  if (tracks == 0 || (format == 0 && tracks != 1)) return refuse("a wrong number of tracks");
  // Frame = ticks' weight x rate / per, where a tick weighs its tempo (microseconds per
  // quarter) for a division in ticks per quarter, and 1 for SMPTE frames.
  unsigned __int128 rate = 44100, per;
  bool tempoMap = true;
  if (division & 0x8000) {
    const int fps = -int(int8_t(division >> 8));
    const uint32_t ticksPerFrame = division & 0xFF;
    if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || ticksPerFrame == 0)
      return refuse("an SMPTE division of a wrong rate");
    // 29 stands for 30 drop-frame: 30000 / 1001 frames a second.
    per = fps == 29 ? (unsigned __int128)30000 * ticksPerFrame : (unsigned __int128)fps * ticksPerFrame;
    if (fps == 29) rate *= 1001;
    tempoMap = false;
  } else {
    if (division == 0) return refuse("a division of 0");
    per = (unsigned __int128)1000000 * division;
  }

  std::vector<RawEvent> raw;
  size_t at = 8 + size_t(headerLength);
  uint32_t read = 0;
  while (read < tracks) {
    if (size - at < 8) return refuse("the file ends before its last track");
    const uint32_t length = Big32(data + at + 4);
    if (length > size - at - 8) return refuse("a chunk runs past the end of the file");
    if (std::equal(data + at, data + at + 4, "MTrk")) {
      if (!ReadTrack(data, data + at + 8, length, read, &raw, &reason)) return refuse("");
      read++;
    }
    at += 8 + size_t(length);  // a chunk of another kind is passed over
  }

  std::stable_sort(raw.begin(), raw.end(), [](const RawEvent& a, const RawEvent& b) {
    if (a.tick != b.tick) return a.tick < b.tick;
    return a.track != b.track ? a.track < b.track : a.order < b.order;
  });
  MidiSong out;
  const unsigned __int128 limit = (unsigned __int128)kMidiMaxSeconds * 44100 * per / rate;
  unsigned __int128 weight = 0;  // ticks so far, each by its tempo
  uint64_t tick = 0;
  uint32_t tempo = 500000;  // 120 quarters a minute until the map says otherwise
  for (const RawEvent& e : raw) {
    weight += (unsigned __int128)(e.tick - tick) * (tempoMap ? tempo : 1);
    tick = e.tick;
    if (weight > limit) return refuse("longer than 24 hours");
    const uint64_t frame = uint64_t(weight * rate / per);
    out.endFrame = frame;
    if (e.kind == RawEvent::TEMPO) {
      tempo = e.length;
    } else if (e.kind == RawEvent::CHANNEL) {
      out.events.push_back({frame, e.status, e.data1, e.data2, 0, 0});
    } else if (e.kind == RawEvent::SYSEX) {
      out.events.push_back({frame, 0xF0, 0, 0, uint32_t(out.sysex.size()), e.length});
      out.sysex.insert(out.sysex.end(), data + e.at, data + e.at + e.length);
    }
  }
  *song = std::move(out);
  return 0;
}
