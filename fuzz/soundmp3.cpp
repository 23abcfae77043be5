// MPEG audio files, with and without ID3 tags and information frames, through the sound
// converter.
#include "soundfuzz.h"

namespace {

std::vector<std::string> Seeds() {
  using namespace soundfiles;
  const std::vector<int16_t> stereo = Tone(44100, 2, 6000, 440), mono = Tone(22050, 1, 6000, 440);
  return {
      Mp3(stereo, 2, 44100, 128, false),
      Mp3(stereo, 2, 44100, 320, true),
      Id3v2(4, true, 40) + Mp3(mono, 1, 22050, 32, false) + Id3v1(),
      Id3v2(3, false, 20) + Mp3(mono, 1, 22050, 64, false),
      Mp3(Tone(48000, 1, 4000, 300), 1, 48000, 96, true),
  };
}

}  // namespace

SOUND_FUZZ_TARGET(Seeds)
