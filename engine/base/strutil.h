// String, memory and number helpers. The engine's text is Shift-JIS: the string helpers
// step over double-byte characters so that a trail byte is never taken for a backslash,
// a line feed or a letter.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// 0x81-0x9F or 0xE0-0xFC starts a double-byte character; the byte after it belongs to
// that character whatever its value. Every pair-stepping loop of the engine uses this.
inline int IsShiftJisLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
// Character sets of IsLeadByte.
enum : int32_t { CHARSET_SHIFTJIS = 1, CHARSET_HANGUL = 2 };
// The lead-byte test of character input and text drawing, which follows the character
// set: under the Hangul code page any byte with the high bit set starts a double-byte
// character; every other set uses the Shift-JIS rule. Looks at that one byte only.
inline int IsLeadByte(const char* p, int32_t charSet) {
  const unsigned char c = (unsigned char)*p;
  return charSet == CHARSET_HANGUL ? (c >= 0x80 ? 1 : 0) : IsShiftJisLeadByte(c);
}
// Length in bytes of the character at s (1 or 2; a lead byte right before the
// terminator counts as 1, so stepping stops at the terminator).
inline int ShiftJisCharLength(const char* s) {
  return IsShiftJisLeadByte((unsigned char)s[0]) && s[1] != '\0' ? 2 : 1;
}

void StrCopy(char* destination, const char* source);
void StrAppend(char* destination, const char* source);
// First single-byte character equal to c (never a lead or trail byte), or null;
// searching for 0 gives null.
char* StrFindChar(const char* string, int c);
// 0 when equal byte for byte, 1 otherwise.
int StrCompare(const char* a, const char* b);
// a-z become A-Z in place; double-byte characters stay.
void StrToUpper(char* string);

void MemFill(void* destination, int value, size_t count);
void MemCopy(void* destination, const void* source, size_t count);
void MemMove(void* destination, const void* source, size_t count);
// 0 when the first count bytes are equal (also for count 0), 1 otherwise.
int MemCompare(const void* a, const void* b, size_t count);
// As MemCompare; a negative count gives 1.
int MemCompareN(const void* a, const void* b, int32_t count);

int32_t AbsInt(int32_t x);
float AbsFloat(float x);
// Truncate toward zero whatever the rounding mode; NaN and values outside the 32-bit
// range give 0x80000000.
int32_t FloatToInt(float x);
int32_t DoubleToInt(double x);
void SinCos(float angle, float* sine, float* cosine);
float SqrtFloat(float x);
// The first decimal number in the text; -1 when the text holds neither a digit nor a
// minus sign; 0 for a minus sign without digits. More than ten digits wrap (unsigned 32).
int32_t StrToInt(const char* text);
// Writes value in the radix (2-36, lower-case letters) and returns destination; a radix
// outside 2-36 writes an empty text and returns null. The buffer must hold 34 bytes.
char* IntToStr(int32_t value, char* destination, int radix);

// 64 x 64 -> 128-bit product, four 32-bit words, least significant first.
void MulU64x64(uint64_t a, uint64_t b, uint32_t product[4]);
// The low 64 bits of numerator / divisor (a 128-bit numerator, four words least
// significant first); a divisor of 0 gives 0.
uint64_t DivU128by64(const uint32_t numerator[4], uint64_t divisor);

// printf-style formatting into a buffer of `size` bytes, always terminated when size is
// at least 1; returns the number of characters written (the text is cut to fit).
int FormatTextV(char* destination, size_t size, const char* format, va_list args);
int FormatText(char* destination, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
