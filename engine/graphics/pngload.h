// The PNG loader's link to libpng: libpng reads the engine's stream row through a read
// callback of ours. DecodePngImage itself is declared with the other loaders
// (imageload.h).
#pragma once

#include "engine/file/file.h"

#include <png.h>

#include <cstdint>

// What the read callback works on: the stream and the position of its end.
struct PngInput {
  const StreamRow* stream;
  int64_t end;
};

// Points the input at the stream, measures the stream's end (leaving the position where
// it was) and makes ReadPngStream libpng's reader. 0.
int SetPngStreamSource(png_structp png, PngInput* input, const StreamRow* stream);
// libpng's reader: exactly `length` bytes, or "Read Error" raised inside libpng when the
// stream holds fewer or delivers fewer.
void ReadPngStream(png_structp png, png_bytep data, size_t length);
