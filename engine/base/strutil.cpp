#include "engine/base/strutil.h"

#include <cmath>
#include <cstdio>

void StrCopy(char* destination, const char* source) {
  while ((*destination++ = *source++) != '\0') {
  }
}

void StrAppend(char* destination, const char* source) {
  while (*destination) destination++;
  StrCopy(destination, source);
}

char* StrFindChar(const char* string, int c) {
  if ((c & 0xFF) == 0) return nullptr;
  for (const char* p = string; *p; p += ShiftJisCharLength(p)) {
    if (!IsShiftJisLeadByte((unsigned char)*p) && (unsigned char)*p == (unsigned char)c)
      return const_cast<char*>(p);
  }
  return nullptr;
}

int StrCompare(const char* a, const char* b) {
  for (;; a++, b++) {
    if (*a != *b) return 1;
    if (*a == '\0') return 0;
  }
}

void StrToUpper(char* string) {
  for (char* p = string; *p; p += ShiftJisCharLength(p)) {
    if (*p >= 'a' && *p <= 'z') *p = char(*p - 'a' + 'A');
  }
}

void MemFill(void* destination, int value, size_t count) {
  unsigned char* d = (unsigned char*)destination;
  for (size_t i = 0; i < count; i++) d[i] = (unsigned char)value;
}

void MemCopy(void* destination, const void* source, size_t count) {
  unsigned char* d = (unsigned char*)destination;
  const unsigned char* s = (const unsigned char*)source;
  for (size_t i = 0; i < count; i++) d[i] = s[i];
}

void MemMove(void* destination, const void* source, size_t count) {
  unsigned char* d = (unsigned char*)destination;
  const unsigned char* s = (const unsigned char*)source;
  if (d == s || count == 0) return;
  if (s < d) {
    for (size_t i = count; i-- > 0;) d[i] = s[i];
  } else {
    for (size_t i = 0; i < count; i++) d[i] = s[i];
  }
}

int MemCompare(const void* a, const void* b, size_t count) {
  const unsigned char* x = (const unsigned char*)a;
  const unsigned char* y = (const unsigned char*)b;
  for (size_t i = 0; i < count; i++)
    if (x[i] != y[i]) return 1;
  return 0;
}

int MemCompareN(const void* a, const void* b, int32_t count) {
  if (count < 0) return 1;
  return MemCompare(a, b, size_t(count));
}

int32_t AbsInt(int32_t x) { return x >= 0 ? x : int32_t(0u - uint32_t(x)); }

float AbsFloat(float x) { return x < 0 ? -x : x; }

// The checks keep NaN and out-of-range values away from the cast (which would be
// undefined); a C++ conversion truncates toward zero whatever the rounding mode is.
int32_t FloatToInt(float x) { return DoubleToInt(double(x)); }

int32_t DoubleToInt(double x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return int32_t(x);
}

void SinCos(float angle, float* sine, float* cosine) {
  long double a = angle;
  if (sine) *sine = float(sinl(a));
  if (cosine) *cosine = float(cosl(a));
}

float SqrtFloat(float x) { return std::sqrt(x); }

int32_t StrToInt(const char* text) {
  const char* p = text;
  while (*p && !(*p >= '0' && *p <= '9') && *p != '-') p++;
  if (*p == '\0') return -1;
  bool negative = false;
  if (*p == '-') {
    negative = true;
    p++;
  }
  if (!(*p >= '0' && *p <= '9')) return 0;
  uint32_t value = 0;
  for (; *p >= '0' && *p <= '9'; p++) value = value * 10u + uint32_t(*p - '0');
  if (negative) value = 0u - value;
  return int32_t(value);
}

char* IntToStr(int32_t value, char* destination, int radix) {
  if (radix < 2 || radix > 36) {
    if (destination) destination[0] = '\0';
    return nullptr;
  }
  char* out = destination;
  if (value == 0) {
    out[0] = '0';
    out[1] = '\0';
    return destination;
  }
  uint32_t magnitude = uint32_t(value);
  if (value < 0) {
    *out++ = '-';
    magnitude = 0u - magnitude;
  }
  char digits[33];
  int n = 0;
  while (magnitude) {
    uint32_t r = magnitude % uint32_t(radix);
    digits[n++] = char(r < 10 ? '0' + r : 'a' + (r - 10));
    magnitude /= uint32_t(radix);
  }
  while (n > 0) *out++ = digits[--n];
  *out = '\0';
  return destination;
}

void MulU64x64(uint64_t a, uint64_t b, uint32_t product[4]) {
  const uint64_t aLo = uint32_t(a), aHi = a >> 32, bLo = uint32_t(b), bHi = b >> 32;
  uint64_t ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo, hh = aHi * bHi;
  uint64_t mid = (ll >> 32) + uint32_t(lh) + uint32_t(hl);
  product[0] = uint32_t(ll);
  product[1] = uint32_t(mid);
  uint64_t high = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
  product[2] = uint32_t(high);
  product[3] = uint32_t(high >> 32);
}

uint64_t DivU128by64(const uint32_t numerator[4], uint64_t divisor) {
  if (divisor == 0) return 0;
  unsigned __int128 n = (unsigned __int128)numerator[0] |
                        ((unsigned __int128)numerator[1] << 32) |
                        ((unsigned __int128)numerator[2] << 64) |
                        ((unsigned __int128)numerator[3] << 96);
  return uint64_t(n / divisor);
}

int FormatTextV(char* destination, size_t size, const char* format, va_list args) {
  if (!destination || size == 0) return 0;
  int n = std::vsnprintf(destination, size, format, args);
  if (n < 0) {
    destination[0] = '\0';
    return 0;
  }
  if (size_t(n) < size) return n;
  // Cut: never leave the lead byte of a double-byte character without its trail byte.
  size_t end = size - 1, i = 0;
  while (i < end) {
    size_t step = IsShiftJisLeadByte((unsigned char)destination[i]) ? 2 : 1;
    if (i + step > end) break;
    i += step;
  }
  destination[i] = '\0';
  return int(i);
}

int FormatText(char* destination, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatTextV(destination, size, format, args);
  va_end(args);
  return 0;
}
