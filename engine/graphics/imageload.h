// Image files into GraphImage records: the loader table, the dispatch that tries each
// loader in turn over a file or a block of memory, and the alpha companion ("pict.png"
// with "pict_a.png" beside it) that the graph layer loads with every picture.
#pragma once

#include "engine/file/file.h"
#include "engine/pixel/colorformat.h"

#include <cstdint>

// A loader reads the stream from its start (the dispatch has rewound it and zeroed the
// image) and answers 0 when it took the data and filled the image, anything else when it
// did not. It reads through tell, seek and read only, and frees whatever it allocated
// before refusing.
typedef int (*ImageLoader)(const StreamRow* stream, GraphImage* image);

enum : int32_t { IMAGE_USER_LOADER_SLOTS = 10, IMAGE_BUILTIN_LOADER_COUNT = 6 };

struct ImageLoaderTable {
  ImageLoader user[IMAGE_USER_LOADER_SLOTS];  // tried first, in slot order
  int32_t userCount;                          // nothing in the engine adds one
  // BMP, JPEG, PNG, raw BGRA, TGA, DDS, then a null entry.
  ImageLoader builtIn[IMAGE_BUILTIN_LOADER_COUNT + 1];
};

// The loaders the dispatch tries.
extern ImageLoaderTable ImageLoaders;

// Tries every loader, each from offset 0 on a zeroed image, and stops at the first that
// takes the data: 0, or -1 when none did.
int LoadImageByLoaders(const StreamRow* stream, GraphImage* image);

// The size of the buffer the companion name is built in, terminator included.
enum : int32_t { IMAGE_NAME_BUFFER_SIZE = 260 };

// The alpha companion's name: "_a" before the extension of the last path element
// ("dir.old/pict" gives "dir.old/pict_a", "pict.png" gives "pict_a.png"), written to a
// buffer of IMAGE_NAME_BUFFER_SIZE bytes. 0, or -1 for a null name or one whose companion
// would not fit (the buffer is then left empty).
int MakeAlphaCompanionName(const char* fileName, char* out);

// One picture from a file (fromMemory 0; opened through the file table) or from a block of
// memory (fromMemory not 0). A mirrorFlag of 1 turns every row right to left. With toDib
// 0 the picture goes to outImage, whose pixels the caller owns from then on. With toDib not
// 0 it goes to *outBitmapInfo (a tracked PlatBitmapInfo: header and 256-entry colour table)
// and *outDibBits (tracked rows padded to 4 bytes, top row first: 8 bits for a palette
// picture, else 24), both the caller's to free; outImage is not written. Every stream it
// opened is closed once, on success and on failure. 0 or -1.
int LoadImageData(const char* fileName, const void* memoryData, uint32_t memorySize,
                  int32_t fromMemory, int32_t toDib, int32_t mirrorFlag, GraphImage* outImage,
                  void** outDibBits, void** outBitmapInfo);

// The picture and its alpha companion: from the companion file beside fileName when
// alphaFromMemory is 0, from the alpha block when it is 1. -1 when the picture does not
// load; 1 when the picture loaded but the companion did not (or none can be named, or
// none was asked for: alphaFromMemory neither 0 nor 1, or 1 with no block); 0 when both
// loaded. outAlphaImage is left empty unless the result is 0. The caller frees both images
// with FreeGraphImageCore.
int LoadImageFileData(const char* fileName, const void* memoryData, uint32_t memorySize,
                      int32_t fromMemory, const void* alphaMemoryData, uint32_t alphaMemorySize,
                      int32_t alphaFromMemory, GraphImage* outImage, GraphImage* outAlphaImage,
                      int32_t mirrorFlag);

// The built-in loaders.
int DecodeBmpImage(const StreamRow* stream, GraphImage* image);
int DecodeJpegImage(const StreamRow* stream, GraphImage* image);
int DecodePngImage(const StreamRow* stream, GraphImage* image);
int DecodeRawBgraImage(const StreamRow* stream, GraphImage* image);
int DecodeTgaImage(const StreamRow* stream, GraphImage* image);
int DecodeDdsImage(const StreamRow* stream, GraphImage* image);
