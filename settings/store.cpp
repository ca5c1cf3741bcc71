#include "settings/store.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/console.h"
#include "settings/store_internals.h"

// No byte of the key is 0, so no byte of a stored signature is left as it was: the plain block
// built into the program never passes for a stored one.
const std::array<std::uint8_t, ScrambleKeySize> ScrambleKey = {0x6B, 0xD2, 0x39, 0xA4,
                                                               0x5E, 0xF1, 0x87};

namespace {

std::string RotateLeft(const std::string& s) {
  if (s.size() <= 1)
    return s;
  return s.substr(1) + s[0];
}

// One buffer for every scan, so that a file of any size is searched in the same memory.
std::uint8_t SearchChunk[SearchChunkSize];

// The smallest block that holds its signature string and the checksum word.
bool HasRoomFor(std::string_view signature, std::uint16_t size) {
  return size >= signature.size() + 3;
}

// A close error is of no use to anyone: the file was only read, or the write already answered.
void CloseStoreFile(RecordFile& file) {
  TakeIoResult();
  CloseRecordFile(file);
  TakeIoResult();
}

// Reads the bytes as they lie in the file. A read error is left to CheckIoResult: it ends the run
// as a run-time error, while a short read at the end of the file is no error.
bool ReadAt(RecordFile& file, std::int64_t offset, void* buffer, std::uint16_t count,
            std::uint16_t& got) {
  got = 0;
  SeekRecord(file, offset);
  if (TakeIoResult() != 0)
    return false;
  got = ReadRecords(file, buffer, count);
  CheckIoResult();
  return true;
}

enum class ScanEnd { Done, Found, Unpositioned };

// Walks the stored blocks from the start of the file, counting them in `seen`, and stops at the
// `wanted`-th (0: at none) with the offset of its length byte. After a hit the search resumes at
// the last byte of the signature; after a miss the next chunk overlaps this one by the
// signature's length plus one, so that a signature across the boundary is whole in one of them.
ScanEnd ScanStoredBlocks(RecordFile& file, std::string_view signature, std::int32_t wanted,
                         std::int32_t& seen, std::int64_t& offset) {
  seen = 0;
  std::int64_t size = FileSizeInRecords(file);
  CheckIoResult();
  if (size == 0 || signature.empty())
    return ScanEnd::Done;
  const std::int64_t length = static_cast<std::int64_t>(signature.size());
  std::int64_t pos = 0;
  while (pos < size) {
    std::memset(SearchChunk, 0, sizeof SearchChunk);
    std::uint16_t got;
    if (!ReadAt(file, pos, SearchChunk, SearchChunkSize, got))
      return ScanEnd::Unpositioned;
    std::uint16_t i = FindSignature(SearchChunk, got, signature);
    if (i == NoSignature) {
      pos += SearchChunkSize - length - 1;
      continue;
    }
    std::int64_t hit = pos + i;
    // A signature at the very start has no room for its length byte: it is no block.
    if (hit > 0 && ++seen == wanted) {
      offset = hit - 1;
      return ScanEnd::Found;
    }
    pos = hit + std::max<std::int64_t>(length - 1, 1);
  }
  return ScanEnd::Done;
}

} // namespace

std::array<std::uint8_t, KeyStreamSize>
ExpandKey(const std::array<std::uint8_t, ScrambleKeySize>& key) {
  std::string acc(key.begin(), key.end());
  std::string turned = acc;
  for (int rotations = 0; acc.size() < KeyStreamSize && rotations < KeyStreamSize; ++rotations) {
    turned = RotateLeft(turned);
    acc += turned;
  }
  std::array<std::uint8_t, KeyStreamSize> stream{};
  std::copy_n(acc.begin(), std::min<std::size_t>(acc.size(), KeyStreamSize), stream.begin());
  return stream;
}

const std::array<std::uint8_t, KeyStreamSize> KeyStream = ExpandKey(ScrambleKey);

void ScrambleBytes(void* buffer, std::uint16_t count) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  for (std::uint16_t j = 0; j < count; ++j)
    bytes[j] ^= KeyStream[j % KeyStreamSize];
}

std::uint16_t BlockChecksum(const void* bytes, std::uint16_t count) {
  std::uint8_t sum = 0;
  for (std::uint16_t j = 0; j < count; ++j)
    sum ^= static_cast<const std::uint8_t*>(bytes)[j];
  return sum;
}

std::string_view SignatureOf(const void* block) {
  const auto* bytes = static_cast<const char*>(block);
  return {bytes + 1, static_cast<std::uint8_t>(bytes[0])};
}

// A stored block is scrambled from its length byte on, so its signature character k went through
// KeyStream byte k + 1 wherever the block lies: the comparison does not depend on where the chunk
// begins.
std::uint16_t FindSignature(const void* buffer, std::uint16_t count, std::string_view signature) {
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  const std::size_t length = signature.size();
  if (length == 0)
    return NoSignature;
  // Candidates start where the first byte matches; memchr finds them far faster than a loop.
  const std::uint8_t first = static_cast<std::uint8_t>(signature[0] ^ KeyStream[1]);
  for (std::size_t i = 0; i + length < count; ++i) {
    const void* at = std::memchr(bytes + i, first, count - length - i);
    if (at == nullptr)
      break;
    i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(at) - bytes);
    std::size_t k = 0;
    while (k < length &&
           static_cast<std::uint8_t>(bytes[i + k] ^ KeyStream[(k + 1) % KeyStreamSize]) ==
               static_cast<std::uint8_t>(signature[k]))
      ++k;
    if (k == length)
      return static_cast<std::uint16_t>(i);
  }
  return NoSignature;
}

std::int64_t FindStoredBlock(RecordFile& file, std::uint16_t occurrence,
                             std::string_view signature) {
  if (occurrence == 0)
    return -1;
  std::int32_t seen;
  std::int64_t offset;
  if (ScanStoredBlocks(file, signature, occurrence, seen, offset) != ScanEnd::Found)
    return -1;
  return offset;
}

bool OpenStoreFile(RecordFile& file, std::string_view path, std::uint8_t mode) {
  if (mode > 2)
    return false;
  BindFileName(file, path);
  std::uint8_t previous_mode = OpenMode;
  OpenMode = mode;
  OpenExistingFile(file, 1);
  if (mode == 2 && PendingIoResult == oserror::FileNotFound) {
    TakeIoResult();
    CreateNewFile(file, 1);
  }
  OpenMode = previous_mode;
  return TakeIoResult() == 0;
}

bool ReadScrambled(RecordFile& file, std::int64_t offset, void* buffer, std::uint16_t count,
                   std::uint16_t& got) {
  if (!ReadAt(file, offset, buffer, count, got))
    return false;
  ScrambleBytes(buffer, count);
  return true;
}

bool WriteScrambled(RecordFile& file, std::int64_t offset, const void* buffer,
                    std::uint16_t count) {
  SeekRecord(file, offset);
  if (TakeIoResult() != 0)
    return false;
  std::vector<std::uint8_t> copy(static_cast<const std::uint8_t*>(buffer),
                                 static_cast<const std::uint8_t*>(buffer) + count);
  ScrambleBytes(copy.data(), count);
  std::uint16_t written = WriteRecords(file, copy.data(), count);
  // A failed write is the caller's answer false, not a run-time error.
  TakeIoResult();
  return written == count;
}

std::int32_t CountStoredBlocks(std::string_view path, const void* block) {
  RecordFile file;
  if (!OpenStoreFile(file, path, 0))
    return 0;
  std::int32_t seen;
  std::int64_t offset;
  ScanEnd end = ScanStoredBlocks(file, SignatureOf(block), 0, seen, offset);
  CloseStoreFile(file);
  // A file that cannot be searched to its end holds nothing the program can rely on.
  return end == ScanEnd::Unpositioned ? 0 : seen;
}

bool LoadStoredBlock(std::string_view path, std::uint16_t occurrence, void* block,
                     std::uint16_t size, bool* checksum_matches) {
  if (checksum_matches != nullptr)
    *checksum_matches = false;
  std::string_view signature = SignatureOf(block);
  RecordFile file;
  if (!HasRoomFor(signature, size) || !OpenStoreFile(file, path, 0))
    return false;
  std::int64_t offset = FindStoredBlock(file, occurrence, signature);
  std::vector<std::uint8_t> scratch(size);
  std::uint16_t got = 0;
  bool whole = offset >= 0 && ReadScrambled(file, offset, scratch.data(), size, got) && got == size;
  if (whole) {
    // The verdict travels in the checksum word: 0 when the bytes match it, else the word read.
    std::uint16_t stored = static_cast<std::uint16_t>(scratch[size - 2] | scratch[size - 1] << 8);
    bool matches = BlockChecksum(scratch.data(), size - 2) == stored;
    if (matches)
      scratch[size - 2] = scratch[size - 1] = 0;
    if (checksum_matches != nullptr)
      *checksum_matches = matches;
    std::memcpy(block, scratch.data(), size);
  }
  CloseStoreFile(file);
  return whole;
}

bool SaveStoredBlock(std::string_view path, std::uint16_t occurrence, void* block,
                     std::uint16_t size) {
  std::string_view signature = SignatureOf(block);
  RecordFile file;
  if (!HasRoomFor(signature, size) || !OpenStoreFile(file, path, 2))
    return false;
  std::int64_t offset = FindStoredBlock(file, occurrence, signature);
  auto* bytes = static_cast<std::uint8_t*>(block);
  std::uint16_t checksum = BlockChecksum(block, size - 2);
  bytes[size - 2] = static_cast<std::uint8_t>(checksum & 0xFF);
  bytes[size - 1] = static_cast<std::uint8_t>(checksum >> 8);
  if (offset < 0) {
    offset = FileSizeInRecords(file);
    CheckIoResult();
  }
  bool written = WriteScrambled(file, offset, block, size);
  CloseStoreFile(file);
  return written;
}
