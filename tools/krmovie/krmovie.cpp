// krmovie: writes a movie file for trying the engine's movie playback by hand.
//   krmovie OUT.ogg [--size WxH] [--offset X,Y] [--frames N] [--rate NUM/DEN]
//                   [--keyframe K] [--chroma 420|422|444] [--quality Q] [--tone HZ]
#include "tools/krmovie/moviewriter.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: krmovie OUT.ogg [--size WxH] [--offset X,Y] [--frames N] [--rate NUM/DEN]\n"
               "               [--keyframe K] [--chroma 420|422|444] [--quality Q] [--tone HZ]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  MovieWriterSpec spec;
  for (int i = 2; i < argc; i += 2) {
    const char* opt = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!value) return Usage();
    int ok = 0;
    if (!std::strcmp(opt, "--size")) ok = std::sscanf(value, "%dx%d", &spec.width, &spec.height) == 2;
    else if (!std::strcmp(opt, "--offset")) ok = std::sscanf(value, "%d,%d", &spec.offsetX, &spec.offsetY) == 2;
    else if (!std::strcmp(opt, "--frames")) ok = std::sscanf(value, "%d", &spec.frames) == 1;
    else if (!std::strcmp(opt, "--rate")) ok = std::sscanf(value, "%u/%u", &spec.rateNumerator, &spec.rateDenominator) == 2;
    else if (!std::strcmp(opt, "--keyframe")) ok = std::sscanf(value, "%d", &spec.keyframeInterval) == 1;
    else if (!std::strcmp(opt, "--chroma")) ok = std::sscanf(value, "%d", &spec.chroma) == 1;
    else if (!std::strcmp(opt, "--quality")) ok = std::sscanf(value, "%d", &spec.quality) == 1;
    else if (!std::strcmp(opt, "--tone")) ok = std::sscanf(value, "%d", &spec.toneHz) == 1;
    if (!ok) return Usage();
  }
  std::string bytes;
  if (WriteMovie(spec, &bytes) != 0) {
    std::fprintf(stderr, "krmovie: the encoders refused these settings\n");
    return 1;
  }
  FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "krmovie: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
