// Stand-ins for the BMP, raw BGRA, TGA and DDS loaders until they land: each refuses,
// so the dispatch goes on to the next loader.
#include "engine/graphics/imageload.h"

int DecodeBmpImage(const StreamRow*, GraphImage*) { return -1; }
int DecodeRawBgraImage(const StreamRow*, GraphImage*) { return -1; }
int DecodeTgaImage(const StreamRow*, GraphImage*) { return -1; }
int DecodeDdsImage(const StreamRow*, GraphImage*) { return -1; }
