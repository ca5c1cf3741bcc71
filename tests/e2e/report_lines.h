// Picks the per-entry report lines and the summary out of a run's output, for runs whose entries
// come in the file system's own order, so that only the set of lines can be compared.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

// What stays visible of each line the run ended with "\r\n": the text after its last carriage
// return (the progress line and its clearing are written over).
inline std::vector<std::string> ShownLines(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = out.substr(start, end - start);
    std::size_t cr = line.rfind('\r');
    lines.push_back(cr == std::string::npos ? line : line.substr(cr + 1));
  }
  return lines;
}

// The summary begins "Deleted " (a dry run's "Would delete ") and a digit; a report line names a
// full path after its prefix.
inline bool IsSummaryLine(const std::string& line) {
  for (std::string prefix : {"Deleted ", "Would delete "})
    if (line.starts_with(prefix) && line.size() > prefix.size() && line[prefix.size()] >= '0' &&
        line[prefix.size()] <= '9')
      return true;
  return false;
}

// The per-entry lines ("Deleted ", "Removed ", a dry run's "Would delete " and "Would remove ",
// the non-empty and skip lines), sorted.
inline std::vector<std::string> ReportLines(const std::string& out) {
  static const char* const prefixes[] = {"Deleted ",
                                         "Removed ",
                                         "Would delete ",
                                         "Would remove ",
                                         "Could not remove non-empty directory ",
                                         "Skipping non-empty directory ",
                                         "Skipped "};
  std::vector<std::string> reports;
  for (const std::string& line : ShownLines(out)) {
    if (IsSummaryLine(line))
      continue;
    for (const char* prefix : prefixes)
      if (line.starts_with(prefix)) {
        reports.push_back(line);
        break;
      }
  }
  std::sort(reports.begin(), reports.end());
  return reports;
}

// The last summary line of the run, or an empty string.
inline std::string SummaryLine(const std::string& out) {
  std::string summary;
  for (const std::string& line : ShownLines(out))
    if (IsSummaryLine(line))
      summary = line;
  return summary;
}

inline std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}
