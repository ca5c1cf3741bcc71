// A small block store: counts, finds, reads and writes blocks that begin with a signature string,
// scrambled and with a checksum, in any file. It knows nothing of options.
#pragma once

#include <cstdint>
#include <string_view>

// Number of stored blocks in the file whose signature is the string at the start of `block`
// (0 also when the file cannot be opened or is empty).
std::int32_t CountStoredBlocks(std::string_view path, const void* block);
// Reads the n-th stored block (1 = first) of `size` bytes over `block`.
bool LoadStoredBlock(std::string_view path, std::uint16_t occurrence, void* block,
                     std::uint16_t size);
// Writes `block` over the n-th stored block, or appends it when there is none.
bool SaveStoredBlock(std::string_view path, std::uint16_t occurrence, void* block,
                     std::uint16_t size);
