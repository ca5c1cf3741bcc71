// The options in force, kept inside the block that -R stores in the program's own executable.
// The byte layout is the stored layout: a 24-byte signature string, the mask string (length byte
// and room for 12 characters in UTF-8), six switch bytes, and a checksum word of its own so that
// saving never overwrites a switch.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A mask holds at most 12 characters, not bytes: in UTF-8 a character takes up to 4 bytes.
constexpr int MaskCapacity = 12;
constexpr int MaskBytes = 4 * MaskCapacity;

#pragma pack(push, 1)
struct OptionSet {
  std::uint8_t MaskLength;
  char MaskChars[MaskBytes];
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

static_assert(sizeof(OptionSet) == 55);
static_assert(sizeof(SettingsBlock) == 82);

// The size handed to the block store for the program's own block.
constexpr std::uint16_t SettingsBlockSize = sizeof(SettingsBlock);

// The block in use, holding the built-in defaults until a stored copy is loaded over it.
extern SettingsBlock Settings;
// The OptionSet inside it.
extern OptionSet& Options;

std::string MaskText();
// Stores the mask whole; the option loop refuses one of more than 12 characters before.
void SetMask(std::string_view mask);
