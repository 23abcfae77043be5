// Sound files made in code, for the tests and the fuzz seeds: WAVE files through the
// shared writer (engine/sound/writer; PCM, or any fmt bytes given), Ogg Vorbis through vorbisenc, MP3 through lame, ADPCM
// and G.711 through sox (a coder that is not ours), and an IMA ADPCM writer of our own
// for block sizes sox does not write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soundfiles {

// Interleaved 16-bit samples of a sine tone: `frames` frames, every channel the same.
std::vector<int16_t> Tone(int rate, int channels, int frames, double hz, int amplitude = 12000);
// Samples as little-endian bytes, and back.
std::string Bytes(const std::vector<int16_t>& samples);
std::vector<int16_t> Samples(const std::string& bytes);

// A chunk: id, size (the body's unless given), body, and a pad byte when the body is odd.
std::string Chunk(const std::string& id, const std::string& body, int64_t size = -1);
// A 16-byte PCM fmt body (block align and average rate worked out unless given).
std::string PcmFmt(int channels, int rate, int bits, int blockAlign = -1);
// "RIFF", its size, "WAVE", then the chunks as given.
std::string Riff(const std::vector<std::string>& chunks);
// A PCM WAVE file: fmt then data.
std::string PcmWav(int channels, int rate, int bits, const std::string& data);
// Cuts `bytes` off the end of a WAVE file whose last chunk is "data", keeping its sizes
// true.
std::string CutWavTail(const std::string& wav, size_t bytes);

// Ogg Vorbis at quality `quality` (-0.1 to 1).
std::string OggVorbis(const std::vector<int16_t>& pcm, int channels, int rate, float quality = 0.3f);
// Constant-bit-rate MP3; with `infoFrame` lame's information frame comes first. The
// frames lame says it wrote (the information frame not among them) go to `frames`.
std::string Mp3(const std::vector<int16_t>& pcm, int channels, int rate, int kbps, bool infoFrame,
                int* frames = nullptr);
// An ID3v2 tag of the major version with `body` bytes of frames (and a footer when
// asked, version 4 only), and a 128-byte ID3v1 trailer.
std::string Id3v2(int major, bool footer, size_t body);
std::string Id3v1();

// Runs sox on a file: sox -D <input> <args...> <output>, and returns the output file's
// bytes; empty when sox fails. `outType` names the output's type ("wav", "raw").
std::string Sox(const std::string& input, const std::string& inType,
                const std::vector<std::string>& args, const std::string& outType);
// A PCM WAVE encoded by sox: "ima-adpcm", "ms-adpcm", "a-law", "u-law".
std::string SoxEncode(const std::string& pcmWav, const std::string& encoding);
// sox's own decoding of a WAVE file to 16-bit samples.
std::vector<int16_t> SoxDecode(const std::string& wav);

// IMA ADPCM WAVE of our own encoder, blocks of `blockAlign` bytes (a multiple of
// 4 x channels); the last block padded with silence.
std::string ImaAdpcmWav(const std::vector<int16_t>& pcm, int channels, int rate, int blockAlign);

// A Standard MIDI File of format 1 at one tick a millisecond (division 1000 and a
// quarter of 1 000 000 microseconds): a tempo track, and a track of piano notes of
// `key` from 0 every `everyMs` lasting `noteMs` each, with End of Track at `lengthMs`.
std::string Midi(int lengthMs, int everyMs = 250, int noteMs = 200, int key = 69, int velocity = 100);

}  // namespace soundfiles
