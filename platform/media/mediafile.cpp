#include "platform/media/mediafile.h"

#include "platform/audio/audio.h"
#include "platform/fs/fs.h"
#include "platform/media/media.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

// The largest file read whole. A fuzzing build takes less, as the engine's loaders do.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr int64_t kMaxFileBytes = int64_t(1) << 24;
constexpr int64_t kMaxPictureBytes = int64_t(1) << 24;
#else
constexpr int64_t kMaxFileBytes = int64_t(1) << 30;
constexpr int64_t kMaxPictureBytes = int64_t(1) << 30;
#endif
// The largest picture side, and the coded frame around it (at most 255 more on each side,
// in whole 16-pixel blocks), as the engine's own decoder takes them.
constexpr int64_t kMaxPictureSide = 4096;
constexpr int64_t kMaxFrameSide = kMaxPictureSide + 256 + 16;
// Decoded sound kept ahead of the mixer is compacted past this many frames.
constexpr size_t kCompactFrames = 8192;

uint32_t SdlFormatOf(const PlatDDPixelFormat& f) {
  auto fourCC = [](char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
  };
  if (f.flags & PLAT_DDPF_FOURCC) {
    if (f.fourCC == fourCC('U', 'Y', 'V', 'Y')) return SDL_PIXELFORMAT_UYVY;
    if (f.fourCC == fourCC('Y', 'U', 'Y', '2')) return SDL_PIXELFORMAT_YUY2;
    return SDL_PIXELFORMAT_UNKNOWN;
  }
  if (!(f.flags & PLAT_DDPF_RGB) || (f.flags & PLAT_DDPF_PALETTEINDEXED8)) return SDL_PIXELFORMAT_UNKNOWN;
  if (f.bitCount == 16 && f.rMask == 0xF800 && f.gMask == 0x07E0 && f.bMask == 0x001F) return SDL_PIXELFORMAT_RGB565;
  if (f.bitCount == 16 && f.rMask == 0x7C00 && f.gMask == 0x03E0 && f.bMask == 0x001F) return SDL_PIXELFORMAT_RGB555;
  // 0xRRGGBB in three little-endian bytes: blue, green, red in memory.
  if (f.bitCount == 24 && f.rMask == 0xFF0000 && f.gMask == 0xFF00 && f.bMask == 0xFF) return SDL_PIXELFORMAT_BGR24;
  if (f.bitCount == 32 && f.rMask == 0xFF0000 && f.gMask == 0xFF00 && f.bMask == 0xFF) return SDL_PIXELFORMAT_RGB888;
  return SDL_PIXELFORMAT_UNKNOWN;
}

void CollectVorbisPage(const ogg_page* page, void* context) {
  MediaAudio* a = static_cast<MediaAudio*>(context);
  std::vector<unsigned char> whole(page->header, page->header + page->header_len);
  whole.insert(whole.end(), page->body, page->body + page->body_len);
  a->pages.push_back(std::move(whole));
}

// ---- sound --------------------------------------------------------------------------------

void CloseVorbis(MediaAudio* a) {
  if (!a->decoding) return;
  vorbis_block_clear(&a->block);
  vorbis_dsp_clear(&a->dsp);
  vorbis_comment_clear(&a->comment);
  vorbis_info_clear(&a->info);
  ogg_stream_clear(&a->stream);
  a->decoding = false;
}

// The next packet of the track, feeding pages as needed; false at its end.
bool NextVorbisPacket(MediaAudio* a, ogg_packet* packet) {
  for (;;) {
    const int got = ogg_stream_packetout(&a->stream, packet);
    if (got == 1) return true;
    if (got < 0) continue;  // a gap: the next packet goes on
    if (a->nextPage >= a->pages.size()) return false;
    std::vector<unsigned char>& p = a->pages[a->nextPage++];
    ogg_page page;
    page.header = p.data();
    if (p.size() < 27) continue;
    page.header_len = long(p[26]) + 27;  // the segment table's length decides the header's
    if (size_t(page.header_len) > p.size()) continue;
    page.body = p.data() + page.header_len;
    page.body_len = long(p.size()) - page.header_len;
    ogg_stream_pagein(&a->stream, &page);
  }
}

// Reads the headers from the first page on; the decoding states are ready after.
bool OpenVorbis(MediaAudio* a) {
  CloseVorbis(a);
  if (a->pages.empty() || a->pages[0].size() < 27) return false;
  const std::vector<unsigned char>& first = a->pages[0];
  ogg_stream_init(&a->stream, 0);
  // The serial number: bytes 14 to 17 of a page, little-endian.
  ogg_stream_reset_serialno(&a->stream, int(uint32_t(first[14]) | uint32_t(first[15]) << 8 |
                                            uint32_t(first[16]) << 16 | uint32_t(first[17]) << 24));
  vorbis_info_init(&a->info);
  vorbis_comment_init(&a->comment);
  a->nextPage = 0;
  int headers = 0;
  ogg_packet packet;
  while (headers < 3 && NextVorbisPacket(a, &packet)) {
    if (vorbis_synthesis_headerin(&a->info, &a->comment, &packet) != 0) break;
    headers++;
  }
  const bool ok = headers == 3 && a->info.rate >= long(PLAT_DSBFREQUENCY_MIN) &&
                  a->info.rate <= long(PLAT_DSBFREQUENCY_MAX) && a->info.channels >= 1 &&
                  vorbis_synthesis_init(&a->dsp, &a->info) == 0;
  if (!ok) {
    vorbis_comment_clear(&a->comment);
    vorbis_info_clear(&a->info);
    ogg_stream_clear(&a->stream);
    return false;
  }
  vorbis_block_init(&a->dsp, &a->block);
  a->decoding = true;
  a->pcm.clear();
  a->read = 0;
  a->fraction = 0;
  a->ended = false;
  a->step = (uint64_t(a->info.rate) << 32) / PLAT_AUDIO_MIX_RATE;
  return true;
}

// Decodes until `frames` stereo frames lie ahead of the read position, or the track ends.
void Refill(MediaAudio* a, size_t frames) {
  if (a->read > kCompactFrames) {
    a->pcm.erase(a->pcm.begin(), a->pcm.begin() + ptrdiff_t(a->read * 2));
    a->read = 0;
  }
  ogg_packet packet;
  while (a->pcm.size() / 2 < a->read + frames && !a->ended) {
    if (!NextVorbisPacket(a, &packet)) {
      a->ended = true;
      break;
    }
    if (vorbis_synthesis(&a->block, &packet) != 0) continue;
    vorbis_synthesis_blockin(&a->dsp, &a->block);
    float** channels;
    int n;
    while ((n = vorbis_synthesis_pcmout(&a->dsp, &channels)) > 0) {
      const int right = a->info.channels > 1 ? 1 : 0;
      for (int i = 0; i < n; i++)
        for (int c : {0, right}) {
          const float v = std::clamp(channels[c][i], -1.0f, 1.0f);
          a->pcm.push_back(int16_t(v * 32767.0f));
        }
      vorbis_synthesis_read(&a->dsp, n);
    }
  }
}

// The mixer's call, under its mutex: the next frames, resampled by linear interpolation.
void MixAudio(PlatAudioSource* source, int32_t* sums, uint32_t frames) {
  MediaAudio* a = static_cast<MediaAudio*>(source->context);
  if (!a->playing || !a->decoding) return;
  for (uint32_t i = 0; i < frames; i++) {
    Refill(a, 2);
    const size_t have = a->pcm.size() / 2 - a->read;
    if (have == 0) {
      a->playing = false;
      return;
    }
    if (sums) {
      const int16_t* s0 = &a->pcm[a->read * 2];
      const int16_t* s1 = have > 1 ? s0 + 2 : s0;
      const int32_t f16 = int32_t(a->fraction >> 16);
      sums[2 * i] += s0[0] + ((int32_t(s1[0]) - s0[0]) * f16 >> 16);
      sums[2 * i + 1] += s0[1] + ((int32_t(s1[1]) - s0[1]) * f16 >> 16);
    }
    a->fraction += a->step;
    a->read += size_t(a->fraction >> 32);
    a->fraction &= 0xFFFFFFFFu;
    if (a->read > a->pcm.size() / 2) a->read = a->pcm.size() / 2;
  }
}

// ---- pictures -----------------------------------------------------------------------------

// The decoder's newest picture into `planes` as 4:2:0 (the chroma sample of each 2 x 2
// block is the source's at the block's top-left pixel).
bool TakePicture(MediaFile* f) {
  yuv_buffer yuv;
  if (f->decodedFrame < 0 || !PlatTheoraPicture(&f->state, f->pictureDecoded, &yuv)) return false;
  const int32_t w = f->width, h = f->height, cw = (w + 1) / 2, ch = (h + 1) / 2;
  const int32_t ox = int32_t(f->info.offset_x), oy = int32_t(f->info.offset_y);
  uint8_t* y = f->planes.data();
  uint8_t* u = y + size_t(w) * size_t(h);
  uint8_t* v = u + size_t(cw) * size_t(ch);
  for (int32_t row = 0; row < h; row++)
    std::memcpy(y + size_t(row) * size_t(w), yuv.y + int64_t(oy + row) * yuv.y_stride + ox, size_t(w));
  for (int32_t row = 0; row < ch; row++) {
    const int64_t sy = int64_t(oy + 2 * row) >> f->chromaShiftY;
    for (int32_t col = 0; col < cw; col++) {
      const int64_t sx = int64_t(ox + 2 * col) >> f->chromaShiftX;
      u[size_t(row) * size_t(cw) + size_t(col)] = yuv.u[sy * yuv.uv_stride + sx];
      v[size_t(row) * size_t(cw) + size_t(col)] = yuv.v[sy * yuv.uv_stride + sx];
    }
  }
  return true;
}

}  // namespace

bool MediaFormatWritable(const PlatDDPixelFormat& format) { return SdlFormatOf(format) != SDL_PIXELFORMAT_UNKNOWN; }

int32_t MediaFileOpen(MediaFile* f, const char* fileName) {
  PlatFile* in = PlatFileOpen(fileName, PLAT_FILE_READ, PLAT_OPEN_EXISTING);
  if (!in) return PLAT_MEDIA_E_FILENOTFOUND;
  const int64_t size = PlatFileSize(in);
  if (size < 1 || size > kMaxFileBytes) {
    PlatFileClose(in);
    return PLAT_MEDIA_E_UNKNOWNFILE;
  }
  f->bytes.resize(size_t(size));
  const int64_t got = PlatFileRead(in, f->bytes.data(), size);
  PlatFileClose(in);
  if (got != size) return PLAT_MEDIA_E_UNKNOWNFILE;

  ogg_sync_init(&f->sync);
  ogg_stream_init(&f->stream, 0);
  theora_info_init(&f->info);
  theora_comment_init(&f->comment);
  f->statesReady = true;
  f->source = PlatOggSource{f->bytes.data(), size, 0};
  PlatTheoraLayout layout;
  if (PlatTheoraOpen(&f->sync, &f->stream, &f->info, &f->comment, &f->source, &layout, CollectVorbisPage,
                     &f->audio) != 0)
    return PLAT_MEDIA_E_UNKNOWNFILE;
  const theora_info& i = f->info;
  switch (i.pixelformat) {
    case OC_PF_420: f->chromaShiftX = 1, f->chromaShiftY = 1; break;
    case OC_PF_422: f->chromaShiftX = 1, f->chromaShiftY = 0; break;
    case OC_PF_444: f->chromaShiftX = 0, f->chromaShiftY = 0; break;
    default: return PLAT_MEDIA_E_UNKNOWNFILE;
  }
  // Sizes from the file, checked in 64 bits before anything is made of them.
  const int64_t pw = i.frame_width, ph = i.frame_height, fw = i.width, fh = i.height;
  if (i.fps_numerator == 0 || i.fps_denominator == 0 || pw < 1 || ph < 1 || pw > kMaxPictureSide ||
      ph > kMaxPictureSide || pw * ph * 4 > kMaxPictureBytes || fw > kMaxFrameSide || fh > kMaxFrameSide ||
      int64_t(i.offset_x) + pw > fw || int64_t(i.offset_y) + ph > fh)
    return PLAT_MEDIA_E_UNKNOWNFILE;
  if (theora_decode_init(&f->state, &f->info) != 0) return PLAT_MEDIA_E_UNKNOWNFILE;
  f->decoderReady = true;
  f->frameCount = layout.lastGranule < 0 ? 0 : int64_t(theora_granule_frame(&f->state, layout.lastGranule)) + 1;
  f->timePerFrame = int64_t(10000000) * int64_t(i.fps_denominator) / int64_t(i.fps_numerator);
  if (f->frameCount < 1 || f->frameCount > INT32_MAX || f->timePerFrame < 1) return PLAT_MEDIA_E_UNKNOWNFILE;
  // A file none of whose pictures decodes has nothing to show.
  if (!PlatTheoraAnyPictureDecodes(&f->sync, &f->stream, &f->source, &f->info, layout.dataStart))
    return PLAT_MEDIA_E_UNKNOWNFILE;
  f->width = int32_t(pw);
  f->height = int32_t(ph);
  f->dataStart = layout.dataStart;
  const size_t chroma = size_t((pw + 1) / 2) * size_t((ph + 1) / 2);
  f->planes.assign(size_t(pw) * size_t(ph) + 2 * chroma, 0);
  // Black until the first picture: Y 16, U and V 128.
  std::fill(f->planes.begin(), f->planes.begin() + ptrdiff_t(pw * ph), uint8_t(16));
  std::fill(f->planes.begin() + ptrdiff_t(pw * ph), f->planes.end(), uint8_t(128));
  f->audio.source.mix = MixAudio;
  f->audio.source.context = &f->audio;
  f->audio.usable = layout.hasVorbis && OpenVorbis(&f->audio);
  return PLAT_MEDIA_OK;
}

void MediaFileClose(MediaFile* f) {
  {
    std::lock_guard<std::mutex> lock(PlatAudioMutex());
    PlatAudioDetachSourceLocked(&f->audio.source);
    CloseVorbis(&f->audio);
  }
  if (f->decoderReady) theora_clear(&f->state);
  if (f->statesReady) {
    theora_comment_clear(&f->comment);
    theora_info_clear(&f->info);
    ogg_stream_clear(&f->stream);
    ogg_sync_clear(&f->sync);
  }
  f->decoderReady = f->statesReady = false;
  f->pictureDecoded = 0;
}

void MediaFileDecode(MediaFile* f, int64_t frame) {
  if (!f->decoderReady || frame == f->decodedFrame) return;
  if (frame < f->decodedFrame || f->decodedFrame < 0) {
    PlatTheoraRewind(&f->sync, &f->stream, &f->source, f->dataStart);
    f->decodedFrame = -1;
  }
  // Every packet is decoded in order; only the picture of the frame asked for is taken.
  // A file whose packets end early shows its last picture for the frames it lacks. A packet
  // that does not decode leaves the decoder's last good picture, which is taken instead,
  // and before any has decoded the planes keep what they hold.
  ogg_packet packet;
  bool decoded = false;
  while (f->decodedFrame < frame && PlatTheoraNextPacket(&f->sync, &f->stream, &f->source, &packet)) {
    PlatTheoraDecodePacket(&f->state, &packet, &f->pictureDecoded);
    f->decodedFrame++;
    decoded = true;
  }
  if (decoded) TakePicture(f);
}

int32_t MediaFileWrite(MediaFile* f, PlatDDSurface surface, const PlatRect& rect) {
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  const int32_t locked = PlatDDSurfaceLock(surface, &rect, &desc, PLAT_DDLOCK_WAIT | PLAT_DDLOCK_WRITEONLY);
  if (locked != PLAT_DD_OK) return locked;
  const uint32_t format = SdlFormatOf(desc.pixelFormat);
  int result = -1;
  if (format != SDL_PIXELFORMAT_UNKNOWN)
    result = SDL_ConvertPixels(f->width, f->height, SDL_PIXELFORMAT_IYUV, f->planes.data(), f->width, format,
                               desc.surface, desc.pitch);
  PlatDDSurfaceUnlock(surface, &rect);
  return result == 0 ? PLAT_MEDIA_OK : PLAT_MEDIA_E_FAIL;
}

void MediaAudioRunLocked(MediaFile* f, bool run) {
  MediaAudio& a = f->audio;
  if (!a.usable) return;
  if (run && !a.source.device) PlatAudioAttachSourceLocked(PlatAudioNewestDeviceLocked(), &a.source);
  a.playing = run && a.decoding;
}

void MediaAudioSeekLocked(MediaFile* f, int64_t time) {
  MediaAudio& a = f->audio;
  if (!a.usable) return;
  const bool playing = a.playing;
  if (!OpenVorbis(&a)) {
    a.usable = false;
    a.playing = false;
    return;
  }
  // Decoded from the first packet on, and what lies before the time dropped.
  const int64_t skip = time <= 0 ? 0 : int64_t((__int128)time * a.info.rate / 10000000);
  int64_t left = skip;
  while (left > 0 && !a.ended) {
    Refill(&a, size_t(std::min<int64_t>(left, 4096)));
    const int64_t have = int64_t(a.pcm.size() / 2 - a.read);
    const int64_t drop = std::min(left, have);
    a.read += size_t(drop);
    left -= drop;
    if (drop == 0) break;
  }
  a.playing = playing && a.decoding;
}
