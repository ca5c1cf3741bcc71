// A small block store: counts, finds, reads and writes blocks that begin with a signature string,
// scrambled and with a checksum, in any file. It knows nothing of options.
#pragma once

#include <cstdint>
#include <string_view>

// Number of stored blocks in the file whose signature is the string at the start of `block`
// (0 also when the file cannot be opened or is empty).
std::int32_t CountStoredBlocks(std::string_view path, const void* block);
// Reads the n-th stored block (1 = first) of `size` bytes over `block`. A block that fails its
// checksum is read all the same: its checksum word then holds the value read, else 0, and
// `checksum_matches`, when given, says which (a word of 0 read from the file can fail too).
bool LoadStoredBlock(std::string_view path, std::uint16_t occurrence, void* block,
                     std::uint16_t size, bool* checksum_matches = nullptr);
// Writes `block` over the n-th stored block, or appends it when there is none.
bool SaveStoredBlock(std::string_view path, std::uint16_t occurrence, void* block,
                     std::uint16_t size);
