// Movie files for the tests, the fuzz seeds and the bench: Ogg files with one Theora
// picture stream and, when asked, a Vorbis tone beside it.
//
// Frame i shows eight large cells, four across and two down, each in one of two colours
// by a bit of i (cell c carries bit c), so that the frame number survives the lossy
// coding and can be read back from a decoded picture. The part of the coded frame
// outside the picture is a third colour, which a decoder that misses the picture offset
// would show.
#pragma once

#include <cstdint>
#include <string>

struct MovieWriterSpec {
  int32_t width = 64;            // picture size
  int32_t height = 48;
  int32_t offsetX = 0;           // picture offset inside the coded frame
  int32_t offsetY = 0;
  int32_t frames = 10;
  uint32_t rateNumerator = 15;   // frames per second, as a fraction
  uint32_t rateDenominator = 1;
  int32_t keyframeInterval = 8;  // a keyframe at least every so many frames
  int32_t chroma = 420;          // 420, 422 or 444
  int32_t quality = 48;          // 0-63
  int32_t toneHz = 0;            // 0: no sound
  int32_t audioRate = 22050;
  int32_t audioChannels = 1;
  double audioSeconds = 0;       // 0: as long as the picture
};

// The file's bytes into out; 0, or -1 for a spec the encoders refuse.
int WriteMovie(const MovieWriterSpec& spec, std::string* out);

// The cell colours in 8-bit Y, Cb, Cr and, after a BT.601 conversion, as 0xRRGGBB.
enum MovieCellColor { MOVIE_COLOR_ONE, MOVIE_COLOR_ZERO, MOVIE_COLOR_OUTSIDE, MOVIE_COLOR_COUNT };
void MovieCellYuv(MovieCellColor color, uint8_t* y, uint8_t* cb, uint8_t* cr);
uint32_t MovieCellRgb(MovieCellColor color);
// The colour of the three nearest to an 0x??RRGGBB pixel.
MovieCellColor NearestMovieColor(uint32_t pixel);

// The frame number (0-255) that a decoded picture of the written size shows, read from
// the centres of its cells; -1 when a cell or a corner of the picture shows the outside
// colour. pitch is in bytes; pixels are 32-bit 0x??RRGGBB.
int32_t ReadMovieFrameNumber(const void* pixels, int32_t width, int32_t height, int32_t pitch);
