#include "console/keyboard.h"

#include "platform/console.h"

const unsigned char GreekKeyLetters[58] = {
    128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139,
    140, 141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151, // capitals
    152, 153, 154, 155, 156, 157, 158, 159, 160, 161, 162, 163,
    164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, // small letters
    224, 225, 226, 227, 229, 228, 230, 231, 232, 233,           // omega and the accented letters
};
const char LatinKeyLetters[59] = "ABGDEZHUIKLMNJOPRSTYFXCVabgdezhuiklmnjoprswtyfxcvaehiioyyv";

namespace {
bool extended_key_pending = false;
} // namespace

std::uint8_t ReadKeyLatin() {
  if (extended_key_pending) {
    extended_key_pending = false;
    return ReadKeyChar();
  }
  std::uint8_t key = ReadKeyChar();
  if (key == 0) {
    extended_key_pending = true;
    return 0;
  }
  for (int i = 0; i < 58; ++i)
    if (GreekKeyLetters[i] == key)
      return static_cast<std::uint8_t>(LatinKeyLetters[i]);
  return key;
}
