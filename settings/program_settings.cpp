#include "settings/program_settings.h"

#include <cstdint>
#include <string>

#include "platform/console.h"
#include "platform/record.h"
#include "settings/settings_block.h"
#include "settings/store.h"

namespace {

constexpr std::uint16_t CopyChunkSize = 32768;

// Copies the whole of one file into another that exists. False on any failure, with nothing left
// pending.
bool CopyFileInto(const std::string& source_path, const std::string& target_path) {
  RecordFile source, target;
  BindFileName(source, source_path);
  BindFileName(target, target_path);
  std::uint8_t previous_mode = OpenMode;
  OpenMode = 0;
  OpenExistingFile(source, 1);
  OpenMode = 2;
  OpenExistingFile(target, 1);
  OpenMode = previous_mode;
  static char buffer[CopyChunkSize];
  bool copied = PendingIoResult == 0;
  while (copied) {
    std::uint16_t got = ReadRecords(source, buffer, CopyChunkSize);
    if (got == 0)
      break;
    copied = WriteRecords(target, buffer, got) == got;
  }
  copied = TakeIoResult() == 0 && copied;
  CloseRecordFile(source);
  TakeIoResult();
  CloseRecordFile(target);
  return TakeIoResult() == 0 && copied;
}

} // namespace

// A damaged block must never be acted on: a flipped byte can turn a saved mask into "every file"
// or switch on a pair of options that the option loop refuses.
StoredSettings LoadSettingsFrom(std::string_view path, OptionsCheck sound) {
  if (CountStoredBlocks(path, &Settings) == 0)
    return StoredSettings::None;
  SettingsBlock stored = Settings;
  bool checksum_matches = false;
  if (!LoadStoredBlock(path, 1, &stored, SettingsBlockSize, &checksum_matches) ||
      !checksum_matches || !sound(stored.Options))
    return StoredSettings::Unsound;
  Settings = stored;
  return StoredSettings::Loaded;
}

StoredSettings LoadProgramSettings(OptionsCheck sound) {
  return LoadSettingsFrom(ArgumentAt(0), sound);
}

// A running executable cannot be rewritten where it stands on every system, so the block is
// saved into a copy made beside it, which then takes its place in one step: the program file is
// the old one or the new one, never a mix, even when the run is cut off in the middle.
bool SaveProgramSettings() {
  std::string program = ArgumentAt(0);
  std::string copy = CreateFileBeside(program);
  if (TakeIoResult() != 0)
    return false;
  bool saved =
      CopyFileInto(program, copy) && SaveStoredBlock(copy, 1, &Settings, SettingsBlockSize);
  if (saved) {
    ReplaceFileWith(program, copy);
    saved = TakeIoResult() == 0;
  }
  if (!saved)
    DiscardFile(copy);
  return saved;
}
