#include "engine/report.h"

#include "console/console_stream.h"
#include "console/prompts.h"
#include "engine/overlay.h"
#include "engine/progress.h"
#include "platform/dos/utf8_text.h"
#include "platform/fs.h"

namespace {

void Report(std::string_view prefix, std::string_view name) {
  ClearLine();
  StandardWriteLine(prefix, ShownName(ExpandPath(name)));
  ShowWorking();
}

} // namespace

std::string ShownName(std::string_view name) {
  std::string shown;
  shown.reserve(name.size());
  for (std::size_t at = 0; at < name.size();) {
    std::size_t length = CharLength(name, at);
    std::string_view c = name.substr(at, length);
    // A lone byte from 0x80 to 0x9F is a C1 control of an 8-bit code page.
    char32_t code = DecodeChar(c);
    if (code < 32 || (code >= 127 && code <= 0x9F))
      shown += '?';
    else
      shown += c;
    at += length;
  }
  return shown;
}

void ReportDeleted(std::string_view name) {
  Report(DryRun ? "Would delete " : "Deleted ", name);
}
void ReportRemoved(std::string_view name) {
  Report(DryRun ? "Would remove " : "Removed ", name);
}
void ReportSkippedPassword(std::string_view name) {
  Report("Skipped password-protected ", name);
}
void ReportSkippedAttributes(std::string_view name) {
  if (!ReportEntryCause(name, LastEntryCause))
    Report("Skipped attribute change on ", name);
}

void ReportNonEmpty(std::string_view name, bool empty_dirs_only) {
  Report(empty_dirs_only ? "Skipping non-empty directory "
                         : "Could not remove non-empty directory ",
         name);
}

bool ReportEntryCause(std::string_view name, EntryCause cause) {
  switch (cause) {
  case EntryCause::None:
    return false;
  case EntryCause::Link:
    Report("Skipped link ", name);
    break;
  case EntryCause::InvalidName:
    Report("Skipped invalid name ", name);
    break;
  case EntryCause::InUse:
    Report("Could not remove directory in use ", name);
    break;
  case EntryCause::DeletePending:
    Report("Pending deletion (in use) ", name);
    break;
  }
  return true;
}
