// Feeds arbitrary text to the decimal parser and the formatter.
#include "engine/base/strutil.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  int32_t v = StrToInt(text.c_str());
  char buf[40];
  IntToStr(v, buf, int(size % 40));
  char upper[64];
  FormatText(upper, sizeof upper, "%s", text.c_str());
  StrToUpper(upper);
  StrFindChar(upper, '\\');
  return 0;
}
