#include "soundfiles.h"

#include "engine/sound/writer/soundwriter.h"

#include <lame/lame.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace soundfiles {

namespace {

void Put16(std::string* s, uint32_t v) {
  s->push_back(char(v & 0xFF));
  s->push_back(char((v >> 8) & 0xFF));
}
void Put32(std::string* s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
uint32_t Get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; i--) v = (v << 8) | uint8_t(s[at + i]);
  return v;
}
void Set32(std::string* s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) (*s)[at + i] = char((v >> (8 * i)) & 0xFF);
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(bytes.data(), std::streamsize(bytes.size()));
}

// A temporary folder, removed with everything in it.
struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/kr_soundfiles_XXXXXX";
    if (mkdtemp(tmpl)) path = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
};

// Runs a program with its arguments, no shell; true when it exits with 0.
bool Run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::vector<int16_t> Tone(int rate, int channels, int frames, double hz, int amplitude) {
  std::vector<int16_t> out(size_t(frames) * channels);
  for (int i = 0; i < frames; i++) {
    const int16_t v = int16_t(std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
    for (int c = 0; c < channels; c++) out[size_t(i) * channels + c] = v;
  }
  return out;
}

std::string Bytes(const std::vector<int16_t>& samples) { return WavSampleBytes(samples.data(), samples.size()); }

std::vector<int16_t> Samples(const std::string& bytes) {
  std::vector<int16_t> out(bytes.size() / 2);
  for (size_t i = 0; i < out.size(); i++)
    out[i] = int16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8));
  return out;
}

// The WAVE pieces are the shared writer's, which the game's asset tool uses too.
std::string Chunk(const std::string& id, const std::string& body, int64_t size) { return WavChunk(id, body, size); }
std::string PcmFmt(int channels, int rate, int bits, int blockAlign) {
  return WavPcmFmt(channels, rate, bits, blockAlign);
}
std::string Riff(const std::vector<std::string>& chunks) { return WavRiff(chunks); }
std::string PcmWav(int channels, int rate, int bits, const std::string& data) {
  return WavPcmFile(channels, rate, bits, data);
}

std::string CutWavTail(const std::string& wav, size_t bytes) {
  const size_t data = wav.rfind("data");
  std::string out = wav.substr(0, wav.size() - bytes);
  Set32(&out, data + 4, Get32(wav, data + 4) - uint32_t(bytes));
  Set32(&out, 4, uint32_t(out.size() - 8));
  return out;
}

std::string OggVorbis(const std::vector<int16_t>& pcm, int channels, int rate, float quality) {
  std::vector<float> samples(pcm.size());
  for (size_t i = 0; i < pcm.size(); i++) samples[i] = pcm[i] / 32768.0f;
  // Links of a chained file need serials of their own. Pages of about 1024 frames each,
  // as a streaming encoder writes them: vorbisfile starts a chained file's first link
  // wrongly when that link is a single page.
  static int serial = 0x4B52;
  std::string out;
  OggVorbisEncode(samples.data(), pcm.size() / size_t(channels), channels, rate, quality, serial++, 1024, &out);
  return out;
}

std::string Mp3(const std::vector<int16_t>& pcm, int channels, int rate, int kbps, bool infoFrame,
                int* frames) {
  lame_global_flags* gf = lame_init();
  lame_set_num_channels(gf, channels);
  lame_set_in_samplerate(gf, rate);
  lame_set_out_samplerate(gf, rate);
  lame_set_brate(gf, kbps);
  lame_set_VBR(gf, vbr_off);
  lame_set_mode(gf, channels == 1 ? MONO : JOINT_STEREO);
  lame_set_bWriteVbrTag(gf, infoFrame ? 1 : 0);
  lame_set_write_id3tag_automatic(gf, 0);
  lame_set_quality(gf, 7);
  if (lame_init_params(gf) < 0) {
    lame_close(gf);
    return "";
  }
  const int count = int(pcm.size() / channels);
  std::vector<unsigned char> buffer(size_t(count) * 5 / 4 + 7200 + 16384);
  int n;
  if (channels == 2) {
    n = lame_encode_buffer_interleaved(gf, const_cast<short*>(pcm.data()), count, buffer.data(),
                                       int(buffer.size()));
  } else {
    n = lame_encode_buffer(gf, pcm.data(), pcm.data(), count, buffer.data(), int(buffer.size()));
  }
  std::string out;
  if (n >= 0) out.assign(reinterpret_cast<char*>(buffer.data()), size_t(n));
  n = lame_encode_flush(gf, buffer.data(), int(buffer.size()));
  if (n > 0) out.append(reinterpret_cast<char*>(buffer.data()), size_t(n));
  if (infoFrame) {
    const size_t tag = lame_get_lametag_frame(gf, buffer.data(), buffer.size());
    if (tag > 0 && tag <= out.size()) out.replace(0, tag, reinterpret_cast<char*>(buffer.data()), tag);
  }
  if (frames) *frames = lame_get_frameNum(gf);
  lame_close(gf);
  return out;
}

std::string Id3v2(int major, bool footer, size_t body) {
  std::string s = "ID3";
  s.push_back(char(major));
  s.push_back('\0');
  s.push_back(char(footer ? 0x10 : 0));
  for (int shift : {21, 14, 7, 0}) s.push_back(char((body >> shift) & 0x7F));
  // A title frame, then padding; an 0xFF 0xFB in the tag's text would look like a frame
  // to a scan that did not skip the tag.
  std::string frames = "TIT2";
  const std::string title = std::string("\x03tone \xFF\xFB\x90\x64", 10);
  for (int shift : {21, 14, 7, 0}) frames.push_back(char((title.size() >> shift) & 0x7F));
  frames += std::string(2, '\0') + title;
  frames.resize(std::max(frames.size(), body), '\0');
  s += frames.substr(0, body);
  if (footer) s += "3DI" + s.substr(3, 7);
  return s;
}

std::string Id3v1() {
  std::string s = "TAG";
  s += std::string("A tone") + std::string(24, ' ');
  s.resize(128, '\0');
  s[127] = char(0xFF);  // genre: none
  return s;
}

std::string Sox(const std::string& input, const std::string& inType,
                const std::vector<std::string>& args, const std::string& outType) {
  TempDir dir;
  if (dir.path.empty()) return "";
  const std::string in = dir.path + "/in." + inType, out = dir.path + "/out." + outType;
  WriteFile(in, input);
  std::vector<std::string> argv = {"sox", "-D", in};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back(out);
  if (!Run(argv)) return "";
  return ReadFile(out);
}

std::string SoxEncode(const std::string& pcmWav, const std::string& encoding) {
  return Sox(pcmWav, "wav", {"-e", encoding}, "wav");
}

std::vector<int16_t> SoxDecode(const std::string& wav) {
  return Samples(Sox(wav, "wav", {"-t", "raw", "-e", "signed", "-b", "16", "-L"}, "raw"));
}

std::string ImaAdpcmWav(const std::vector<int16_t>& pcm, int channels, int rate, int blockAlign) {
  static const int16_t kStep[89] = {
      7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
      25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
      88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
      307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
      1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
      3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
      12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
  static const int kIndex[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
  const int groups = (blockAlign - 4 * channels) / (4 * channels);
  const int perBlock = groups * 8 + 1;
  const size_t frames = pcm.size() / channels;
  std::string data;
  int index[2] = {0, 0};
  for (size_t start = 0; start < frames; start += size_t(perBlock)) {
    auto at = [&](size_t f, int c) -> int {
      return f < frames ? pcm[f * channels + c] : 0;
    };
    std::vector<std::string> bodies(static_cast<size_t>(channels));
    std::string head;
    for (int c = 0; c < channels; c++) {
      int predicted = at(start, c);
      Put16(&head, uint16_t(int16_t(predicted)));
      head.push_back(char(index[c]));
      head.push_back('\0');
      std::string& nibbles = bodies[size_t(c)];
      for (int i = 1; i < perBlock; i++) {
        int diff = at(start + size_t(i), c) - predicted;
        int n = 0;
        if (diff < 0) {
          n = 8;
          diff = -diff;
        }
        int step = kStep[index[c]];
        if (diff >= step) { n |= 4; diff -= step; }
        step >>= 1;
        if (diff >= step) { n |= 2; diff -= step; }
        step >>= 1;
        if (diff >= step) n |= 1;
        step = kStep[index[c]];
        int delta = step >> 3;
        if (n & 4) delta += step;
        if (n & 2) delta += step >> 1;
        if (n & 1) delta += step >> 2;
        predicted = std::clamp(n & 8 ? predicted - delta : predicted + delta, -32768, 32767);
        index[c] = std::clamp(index[c] + kIndex[n], 0, 88);
        if (i % 2 == 1) nibbles.push_back(char(n));
        else nibbles.back() = char(nibbles.back() | (n << 4));
      }
    }
    data += head;
    for (int g = 0; g < groups; g++)
      for (int c = 0; c < channels; c++) data += bodies[size_t(c)].substr(size_t(g) * 4, 4);
  }
  std::string fmt;
  Put16(&fmt, 0x11);
  Put16(&fmt, uint32_t(channels));
  Put32(&fmt, uint32_t(rate));
  Put32(&fmt, uint32_t(uint64_t(rate) * blockAlign / perBlock));
  Put16(&fmt, uint32_t(blockAlign));
  Put16(&fmt, 4);
  Put16(&fmt, 2);
  Put16(&fmt, uint32_t(perBlock));
  std::string fact;
  Put32(&fact, uint32_t(frames));
  return Riff({Chunk("fmt ", fmt), Chunk("fact", fact), Chunk("data", data)});
}

std::string Midi(int lengthMs, int everyMs, int noteMs, int key, int velocity) {
  SmfTrack tempo, notes;
  SmfTempo(&tempo, 0, 1000000);
  SmfMeta(&tempo, uint32_t(lengthMs), 0x2F, "");
  SmfProgram(&notes, 0, 0, 0);
  for (int at = 0; at + noteMs <= lengthMs; at += everyMs) SmfNote(&notes, uint32_t(at), uint32_t(noteMs), 0, key, velocity);
  SmfMeta(&notes, uint32_t(lengthMs), 0x2F, "");
  return SmfFile(1, 1000, {tempo, notes});
}

}  // namespace soundfiles
