// Frames of the game recorded from its own drawing code on an engine table that draws
// nothing, and drawn again from the generated sheets through the engine or through SDL2's
// software renderer: the same cells at the same places, 32 x 32 colour-keyed, the
// stretches, the boxes and the texts (SDL_ttf with the same IPA face on SDL's side).
#pragma once

#include "game/bombs.h"
#include "game/enemyai.h"
#include "game/gameapi.h"
#include "game/gamestate.h"
#include "game/mainloop.h"
#include "game/objectpool.h"
#include "game/stages.h"
#include "engine/engine.h"
#include "tests/support/pngread.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <iconv.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// ---- an engine that draws nothing ----------------------------------------------------------

inline uint32_t g_clock = 0;
inline uint32_t g_random = 1;

inline int Ok() { return 0; }
inline int Ok1(int32_t) { return 0; }
inline int Draw4(int32_t, int32_t, int32_t, int32_t) { return 0; }
inline int DrawGraph(int32_t, int32_t, int32_t, int32_t) { return 0; }
inline int Stretched(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; }
inline int Box(int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t) { return 0; }
inline uint32_t Pack(int32_t r, int32_t g, int32_t b) { return uint32_t(r << 16 | g << 8 | b); }
inline int Text(int32_t, int32_t, const char*, uint32_t, uint32_t) { return 0; }
inline int Formatted(int32_t, int32_t, uint32_t, const char*, ...) { return 0; }
inline int LoadGraphs(const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t*, int32_t) { return 0; }
inline int LoadSound(const char*, int32_t, int32_t) { return 0; }
inline int PlaySound(int32_t, int32_t, int32_t) { return 0; }
inline int PlayMusic(const char*, int32_t) { return 0; }
inline int32_t Random(uint32_t max) {
  g_random = g_random * 1103515245u + 12345u;
  return int32_t((g_random >> 16) % (max + 1));
}
inline uint32_t Tick() { return g_clock; }
inline void Sleep(uint32_t ms) { g_clock += ms; }
inline int Ask(const char*, const char*) { return 0; }
inline int WaitStop(uint32_t) { return 1; }
inline int Log(const char*) { return -1; }
inline void Tell(const char*) {}
inline void SignalStop(int32_t) {}

inline const GameApi kSilentEngine = {
    .EngineInit = Ok,
    .EngineEnd = Ok,
    .PumpMessages = Ok,
    .ChangeWindowMode = Ok1,
    .SetScreenMode = Draw4,
    .PresentScreen = Ok,
    .SetDrawTarget = Ok1,
    .ClearDrawTarget = Ok,
    .LoadSplitGraph = LoadGraphs,
    .FreeAllGraphs = Ok1,
    .DrawGraphAt = DrawGraph,
    .DrawGraphStretched = Stretched,
    .DrawColorBox = Box,
    .PackScreenColor = Pack,
    .DrawTextDefaultFont = Text,
    .DrawTextFormatted = Formatted,
    .LoadSoundFile = LoadSound,
    .PlaySoundHandle = PlaySound,
    .StopSoundHandle = Ok1,
    .PlayMusicFile = PlayMusic,
    .StopMusicFile = Ok,
    .IsMusicFilePlaying = Ok,
    .ReadPadState = Ok1,
    .IsKeyDown = Ok1,
    .WaitAnyInput = Ok,
    .RandomInt = Random,
    .GetTickMs = Tick,
    .Sleep = Sleep,
    .AskYesNo = Ask,
    .WriteLog = Log,
    .TellUser = Tell,
    .WaitClockStop = WaitStop,
    .SignalClockStop = SignalStop,
};

inline void FreeRound() {
  FreePathWork();
  FreePlayers();
  FreeGameState();
  FreeStageTable();
  FreeObjectPool();
}

// ---- recording ------------------------------------------------------------------------------

inline constexpr char kFace[] = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

struct RecordedDraw {
  enum Kind { kGraph, kStretched, kBox, kText } kind;
  int32_t x1, y1, x2, y2;
  int32_t sheet, cell;  // graphs
  uint32_t color;       // boxes: 0xRRGGBB
  std::string text;     // Shift-JIS
};

inline std::vector<std::string> g_sheetFiles;
inline std::vector<int32_t> g_sheetAcross;
inline std::vector<RecordedDraw> g_recording;

inline int RecLoadGraphs(const char* file, int32_t total, int32_t across, int32_t, int32_t, int32_t,
                         int32_t* handles, int32_t) {
  const int32_t sheet = int32_t(g_sheetFiles.size());
  g_sheetFiles.push_back(file);
  g_sheetAcross.push_back(across);
  for (int32_t i = 0; i < total; i++) handles[i] = (sheet + 1) << 16 | i;
  return 0;
}
inline int RecClear() {
  g_recording.clear();
  return 0;
}
inline int RecGraph(int32_t x, int32_t y, int32_t graph, int32_t) {
  g_recording.push_back({RecordedDraw::kGraph, x, y, x + 32, y + 32, (graph >> 16) - 1, graph & 0xFFFF, 0, {}});
  return 0;
}
inline int RecStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph, int32_t) {
  g_recording.push_back({RecordedDraw::kStretched, x1, y1, x2, y2, (graph >> 16) - 1, graph & 0xFFFF, 0, {}});
  return 0;
}
inline int RecBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t) {
  g_recording.push_back({RecordedDraw::kBox, x1, y1, x2, y2, -1, -1, color, {}});
  return 0;
}
inline int RecText(int32_t x, int32_t y, const char* text, uint32_t color, uint32_t) {
  g_recording.push_back({RecordedDraw::kText, x, y, 0, 0, -1, -1, color, text});
  return 0;
}
__attribute__((format(printf, 4, 5))) inline int RecFormatted(int32_t x, int32_t y, uint32_t color,
                                                              const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return RecText(x, y, text, color, 0);
}

enum RecordedFrame {
  kPlayFrame,    // stage 1 a few seconds into the round, a core mech on the field
  kBattleFrame,  // four players in battle, their sixteen bombs bursting over the field
};

// The draws of one frame of the kind.
inline std::vector<RecordedDraw> RecordFrame(RecordedFrame kind) {
  GameApi rec = kSilentEngine;
  rec.LoadSplitGraph = RecLoadGraphs;
  rec.ClearDrawTarget = RecClear;
  rec.DrawGraphAt = RecGraph;
  rec.DrawGraphStretched = RecStretched;
  rec.DrawColorBox = RecBox;
  rec.DrawTextDefaultFont = RecText;
  rec.DrawTextFormatted = RecFormatted;
  g_Api = &rec;
  g_sheetFiles.clear();
  g_sheetAcross.clear();
  CreateRecords();
  LoadImages();
  g_Game->textColour = Pack(255, 255, 255);
  if (kind == kPlayFrame) {
    g_Game->mode = 1;
    g_Game->stock = 4;
    g_Players[1]->active = g_Players[1]->lives = 1;
    g_Game->playersInRound = 1;
    StartRound();
    BuildStage();
    ResetPlayersForRound();
    SpawnEnemy(7, 7, 1, 0);
    for (int32_t f = 0; f < 120; f++) StepFrame();
  } else {
    g_Game->mode = 3;
    g_Game->battlePlayers = g_Game->playersInRound = kPlayerCount;
    for (int32_t n = 1; n <= kPlayerCount; n++) g_Players[n]->active = g_Players[n]->lives = 1;
    StartRound();
    BuildStage();
    ResetPlayersForRound();
    for (int32_t f = 0; f < 30; f++) StepFrame();
    // The players lay spreading bombs of range 12 on every crossing of the open lines,
    // taking turns; they burst together and their flames cover the field over each other.
    for (int32_t n = 1; n <= kPlayerCount; n++) {
      g_Players[n]->invulnerable = 1000;
      g_Players[n]->fireRange = 12;
      g_Players[n]->bombType = 4;
    }
    int32_t turn = 0;
    for (int32_t row = 1; row <= 11; row += 2)
      for (int32_t column = 1; column <= 13; column += 2) {
        FieldObject* bomb = LayBomb(g_Players[1 + turn++ % kPlayerCount], column, row);
        if (bomb) bomb->timer = 1;
      }
    for (int32_t f = 0; f < 12; f++) StepFrame();
  }
  FreeRound();
  g_Api = nullptr;
  return g_recording;
}

inline std::string Utf8(const std::string& sjis) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == iconv_t(-1)) return {};
  std::string out(sjis.size() * 3 + 1, '\0');
  char* in = const_cast<char*>(sjis.data());
  size_t inLeft = sjis.size(), outLeft = out.size();
  char* o = out.data();
  iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

// What a frame holds, for the label.
inline std::string FrameLabel(const std::vector<RecordedDraw>& draws, bool texts) {
  int32_t counts[4] = {};
  for (const RecordedDraw& d : draws) counts[d.kind]++;
  return std::to_string(counts[0]) + " cells, " + std::to_string(counts[1]) + " stretched, " +
         std::to_string(counts[2]) + " boxes, " + (texts ? std::to_string(counts[3]) + " texts" : "no texts");
}

// ---- drawing through the engine -------------------------------------------------------------

// The recorded sheets loaded as the engine's split graphs; false when they are missing.
inline bool LoadSheetsIntoEngine(std::vector<std::vector<int32_t>>* handles) {
  handles->assign(g_sheetFiles.size(), {});
  for (size_t s = 0; s < g_sheetFiles.size(); s++) {
    (*handles)[s].resize(size_t(g_sheetAcross[s]) * 120);
    const std::string path = std::string(KR_ASSET_DIR) + "/" + g_sheetFiles[s];
    RgbImage sheet;
    if (!ReadRgbPng(path, &sheet)) return false;
    const int32_t cells = (sheet.width / 32) * (sheet.height / 32);
    if (LoadSplitGraph(path.c_str(), cells, g_sheetAcross[s], sheet.height / 32, 32, 32, (*handles)[s].data(), 0) !=
        0)
      return false;
  }
  return true;
}

inline void DrawThroughEngine(const std::vector<RecordedDraw>& draws, const std::vector<std::vector<int32_t>>& handles,
                              bool withText) {
  ClearDrawTarget();
  for (const RecordedDraw& d : draws) {
    switch (d.kind) {
      case RecordedDraw::kGraph: DrawGraphAt(d.x1, d.y1, handles[size_t(d.sheet)][size_t(d.cell)], 1); break;
      case RecordedDraw::kStretched:
        DrawGraphStretched(d.x1, d.y1, d.x2, d.y2, handles[size_t(d.sheet)][size_t(d.cell)], 1);
        break;
      case RecordedDraw::kBox:
        DrawColorBox(d.x1, d.y1, d.x2, d.y2,
                     PackScreenColor(int32_t(d.color >> 16), int32_t(d.color >> 8 & 0xFF), int32_t(d.color & 0xFF)),
                     1);
        break;
      case RecordedDraw::kText:
        if (withText) DrawTextDefaultFont(d.x1, d.y1, d.text.c_str(), PackScreenColor(255, 255, 255), 0);
        break;
    }
  }
}

// ---- drawing through SDL2's software renderer -----------------------------------------------

// What SDL draws a recorded frame with: one texture per cell, colour-keyed on black, as the
// engine keeps one graph per cell, and the texts' face when it is installed.
struct SdlFrameKit {
  std::vector<std::vector<SDL_Texture*>> textures;
  TTF_Font* font = nullptr;
  bool ttf = false;

  // false when the sheets are missing.
  bool Load(SDL_Renderer* renderer, bool withText) {
    textures.assign(g_sheetFiles.size(), {});
    for (size_t s = 0; s < g_sheetFiles.size(); s++) {
      RgbImage sheet;
      if (!ReadRgbPng(std::string(KR_ASSET_DIR) + "/" + g_sheetFiles[s], &sheet)) return false;
      for (int32_t cy = 0; cy + 32 <= sheet.height; cy += 32)
        for (int32_t cx = 0; cx + 32 <= sheet.width; cx += 32) {
          SDL_Surface* cell = SDL_CreateRGBSurfaceWithFormatFrom(
              sheet.rgb.data() + size_t(cy) * size_t(sheet.width) + size_t(cx), 32, 32, 32, sheet.width * 4,
              SDL_PIXELFORMAT_RGB888);
          SDL_SetColorKey(cell, SDL_TRUE, SDL_MapRGB(cell->format, 0, 0, 0));
          textures[s].push_back(SDL_CreateTextureFromSurface(renderer, cell));
          SDL_FreeSurface(cell);
        }
    }
    if (withText && TTF_Init() == 0) {
      ttf = true;
      font = TTF_OpenFont(kFace, 16);
    }
    return true;
  }

  ~SdlFrameKit() {
    if (font) TTF_CloseFont(font);
    if (ttf) TTF_Quit();
    for (auto& sheet : textures)
      for (SDL_Texture* t : sheet) SDL_DestroyTexture(t);
  }
};

// The frame drawn into screen, the renderer's target; lines are the texts in UTF-8 by draw.
inline void DrawThroughSdl(SDL_Renderer* renderer, SDL_Surface* screen, const std::vector<RecordedDraw>& draws,
                           const SdlFrameKit& kit, const std::vector<std::string>& lines) {
  const SDL_Color white{255, 255, 255, 255};
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  for (size_t i = 0; i < draws.size(); i++) {
    const RecordedDraw& d = draws[i];
    const SDL_Rect to{d.x1, d.y1, d.x2 - d.x1, d.y2 - d.y1};
    switch (d.kind) {
      case RecordedDraw::kGraph:
      case RecordedDraw::kStretched:
        SDL_RenderCopy(renderer, kit.textures[size_t(d.sheet)][size_t(d.cell)], nullptr, &to);
        break;
      case RecordedDraw::kBox:
        SDL_SetRenderDrawColor(renderer, uint8_t(d.color >> 16), uint8_t(d.color >> 8), uint8_t(d.color), 255);
        SDL_RenderFillRect(renderer, &to);
        break;
      case RecordedDraw::kText:
        if (kit.font && !lines[i].empty()) {
          SDL_RenderFlush(renderer);
          SDL_Surface* text = TTF_RenderUTF8_Solid(kit.font, lines[i].c_str(), white);
          SDL_Rect at{d.x1, d.y1, 0, 0};
          if (text) SDL_BlitSurface(text, nullptr, screen, &at);
          SDL_FreeSurface(text);
        }
        break;
    }
  }
  SDL_RenderFlush(renderer);
}

inline std::vector<std::string> TextLines(const std::vector<RecordedDraw>& draws) {
  std::vector<std::string> lines;
  for (const RecordedDraw& d : draws) lines.push_back(d.kind == RecordedDraw::kText ? Utf8(d.text) : "");
  return lines;
}
