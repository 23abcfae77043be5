// Ogg Vorbis files, single and chained, through the sound converter.
#include "soundfuzz.h"

namespace {

std::vector<std::string> Seeds() {
  using namespace soundfiles;
  const std::string stereo = OggVorbis(Tone(22050, 2, 4000, 440), 2, 22050, 0.0f);
  const std::string mono = OggVorbis(Tone(22050, 1, 3000, 660), 1, 22050, 0.0f);
  return {stereo, mono, stereo + mono, mono + mono};
}

}  // namespace

SOUND_FUZZ_TARGET(Seeds)
