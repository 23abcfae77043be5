#include "engine/graphics/imageload.h"

#include "engine/base/memory.h"
#include "engine/base/rect.h"
#include "engine/base/strutil.h"
#include "engine/graphics/dib.h"
#include "engine/pixel/convert.h"

#include <cstring>

ImageLoaderTable ImageLoaders = {
    .user = {},
    .userCount = 0,
    .builtIn = {DecodeBmpImage, DecodeJpegImage, DecodePngImage, DecodeRawBgraImage,
                DecodeTgaImage, DecodeDdsImage, nullptr},
};

int LoadImageByLoaders(const StreamRow* stream, GraphImage* image) {
  auto tryLoader = [&](ImageLoader loader) {
    stream->functions.seek(stream->handle, 0, FILE_SEEK_SET);
    std::memset(image, 0, sizeof *image);
    return loader(stream, image) == 0;
  };
  int32_t users = ImageLoaders.userCount;
  if (users > IMAGE_USER_LOADER_SLOTS) users = IMAGE_USER_LOADER_SLOTS;
  for (int32_t i = 0; i < users; i++)
    if (ImageLoaders.user[i] && tryLoader(ImageLoaders.user[i])) return 0;
  for (const ImageLoader* loader = ImageLoaders.builtIn; *loader; loader++)
    if (tryLoader(*loader)) return 0;
  return -1;
}

int MakeAlphaCompanionName(const char* fileName, char* out) {
  out[0] = '\0';
  if (!fileName) return -1;
  // The extension belongs to the last path element only: a "." in a directory name is not
  // one. A double-byte character may end in 0x5C, which is not a separator there.
  size_t length = 0, dot = 0;
  bool haveDot = false;
  while (fileName[length]) {
    const char c = fileName[length];
    if (c == '\\' || c == '/') {
      haveDot = false;
    } else if (c == '.') {
      dot = length;
      haveDot = true;
    }
    length += size_t(ShiftJisCharLength(fileName + length));
  }
  if (length + 2 + 1 > size_t(IMAGE_NAME_BUFFER_SIZE)) return -1;
  const size_t stem = haveDot ? dot : length;
  std::memcpy(out, fileName, stem);
  std::memcpy(out + stem, "_a", 2);
  std::memcpy(out + stem + 2, fileName + stem, length - stem + 1);
  return 0;
}

namespace {

// The DIB form of a loaded picture: a header block with a 256-entry colour table, and the
// DIB's bits, either the picture's own pixels (0) or a copy (1); -1 when it cannot be
// made, with the block let go.
int BuildImageDib(GraphImage* image, void** outDibBits, void** outBitmapInfo) {
  if (!outDibBits || !outBitmapInfo) return -1;
  PlatBitmapInfo* info = static_cast<PlatBitmapInfo*>(TrackedCalloc(sizeof(PlatBitmapInfo), "", 0));
  if (!info) return -1;
  const int made = GraphImageToDib(image, info, outDibBits, 0, 0);
  if (made == -1) {
    TrackedFree(info);
    *outDibBits = nullptr;
    return -1;
  }
  *outBitmapInfo = info;
  return made;
}

}  // namespace

int LoadImageData(const char* fileName, const void* memoryData, uint32_t memorySize,
                  int32_t fromMemory, int32_t toDib, int32_t mirrorFlag, GraphImage* outImage,
                  void** outDibBits, void** outBitmapInfo) {
  StreamRow stream;
  if (fromMemory == 0) {
    if (!fileName) return -1;
    FileHandle file = FileOpen(fileName, 0, 1, 0);
    if (!file) return -1;
    stream.functions = *GetFileStreamFunctions();
    stream.handle = file;
  } else {
    if (!memoryData && memorySize != 0) return -1;
    MemStream* memory = MemStreamOpen(memoryData, memorySize);
    if (!memory) return -1;
    stream.functions = *GetMemStreamFunctions();
    stream.handle = StreamHandle(memory);
  }
  // Each stream is closed exactly once: a memory stream as soon as the picture is read,
  // a file at the end, whichever way the end is reached.
  bool streamOpen = true;
  auto closeStream = [&] {
    if (streamOpen) stream.functions.close(stream.handle);
    streamOpen = false;
  };

  GraphImage image;
  if (LoadImageByLoaders(&stream, &image) != 0) {
    closeStream();
    return -1;
  }
  if (fromMemory != 0) closeStream();

  if (mirrorFlag == 1) {
    const int64_t bytes = int64_t(image.pitch) * image.height;
    void* mirrored = bytes > 0 && bytes <= IMAGE_MAX_BYTES ? TrackedAlloc(size_t(bytes), "", 0)
                                                           : nullptr;
    const Rect whole = {0, 0, int32_t(image.width), int32_t(image.height)};
    // A copy between two 8-bit pictures answers the highest index it copied, so only -1
    // is a failure.
    if (!mirrored ||
        ConvertBlitRect(mirrored, int32_t(image.pitch), &image.format, image.pixels,
                        int32_t(image.pitch), &image.format, nullptr, 0, nullptr, 0, 0, &whole, 1,
                        0, 0, 0, 0, 0, 0, 0) == -1) {
      TrackedFree(mirrored);
      FreeGraphImageCore(&image);
      closeStream();
      return -1;
    }
    TrackedFree(image.pixels);
    image.pixels = mirrored;
  }

  if (toDib == 0) {
    *outImage = image;
  } else {
    const int made = BuildImageDib(&image, outDibBits, outBitmapInfo);
    if (made == -1) {
      FreeGraphImageCore(&image);
      closeStream();
      return -1;
    }
    if (made == 1) FreeGraphImageCore(&image);
  }
  closeStream();
  return 0;
}

int LoadImageFileData(const char* fileName, const void* memoryData, uint32_t memorySize,
                      int32_t fromMemory, const void* alphaMemoryData, uint32_t alphaMemorySize,
                      int32_t alphaFromMemory, GraphImage* outImage, GraphImage* outAlphaImage,
                      int32_t mirrorFlag) {
  if (LoadImageData(fileName, memoryData, memorySize, fromMemory, 0, mirrorFlag, outImage,
                    nullptr, nullptr) != 0)
    return -1;
  std::memset(outAlphaImage, 0, sizeof *outAlphaImage);
  if ((alphaFromMemory == 1 && !alphaMemoryData) || (alphaFromMemory != 0 && alphaFromMemory != 1))
    return 1;
  // A companion file needs a name that fits; none is opened otherwise.
  char alphaName[IMAGE_NAME_BUFFER_SIZE];
  if (alphaFromMemory == 0 && MakeAlphaCompanionName(fileName, alphaName) != 0) return 1;
  return LoadImageData(alphaFromMemory == 0 ? alphaName : nullptr, alphaMemoryData,
                       alphaMemorySize, alphaFromMemory, 0, mirrorFlag, outAlphaImage, nullptr,
                       nullptr) == 0
             ? 0
             : 1;
}
