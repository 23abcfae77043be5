// Stand-in for the BMP loader until it lands: it refuses, so the dispatch goes on to the
// next loader.
#include "engine/graphics/imageload.h"

int DecodeBmpImage(const StreamRow*, GraphImage*) { return -1; }
