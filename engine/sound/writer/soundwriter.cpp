#include "engine/sound/writer/soundwriter.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>

namespace {

void Put16(std::string* s, uint32_t v) {
  s->push_back(char(v & 0xFF));
  s->push_back(char((v >> 8) & 0xFF));
}
void Put32(std::string* s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
void PutBig16(std::string* s, uint32_t v) {
  s->push_back(char((v >> 8) & 0xFF));
  s->push_back(char(v & 0xFF));
}
void PutBig32(std::string* s, uint32_t v) {
  PutBig16(s, v >> 16);
  PutBig16(s, v & 0xFFFF);
}

enum { kRankNoteOff = 0, kRankOther = 1, kRankNoteOn = 2, kRankEnd = 3 };
constexpr int kMetaEndOfTrack = 0x2F;

// Appends every page the stream has ready (all of them when flushing).
void TakePages(ogg_stream_state* os, std::string* out, bool flush) {
  ogg_page page;
  while (flush ? ogg_stream_flush(os, &page) : ogg_stream_pageout(os, &page)) {
    out->append(reinterpret_cast<const char*>(page.header), size_t(page.header_len));
    out->append(reinterpret_cast<const char*>(page.body), size_t(page.body_len));
  }
}

void AddEvent(SmfTrack* track, uint32_t tick, int rank, std::string bytes) {
  track->events.push_back({tick, rank, std::move(bytes)});
}

}  // namespace

// ---- WAVE --------------------------------------------------------------------------

std::string WavChunk(const std::string& id, const std::string& body, int64_t size) {
  std::string s = id.substr(0, 4);
  Put32(&s, size >= 0 ? uint32_t(size) : uint32_t(body.size()));
  s += body;
  if (body.size() & 1) s.push_back('\0');
  return s;
}

std::string WavPcmFmt(int channels, int rate, int bits, int blockAlign) {
  const int align = blockAlign >= 0 ? blockAlign : channels * ((bits + 7) / 8);
  std::string s;
  Put16(&s, 1);  // PCM
  Put16(&s, uint32_t(channels));
  Put32(&s, uint32_t(rate));
  Put32(&s, uint32_t(rate) * uint32_t(align));
  Put16(&s, uint32_t(align));
  Put16(&s, uint32_t(bits));
  return s;
}

std::string WavRiff(const std::vector<std::string>& chunks) {
  std::string body = "WAVE";
  for (const std::string& c : chunks) body += c;
  std::string s = "RIFF";
  Put32(&s, uint32_t(body.size()));
  return s + body;
}

std::string WavPcmFile(int channels, int rate, int bits, const std::string& data) {
  return WavRiff({WavChunk("fmt ", WavPcmFmt(channels, rate, bits)), WavChunk("data", data)});
}

std::string WavSampleBytes(const int16_t* samples, size_t count) {
  std::string s;
  s.reserve(count * 2);
  for (size_t i = 0; i < count; i++) Put16(&s, uint16_t(samples[i]));
  return s;
}

// ---- Ogg Vorbis --------------------------------------------------------------------

int OggVorbisEncode(const float* interleaved, size_t frames, int channels, int rate, float quality,
                    int serial, int pageFrames, std::string* out) {
  out->clear();
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (channels < 1 || vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
    vorbis_info_clear(&vi);
    return -1;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block vb;
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, serial);
  ogg_packet header, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  TakePages(&os, out, true);  // the audio starts on a page of its own

  const size_t step = pageFrames > 0 ? size_t(pageFrames) : 1024;
  for (size_t at = 0;;) {
    const size_t n = std::min(step, frames - at);
    if (n > 0) {
      float** buffer = vorbis_analysis_buffer(&vd, int(n));
      for (size_t i = 0; i < n; i++)
        for (int c = 0; c < channels; c++) buffer[c][i] = interleaved[(at + i) * size_t(channels) + size_t(c)];
    }
    // Writing 0 frames marks the end.
    vorbis_analysis_wrote(&vd, int(n));
    at += n;
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet)) {
        ogg_stream_packetin(&os, &packet);
        TakePages(&os, out, false);
      }
    }
    if (pageFrames > 0) TakePages(&os, out, true);
    if (n == 0) break;
  }
  TakePages(&os, out, true);
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return 0;
}

// ---- Standard MIDI File ------------------------------------------------------------

std::string SmfVarLen(uint32_t value) {
  value &= 0x0FFFFFFF;
  std::string s(1, char(value & 0x7F));
  while (value >>= 7) s.insert(s.begin(), char(0x80 | (value & 0x7F)));
  return s;
}

void SmfMeta(SmfTrack* track, uint32_t tick, int type, const std::string& data) {
  std::string bytes = {char(0xFF), char(type)};
  bytes += SmfVarLen(uint32_t(data.size())) + data;
  AddEvent(track, tick, type == kMetaEndOfTrack ? kRankEnd : kRankOther, std::move(bytes));
}

void SmfTrackName(SmfTrack* track, const std::string& name) { SmfMeta(track, 0, 0x03, name); }

void SmfTempo(SmfTrack* track, uint32_t tick, uint32_t microsecondsPerQuarter) {
  std::string data = {char((microsecondsPerQuarter >> 16) & 0xFF),
                      char((microsecondsPerQuarter >> 8) & 0xFF),
                      char(microsecondsPerQuarter & 0xFF)};
  SmfMeta(track, tick, 0x51, data);
}

void SmfTimeSignature(SmfTrack* track, uint32_t tick, int numerator, int denominatorPower,
                      int clocksPerClick, int thirtySecondsPerQuarter) {
  std::string data = {char(numerator), char(denominatorPower), char(clocksPerClick),
                      char(thirtySecondsPerQuarter)};
  SmfMeta(track, tick, 0x58, data);
}

void SmfChannelEvent(SmfTrack* track, uint32_t tick, int status, int channel, int data1,
                     int data2) {
  std::string bytes = {char((status & 0xF0) | (channel & 0x0F)), char(data1 & 0x7F)};
  if (data2 >= 0) bytes.push_back(char(data2 & 0x7F));
  const int kind = status & 0xF0;
  const int rank = kind == 0x80 || (kind == 0x90 && data2 == 0) ? kRankNoteOff
                   : kind == 0x90                                ? kRankNoteOn
                                                                 : kRankOther;
  AddEvent(track, tick, rank, std::move(bytes));
}

void SmfProgram(SmfTrack* track, uint32_t tick, int channel, int program) {
  SmfChannelEvent(track, tick, 0xC0, channel, program);
}

void SmfControl(SmfTrack* track, uint32_t tick, int channel, int controller, int value) {
  SmfChannelEvent(track, tick, 0xB0, channel, controller, value);
}

void SmfNote(SmfTrack* track, uint32_t tick, uint32_t length, int channel, int key, int velocity) {
  SmfChannelEvent(track, tick, 0x90, channel, key, velocity);
  SmfChannelEvent(track, tick + length, 0x80, channel, key, 64);
}

std::string SmfFile(int format, int division, const std::vector<SmfTrack>& tracks) {
  std::string s = "MThd";
  PutBig32(&s, 6);
  PutBig16(&s, uint32_t(format));
  PutBig16(&s, uint32_t(tracks.size()));
  PutBig16(&s, uint32_t(division));
  for (const SmfTrack& track : tracks) {
    std::vector<SmfEvent> events = track.events;
    std::stable_sort(events.begin(), events.end(), [](const SmfEvent& a, const SmfEvent& b) {
      return a.tick != b.tick ? a.tick < b.tick : a.rank < b.rank;
    });
    if (events.empty() || events.back().rank != kRankEnd)
      events.push_back({events.empty() ? 0 : events.back().tick, kRankEnd,
                        std::string{char(0xFF), char(kMetaEndOfTrack), 0}});
    std::string body;
    uint32_t last = 0;
    for (const SmfEvent& e : events) {
      body += SmfVarLen(e.tick - last) + e.bytes;
      last = e.tick;
    }
    s += "MTrk";
    PutBig32(&s, uint32_t(body.size()));
    s += body;
  }
  return s;
}
