// The program's lines as the tests expect them: builders for the lines a run writes, byte for
// byte as a screen gets them (AsWritten turns them into a log); and pickers of the per-entry
// report lines and the summary out of a run's output, for runs whose entries come in the file
// system's own order, so that only the set of lines can be compared.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "harness.h"

// The echo line of the options in force; with no options given, these.
inline std::string Echo(const std::string& options = "ShowDeleted Mask:*.*") {
  return "Using option(s): " + options + " \r\n";
}

// The progress line, and its spinner: `steps` turns, the first of them turn number `first`.
inline const std::string Working = "\rWorking  ";
inline std::string Spinner(int steps, int first = 0) {
  std::string shown;
  for (int step = first; step < first + steps; ++step)
    shown += std::string("\b") + "/-\\|"[step % 4];
  return shown;
}

// A line written over the progress line: a report line, a skip line or the summary.
inline std::string Shown(const std::string& line) {
  return Cleared() + line + "\r\n";
}
// The summary, with its counts as the program words them ("1 file and 2 dirs").
inline std::string Summary(const std::string& counts) {
  return Shown("Deleted " + counts);
}
inline std::string NoneDeleted() {
  return Summary("0 files and 0 dirs");
}
// The line a run ends with when something went wrong; and its beginning, for a message that is
// checked only as far as it goes.
inline std::string ProblemStart(const std::string& message) {
  return Cleared() + "\rPROBLEM: " + message;
}
inline std::string Problem(const std::string& message) {
  return ProblemStart(message) + "\r\n";
}

// The questions, as far as the key they wait for.
inline std::string DriveRootQuestion(const std::string& drive = "T:") {
  return "\rYou're about to ERASE EVERYTHING using above option(s) on drive " + drive +
         "\r\nAre you sure you want to proceed? (y/N) ";
}
// A whole run that the drive-root question stops: the echo line, the question answered "No" and
// the summary of nothing.
inline std::string StoppedAtTheDriveRoot(const std::string& drive = "T:") {
  return Echo() + DriveRootQuestion(drive) + "No\r\n" + NoneDeleted();
}
inline const std::string EscQuestion = "You pressed ESC. Do you want to terminate program? (y/N) ";

// The usage screen's line for -D, which tells what -D would do: while the report lines are on
// (`lines_on`), -D will NOT display them.
inline std::string UsageLineOfD(bool lines_on) {
  return std::string("       * Using -D will ") + (lines_on ? "NOT " : "") +
         "display deleted files and dirs\r\n";
}

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
                                         "Could not remove directory in use ",
                                         "Skipping non-empty directory ",
                                         "Pending deletion (in use) ",
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
