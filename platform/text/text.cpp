#include "platform/text/text.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <mutex>

namespace {

// One converter per direction, made on first use and never destroyed, so that code
// running in static destructors can still convert. iconv descriptors carry shift state,
// so each is used under its own lock.
struct Converter {
  iconv_t cd = (iconv_t)-1;
  std::mutex lock;
  Converter(const char* to, const char* from) { cd = iconv_open(to, from); }
};

// Width of the input unit to skip at a bad or unconvertible spot: a fixed width, or for
// UTF-8 input (inUnit 0) the length of the sequence its first byte announces.
size_t SkipWidth(const char* p, size_t left, size_t inUnit) {
  size_t n = inUnit;
  if (inUnit == 0) {
    unsigned char c = (unsigned char)p[0];
    n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 1;
    if (c >= 0xF5) n = 1;
    for (size_t i = 1; i < n && i < left; i++)
      if (((unsigned char)p[i] & 0xC0) != 0x80) n = i;
  }
  return n < left ? n : left;
}

// Runs the conversion, replacing every unconvertible input unit by `replacement` bytes in
// the output.
int Convert(Converter& conv, const char* in, size_t length, size_t inUnit,
            const char* replacement, size_t replacementLength, std::string* out) {
  out->clear();
  if (conv.cd == (iconv_t)-1) {
    // No converter on this machine: pass ASCII through and count the rest as bad.
    int bad = 0;
    for (size_t i = 0; i < length; i++) {
      unsigned char c = (unsigned char)in[i];
      if (c < 0x80 && inUnit <= 1) {
        out->push_back(char(c));
      } else {
        bad++;
        out->append(replacement, replacementLength);
      }
    }
    return bad;
  }
  iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
  int bad = 0;
  char* src = const_cast<char*>(in);
  size_t srcLeft = length;
  char buffer[1024];
  while (srcLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    size_t r = iconv(conv.cd, &src, &srcLeft, &dst, &dstLeft);
    out->append(buffer, size_t(dst - buffer));
    if (r != (size_t)-1) continue;
    if (errno == E2BIG) continue;
    // EILSEQ (a bad sequence) or EINVAL (a sequence cut off at the end of the input).
    bad++;
    out->append(replacement, replacementLength);
    size_t skip = SkipWidth(src, srcLeft, inUnit);
    src += skip;
    srcLeft -= skip;
    iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buffer;
  size_t dstLeft = sizeof buffer;
  iconv(conv.cd, nullptr, nullptr, &dst, &dstLeft);
  out->append(buffer, size_t(dst - buffer));
  return bad;
}

const char kUtf8Replacement[] = "\xEF\xBF\xBD";
const char kUtf32Replacement[] = {'\xFD', '\xFF', 0, 0};

}  // namespace

int PlatSjisToUtf8(const char* sjis, size_t length, std::string* out) {
  static Converter* conv = new Converter("UTF-8", "CP932");
  return Convert(*conv, sjis, length, 1, kUtf8Replacement, 3, out);
}

int PlatUtf8ToSjis(const char* utf8, size_t length, std::string* out) {
  static Converter* conv = new Converter("CP932", "UTF-8");
  return Convert(*conv, utf8, length, 0, "?", 1, out);
}

static int ToUtf32(Converter& conv, const char* text, size_t length, std::u32string* out) {
  std::string bytes;
  int bad = Convert(conv, text, length, 1, kUtf32Replacement, 4, &bytes);
  out->assign(bytes.size() / 4, U'\0');
  for (size_t i = 0; i < out->size(); i++) {
    const unsigned char* p = (const unsigned char*)bytes.data() + i * 4;
    (*out)[i] = char32_t(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24));
  }
  return bad;
}

int PlatSjisToUtf32(const char* sjis, size_t length, std::u32string* out) {
  static Converter* conv = new Converter("UTF-32LE", "CP932");
  return ToUtf32(*conv, sjis, length, out);
}

int PlatHangulToUtf32(const char* text, size_t length, std::u32string* out) {
  static Converter* conv = new Converter("UTF-32LE", "CP949");
  return ToUtf32(*conv, text, length, out);
}

int PlatUtf32ToSjis(const char32_t* text, size_t length, std::string* out) {
  static Converter* conv = new Converter("CP932", "UTF-32LE");
  std::string bytes(length * 4, '\0');
  for (size_t i = 0; i < length; i++) {
    uint32_t c = uint32_t(text[i]);
    bytes[i * 4 + 0] = char(c & 0xFF);
    bytes[i * 4 + 1] = char((c >> 8) & 0xFF);
    bytes[i * 4 + 2] = char((c >> 16) & 0xFF);
    bytes[i * 4 + 3] = char((c >> 24) & 0xFF);
  }
  return Convert(*conv, bytes.data(), bytes.size(), 4, "?", 1, out);
}

std::string PlatSjisToUtf8(const char* sjis) {
  std::string out;
  if (sjis) PlatSjisToUtf8(sjis, std::strlen(sjis), &out);
  return out;
}

std::string PlatUtf8ToSjis(const char* utf8) {
  std::string out;
  if (utf8) PlatUtf8ToSjis(utf8, std::strlen(utf8), &out);
  return out;
}
