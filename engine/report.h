// The one-line reports for deleted, removed and skipped entries. Each clears the progress line,
// writes its prefix and the entry's full path on the standard output stream, and puts the
// progress line back.
#pragma once

#include <string_view>

void ReportDeleted(std::string_view name);
void ReportRemoved(std::string_view name);
void ReportSkippedPassword(std::string_view name);
void ReportSkippedAttributes(std::string_view name);
// A directory that stayed because it was not empty.
void ReportNonEmpty(std::string_view name, bool empty_dirs_only);
