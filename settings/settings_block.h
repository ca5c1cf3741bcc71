// The options in force, kept inside the block that -R stores in the program's own executable.
// The byte layout is the stored layout: a 24-byte signature string, the mask string (length byte
// and 12 characters), six switch bytes, and a checksum word of its own so that saving never
// overwrites a switch.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr int MaskCapacity = 12;

#pragma pack(push, 1)
struct OptionSet {
  std::uint8_t MaskLength;
  char MaskChars[MaskCapacity];
  // A switch is on when its byte is not 0; flipping writes 1 or 0.
  std::uint8_t ParentDelete;
  std::uint8_t SubDirsOnly;
  std::uint8_t FilesOnly;
  std::uint8_t SkipPasswords;
  std::uint8_t EmptyDirsOnly;
  std::uint8_t ShowDeleted;
};

struct SettingsBlock {
  std::uint8_t SignatureLength;
  char Signature[24];
  OptionSet Options;
  std::uint16_t Checksum; // little-endian on every target we build for
};
#pragma pack(pop)

static_assert(sizeof(OptionSet) == 19);
static_assert(sizeof(SettingsBlock) == 46);

// The size handed to the block store for the program's own block.
constexpr std::uint16_t SettingsBlockSize = sizeof(SettingsBlock);

// The block in use, holding the built-in defaults until a stored copy is loaded over it.
extern SettingsBlock Settings;
// The OptionSet inside it.
extern OptionSet& Options;

std::string MaskText();
// Stores at most 12 characters.
void SetMask(std::string_view mask);
