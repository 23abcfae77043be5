#include "tools/makeassets/assets.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstdio>

namespace {

void TakePages(ogg_stream_state* os, std::string* out, bool flush) {
  ogg_page page;
  while (flush ? ogg_stream_flush(os, &page) : ogg_stream_pageout(os, &page)) {
    out->append(reinterpret_cast<const char*>(page.header), size_t(page.header_len));
    out->append(reinterpret_cast<const char*>(page.body), size_t(page.body_len));
  }
}

}  // namespace

int EncodeOggVorbis(const std::vector<float>& interleaved, int channels, int rate, float quality,
                    int serial, std::string* out) {
  out->clear();
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
    vorbis_info_clear(&vi);
    std::fprintf(stderr, "makeassets: vorbisenc refuses %d channels at %d Hz, quality %.2f\n", channels, rate,
                 double(quality));
    return -1;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, serial);

  ogg_packet header, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  TakePages(&os, out, true);  // audio starts on a page of its own

  const size_t frames = interleaved.size() / size_t(channels);
  constexpr size_t kChunk = 1024;
  for (size_t done = 0;;) {
    const size_t n = std::min(kChunk, frames - done);
    if (n > 0) {
      float** buffer = vorbis_analysis_buffer(&vd, int(n));
      for (size_t i = 0; i < n; i++)
        for (int ch = 0; ch < channels; ch++) buffer[ch][i] = interleaved[(done + i) * size_t(channels) + size_t(ch)];
    }
    // Zero frames marks the end, so the last page's granule position is the exact length.
    vorbis_analysis_wrote(&vd, int(n));
    done += n;
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet)) {
        ogg_stream_packetin(&os, &packet);
        TakePages(&os, out, false);
      }
    }
    if (n == 0) break;
  }
  TakePages(&os, out, true);

  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return 0;
}
