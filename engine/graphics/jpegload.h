// The JPEG loader's link to libjpeg: a data source over the engine's stream row and an
// error exit that jumps back to the loader. DecodeJpegImage itself is declared with the
// other loaders (imageload.h).
#pragma once

#include "engine/file/file.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>

enum : int32_t { JPEG_INPUT_BUFFER_SIZE = 4096 };

// libjpeg's standard error manager, its own way of emitting messages, and the place its
// error exit jumps to.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  void (*emitMessage)(j_common_ptr cinfo, int level);
  jmp_buf jump;
};

// libjpeg's source manager followed by our own fields; made from the decompressor's
// permanent pool on its first set-up and kept for its lifetime.
struct JpegStreamSource {
  jpeg_source_mgr pub;
  JOCTET* buffer;  // JPEG_INPUT_BUFFER_SIZE bytes from the same pool
  int32_t startOfFile;
  const StreamRow* stream;
  int64_t end;  // the stream's end position
};

// Makes the source on first use, points it at the stream and measures the stream's end
// (leaving the position where it was); the buffer starts empty. 0.
int SetJpegStreamSource(j_decompress_ptr cinfo, const StreamRow* stream);
// Marks the start of the data, so that finding nothing there is an empty input.
void InitJpegSource(j_decompress_ptr cinfo);
// Refills the buffer with what the stream holds, up to its size. At the end of the data
// an empty input is an error; otherwise a warning and a fake end-of-image marker would
// let the library finish (JpegEmitMessage turns that warning into the error exit).
// Always TRUE.
boolean FillJpegInputBuffer(j_decompress_ptr cinfo);
// Skips count bytes, refilling as needed (nothing for count <= 0).
void SkipJpegInputData(j_decompress_ptr cinfo, long count);
// Nothing to do at the end: the dispatch owns the stream.
void TermJpegSource(j_decompress_ptr cinfo);
// Lets the error manager write its message, then jumps back to the loader.
[[noreturn]] void JpegErrorExit(j_common_ptr cinfo);
// Emits the message as the library does; but the warnings that the data ended early are
// the error exit: a scan's data ending at a marker while the picture needed more, and the
// file ending before its end-of-image marker. The library would fill what is missing
// with grey for as many rows as the header says, or show a progressive picture cut
// between two scans at the coarser quality of the scans it had.
void JpegEmitMessage(j_common_ptr cinfo, int level);
