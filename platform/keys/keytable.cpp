// What a key types by the JP106 layout.
#include "platform/keys/keytable.h"

namespace {

bool Held(const uint8_t keys[256], uint32_t vk) { return (keys[vk & 0xFF] & 0x80) != 0; }

}  // namespace

int PlatDefaultKeyChar(uint32_t vk, const uint8_t keys[256]) {
  const bool shift = Held(keys, PLAT_VK_SHIFT);
  const bool ctrl = Held(keys, PLAT_VK_CONTROL);
  switch (vk) {
    case PLAT_VK_RETURN: return 13;
    case PLAT_VK_BACK: return 8;
    case PLAT_VK_TAB: return 9;
    case PLAT_VK_ESCAPE: return 27;
    case PLAT_VK_SPACE: return ' ';
    default: break;
  }
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl) return int(vk - 'A' + 1);
    const bool upper = shift != ((keys[PLAT_VK_CAPITAL] & 1) != 0);
    return upper ? int(vk) : int(vk - 'A' + 'a');
  }
  if (ctrl) return -1;
  if (vk >= '0' && vk <= '9') {
    static const char kShifted[] = "\0!\"#$%&'()";
    if (!shift) return int(vk);
    char c = kShifted[vk - '0'];
    return c ? c : -1;
  }
  if (vk >= PLAT_VK_NUMPAD0 && vk <= PLAT_VK_NUMPAD0 + 9) return int('0' + vk - PLAT_VK_NUMPAD0);
  struct Oem {
    uint8_t vk;
    char plain, shifted;
  };
  static const Oem kOem[] = {
      {PLAT_VK_OEM_MINUS, '-', '='}, {PLAT_VK_OEM_7, '^', '~'},   {PLAT_VK_OEM_5, '\\', '|'},
      {PLAT_VK_OEM_3, '@', '`'},     {PLAT_VK_OEM_4, '[', '{'},   {PLAT_VK_OEM_PLUS, ';', '+'},
      {PLAT_VK_OEM_1, ':', '*'},     {PLAT_VK_OEM_6, ']', '}'},   {PLAT_VK_OEM_COMMA, ',', '<'},
      {PLAT_VK_OEM_PERIOD, '.', '>'}, {PLAT_VK_OEM_2, '/', '?'},  {PLAT_VK_OEM_102, '\\', '_'},
      {PLAT_VK_MULTIPLY, '*', '*'},  {PLAT_VK_ADD, '+', '+'},     {PLAT_VK_SUBTRACT, '-', '-'},
      {PLAT_VK_DECIMAL, '.', '.'},   {PLAT_VK_DIVIDE, '/', '/'},
  };
  for (const Oem& o : kOem)
    if (o.vk == vk) return shift ? o.shifted : o.plain;
  return -1;
}
