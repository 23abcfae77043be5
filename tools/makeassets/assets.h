// makeassets: the game's sprite sheets, sound effects and music, made by code. Every
// file comes out the same byte for byte on every run.
#pragma once

#include "tools/makeassets/paint.h"
#include "tools/makeassets/synth.h"

#include <cstdint>
#include <string>
#include <vector>

// PNG: 8-bit RGB without alpha or a time chunk; 0, or -1 with a message.
int EncodePng(const Canvas& canvas, std::string* out);

// Sound effects: file name and the voice that renders it.
struct EffectRecipe {
  const char* file;
  Samples (*render)();
};
constexpr int kEffectCount = 10;
extern const EffectRecipe kEffects[kEffectCount];
// 16-bit mono samples at 44100 Hz, peak and fades applied.
std::vector<int16_t> RenderEffect(const EffectRecipe& effect);

// The stage loop: eight bars at 150 beats a minute, exactly this many stereo frames.
constexpr int kLoopFrames = 564480;
// Interleaved stereo floats in [-1, 1].
std::vector<float> RenderStageLoop();
// The menus' songs as Standard MIDI Files.
std::string ComposeTitleSong();    // lively, the title and the normal-mode select
std::string ComposeOptionsSong();  // calm, the options

// Every used cell of every sheet at three times its size, one group a row.
Canvas DrawContactSheet();
