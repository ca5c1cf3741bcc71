#include "settings/settings_block.h"

#include <algorithm>
#include <cstring>

// The signature is one 12-byte sequence written twice. Its bytes were chosen so that they do not
// turn up by chance in the program, scrambled or not.
SettingsBlock Settings = {
    24,
    {'\xB7', 'V', 'k', 'R', '\x1E', 'o', 'P', 't', '\xD4', 's', '\x03', '\x9A',
     '\xB7', 'V', 'k', 'R', '\x1E', 'o', 'P', 't', '\xD4', 's', '\x03', '\x9A'},
    {0,
     {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '},
     0,
     0,
     0,
     0,
     0,
     1},
    0,
};

OptionSet& Options = Settings.Options;

std::string MaskText() {
  return std::string(Options.MaskChars, std::min<int>(Options.MaskLength, MaskBytes));
}

void SetMask(std::string_view mask) {
  std::size_t length = std::min<std::size_t>(mask.size(), MaskBytes);
  std::memcpy(Options.MaskChars, mask.data(), length);
  Options.MaskLength = static_cast<std::uint8_t>(length);
}
