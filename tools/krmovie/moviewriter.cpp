#include "tools/krmovie/moviewriter.h"

#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct Page {
  double time;  // when its last packet is due, in seconds
  int order;    // header pages keep their place
  std::string bytes;
};

void AppendPage(std::vector<Page>* pages, const ogg_page& og, double time, int order) {
  Page p{time, order, {}};
  p.bytes.assign(reinterpret_cast<const char*>(og.header), size_t(og.header_len));
  p.bytes.append(reinterpret_cast<const char*>(og.body), size_t(og.body_len));
  pages->push_back(std::move(p));
}

int ShiftFor(int32_t interval) {
  int shift = 0;
  while ((int64_t(1) << shift) < interval) shift++;
  return shift;
}

struct Planes {
  int32_t width, height, chromaWidth, chromaHeight, xShift, yShift;
  std::vector<uint8_t> y, cb, cr;
};

Planes MakePlanes(const MovieWriterSpec& s, int32_t frameWidth, int32_t frameHeight) {
  Planes p{};
  p.width = frameWidth;
  p.height = frameHeight;
  p.xShift = s.chroma == 444 ? 0 : 1;
  p.yShift = s.chroma == 420 ? 1 : 0;
  p.chromaWidth = frameWidth >> p.xShift;
  p.chromaHeight = frameHeight >> p.yShift;
  p.y.resize(size_t(frameWidth) * size_t(frameHeight));
  p.cb.resize(size_t(p.chromaWidth) * size_t(p.chromaHeight));
  p.cr.resize(p.cb.size());
  return p;
}

// The colour of frame-coordinate (x, y) in frame number n.
MovieCellColor ColorAt(const MovieWriterSpec& s, int32_t n, int32_t x, int32_t y) {
  const int32_t px = x - s.offsetX, py = y - s.offsetY;
  if (px < 0 || py < 0 || px >= s.width || py >= s.height) return MOVIE_COLOR_OUTSIDE;
  const int32_t cell = (py * 2 / s.height) * 4 + px * 4 / s.width;
  return (n >> cell) & 1 ? MOVIE_COLOR_ONE : MOVIE_COLOR_ZERO;
}

void PaintFrame(const MovieWriterSpec& s, int32_t n, Planes* p) {
  for (int32_t y = 0; y < p->height; y++)
    for (int32_t x = 0; x < p->width; x++) {
      uint8_t cy, cb, cr;
      MovieCellYuv(ColorAt(s, n, x, y), &cy, &cb, &cr);
      p->y[size_t(y) * size_t(p->width) + size_t(x)] = cy;
    }
  // A chroma sample takes the colour of the top-left luma sample it covers.
  for (int32_t y = 0; y < p->chromaHeight; y++)
    for (int32_t x = 0; x < p->chromaWidth; x++) {
      uint8_t cy, cb, cr;
      MovieCellYuv(ColorAt(s, n, x << p->xShift, y << p->yShift), &cy, &cb, &cr);
      p->cb[size_t(y) * size_t(p->chromaWidth) + size_t(x)] = cb;
      p->cr[size_t(y) * size_t(p->chromaWidth) + size_t(x)] = cr;
    }
}

int WriteVideo(const MovieWriterSpec& s, std::vector<Page>* pages) {
  const int32_t frameWidth = (s.offsetX + s.width + 15) & ~15;
  const int32_t frameHeight = (s.offsetY + s.height + 15) & ~15;
  th_info info;
  th_info_init(&info);
  info.frame_width = uint32_t(frameWidth);
  info.frame_height = uint32_t(frameHeight);
  info.pic_width = uint32_t(s.width);
  info.pic_height = uint32_t(s.height);
  info.pic_x = uint32_t(s.offsetX);
  info.pic_y = uint32_t(s.offsetY);
  info.fps_numerator = s.rateNumerator;
  info.fps_denominator = s.rateDenominator;
  info.aspect_numerator = 1;
  info.aspect_denominator = 1;
  info.colorspace = TH_CS_UNSPECIFIED;
  info.pixel_fmt = s.chroma == 444 ? TH_PF_444 : s.chroma == 422 ? TH_PF_422 : TH_PF_420;
  info.target_bitrate = 0;
  info.quality = s.quality;
  info.keyframe_granule_shift = ShiftFor(std::max(s.keyframeInterval, 1));
  th_enc_ctx* enc = th_encode_alloc(&info);
  th_info_clear(&info);
  if (!enc) return -1;
  ogg_uint32_t interval = ogg_uint32_t(std::max(s.keyframeInterval, 1));
  th_encode_ctl(enc, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &interval, sizeof interval);

  ogg_stream_state os;
  ogg_stream_init(&os, 0x7E0);
  th_comment comment;
  th_comment_init(&comment);
  ogg_packet op;
  ogg_page og;
  int first = 1;
  while (th_encode_flushheader(enc, &comment, &op) > 0) {
    ogg_stream_packetin(&os, &op);
    // The first header goes on a page of its own, as every Ogg reader expects.
    if (first) {
      while (ogg_stream_flush(&os, &og)) AppendPage(pages, og, -2, 0);
      first = 0;
    }
  }
  while (ogg_stream_flush(&os, &og)) AppendPage(pages, og, -1, 2);
  th_comment_clear(&comment);

  Planes p = MakePlanes(s, frameWidth, frameHeight);
  const double perFrame = double(s.rateDenominator) / double(s.rateNumerator);
  int status = 0;
  for (int32_t n = 0; n < s.frames && status == 0; n++) {
    PaintFrame(s, n, &p);
    th_ycbcr_buffer buf;
    buf[0] = {p.width, p.height, p.width, p.y.data()};
    buf[1] = {p.chromaWidth, p.chromaHeight, p.chromaWidth, p.cb.data()};
    buf[2] = {p.chromaWidth, p.chromaHeight, p.chromaWidth, p.cr.data()};
    if (th_encode_ycbcr_in(enc, buf) != 0) {
      status = -1;
      break;
    }
    const int last = n == s.frames - 1;
    while (th_encode_packetout(enc, last, &op) > 0) ogg_stream_packetin(&os, &op);
    // A page for every frame keeps the pages in step with the sound's.
    while (ogg_stream_flush(&os, &og)) AppendPage(pages, og, (n + 1) * perFrame, 4);
  }
  ogg_stream_clear(&os);
  th_encode_free(enc);
  return status;
}

int WriteTone(const MovieWriterSpec& s, std::vector<Page>* pages) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, s.audioChannels, s.audioRate, 0.4f) != 0) {
    vorbis_info_clear(&vi);
    return -1;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 0x50A);
  ogg_packet header, comment, code;
  vorbis_analysis_headerout(&vd, &vc, &header, &comment, &code);
  ogg_page og;
  ogg_stream_packetin(&os, &header);
  while (ogg_stream_flush(&os, &og)) AppendPage(pages, og, -2, 1);
  ogg_stream_packetin(&os, &comment);
  ogg_stream_packetin(&os, &code);
  while (ogg_stream_flush(&os, &og)) AppendPage(pages, og, -1, 3);

  const double seconds = s.audioSeconds > 0 ? s.audioSeconds
                                            : s.frames * double(s.rateDenominator) / double(s.rateNumerator);
  const int64_t total = int64_t(seconds * s.audioRate);
  const double step = 2.0 * M_PI * s.toneHz / s.audioRate;
  int64_t done = 0;
  bool ended = false;
  while (!ended) {
    const int64_t chunk = std::min<int64_t>(1024, total - done);
    if (chunk > 0) {
      float** buffer = vorbis_analysis_buffer(&vd, int(chunk));
      for (int64_t i = 0; i < chunk; i++)
        for (int c = 0; c < s.audioChannels; c++)
          buffer[c][i] = float(0.5 * std::sin(step * double(done + i)));
      vorbis_analysis_wrote(&vd, int(chunk));
      done += chunk;
    } else {
      vorbis_analysis_wrote(&vd, 0);
      ended = true;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &og))
          AppendPage(pages, og, double(ogg_page_granulepos(&og)) / s.audioRate, 4);
      }
    }
  }
  while (ogg_stream_flush(&os, &og)) AppendPage(pages, og, double(ogg_page_granulepos(&og)) / s.audioRate, 4);
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return 0;
}

}  // namespace

int WriteMovie(const MovieWriterSpec& s, std::string* out) {
  if (s.width < 1 || s.height < 1 || s.offsetX < 0 || s.offsetY < 0 || s.offsetX > 255 || s.offsetY > 255 ||
      s.frames < 0 || s.rateNumerator == 0 || s.rateDenominator == 0 ||
      (s.chroma != 420 && s.chroma != 422 && s.chroma != 444))
    return -1;
  std::vector<Page> pages;
  if (WriteVideo(s, &pages) != 0) return -1;
  if (s.toneHz > 0 && WriteTone(s, &pages) != 0) return -1;
  // Beginning pages first, then the other headers, then the data in time order.
  std::stable_sort(pages.begin(), pages.end(), [](const Page& a, const Page& b) {
    if (a.order != b.order && (a.order < 4 || b.order < 4)) return a.order < b.order;
    return a.time < b.time;
  });
  out->clear();
  for (const Page& p : pages) out->append(p.bytes);
  return 0;
}

void MovieCellYuv(MovieCellColor color, uint8_t* y, uint8_t* cb, uint8_t* cr) {
  static const uint8_t kYuv[MOVIE_COLOR_COUNT][3] = {{200, 80, 170}, {60, 170, 90}, {120, 60, 60}};
  *y = kYuv[color][0];
  *cb = kYuv[color][1];
  *cr = kYuv[color][2];
}

uint32_t MovieCellRgb(MovieCellColor color) {
  uint8_t y, cb, cr;
  MovieCellYuv(color, &y, &cb, &cr);
  auto clamp = [](double v) { return uint32_t(std::clamp(std::lround(v), 0L, 255L)); };
  const double l = 1.164 * (y - 16);
  return clamp(l + 1.596 * (cr - 128)) << 16 | clamp(l - 0.391 * (cb - 128) - 0.813 * (cr - 128)) << 8 |
         clamp(l + 2.018 * (cb - 128));
}

MovieCellColor NearestMovieColor(uint32_t pixel) {
  MovieCellColor best = MOVIE_COLOR_ONE;
  int32_t bestDistance = INT32_MAX;
  for (int c = 0; c < MOVIE_COLOR_COUNT; c++) {
    const uint32_t ref = MovieCellRgb(MovieCellColor(c));
    int32_t d = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const int32_t diff = int32_t((pixel >> shift) & 0xFF) - int32_t((ref >> shift) & 0xFF);
      d += diff * diff;
    }
    if (d < bestDistance) {
      bestDistance = d;
      best = MovieCellColor(c);
    }
  }
  return best;
}

int32_t ReadMovieFrameNumber(const void* pixels, int32_t width, int32_t height, int32_t pitch) {
  if (!pixels || width < 1 || height < 1) return -1;
  auto at = [&](int32_t x, int32_t y) {
    uint32_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(pixels) + size_t(y) * size_t(pitch) + size_t(x) * 4, 4);
    return NearestMovieColor(v);
  };
  const int32_t inset = std::min({2, width - 1, height - 1});
  const int32_t corners[4][2] = {{inset, inset}, {width - 1 - inset, inset}, {inset, height - 1 - inset},
                                 {width - 1 - inset, height - 1 - inset}};
  for (const auto& c : corners)
    if (at(c[0], c[1]) == MOVIE_COLOR_OUTSIDE) return -1;
  int32_t n = 0;
  for (int32_t cell = 0; cell < 8; cell++) {
    const int32_t x = ((cell % 4) * 2 + 1) * width / 8, y = ((cell / 4) * 2 + 1) * height / 4;
    const MovieCellColor c = at(x, y);
    if (c == MOVIE_COLOR_OUTSIDE) return -1;
    if (c == MOVIE_COLOR_ONE) n |= 1 << cell;
  }
  return n;
}
