// The Standard MIDI File reader: what it reads (formats 0 and 1, tick and SMPTE
// divisions, the tempo map across tracks, running status, system exclusive) as events at
// frames of 44100 Hz, and the files it refuses.
#include "platform/audio/midiparts.h"

#include "engine/sound/writer/soundwriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Big(uint32_t v, int bytes) {
  std::string s;
  for (int i = bytes - 1; i >= 0; i--) s.push_back(char((v >> (8 * i)) & 0xFF));
  return s;
}
std::string Header(int format, int tracks, uint32_t division, uint32_t length = 6) {
  return "MThd" + Big(length, 4) + Big(uint32_t(format), 2) + Big(uint32_t(tracks), 2) + Big(division, 2) +
         std::string(length > 6 ? length - 6 : 0, '\0');
}
std::string Chunk(const std::string& id, const std::string& body, int64_t length = -1) {
  return id + Big(length >= 0 ? uint32_t(length) : uint32_t(body.size()), 4) + body;
}
std::string Track(const std::string& events) { return Chunk("MTrk", events); }
const std::string kEnd = std::string("\x00\xFF\x2F\x00", 4);
std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(char(b));
  return s;
}

struct Read {
  const char* name;
  std::string file;
  std::vector<std::vector<int>> events;  // frame, status, data1, data2
  uint64_t endFrame;
};

std::vector<Read> ReadCases() {
  std::vector<Read> cases;
  // At division 441 and the default tempo a tick is 50 frames.
  // 120 quarters a minute until a tempo says otherwise: tick 480 of 480 is half a second.
  cases.push_back({"format 0 at the default tempo",
                   Header(0, 1, 480) + Track(B({0x00, 0xC0, 5, 0x83, 0x60, 0x90, 60, 100, 0x83, 0x60, 0x80, 60, 64}) +
                                             std::string("\x00\xFF\x2F\x00", 4)),
                   {{0, 0xC0, 5, 0}, {22050, 0x90, 60, 100}, {44100, 0x80, 60, 64}},
                   44100});
  {
    // Format 1: the tempo track's map times the notes of the other track; the tempo
    // change at 1 s makes the next thousand ticks a quarter of a second.
    SmfTrack tempo, notes;
    SmfTempo(&tempo, 0, 1000000);
    SmfTempo(&tempo, 1000, 250000);
    SmfNote(&notes, 500, 1500, 2, 64, 90);
    SmfChannelEvent(&notes, 3000, 0xE0, 2, 0x00, 0x40);
    cases.push_back({"format 1 with a tempo map", SmfFile(1, 1000, {tempo, notes}),
                     {{22050, 0x92, 64, 90}, {55125, 0x82, 64, 64}, {66150, 0xE2, 0, 0x40}},
                     66150});
  }
  // 25 frames of 40 ticks: a tick is a millisecond whatever the tempo says.
  cases.push_back({"SMPTE 25 frames of 40 ticks",
                   Header(0, 1, 0xE728) + Track(B({0x00, 0xFF, 0x51, 3, 0x01, 0, 0, 0x87, 0x68, 0x90, 60, 1}) + kEnd),
                   {{44100, 0x90, 60, 1}}, 44100});
  // 29 is 30 drop-frame: 2997 ticks of 100 a frame are 0.99999 s.
  cases.push_back({"SMPTE 29.97 frames of 100 ticks",
                   Header(0, 1, 0xE364) + Track(B({0x97, 0x35, 0x90, 60, 1}) + kEnd), {{44099, 0x90, 60, 1}}, 44099});
  cases.push_back({"running status carries the status on, across a meta event",
                   Header(0, 1, 441) + Track(B({0, 0x90, 60, 100, 1, 62, 100, 0, 0xFF, 0x01, 1, 'x', 1, 64, 0}) + kEnd),
                   {{0, 0x90, 60, 100}, {50, 0x90, 62, 100}, {100, 0x90, 64, 0}}, 100});
  cases.push_back({"a system exclusive message without its F0 and F7; an escaped packet keeps its time only",
                   Header(0, 1, 441) + Track(B({0, 0xF0, 5, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 10, 0xF7, 1, 0xFA}) + kEnd),
                   {{0, 0xF0, 0, 0}}, 500});
  cases.push_back({"a longer header, a chunk of another kind, bytes after End of Track, a track without one",
                   Header(1, 2, 441, 8) + Chunk("XFIH", "junk") +
                       Track(B({0, 0x90, 1, 2}) + kEnd + B({0x90, 0x90, 0x90})) + Track(B({10, 0x91, 3, 4})),
                   {{0, 0x90, 1, 2}, {500, 0x91, 3, 4}}, 500});
  return cases;
}

TEST(MidiFile, ReadsEventsAtTheirFrames) {
  for (const Read& c : ReadCases()) {
    SCOPED_TRACE(c.name);
    MidiSong song;
    const char* why = nullptr;
    ASSERT_EQ(MidiReadFile(reinterpret_cast<const unsigned char*>(c.file.data()), c.file.size(), &song, &why), 0)
        << (why ? why : "");
    std::vector<std::vector<int>> got;
    for (const MidiEvent& e : song.events) got.push_back({int(e.frame), e.status, e.data1, e.data2});
    EXPECT_EQ(got, c.events);
    EXPECT_EQ(song.endFrame, c.endFrame);
  }
}

TEST(MidiFile, KeepsTheSystemExclusiveBytes) {
  const std::string file =
      Header(0, 1, 441) + Track(B({0, 0xF0, 5, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0, 0xF0, 2, 0x41, 0x10}) + kEnd);
  MidiSong song;
  ASSERT_EQ(MidiReadFile(reinterpret_cast<const unsigned char*>(file.data()), file.size(), &song, nullptr), 0);
  ASSERT_EQ(song.events.size(), 2u);
  const auto bytes = [&](const MidiEvent& e) {
    return std::string(song.sysex.begin() + e.sysexAt, song.sysex.begin() + e.sysexAt + e.sysexLength);
  };
  EXPECT_EQ(bytes(song.events[0]), B({0x7E, 0x7F, 0x09, 0x01}));
  EXPECT_EQ(bytes(song.events[1]), B({0x41, 0x10}));  // no F7 at its end: all of it
}

struct Refused {
  const char* name;
  std::string file;
};

TEST(MidiFile, RefusesWhatIsNotAFileItReads) {
  const std::string note = B({0, 0x90, 60, 100});
  const std::vector<Refused> cases = {
      {"empty", ""},
      {"a RIFF file", "RIFF" + std::string(20, '\0')},
      {"a header shorter than 6", Header(0, 1, 96, 5) + Track(note + kEnd)},
      {"a header longer than the file", "MThd" + Big(1000, 4) + Big(0, 2) + Big(1, 2) + Big(96, 2)},
      {"format 2", Header(2, 1, 96) + Track(note + kEnd)},
      {"format 0 with two tracks", Header(0, 2, 96) + Track(note + kEnd) + Track(note + kEnd)},
      {"no tracks", Header(1, 0, 96)},
      {"a division of 0", Header(0, 1, 0) + Track(note + kEnd)},
      {"an SMPTE rate of 23", Header(0, 1, 0xE904) + Track(note + kEnd)},
      {"an SMPTE frame of 0 ticks", Header(0, 1, 0xE700) + Track(note + kEnd)},
      {"a track longer than the file", Header(0, 1, 96) + Chunk("MTrk", note + kEnd, 100)},
      {"a chunk header cut short", Header(0, 1, 96) + "MTr"},
      {"fewer tracks than the header says", Header(1, 3, 96) + Track(note + kEnd) + Track(note + kEnd)},
      {"a data byte with no status before it", Header(0, 1, 96) + Track(B({0, 60, 100}) + kEnd)},
      {"a quantity of five bytes", Header(0, 1, 96) + Track(B({0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60, 1}) + kEnd)},
      {"a meta event longer than its track", Header(0, 1, 96) + Track(B({0, 0xFF, 0x01, 0x7F, 'a'}))},
      {"a system exclusive longer than its track", Header(0, 1, 96) + Track(B({0, 0xF0, 0x8F, 0x7F, 1}))},
      {"a note cut short by the end of its track", Header(0, 1, 96) + Track(B({0, 0x90, 60}))},
      {"a delta cut short by the end of its track", Header(0, 1, 96) + Track(B({0, 0xC0, 1, 0x81}))},
      {"a data byte with its high bit set", Header(0, 1, 96) + Track(B({0, 0x90, 60, 0x80}) + kEnd)},
      {"a system common message", Header(0, 1, 96) + Track(B({0, 0xF1, 1}) + kEnd)},
      // 0x0FFFFFFF ticks of a quarter 16.7 s long at one tick a quarter: centuries.
      {"longer than 24 hours",
       Header(0, 1, 1) + Track(B({0, 0xFF, 0x51, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1}) + kEnd)},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.name);
    MidiSong song;
    song.endFrame = 77;
    const char* why = nullptr;
    EXPECT_EQ(MidiReadFile(reinterpret_cast<const unsigned char*>(c.file.data()), c.file.size(), &song, &why), -1);
    EXPECT_NE(why, nullptr);
    EXPECT_EQ(song.endFrame, 77u) << "the song is left alone";
  }
}

TEST(MidiFile, JustUnderTheDayIsRead) {
  // One tick a second (division 1, a quarter of 1 s): 86399 s is read, 86401 s is not.
  SmfTrack t;
  SmfTempo(&t, 0, 1000000);
  SmfChannelEvent(&t, 86399, 0x90, 0, 60, 1);
  const std::string file = SmfFile(0, 1, {t});
  MidiSong song;
  ASSERT_EQ(MidiReadFile(reinterpret_cast<const unsigned char*>(file.data()), file.size(), &song, nullptr), 0);
  EXPECT_EQ(song.endFrame, uint64_t(86399) * 44100);
  SmfChannelEvent(&t, 86401, 0x80, 0, 60, 1);
  const std::string longer = SmfFile(0, 1, {t});
  EXPECT_EQ(MidiReadFile(reinterpret_cast<const unsigned char*>(longer.data()), longer.size(), &song, nullptr), -1);
}

}  // namespace
