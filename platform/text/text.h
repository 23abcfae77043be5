// Text conversion at the platform boundary: the engine's text is Shift-JIS (code page 932),
// the OS speaks UTF-8 and glyph lookup wants UTF-32.
//
// Each function appends nothing: it replaces *out. It returns the number of input units
// that could not be converted (0 on a clean conversion). A bad or truncated sequence,
// such as a lone lead byte, becomes U+FFFD going to Unicode and '?' going to Shift-JIS.
#pragma once

#include <cstddef>
#include <string>

int PlatSjisToUtf8(const char* sjis, size_t length, std::string* out);
int PlatUtf8ToSjis(const char* utf8, size_t length, std::string* out);
int PlatSjisToUtf32(const char* sjis, size_t length, std::u32string* out);
// Code page 949 (Hangul) to UTF-32, for glyph lookup under the Hangul char set.
int PlatHangulToUtf32(const char* text, size_t length, std::u32string* out);
int PlatUtf32ToSjis(const char32_t* text, size_t length, std::string* out);

// Convenience forms for zero-terminated text; invalid input converts as above.
std::string PlatSjisToUtf8(const char* sjis);
std::string PlatUtf8ToSjis(const char* utf8);
