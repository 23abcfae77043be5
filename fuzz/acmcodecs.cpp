// The codec streams on their own. The input is a format record (18 bytes) with the
// extra bytes it names, one byte choosing the destination size, then the source. The
// source is converted in pieces into destinations that must never be overrun, each call
// within the stream size.
#include "soundfuzz.h"

#include "platform/audio/codec.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// A seed: a WAVE file's fmt chunk (padded to a full record), a size byte and its data.
std::string FromWav(const std::string& wav, char room) {
  const size_t fmtSize = uint8_t(wav[16]) | (uint8_t(wav[17]) << 8);
  std::string format = wav.substr(20, fmtSize);
  if (format.size() < 18) format += std::string(18 - format.size(), '\0');
  const size_t data = wav.rfind("data");
  return format + room + wav.substr(data + 8);
}

std::vector<std::string> Seeds() {
  using namespace soundfiles;
  const std::string mono = PcmWav(1, 8000, 16, Bytes(Tone(8000, 1, 1500, 440)));
  const std::string stereo = PcmWav(2, 8000, 16, Bytes(Tone(8000, 2, 1500, 440)));
  std::string mp3Format = std::string("\x55\x00\x02\x00\x44\xAC\x00\x00\x00\x3E\x00\x00\x01\x00\x00\x00\x0C\x00", 18) +
                          std::string(12, '\0');
  return {
      FromWav(SoxEncode(mono, "ima-adpcm"), 20),
      FromWav(SoxEncode(stereo, "ima-adpcm"), 3),
      FromWav(SoxEncode(mono, "ms-adpcm"), 50),
      FromWav(SoxEncode(stereo, "ms-adpcm"), 9),
      FromWav(SoxEncode(stereo, "a-law"), 1),
      FromWav(SoxEncode(mono, "u-law"), 100),
      mp3Format + char(40) + Mp3(Tone(44100, 2, 3000, 440), 2, 44100, 128, false),
  };
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  soundfuzz::WriteSeeds(*argc, *argv, Seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 19) return 0;
  PlatWaveFormat head;
  std::memcpy(&head, data, sizeof head);
  const size_t formatBytes = sizeof head + head.extraSize;
  if (size < formatBytes + 1) return 0;
  std::vector<unsigned char> format(data, data + formatBytes);
  const uint32_t room = uint32_t(data[formatBytes]) * 97 + 1;
  const unsigned char* source = data + formatBytes + 1;
  const uint32_t sourceSize = uint32_t(size - formatBytes - 1);
  const PlatWaveFormat* f = reinterpret_cast<const PlatWaveFormat*>(format.data());

  const int streams = PlatCodecLiveStreams();
  PlatWaveFormat pcm = {};
  pcm.formatTag = PLAT_WAVE_FORMAT_PCM;
  PlatCodecStream s = nullptr;
  if (PlatCodecFormatSuggest(f, &pcm, sizeof pcm, PLAT_CODEC_SUGGEST_TAG) == 0 &&
      PlatCodecStreamOpen(&s, f, &pcm, 0) == 0) {
    uint32_t at = 0;
    for (int idle = 0, calls = 0; at < sourceSize && idle < 2 && calls < 4096; calls++) {
      const uint32_t piece = std::min<uint32_t>(sourceSize - at, 2048 + (at % 3000));
      std::unique_ptr<unsigned char[]> out(new unsigned char[room]);
      PlatCodecStreamHeader h = {};
      h.source = source + at;
      h.sourceLength = piece;
      h.destination = out.get();
      h.destinationLength = room;
      if (PlatCodecStreamPrepareHeader(s, &h) != 0) abort();
      const uint32_t flags = at + piece == sourceSize ? PLAT_CODEC_CONVERT_END : PLAT_CODEC_CONVERT_BLOCKALIGN;
      const int r = PlatCodecStreamConvert(s, &h, flags);
      if (PlatCodecStreamUnprepareHeader(s, &h) != 0) abort();
      if (r != 0) break;
      uint64_t bound = 0;
      if (PlatCodecStreamSize(s, piece, &bound, PLAT_CODEC_SIZE_SOURCE) != 0) abort();
      if (h.sourceLengthUsed > piece || h.destinationLengthUsed > room || h.destinationLengthUsed > bound)
        abort();
      at += h.sourceLengthUsed;
      idle = h.sourceLengthUsed || h.destinationLengthUsed ? 0 : idle + 1;
    }
    PlatCodecStreamClose(s);
  }
  if (PlatCodecLiveStreams() != streams) abort();
  return 0;
}
