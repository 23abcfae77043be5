// WAVE files, PCM and compressed with every codec, through the sound converter.
#include "soundfuzz.h"

namespace {

std::vector<std::string> Seeds() {
  using namespace soundfiles;
  const std::string mono = PcmWav(1, 8000, 16, Bytes(Tone(8000, 1, 1200, 440)));
  const std::string stereo = PcmWav(2, 11025, 16, Bytes(Tone(11025, 2, 1200, 440)));
  return {
      mono,
      PcmWav(2, 22050, 8, std::string(300, '\x80')),
      Riff({Chunk("fmt ", PcmFmt(1, 8000, 16)), Chunk("LIST", "INFOx"), Chunk("data", "abcdef")}),
      SoxEncode(mono, "ima-adpcm"),
      SoxEncode(stereo, "ima-adpcm"),
      SoxEncode(mono, "ms-adpcm"),
      SoxEncode(stereo, "ms-adpcm"),
      SoxEncode(stereo, "a-law"),
      SoxEncode(mono, "u-law"),
      CutWavTail(SoxEncode(stereo, "ms-adpcm"), 100),
      ImaAdpcmWav(Tone(8000, 1, 9000, 300), 1, 8000, 2052),
  };
}

}  // namespace

SOUND_FUZZ_TARGET(Seeds)
