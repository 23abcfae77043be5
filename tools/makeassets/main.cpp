// makeassets: draws, synthesizes, composes and writes the game's pictures, sounds and
// music. Nothing in them comes from anywhere but this code, and every run writes the
// same bytes.
//
//   makeassets <folder>                 the game's 20 files into the folder
//   makeassets --contact-sheet <file>   every used cell at 3x in one PNG, for people
#include "engine/sound/writer/soundwriter.h"
#include "tools/makeassets/assets.h"
#include "tools/makeassets/sprites.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// Writes through a temporary and a rename, so that a reader never sees half a file.
int WriteFile(const std::string& path, const std::string& bytes) {
  const std::string temp = path + ".part";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "makeassets: cannot create %s\n", temp.c_str());
    return -1;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    std::fprintf(stderr, "makeassets: cannot write %s\n", path.c_str());
    return -1;
  }
  return 0;
}

int WritePng(const std::string& path, const Canvas& canvas) {
  std::string bytes;
  if (EncodePng(canvas, &bytes) != 0) return -1;
  return WriteFile(path, bytes);
}

struct SheetPlan {
  const char* file;
  Canvas (*draw)();
};

const SheetPlan kSheets[] = {
    {"u_Player.png", DrawPlayerSheet}, {"u_Enemy.png", DrawEnemySheet}, {"u_Item.png", DrawItemSheet},
    {"u_Block.png", DrawBlockSheet},   {"u_Tama.png", DrawShotSheet},   {"u_Bomb.png", DrawBombSheet},
    {"u_yuka.png", DrawFloorSheet},
};

int MakeAll(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "makeassets: cannot make %s\n", folder.c_str());
    return -1;
  }
  const std::string dir = folder + "/";
  for (const SheetPlan& sheet : kSheets)
    if (WritePng(dir + sheet.file, sheet.draw()) != 0) return -1;

  for (const EffectRecipe& effect : kEffects) {
    const std::vector<int16_t> samples = RenderEffect(effect);
    const std::string wav = WavPcmFile(1, kRate, 16, WavSampleBytes(samples.data(), samples.size()));
    if (WriteFile(dir + effect.file, wav) != 0) return -1;
  }

  std::string ogg;
  constexpr int kSerial = 0x4B523432;  // fixed, so that the stream's bytes never change
  const std::vector<float> loop = RenderStageLoop();
  if (OggVorbisEncode(loop.data(), loop.size() / 2, 2, kRate, 0.4f, kSerial, 0, &ogg) != 0) {
    std::fprintf(stderr, "makeassets: vorbisenc refuses the stage loop's format\n");
    return -1;
  }
  if (WriteFile(dir + "worldenddominator.ogg", ogg) != 0) return -1;

  if (WriteFile(dir + "dancers7.mid", ComposeTitleSong()) != 0 ||
      WriteFile(dir + "sunrise.mid", ComposeOptionsSong()) != 0)
    return -1;
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: makeassets <folder>\n       makeassets --contact-sheet <file.png>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && !std::strcmp(argv[1], "--contact-sheet")) return WritePng(argv[2], DrawContactSheet()) ? 1 : 0;
  if (argc != 2 || argv[1][0] == '-') return Usage();
  return MakeAll(argv[1]) ? 1 : 0;
}
