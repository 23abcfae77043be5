// The game's assets as the build made them (KR_ASSET_DIR), read back with libpng,
// vorbisfile and a small MIDI file reader, and the tool run once more to see that it
// writes the same bytes.
#include <gtest/gtest.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

const char* const kAllFiles[20] = {
    "u_Player.png", "u_Enemy.png",  "u_Item.png",    "u_Block.png",  "u_Tama.png",
    "u_Bomb.png",   "u_yuka.png",   "bom09.wav",     "buble01.wav",  "fm000.wav",
    "power09.wav",  "fall00.wav",   "animal02.wav",  "beep15.wav",   "byoro01_a.wav",
    "power10.wav",  "power37.wav",  "worldenddominator.ogg", "dancers7.mid", "sunrise.mid",
};

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::string Asset(const char* name) { return ReadFile(std::string(KR_ASSET_DIR) + "/" + name); }

// ---- PNG ---------------------------------------------------------------------------

struct Rgb {
  int r, g, b;
  bool operator<(const Rgb& o) const { return std::tie(r, g, b) < std::tie(o.r, o.g, o.b); }
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct Picture {
  int width = 0, height = 0, bitDepth = 0, colourType = -1;
  bool hasTransparency = false, hasTime = false;
  std::vector<uint8_t> rgb;  // three bytes a pixel when the file is 8-bit RGB
  Rgb At(int x, int y) const {
    const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

struct MemoryReader {
  const std::string* bytes;
  size_t at;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
  auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (r->at + length > r->bytes->size()) png_error(png, "short file");
  std::memcpy(out, r->bytes->data() + r->at, length);
  r->at += length;
}

bool DecodePng(const std::string& bytes, Picture* pic) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  MemoryReader reader = {&bytes, 0};
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, ReadFromMemory);
  png_read_info(png, info);
  pic->width = int(png_get_image_width(png, info));
  pic->height = int(png_get_image_height(png, info));
  pic->bitDepth = png_get_bit_depth(png, info);
  pic->colourType = png_get_color_type(png, info);
  pic->hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (pic->bitDepth == 8 && pic->colourType == PNG_COLOR_TYPE_RGB) {
    pic->rgb.resize(size_t(pic->width) * size_t(pic->height) * 3);
    for (int y = 0; y < pic->height; y++) png_read_row(png, &pic->rgb[size_t(y) * size_t(pic->width) * 3], nullptr);
    png_read_end(png, info);
    pic->hasTime = png_get_valid(png, info, PNG_INFO_tIME) != 0;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool IsKey(Rgb c) { return c.r == 0 && c.g == 0 && c.b == 0; }

// A 32 x 32 cell of a sheet, cells numbered row by row.
struct Cell {
  const Picture* pic;
  int x0, y0;
  Rgb At(int x, int y) const { return pic->At(x0 + x, y0 + y); }
  double DrawnShare() const {
    int drawn = 0;
    for (int y = 0; y < 32; y++)
      for (int x = 0; x < 32; x++) drawn += !IsKey(At(x, y));
    return drawn / 1024.0;
  }
  bool operator==(const Cell& o) const {
    for (int y = 0; y < 32; y++)
      for (int x = 0; x < 32; x++)
        if (!(At(x, y) == o.At(x, y))) return false;
    return true;
  }
};

Cell CellOf(const Picture& pic, int index) {
  const int across = pic.width / 32;
  return {&pic, (index % across) * 32, (index / across) * 32};
}

// Cells a sheet uses; cells in `optional` may be drawn or left empty; every other cell
// must be all key.
struct SheetCase {
  const char* file;
  int across, down;
  std::vector<std::pair<int, int>> used;  // ranges, both ends included
  std::vector<std::pair<int, int>> optional;
};

const SheetCase kSheets[] = {
    {"u_Player.png", 4, 20, {{0, 79}}, {}},
    {"u_Enemy.png", 20, 120, {{0, 39}}, {}},
    {"u_Item.png", 4, 10, {{0, 21}}, {}},
    {"u_Block.png", 5, 10, {{0, 4}, {25, 30}}, {{5, 24}}},
    {"u_Tama.png", 4, 10, {{0, 3}}, {}},
    {"u_Bomb.png", 4, 10, {{0, 23}}, {}},
    {"u_yuka.png", 4, 10, {{0, 2}}, {{3, 7}}},
};

bool InRanges(const std::vector<std::pair<int, int>>& ranges, int i) {
  return std::any_of(ranges.begin(), ranges.end(), [i](auto r) { return i >= r.first && i <= r.second; });
}

Picture LoadSheet(const char* file) {
  Picture pic;
  EXPECT_TRUE(DecodePng(Asset(file), &pic)) << file;
  return pic;
}

TEST(MakeAssetsSheets, SizeFormatAndCellsUsed) {
  for (const SheetCase& s : kSheets) {
    SCOPED_TRACE(s.file);
    const Picture pic = LoadSheet(s.file);
    EXPECT_EQ(pic.width, s.across * 32);
    EXPECT_EQ(pic.height, s.down * 32);
    ASSERT_EQ(pic.bitDepth, 8);
    ASSERT_EQ(pic.colourType, PNG_COLOR_TYPE_RGB);
    EXPECT_FALSE(pic.hasTransparency);
    EXPECT_FALSE(pic.hasTime);
    for (int i = 0; i < s.across * s.down; i++) {
      const double share = CellOf(pic, i).DrawnShare();
      if (InRanges(s.used, i)) {
        EXPECT_GE(share, 0.15) << "cell " << i << " is nearly empty";
      } else if (!InRanges(s.optional, i)) {
        EXPECT_EQ(share, 0.0) << "cell " << i << " is not used but drawn on";
      }
    }
  }
}

TEST(MakeAssetsSheets, NoDrawnPixelTurnsIntoTheKeyAt16Bits) {
  // A channel of 32 or more keeps a pixel off black in 5:6:5, even after a dither has
  // taken its low bits.
  for (const SheetCase& s : kSheets) {
    const Picture pic = LoadSheet(s.file);
    int bad = 0;
    for (int y = 0; y < pic.height; y++)
      for (int x = 0; x < pic.width; x++) {
        const Rgb c = pic.At(x, y);
        if (!IsKey(c) && std::max({c.r, c.g, c.b}) < 32) bad++;
      }
    EXPECT_EQ(bad, 0) << s.file;
  }
}

TEST(MakeAssetsSheets, FloorAndWallAreOpaque) {
  const Picture floor = LoadSheet("u_yuka.png"), blocks = LoadSheet("u_Block.png");
  EXPECT_EQ(CellOf(floor, 2).DrawnShare(), 1.0);
  EXPECT_EQ(CellOf(blocks, 0).DrawnShare(), 1.0);
  EXPECT_FALSE(CellOf(floor, 2) == CellOf(blocks, 0));
}

TEST(MakeAssetsSheets, PlayersAreOneFigureInFourDistinctColours) {
  const Picture pic = LoadSheet("u_Player.png");
  // Colours all four players use (outline, face, boots) say nothing of whose figure it
  // is; the most used colour of the rest is the player's own.
  std::map<Rgb, int> count[4];
  for (int p = 0; p < 4; p++)
    for (int i = 0; i < 20; i++) {
      const Cell cell = CellOf(pic, 20 * p + i);
      for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++)
          if (!IsKey(cell.At(x, y))) count[p][cell.At(x, y)]++;
    }
  Rgb main[4];
  for (int p = 0; p < 4; p++) {
    int best = 0;
    for (const auto& [colour, n] : count[p]) {
      const bool shared = count[(p + 1) % 4].count(colour) && count[(p + 2) % 4].count(colour) &&
                          count[(p + 3) % 4].count(colour);
      if (!shared && n > best) best = n, main[p] = colour;
    }
    ASSERT_GT(best, 0) << "player " << p + 1;
  }
  for (int a = 0; a < 4; a++)
    for (int b = a + 1; b < 4; b++) {
      const int distance = std::abs(main[a].r - main[b].r) + std::abs(main[a].g - main[b].g) +
                           std::abs(main[a].b - main[b].b);
      EXPECT_GT(distance, 120) << "players " << a + 1 << " and " << b + 1;
    }
  // Player 1 is white: its own colour is light in every channel.
  EXPECT_GT(std::min({main[0].r, main[0].g, main[0].b}), 200);
}

TEST(MakeAssetsSheets, WalkingFramesAndFacingsAllDiffer) {
  // Sixteen walking cells per figure: four facings of four frames, no two alike.
  struct Figure {
    const char* file;
    int first;
  };
  const Figure figures[] = {{"u_Player.png", 0},  {"u_Player.png", 20}, {"u_Player.png", 40},
                            {"u_Player.png", 60}, {"u_Enemy.png", 0},   {"u_Enemy.png", 20}};
  for (const Figure& f : figures) {
    const Picture pic = LoadSheet(f.file);
    for (int a = 0; a < 16; a++)
      for (int b = a + 1; b < 16; b++)
        EXPECT_FALSE(CellOf(pic, f.first + a) == CellOf(pic, f.first + b))
            << f.file << " cells " << f.first + a << " and " << f.first + b;
  }
}

TEST(MakeAssetsSheets, FlamesAreWarmAndJoinTheirNeighbours) {
  const Picture pic = LoadSheet("u_Bomb.png");
  for (int frame = 0; frame < 4; frame++) {
    SCOPED_TRACE(frame);
    const Cell cell = CellOf(pic, frame);
    int drawn = 0, warm = 0;
    for (int y = 0; y < 32; y++)
      for (int x = 0; x < 32; x++) {
        const Rgb c = cell.At(x, y);
        if (IsKey(c)) continue;
        drawn++;
        warm += c.r >= 100 && c.r >= c.g && c.g >= c.b;
      }
    EXPECT_GE(warm, drawn * 9 / 10);
    // Bright at the middle of every edge, and every edge the same in every frame, so
    // that flames of any two frames side by side make one band.
    const Cell first = CellOf(pic, 0);
    for (int k = 0; k < 32; k++) {
      EXPECT_EQ(cell.At(0, k), first.At(0, k));
      EXPECT_EQ(cell.At(31, k), first.At(31, k));
      EXPECT_EQ(cell.At(k, 0), first.At(k, 0));
      EXPECT_EQ(cell.At(k, 31), first.At(k, 31));
    }
    for (int k : {15, 16}) {
      for (Rgb c : {cell.At(0, k), cell.At(31, k), cell.At(k, 0), cell.At(k, 31)}) {
        EXPECT_GE(c.r, 250);
        EXPECT_GE(c.g, 220);
      }
    }
    // Either side of the arm is empty at the edge: a band, not a full tile.
    EXPECT_TRUE(IsKey(cell.At(0, 0)));
    EXPECT_TRUE(IsKey(cell.At(31, 31)));
  }
}

// ---- WAV ---------------------------------------------------------------------------

uint32_t Le32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
         uint32_t(uint8_t(s[at + 3])) << 24;
}
uint16_t Le16(const std::string& s, size_t at) { return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8); }

TEST(MakeAssetsSounds, EffectsAreMonoPcmWithTheirLengthsPeaksAndFades) {
  struct EffectCase {
    const char* file;
    double seconds;
  };
  const EffectCase effects[] = {
      {"bom09.wav", 0.7},  {"buble01.wav", 0.12}, {"fm000.wav", 0.25},    {"power09.wav", 0.3},
      {"fall00.wav", 1.0}, {"animal02.wav", 0.5}, {"beep15.wav", 0.35},   {"byoro01_a.wav", 0.5},
      {"power10.wav", 0.4}, {"power37.wav", 1.0},
  };
  for (const EffectCase& e : effects) {
    SCOPED_TRACE(e.file);
    const std::string wav = Asset(e.file);
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(Le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    ASSERT_EQ(Le32(wav, 16), 16u);
    EXPECT_EQ(Le16(wav, 20), 1);      // PCM
    EXPECT_EQ(Le16(wav, 22), 1);      // mono
    EXPECT_EQ(Le32(wav, 24), 44100u);
    EXPECT_EQ(Le32(wav, 28), 88200u);
    EXPECT_EQ(Le16(wav, 32), 2);
    EXPECT_EQ(Le16(wav, 34), 16);
    ASSERT_EQ(wav.substr(36, 4), "data");
    const uint32_t bytes = Le32(wav, 40);
    ASSERT_EQ(bytes + 44, wav.size());
    std::vector<int> s(bytes / 2);
    for (size_t i = 0; i < s.size(); i++) s[i] = int16_t(Le16(wav, 44 + 2 * i));

    const double seconds = double(s.size()) / 44100;
    EXPECT_NEAR(seconds, e.seconds, e.seconds * 0.2);
    int peak = 0;
    for (int v : s) peak = std::max(peak, std::abs(v));
    const double db = 20 * std::log10(peak / 32768.0);
    EXPECT_GE(db, -11.0);
    EXPECT_LE(db, -9.0);
    // Silent at both ends and quiet through the first and last millisecond: faded, so
    // nothing clicks when the sound starts or is cut.
    EXPECT_LE(std::abs(s.front()), 16);
    EXPECT_LE(std::abs(s.back()), 16);
    for (size_t i = 0; i < 44; i++) {
      EXPECT_LE(std::abs(s[i]), peak / 4) << "sample " << i;
      EXPECT_LE(std::abs(s[s.size() - 1 - i]), peak / 4) << "sample " << s.size() - 1 - i;
    }
  }
}

// ---- Ogg Vorbis --------------------------------------------------------------------

struct OggMemory {
  const std::string* bytes;
  size_t at;
};

size_t OggRead(void* out, size_t size, size_t count, void* source) {
  auto* m = static_cast<OggMemory*>(source);
  const size_t n = std::min(size * count, m->bytes->size() - m->at);
  std::memcpy(out, m->bytes->data() + m->at, n);
  m->at += n;
  return size ? n / size : 0;
}

int OggSeek(void* source, ogg_int64_t offset, int whence) {
  auto* m = static_cast<OggMemory*>(source);
  const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(m->at) : int64_t(m->bytes->size());
  if (base + offset < 0 || base + offset > int64_t(m->bytes->size())) return -1;
  m->at = size_t(base + offset);
  return 0;
}

long OggTell(void* source) { return long(static_cast<OggMemory*>(source)->at); }

// The stage loop decoded to 16-bit stereo; its channels and rate checked on the way.
std::vector<int16_t> DecodeStageLoop() {
  const std::string ogg = Asset("worldenddominator.ogg");
  OggMemory memory = {&ogg, 0};
  OggVorbis_File vf;
  const ov_callbacks callbacks = {OggRead, OggSeek, nullptr, OggTell};
  std::vector<int16_t> pcm;
  if (ov_open_callbacks(&memory, &vf, nullptr, 0, callbacks) != 0) {
    ADD_FAILURE() << "the stage loop does not open";
    return pcm;
  }
  const vorbis_info* vi = ov_info(&vf, -1);
  EXPECT_EQ(vi->channels, 2);
  EXPECT_EQ(vi->rate, 44100);
  EXPECT_EQ(ov_pcm_total(&vf, -1), 564480);
  char buffer[4096];
  int section = 0;
  for (;;) {
    const long n = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &section);
    EXPECT_GE(n, 0);
    if (n <= 0) break;
    const size_t old = pcm.size();
    pcm.resize(old + size_t(n) / 2);
    std::memcpy(&pcm[old], buffer, size_t(n));
  }
  ov_clear(&vf);
  return pcm;
}

// The samples of a WAV effect (its header is checked by the test above).
std::vector<int> EffectSamples(const char* file) {
  const std::string wav = Asset(file);
  std::vector<int> s(wav.size() > 44 ? (wav.size() - 44) / 2 : 0);
  for (size_t i = 0; i < s.size(); i++) s[i] = int16_t(Le16(wav, 44 + 2 * i));
  return s;
}

int Peak(const std::vector<int>& s) {
  int peak = 0;
  for (int v : s) peak = std::max(peak, std::abs(v));
  return peak;
}

// The mixer adds what plays without limiting it: an explosion and a death heard together
// over the stage music stay below full scale wherever their peaks meet.
TEST(MakeAssetsSounds, AnExplosionADeathAndTheStageMusicTogetherStayBelowFullScale) {
  const std::vector<int16_t> loop = DecodeStageLoop();
  int loopPeak = 0;
  for (int16_t v : loop) loopPeak = std::max(loopPeak, std::abs(int(v)));
  const int sum = Peak(EffectSamples("bom09.wav")) + Peak(EffectSamples("fall00.wav")) + loopPeak;
  EXPECT_LT(sum, 32767) << "explosion + death + music peaks";
}

TEST(MakeAssetsSounds, StageLoopDecodesToItsExactLengthAndLoopsWithoutASeam) {
  const std::vector<int16_t> pcm = DecodeStageLoop();
  const size_t frames = pcm.size() / 2;
  ASSERT_EQ(frames, 564480u);

  int peak = 0;
  for (int16_t v : pcm) peak = std::max(peak, std::abs(int(v)));
  EXPECT_GT(peak, 8000) << "the loop is nearly silent";
  // Played looped, the step from the last frame to the first is no bigger than the
  // steps between neighbouring frames on either side of the loop point.
  for (int ch = 0; ch < 2; ch++) {
    auto at = [&](size_t frame) { return int(pcm[2 * frame + size_t(ch)]); };
    int largest = 0;
    for (size_t i = 0; i < 32; i++) {
      largest = std::max(largest, std::abs(at(i + 1) - at(i)));
      largest = std::max(largest, std::abs(at(frames - 1 - i) - at(frames - 2 - i)));
    }
    EXPECT_LE(std::abs(at(0) - at(frames - 1)), largest) << "channel " << ch;
  }
}

// ---- MIDI --------------------------------------------------------------------------

// What the tests need of a Standard MIDI File, read strictly: every chunk and event
// inside its bounds.
struct MidiSummary {
  int format = -1, tracks = 0, division = 0;
  std::vector<std::set<int>> channelsPerTrack;  // channels of each track's channel events
  std::set<int> noteChannels;
  std::map<int, bool> programBeforeNotes;  // channel: a program change came before its first note
  bool tempoOnlyInTrack0 = true, timeSignatureInTrack0 = false, tempoInTrack0 = false;
  bool everyTrackEnds = true, notesPaired = true;
  double bpm = 0;
  double seconds = 0;  // to the last event of any track
};

uint32_t Be(const std::string& s, size_t at, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; i++) v = v << 8 | uint8_t(s[at + size_t(i)]);
  return v;
}

bool ReadMidi(const std::string& s, MidiSummary* m) {
  if (s.size() < 14 || s.compare(0, 4, "MThd") || Be(s, 4, 4) != 6) return false;
  m->format = int(Be(s, 8, 2));
  m->tracks = int(Be(s, 10, 2));
  m->division = int(Be(s, 12, 2));
  if (m->division <= 0 || m->division >= 0x8000) return false;
  size_t at = 14;
  uint32_t tempo = 500000, lastTick = 0;
  for (int t = 0; t < m->tracks; t++) {
    if (at + 8 > s.size() || s.compare(at, 4, "MTrk")) return false;
    const size_t end = at + 8 + Be(s, at + 4, 4);
    if (end > s.size()) return false;
    at += 8;
    m->channelsPerTrack.emplace_back();
    std::map<std::pair<int, int>, int> sounding;
    uint32_t tick = 0;
    int status = 0;
    bool ended = false;
    while (at < end) {
      if (ended) return false;  // events after End of Track
      uint32_t delta = 0;
      for (int i = 0;; i++) {
        if (at >= end || i == 4) return false;
        const uint8_t b = uint8_t(s[at++]);
        delta = delta << 7 | (b & 0x7F);
        if (!(b & 0x80)) break;
      }
      tick += delta;
      if (at >= end) return false;
      if (uint8_t(s[at]) & 0x80) status = uint8_t(s[at++]);
      if (status == 0xFF || status == 0xF0 || status == 0xF7) {
        int type = -1;
        if (status == 0xFF) {
          if (at >= end) return false;
          type = uint8_t(s[at++]);
        }
        uint32_t length = 0;
        for (int i = 0;; i++) {
          if (at >= end || i == 4) return false;
          const uint8_t b = uint8_t(s[at++]);
          length = length << 7 | (b & 0x7F);
          if (!(b & 0x80)) break;
        }
        if (at + length > end) return false;
        if (type == 0x51 && length == 3) {
          tempo = Be(s, at, 3);
          if (t == 0 && tick == 0) m->tempoInTrack0 = true, m->bpm = 60e6 / tempo;
          if (t != 0) m->tempoOnlyInTrack0 = false;
        }
        if (type == 0x58 && t == 0) m->timeSignatureInTrack0 = true;
        if (type == 0x2F) ended = true;
        at += length;
        status = 0;  // meta and system events cancel running status
        continue;
      }
      if (status < 0x80) return false;
      const int kind = status & 0xF0, channel = status & 0x0F;
      const int dataBytes = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
      if (at + size_t(dataBytes) > end) return false;
      const int d1 = uint8_t(s[at]), d2 = dataBytes == 2 ? uint8_t(s[at + 1]) : 0;
      at += size_t(dataBytes);
      m->channelsPerTrack.back().insert(channel);
      if (kind == 0xC0 && !m->programBeforeNotes.count(channel)) m->programBeforeNotes[channel] = true;
      if (kind == 0x90 && d2 > 0) {
        if (!m->programBeforeNotes.count(channel)) m->programBeforeNotes[channel] = false;
        m->noteChannels.insert(channel);
        sounding[{channel, d1}]++;
      } else if (kind == 0x80 || kind == 0x90) {
        if (sounding[{channel, d1}]-- <= 0) m->notesPaired = false;
      }
    }
    for (const auto& [key, n] : sounding)
      if (n != 0) m->notesPaired = false;
    if (!ended) m->everyTrackEnds = false;
    lastTick = std::max(lastTick, tick);
  }
  if (at != s.size()) return false;
  // Both songs keep one tempo, set at the start.
  m->seconds = double(lastTick) / m->division * tempo / 1e6;
  return true;
}

TEST(MakeAssetsMusic, MenuSongsAreFormatOneWithTempoDrumsAndWholeNotes) {
  struct SongCase {
    const char* file;
    double bpm;
  };
  for (const SongCase& song : {SongCase{"dancers7.mid", 130}, SongCase{"sunrise.mid", 84}}) {
    SCOPED_TRACE(song.file);
    MidiSummary m;
    ASSERT_TRUE(ReadMidi(Asset(song.file), &m));
    EXPECT_EQ(m.format, 1);
    EXPECT_EQ(m.division, 480);
    EXPECT_TRUE(m.tempoInTrack0);
    EXPECT_TRUE(m.timeSignatureInTrack0);
    EXPECT_TRUE(m.tempoOnlyInTrack0);
    EXPECT_NEAR(m.bpm, song.bpm, 1);
    EXPECT_TRUE(m.everyTrackEnds);
    EXPECT_TRUE(m.notesPaired);
    EXPECT_GE(m.noteChannels.size(), 3u);
    EXPECT_TRUE(m.noteChannels.count(9)) << "no drums on channel 10";
    // Track 0 is the conductor; every other track is one instrument on one channel,
    // with its program chosen before its first note (drums take none).
    ASSERT_GE(m.channelsPerTrack.size(), 4u);
    EXPECT_TRUE(m.channelsPerTrack[0].empty());
    for (size_t t = 1; t < m.channelsPerTrack.size(); t++) EXPECT_EQ(m.channelsPerTrack[t].size(), 1u) << t;
    for (int ch : m.noteChannels) {
      if (ch != 9) {
        EXPECT_TRUE(m.programBeforeNotes[ch]) << "channel " << ch + 1;
      }
    }
    EXPECT_GE(m.seconds, 20.0);
    EXPECT_LE(m.seconds, 40.0);
  }
}

TEST(MakeAssetsMusic, ReaderRefusesBrokenFiles) {
  // The reader above must not pass what it cannot read: cut files, a note left
  // sounding, a missing End of Track.
  const std::string good = Asset("sunrise.mid");
  MidiSummary m;
  ASSERT_TRUE(ReadMidi(good, &m));
  EXPECT_FALSE(ReadMidi(good.substr(0, good.size() - 3), &m));
  EXPECT_FALSE(ReadMidi(good.substr(0, 20), &m));

  auto track = [](const std::string& events) {
    const std::string header = std::string("MThd\0\0\0\6\0\1\0\1\1\xE0", 14);
    const uint32_t n = uint32_t(events.size());
    return header + "MTrk" + std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)} + events;
  };
  const std::string end = std::string("\0\xFF\x2F\0", 4);
  MidiSummary open;
  ASSERT_TRUE(ReadMidi(track(std::string("\0\x90\x3C\x40", 4) + end), &open));
  EXPECT_FALSE(open.notesPaired);
  MidiSummary closed;
  ASSERT_TRUE(ReadMidi(track(std::string("\0\x90\x3C\x40\x60\x3C\0", 7) + end), &closed));
  EXPECT_TRUE(closed.notesPaired);  // running status, note-on at velocity 0 ends it
  MidiSummary unended;
  ASSERT_TRUE(ReadMidi(track(std::string("\0\x90\x3C\x40\x60\x80\x3C\0", 8)), &unended));
  EXPECT_FALSE(unended.everyTrackEnds);
}

// ---- the tool itself ---------------------------------------------------------------

// Runs the tool with its arguments; true when it exits with 0.
bool RunTool(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {KR_MAKEASSETS};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct TempDir {
  std::string path;
  TempDir() {
    char name[] = "/tmp/kr_makeassets_XXXXXX";
    if (mkdtemp(name)) path = name;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

TEST(MakeAssetsTool, SecondRunWritesTheSameBytesAndTheWholeSetIsSmall) {
  TempDir dir;
  ASSERT_FALSE(dir.path.empty());
  ASSERT_TRUE(RunTool({dir.path + "/assets"}));
  size_t total = 0;
  for (const char* file : kAllFiles) {
    const std::string built = Asset(file);
    ASSERT_FALSE(built.empty()) << file;
    EXPECT_TRUE(built == ReadFile(dir.path + "/assets/" + file)) << file << " differs between runs";
    total += built.size();
  }
  EXPECT_LT(total, 2u * 1024 * 1024);
  // Nothing else is left in the folder, not even a half-written file.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path + "/assets")) entries++;
  EXPECT_EQ(entries, 20u);
}

TEST(MakeAssetsTool, ContactSheetAndUsage) {
  TempDir dir;
  const std::string sheet = dir.path + "/contact.png";
  ASSERT_TRUE(RunTool({"--contact-sheet", sheet}));
  Picture pic;
  ASSERT_TRUE(DecodePng(ReadFile(sheet), &pic));
  EXPECT_EQ(pic.colourType, PNG_COLOR_TYPE_RGB);
  // Twenty cells at three times their size fit across.
  EXPECT_GE(pic.width, 20 * 96);
  EXPECT_FALSE(RunTool({}));
  EXPECT_FALSE(RunTool({"--contact-sheet"}));
  EXPECT_FALSE(RunTool({"--unknown", "x"}));
}

}  // namespace
