#include "engine/report.h"

#include "console/console_stream.h"
#include "console/prompts.h"
#include "engine/progress.h"
#include "platform/fs.h"

namespace {
void Report(std::string_view prefix, std::string_view name) {
  ClearLine();
  StandardWriteLine(prefix, ExpandPath(name));
  ShowWorking();
}
} // namespace

void ReportDeleted(std::string_view name) {
  Report("Deleted ", name);
}
void ReportRemoved(std::string_view name) {
  Report("Removed ", name);
}
void ReportSkippedPassword(std::string_view name) {
  Report("Skipped password-protected ", name);
}
void ReportSkippedAttributes(std::string_view name) {
  Report("Skipped attribute change on ", name);
}

void ReportNonEmpty(std::string_view name, bool empty_dirs_only) {
  Report(empty_dirs_only ? "Skipping non-empty directory "
                         : "Could not remove non-empty directory ",
         name);
}
