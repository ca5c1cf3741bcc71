// The settings store reading an arbitrary file. Every "SIG!" in the input stands for the
// program's own signature as a stored block carries it (scrambled, after its length byte), so
// that inputs hold blocks, whole or cut short, anywhere, also across the store's read chunks.
// Every "BLK!" and the two bytes after it stand for a whole stored block: the first byte gives the
// six switches (bit 6 set: a switch byte of 2) and whether the checksum is right (bit 7), the
// second picks a mask. The program's start-up then acts only on a sound first block: one that
// passes its checksum and holds options the option loop could have made; otherwise the built-in
// options stay in force.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/options.h"
#include "platform/fs.h"
#include "platform/posix/paths.h"
#include "settings/program_settings.h"
#include "settings/settings_block.h"
#include "settings/store.h"
#include "settings/store_internals.h"

namespace {
std::string file_path; // DOS form
int file_fd = -1;
std::vector<std::uint8_t> stored_signature;
SettingsBlock built_in;

const char* const Masks[] = {"",
                             "*.*",
                             "*.BAK",
                             "*:*",
                             "A;B",
                             "ABCDEFGHIJKL",
                             "ABCDEFGHIJKLM",
                             "ΑΒΓΔΕΖΗΘΙΚΛΜ",
                             "ΑΒΓΔΕΖΗΘΙΚΛΜΝ",
                             "É?.*",
                             "\xCE"};

// A whole stored block made from the two bytes after "BLK!".
std::vector<std::uint8_t> StoredBlock(std::uint8_t switches, std::uint8_t mask_choice) {
  SettingsBlock block = built_in;
  std::uint8_t* bytes[] = {&block.Options.ParentDelete,  &block.Options.SubDirsOnly,
                           &block.Options.FilesOnly,     &block.Options.SkipPasswords,
                           &block.Options.EmptyDirsOnly, &block.Options.ShowDeleted};
  for (int i = 0; i < 6; ++i)
    *bytes[i] = (switches >> i & 1) != 0 ? ((switches & 0x40) != 0 ? 2 : 1) : 0;
  std::string mask = Masks[mask_choice % (sizeof Masks / sizeof Masks[0])];
  if (mask_choice >= 0xF0)
    block.Options.MaskLength = mask_choice; // past the mask's room
  else
    block.Options.MaskLength = static_cast<std::uint8_t>(mask.size());
  std::memcpy(block.Options.MaskChars, mask.data(), mask.size());
  std::uint16_t checksum = BlockChecksum(&block, SettingsBlockSize - 2);
  block.Checksum = (switches & 0x80) != 0 ? checksum : static_cast<std::uint16_t>(checksum ^ 1);
  ScrambleBytes(&block, SettingsBlockSize);
  const auto* plain = reinterpret_cast<const std::uint8_t*>(&block);
  return {plain, plain + SettingsBlockSize};
}
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
  built_in = Settings;
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
    } else if (i + 6 <= size && std::memcmp(data + i, "BLK!", 4) == 0) {
      std::vector<std::uint8_t> block = StoredBlock(data[i + 4], data[i + 5]);
      contents.insert(contents.end(), block.begin(), block.end());
      i += 5;
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

  // Start-up acts on the first block only when it is sound.
  Settings = built_in;
  StoredSettings stored = LoadSettingsFrom(file_path, OptionsAreSound);
  block = built_in;
  bool checksum_matches = false;
  bool whole =
      count >= 1 && LoadStoredBlock(file_path, 1, &block, SettingsBlockSize, &checksum_matches);
  bool sound = whole && checksum_matches && OptionsAreSound(block.Options);
  if (stored != (count == 0 ? StoredSettings::None
                 : sound    ? StoredSettings::Loaded
                            : StoredSettings::Unsound))
    std::abort();
  if (stored == StoredSettings::Loaded) {
    // The options in force are the block's, and the option loop could have made them.
    if (std::memcmp(&Settings.Options, &block.Options, sizeof block.Options) != 0 ||
        !OptionsAreSound(Settings.Options) ||
        (Settings.Options.ParentDelete != 0 && Settings.Options.SubDirsOnly != 0) ||
        (Settings.Options.EmptyDirsOnly != 0 && Settings.Options.FilesOnly != 0) ||
        Settings.Options.MaskLength > MaskBytes)
      std::abort();
  } else if (std::memcmp(&Settings, &built_in, sizeof built_in) != 0) {
    std::abort(); // an unsound block is never acted on
  }
  Settings = built_in;
  if (PendingIoResult != 0)
    std::abort();
  return 0;
}
