// The checks of tests/e2e/play_round.sh: what the game's window shows on the Xvfb screen,
// and what SDL's disk audio driver wrote while the script played.
//   play_round_check screen <xwd> <x> <y> <assets> <png or -> <seconds> <check> [arguments]
//     the 640 x 480 client area whose top-left lies at (x, y) of the dump, looked at again
//     and again until the check holds (0) or the seconds have passed (1); the last look is
//     saved as a PNG unless "-". Looking from here sees screens that last a fraction of a
//     second (flames), which a look per process may miss. The checks:
//       lines <present ys> <absent ys> <cursor y>   red menu lines at x 200 and the cursor
//       field                                       the band, a wall and the open floor
//       player                                      a player sprite at (112, 112)
//       pause <1 or 0>                              "１Pポーズ" at (250, 268), or none
//       flames <share> [any]                        flames on (1, 1)'s open neighbours, and
//                                                   that share of a flame on (1, 1) under
//                                                   the player, each in some look; with
//                                                   "any", on one of them. The first look
//                                                   with a flame prints the length of the
//                                                   disk audio file KR_ROUND_AUDIO names.
//   play_round_check audio <raw> <events>
//     the disk file (16-bit stereo at 44100 Hz) against the events the script logged as
//     "name seconds" lines, the seconds counted in the disk file's own time.
#include "support/pngread.h"
#include "support/screenshot.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int32_t kW = 640, kH = 480, kCell = 32, kFieldX = 80, kFieldY = 80;
constexpr uint32_t kRed = 0xF80000, kWhite = 0xF8FCF8;

struct Screen {
  std::vector<uint32_t> rgb;  // reduced to 5:6:5
  uint32_t At(int32_t x, int32_t y) const { return rgb[size_t(y) * kW + size_t(x)]; }
};

std::string g_assets;

// The share of a sheet cell's drawn (not colour-keyed) pixels that the screen shows
// unchanged at (x, y).
double CellMatch(const Screen& s, const char* file, int32_t cell, int32_t x, int32_t y) {
  static std::map<std::string, RgbImage> sheets;
  RgbImage& sheet = sheets[file];
  if (sheet.rgb.empty() && !ReadRgbPng(g_assets + "/" + file, &sheet)) {
    std::printf("cannot read %s\n", file);
    return 0;
  }
  const int32_t across = sheet.width / kCell;
  const int32_t cx = (cell % across) * kCell, cy = (cell / across) * kCell;
  int32_t drawn = 0, same = 0;
  for (int32_t j = 0; j < kCell; j++)
    for (int32_t i = 0; i < kCell; i++) {
      const uint32_t v = sheet.rgb[size_t(cy + j) * size_t(sheet.width) + size_t(cx + i)];
      if (v == 0) continue;
      drawn++;
      if (x + i < kW && y + j < kH && s.At(x + i, y + j) == ReduceTo565(v)) same++;
    }
  return drawn ? double(same) / drawn : 0;
}

double BestCellMatch(const Screen& s, const char* file, int32_t first, int32_t last, int32_t x,
                     int32_t y, int32_t* best = nullptr) {
  double top = 0;
  for (int32_t c = first; c <= last; c++) {
    const double m = CellMatch(s, file, c, x, y);
    if (m > top) {
      top = m;
      if (best) *best = c;
    }
  }
  return top;
}

int32_t Count(const Screen& s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  int32_t n = 0;
  for (int32_t y = y1; y < y2; y++)
    for (int32_t x = x1; x < x2; x++) n += s.At(x, y) == colour;
  return n;
}

std::vector<int32_t> Ys(const std::string& list) {
  std::vector<int32_t> ys;
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ','))
    if (!item.empty() && item != "-") ys.push_back(std::atoi(item.c_str()));
  return ys;
}

bool g_quiet = false;  // the checks say nothing while a look is repeated
double g_firstFlames = -1;

bool Report(bool ok, const std::string& what) {
  if (g_quiet) return ok;
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  return ok;
}

int CheckScreen(const Screen& s, int argc, char** argv) {
  const std::string check = argv[0];
  bool ok = true;
  if (check == "lines" && argc >= 4) {
    for (int32_t y : Ys(argv[1])) {
      const int32_t red = Count(s, 200, y, kW, y + 16, kRed);
      ok = Report(red > 40, "red text on the line at y " + std::to_string(y) + ": " +
                                std::to_string(red) + " pixels") && ok;
    }
    for (int32_t y : Ys(argv[2])) {
      const int32_t red = Count(s, 200, y, kW, y + 16, kRed);
      ok = Report(red == 0, "nothing on the line at y " + std::to_string(y)) && ok;
    }
    const int32_t cursorY = std::atoi(argv[3]);
    const double m = CellMatch(s, "u_Player.png", 3, 140, cursorY);
    ok = Report(m > 0.97, "the cursor (player cell 3) at (140, " + std::to_string(cursorY) +
                              "): " + std::to_string(m)) && ok;
  } else if (check == "field") {
    const int32_t white = Count(s, 0, 0, kW, 90, kWhite), black = Count(s, 0, 0, kW, 90, 0);
    ok = Report(white > 200 && white + black == kW * 90,
                "the band is black with white text: " + std::to_string(white) + " white, " +
                    std::to_string(black) + " black") && ok;
    const double wall = CellMatch(s, "u_Block.png", 0, kFieldX, kFieldY + 3 * kCell);
    ok = Report(wall > 0.99, "the wall on cell (0, 3) is block cell 0: " + std::to_string(wall)) && ok;
    for (auto [c, r] : {std::pair{2, 1}, std::pair{1, 2}}) {
      const double floor = CellMatch(s, "u_yuka.png", 2, kFieldX + c * kCell, kFieldY + r * kCell);
      ok = Report(floor > 0.99, "cell (" + std::to_string(c) + ", " + std::to_string(r) +
                                    ") is floor cell 2: " + std::to_string(floor)) && ok;
    }
  } else if (check == "player") {
    int32_t cell = -1;
    const double m = BestCellMatch(s, "u_Player.png", 0, 19, 112, 112, &cell);
    ok = Report(m > 0.97, "player 1's sprite at (112, 112): cell " + std::to_string(cell) + ", " +
                              std::to_string(m));
  } else if (check == "pause" && argc >= 2) {
    // The line's five letters, 16 pixels each; an enemy passing under it brings a few
    // white pixels of its eyes (about 20 each).
    const int32_t white = Count(s, 250, 268, 332, 286, kWhite);
    ok = std::atoi(argv[1]) ? Report(white > 120, "a white line at (250, 268): " + std::to_string(white))
                            : Report(white < 60, "no white line at (250, 268): " + std::to_string(white));
  } else if (check == "flames" && argc >= 2) {
    // "any": the first sign of a burst, on any of the three cells.
    const double centre = std::atof(argv[1]);
    const bool any = argc >= 3 && std::strcmp(argv[2], "any") == 0;
    // A cell counts once it has shown a flame in any look so far: the flames spread and
    // change cells over their half second, and a look may fall between.
    static bool everSeen[3] = {};
    int32_t shown = 0, i = 0;
    for (auto [c, r] : {std::pair{1, 1}, std::pair{2, 1}, std::pair{1, 2}}) {
      int32_t cell = -1;
      const double m = BestCellMatch(s, "u_Bomb.png", 0, 3, kFieldX + c * kCell, kFieldY + r * kCell, &cell);
      // The player stands over (1, 1): part of the flame shows there.
      const bool seen = m >= (c == 1 && r == 1 ? centre : 0.97);
      shown += seen;
      everSeen[i] = everSeen[i] || seen;
      if (!any)
        ok = Report(everSeen[i], "flames on (" + std::to_string(c) + ", " + std::to_string(r) + "): now bomb cell " +
                                     std::to_string(cell) + ", " + std::to_string(m)) && ok;
      i++;
    }
    // The burst's moment in the disk audio's own time: its length when flames first show.
    if (shown > 0 && g_firstFlames < 0) {
      std::error_code ec;
      const char* audio = std::getenv("KR_ROUND_AUDIO");
      g_firstFlames = audio ? double(std::filesystem::file_size(audio, ec)) / (4.0 * 44100) : 0;
    }
    if (any) ok = Report(shown > 0, "flames on " + std::to_string(shown) + " of (1, 1) and its neighbours");
  } else {
    std::printf("unknown check %s\n", check.c_str());
    return 2;
  }
  return ok ? 0 : 1;
}

// ---- audio ------------------------------------------------------------------------------

constexpr int32_t kRate = 44100;
constexpr int32_t kWindow = kRate / 50;  // 20 ms

std::vector<int16_t> g_left;  // the left channel; the game's sounds are centred

double WindowDb(size_t at) {
  if (at + kWindow > g_left.size()) return -120;
  double sum = 0;
  for (size_t i = at; i < at + kWindow; i++) sum += double(g_left[i]) * g_left[i];
  const double rms = std::sqrt(sum / kWindow) / 32768.0;
  return rms > 0 ? 20 * std::log10(rms) : -120;
}

size_t At(double seconds) { return seconds <= 0 ? 0 : size_t(seconds * kRate); }

// The loudest 20 ms window between the two times.
double LoudestDb(double from, double to) {
  double top = -120;
  for (size_t i = At(from); i + kWindow <= At(to) && i + kWindow <= g_left.size(); i += kWindow / 2)
    top = std::max(top, WindowDb(i));
  return top;
}

// The quietest 250 ms stretch between the two times, by its loudness.
double QuietestDb(double from, double to) {
  double low = 0;
  for (size_t i = At(from); i + kRate / 4 <= At(to) && i + kRate / 4 <= g_left.size(); i += kRate / 8) {
    double sum = 0;
    for (size_t k = i; k < i + kRate / 4; k++) sum += double(g_left[k]) * g_left[k];
    const double rms = std::sqrt(sum / (kRate / 4)) / 32768.0;
    low = std::min(low, rms > 0 ? 20 * std::log10(rms) : -120);
  }
  return low;
}

// A sound starting between the two times: a 20 ms window at least 12 dB louder than the
// one 40 ms before it and louder than -45 dBFS.
bool OnsetBetween(double from, double to) {
  for (size_t i = At(from); i + kWindow <= At(to) && i + kWindow <= g_left.size(); i += kWindow / 4) {
    if (i < 2 * kWindow) continue;
    const double now = WindowDb(i), before = WindowDb(i - 2 * kWindow);
    if (now > -45 && now - before >= 12) return true;
  }
  return false;
}

int CheckAudio(const char* rawPath, const char* eventsPath) {
  std::ifstream raw(rawPath, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(raw)), std::istreambuf_iterator<char>());
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    int16_t v;
    std::memcpy(&v, bytes.data() + i, 2);
    g_left.push_back(v);
  }
  std::printf("%.2f s of disk audio\n", double(g_left.size()) / kRate);
  std::multimap<std::string, double> events;
  std::ifstream in(eventsPath);
  std::string name;
  double t;
  while (in >> name >> t) events.insert({name, t});
  auto time = [&events](const std::string& n) {
    const auto it = events.find(n);
    return it == events.end() ? -1.0 : it->second;
  };
  bool ok = true;
  char line[160];
  if (events.count("title")) {
    const double db = LoudestDb(time("title") - 0.5, time("title") + 2);
    std::snprintf(line, sizeof line, "the title music at the start: %.1f dBFS", db);
    ok = Report(db > -30, line) && ok;
  }
  if (events.count("musicoff") && events.count("lay1")) {
    const double db = LoudestDb(time("musicoff") + 0.5, time("lay1") - 0.5);
    std::snprintf(line, sizeof line, "silence from music off (%.2f s) to the first bomb (%.2f s): %.1f dBFS",
                  time("musicoff"), time("lay1"), db);
    ok = Report(db < -60, line) && ok;
  }
  // The bursts and the fall are timed by the screen (the first look that shows flames):
  // their sounds start within half a second of it. A bomb is timed by the script's key
  // press, which a loaded machine's slow frames take in later: its sound follows within
  // a second and a half.
  for (const char* e : {"lay1", "burst1", "lay2", "burst2", "fall"}) {
    if (!events.count(e)) continue;
    const bool pressed = std::strncmp(e, "lay", 3) == 0;
    const double from = time(e) - (pressed ? 0.1 : 0.5), to = time(e) + (pressed ? 1.5 : 0.5);
    std::snprintf(line, sizeof line, "%s: a sound starts between %.2f s and %.2f s", e, from, to);
    ok = Report(OnsetBetween(from, to), line) && ok;
  }
  if (events.count("round")) {
    const double db = QuietestDb(time("round") + 0.5, time("round") + 3);
    std::snprintf(line, sizeof line, "the stage music through the round's first seconds (%.2f s on): quietest %.1f dBFS",
                  time("round"), db);
    ok = Report(db > -40, line) && ok;
  }
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 9 && std::strcmp(argv[1], "screen") == 0) {
    g_assets = argv[5];
    const auto start = std::chrono::steady_clock::now();
    const std::chrono::duration<double> limit(std::atof(argv[7]));
    std::vector<uint32_t> rgb;
    int result = 1;
    for (;;) {
      const bool last = std::chrono::steady_clock::now() - start >= limit;
      if (ScreenshotArea(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), kW, kH, &rgb)) {
        Screen s;
        s.rgb.reserve(rgb.size());
        for (uint32_t v : rgb) s.rgb.push_back(ReduceTo565(v));
        // Quiet until the look that holds or the last one, which then says why.
        g_quiet = !std::getenv("KR_LOOK_VERBOSE");
        result = CheckScreen(s, argc - 8, argv + 8);
        g_quiet = false;
        if (result == 0 || last) result = CheckScreen(s, argc - 8, argv + 8);
      } else if (last) {
        std::printf("cannot read the screen\n");
      }
      if (result == 0 || last) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!rgb.empty() && std::strcmp(argv[6], "-") != 0) WriteRgbPng(argv[6], kW, kH, rgb);
    if (g_firstFlames >= 0) std::printf("first flames at %.3f s\n", g_firstFlames);
    return result;
  }
  if (argc == 4 && std::strcmp(argv[1], "audio") == 0) return CheckAudio(argv[2], argv[3]);
  std::printf("usage: see the head of play_round.cpp\n");
  return 2;
}
