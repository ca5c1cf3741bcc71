// The pieces of the block store (settings/store.h), for its tests.
//
// A stored block is the caller's S bytes, the checksum word in the last two, passed through
// ScrambleBytes as one run from its first byte (the signature's length byte). It is found by its
// signature as it lies in the file, and its offset is that of its length byte.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/record.h"

constexpr int ScrambleKeySize = 7;
constexpr int KeyStreamSize = 255;
constexpr int SearchChunkSize = 4096;
constexpr std::uint16_t NoSignature = 0xFFFF;

extern const std::array<std::uint8_t, ScrambleKeySize> ScrambleKey;
// The key, then the key turned left by one place, by two, and so on, cut at 255 bytes.
extern const std::array<std::uint8_t, KeyStreamSize> KeyStream;
std::array<std::uint8_t, KeyStreamSize>
ExpandKey(const std::array<std::uint8_t, ScrambleKeySize>& key);

// XORs byte j with KeyStream byte (j mod 255), from KeyStream byte 0 at the buffer's start, so a
// second call restores the run.
void ScrambleBytes(void* buffer, std::uint16_t count);

// The low byte is the XOR of the bytes, the high byte 0.
std::uint16_t BlockChecksum(const void* bytes, std::uint16_t count);

// The leading ShortString of a block: its length byte and that many characters.
std::string_view SignatureOf(const void* block);

// The index of the first place in `buffer` (file bytes as stored) where the signature lies
// scrambled as in a stored block, that is with KeyStream from byte 1 on, or NoSignature. A place
// counts only when at least one byte of the buffer follows the signature.
std::uint16_t FindSignature(const void* buffer, std::uint16_t count, std::string_view signature);

// The offset of the n-th stored block's length byte (n from 1), or -1. The file is searched in
// 4096-byte chunks that overlap by the signature's length plus one.
std::int64_t FindStoredBlock(RecordFile& file, std::uint16_t occurrence,
                             std::string_view signature);

// Mode 0 opens the file for reading; mode 2 for reading and writing, creating it when there is no
// file of that name. Answers whether the file is open; any failure is taken from PendingIoResult.
bool OpenStoreFile(RecordFile& file, std::string_view path, std::uint8_t mode);

// Reads up to `count` bytes at `offset` into `buffer` and descrambles all `count` of them; `got`
// is the number read. False only when the file cannot be positioned.
bool ReadScrambled(RecordFile& file, std::int64_t offset, void* buffer, std::uint16_t count,
                   std::uint16_t& got);
// Writes a scrambled copy of the bytes at `offset`; true when positioned and all were written.
bool WriteScrambled(RecordFile& file, std::int64_t offset, const void* buffer, std::uint16_t count);
