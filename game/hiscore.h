// HiScore.dat: four little-endian 32-bit numbers in the working folder, the game's only
// configuration: hi score, highest stage reached, music switch, effects switch.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kHiScoreFileSize = 16;

struct HiScoreValues {
  int32_t hiScore;
  int32_t reach;
  int32_t musicOn;
  int32_t effectsOn;
};

// The values a file of size bytes holds. A field not wholly present takes its default
// (50, 1, 1, 1); reach is held to the stages the game itself records (1 to 3); a switch
// other than 0 or 1 reads as 1; bytes past the fourth field are ignored.
HiScoreValues ParseHiScore(const uint8_t* bytes, size_t size);
// The file's 16 bytes for the values.
void EncodeHiScore(const HiScoreValues& values, uint8_t bytes[kHiScoreFileSize]);

// Fills the game state's four fields from HiScore.dat, or the defaults when it is missing;
// never creates the file.
void LoadHiScore();
// Writes the four fields through HiScore.dat.tmp renamed over the file, so a cut write
// leaves the old file whole. 0, or -1 when the file could not be written (a read-only
// folder, a full disk): the old file is kept, and the log and the terminal say why.
int SaveHiScore();
