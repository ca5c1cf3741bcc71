// The settings store reading an arbitrary file. Every "SIG!" in the input stands for the
// program's own signature as a stored block carries it (scrambled, after its length byte), so
// that inputs hold blocks, whole or cut short, anywhere, also across the store's read chunks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/fs.h"
#include "platform/posix/paths.h"
#include "settings/settings_block.h"
#include "settings/store.h"
#include "settings/store_internals.h"

namespace {
std::string file_path; // DOS form
int file_fd = -1;
std::vector<std::uint8_t> stored_signature;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!StartFileSystem().empty())
    std::abort();
  char name[] = "/tmp/vakrun-fuzz-settings-XXXXXX";
  file_fd = mkstemp(name);
  if (file_fd < 0)
    std::abort();
  unlink(name);
  // The descriptor's own path keeps the file reachable without a name on disk.
  file_path = DosPathOf("/proc/self/fd/" + std::to_string(file_fd));
  SettingsBlock block = Settings;
  ScrambleBytes(&block, SettingsBlockSize);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&block);
  stored_signature.assign(bytes, bytes + 1 + Settings.SignatureLength);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> contents;
  for (std::size_t i = 0; i < size; ++i) {
    if (i + 4 <= size && std::memcmp(data + i, "SIG!", 4) == 0) {
      contents.insert(contents.end(), stored_signature.begin(), stored_signature.end());
      i += 3;
    } else {
      contents.push_back(data[i]);
    }
  }
  if (ftruncate(file_fd, 0) != 0 ||
      pwrite(file_fd, contents.data(), contents.size(), 0) != static_cast<ssize_t>(contents.size()))
    std::abort();
  SettingsBlock block = Settings;
  std::int32_t count = CountStoredBlocks(file_path, &block);
  // Each block's signature starts at a distinct offset of the file, after its length byte.
  if (count < 0 || static_cast<std::size_t>(count) > contents.size())
    std::abort();
  for (std::int32_t n = 1; n <= count && n <= 4; ++n) {
    block = Settings;
    bool whole =
        LoadStoredBlock(file_path, static_cast<std::uint16_t>(n), &block, SettingsBlockSize);
    // A block is whole when the file holds all of its bytes; then its signature reads back.
    if (whole && std::memcmp(block.Signature, Settings.Signature, sizeof block.Signature) != 0)
      std::abort();
  }
  block = Settings;
  if (LoadStoredBlock(file_path, static_cast<std::uint16_t>(count + 1), &block, SettingsBlockSize))
    std::abort(); // there is no block past the last one counted
  if (PendingIoResult != 0)
    std::abort();
  return 0;
}
