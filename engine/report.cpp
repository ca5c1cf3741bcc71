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

// The line for what the layer said of an entry; empty for EntryCause::None.
std::string_view CausePrefix(EntryCause cause) {
  return cause == EntryCause::Link            ? "Skipped link "
         : cause == EntryCause::InvalidName   ? "Skipped invalid name "
         : cause == EntryCause::InUse         ? "Could not remove directory in use "
         : cause == EntryCause::DeletePending ? "Pending deletion (in use) "
                                              : "";
}

} // namespace

std::string ShownName(std::string_view name) {
  std::string shown;
  shown.reserve(name.size());
  ForEachChar(name, [&shown](std::string_view c) {
    // A lone byte from 0x80 to 0x9F is a C1 control of an 8-bit code page.
    char32_t code = DecodeChar(c);
    if (code < 32 || (code >= 127 && code <= 0x9F))
      shown += '?';
    else
      shown += c;
  });
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
  std::string_view prefix = CausePrefix(cause);
  if (prefix.empty())
    return false;
  Report(prefix, name);
  return true;
}
