#include "engine/graphics/jpegload.h"

#include "engine/base/memory.h"
#include "engine/graphics/imageload.h"

#include <jerror.h>

#include <algorithm>
#include <cstring>

// Message codes of the 6b interface that this loader raises by name.
static_assert(JERR_INPUT_EMPTY == 42 && JWRN_HIT_MARKER == 117 && JWRN_JPEG_EOF == 120,
              "libjpeg message codes moved");

namespace {

JpegStreamSource* Source(j_decompress_ptr cinfo) {
  return reinterpret_cast<JpegStreamSource*>(cinfo->src);
}

}  // namespace

int SetJpegStreamSource(j_decompress_ptr cinfo, const StreamRow* stream) {
  if (!cinfo->src) {
    auto* source = static_cast<JpegStreamSource*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegStreamSource)));
    source->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, JPEG_INPUT_BUFFER_SIZE));
    cinfo->src = &source->pub;
  }
  JpegStreamSource* source = Source(cinfo);
  source->pub.init_source = InitJpegSource;
  source->pub.fill_input_buffer = FillJpegInputBuffer;
  source->pub.skip_input_data = SkipJpegInputData;
  source->pub.resync_to_restart = jpeg_resync_to_restart;
  source->pub.term_source = TermJpegSource;
  source->stream = stream;
  const StreamFunctions& f = stream->functions;
  const int64_t position = f.tell(stream->handle);
  f.seek(stream->handle, 0, FILE_SEEK_END);
  source->end = f.tell(stream->handle);
  f.seek(stream->handle, int32_t(position), FILE_SEEK_SET);
  source->pub.bytes_in_buffer = 0;
  source->pub.next_input_byte = nullptr;
  return 0;
}

void InitJpegSource(j_decompress_ptr cinfo) { Source(cinfo)->startOfFile = 1; }

boolean FillJpegInputBuffer(j_decompress_ptr cinfo) {
  JpegStreamSource* source = Source(cinfo);
  const StreamRow* s = source->stream;
  int64_t wanted = source->end - s->functions.tell(s->handle);
  if (wanted > JPEG_INPUT_BUFFER_SIZE) wanted = JPEG_INPUT_BUFFER_SIZE;
  // Only the bytes actually read count: a read that brings nothing is the end of the data,
  // never the old buffer offered again.
  const int64_t got =
      wanted > 0 ? s->functions.read(source->buffer, 1, uint32_t(wanted), s->handle) : 0;
  if (got > 0) {
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = size_t(got > wanted ? wanted : got);
    source->startOfFile = 0;
    return TRUE;
  }
  if (source->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
  WARNMS(cinfo, JWRN_JPEG_EOF);
  source->buffer[0] = 0xFF;
  source->buffer[1] = JPEG_EOI;
  source->pub.next_input_byte = source->buffer;
  source->pub.bytes_in_buffer = 2;
  source->startOfFile = 0;
  return TRUE;
}

void SkipJpegInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* source = cinfo->src;
  while (count > long(source->bytes_in_buffer)) {
    count -= long(source->bytes_in_buffer);
    FillJpegInputBuffer(cinfo);
  }
  source->next_input_byte += count;
  source->bytes_in_buffer -= size_t(count);
}

void TermJpegSource(j_decompress_ptr) {}

// The library would print its errors and warnings on stderr: every PNG tried as a JPEG
// first would leave a line there. The loader's result says what the caller needs.
void JpegSilentMessage(j_common_ptr) {}

void JpegErrorExit(j_common_ptr cinfo) {
  longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

void JpegEmitMessage(j_common_ptr cinfo, int level) {
  // A whole file ends with its end-of-image marker, and the library asks for no byte past
  // it: a file that ends sooner is damaged, even where its last scan happens to be
  // complete or a progressive file stops between two scans.
  const int code = cinfo->err->msg_code;
  if (level < 0 && (code == JWRN_HIT_MARKER || code == JWRN_JPEG_EOF)) JpegErrorExit(cinfo);
  reinterpret_cast<JpegErrorManager*>(cinfo->err)->emitMessage(cinfo, level);
}

// libjpeg answers an error by jumping back to the setjmp below: nothing here has a
// destructor, and the pixel buffer the jump path frees sits in a volatile pointer.
int DecodeJpegImage(const StreamRow* stream, GraphImage* image) {
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  JpegErrorManager error;
  cinfo.err = jpeg_std_error(&error.pub);
  error.pub.error_exit = JpegErrorExit;
  error.pub.output_message = JpegSilentMessage;
  error.emitMessage = error.pub.emit_message;
  error.pub.emit_message = JpegEmitMessage;
  uint8_t* volatile pixels = nullptr;
  if (setjmp(error.jump)) {
    TrackedFree(pixels);
    jpeg_destroy_decompress(&cinfo);
    return -1;
  }

  jpeg_CreateDecompress(&cinfo, JPEG_LIB_VERSION, sizeof cinfo);
  // The library's own buffers (whole-image coefficients of a progressive file) stay
  // within what one picture may take.
  cinfo.mem->max_memory_to_use = long(IMAGE_MAX_BYTES);
  SetJpegStreamSource(&cinfo, stream);
  jpeg_read_header(&cinfo, TRUE);

  // The output's size and kind are settled before anything of that size is allocated;
  // only grey and colour pictures are taken (not CMYK or YCCK). Colour comes out of the
  // library as blue, green, red (RGB888 is little-endian), straight into the picture.
  if (cinfo.out_color_space == JCS_RGB) cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_calc_output_dimensions(&cinfo);
  const int components = cinfo.output_components;
  const uint64_t rowBytes = uint64_t(components) * cinfo.output_width;
  const uint64_t total = rowBytes * cinfo.output_height;
  if ((components != 1 && components != 3) || total == 0 || total > uint64_t(IMAGE_MAX_BYTES)) {
    jpeg_destroy_decompress(&cinfo);
    return -1;
  }

  jpeg_start_decompress(&cinfo);
  pixels = static_cast<uint8_t*>(TrackedAlloc(size_t(total), "", 0));
  if (!pixels) {
    jpeg_destroy_decompress(&cinfo);
    return -1;
  }
  // As many rows a call as the library makes at once, each into its place.
  constexpr JDIMENSION kRowsAtOnce = 16;
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[kRowsAtOnce];
    const JDIMENSION first = cinfo.output_scanline;
    const JDIMENSION count = std::min(kRowsAtOnce, cinfo.output_height - first);
    for (JDIMENSION i = 0; i < count; i++) rows[i] = pixels + size_t(first + i) * rowBytes;
    if (jpeg_read_scanlines(&cinfo, rows, count) == 0) {
      TrackedFree(pixels);
      jpeg_destroy_decompress(&cinfo);
      return -1;
    }
  }
  jpeg_finish_decompress(&cinfo);

  image->width = cinfo.output_width;
  image->height = cinfo.output_height;
  image->pitch = uint32_t(rowBytes);
  image->pixels = pixels;
  if (components == 1)
    SetupGray8Format(&image->format);
  else
    SetupRgb888Format(&image->format);
  jpeg_destroy_decompress(&cinfo);
  return 0;
}
