#include "engine/report.h"

#include "console/console_stream.h"
#include "console/prompts.h"
#include "engine/overlay.h"
#include "engine/progress.h"
#include "platform/fs.h"

namespace {

void Report(std::string_view prefix, std::string_view name) {
  ClearLine();
  StandardWriteLine(prefix, ShownName(ExpandPath(name)));
  ShowWorking();
}

// The length of the valid UTF-8 sequence that starts at `at` (its code point in `code`), or 0.
std::size_t SequenceAt(std::string_view text, std::size_t at, char32_t& code) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > text.size())
    return 0;
  code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80)
      return 0;
    code = (code << 6) | (next & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not valid.
  constexpr char32_t Smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < Smallest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
    return 0;
  return length;
}

} // namespace

std::string ShownName(std::string_view name) {
  std::string shown;
  shown.reserve(name.size());
  for (std::size_t at = 0; at < name.size();) {
    unsigned char byte = static_cast<unsigned char>(name[at]);
    if (byte < 0x80) {
      shown += byte < 32 || byte == 127 ? '?' : name[at];
      ++at;
      continue;
    }
    char32_t code = 0;
    std::size_t length = SequenceAt(name, at, code);
    if (length == 0) {
      shown += byte <= 0x9F ? '?' : name[at];
      ++at;
    } else {
      if (code <= 0x9F)
        shown += '?';
      else
        shown.append(name.substr(at, length));
      at += length;
    }
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
  Report("Skipped attribute change on ", name);
}

void ReportNonEmpty(std::string_view name, bool empty_dirs_only) {
  Report(empty_dirs_only ? "Skipping non-empty directory "
                         : "Could not remove non-empty directory ",
         name);
}
