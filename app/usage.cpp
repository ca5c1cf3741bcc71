#include "app/usage.h"

#include <string>
#include <vector>

#include "console/console_stream.h"
#include "console/prompts.h"
#include "engine/report.h"
#include "platform/console.h"
#include "platform/dos/result_codes.h"
#include "settings/settings_block.h"

namespace {

std::string Indent(int blanks, std::string_view text) {
  return std::string(static_cast<std::size_t>(blanks), ' ') + std::string(text);
}

std::string UsingLine(char letter, std::uint8_t option_switch, std::string_view what) {
  std::string line = "* Using -";
  line += letter;
  line += " will ";
  line += NotPrefix(option_switch);
  line += what;
  return Indent(7, line);
}

constexpr std::string_view VersionLine = "Vakrun ver. 1.26  erases a directory tree, all of it";

// The lines after the banner, with the switches and the mask in force.
std::vector<std::string> UsageLines() {
  const std::string stars(63, '*');
  return {
      "\rUsage: Vakrun [[options] <target directory> [options]]",
      Indent(6, stars),
      Indent(6, "* W A R N I N G: VAKRUN is VERY dangerous if used carelessly! *"),
      Indent(6, "*" + std::string(16, ' ') + "You can wipe out your whole disk in seconds! *"),
      Indent(6, stars),
      Indent(7, "* It will erase all files and directories under and including"),
      Indent(9, "the one specified.  So, please use extreme caution."),
      Indent(7, "* All files means System, Hidden and Read-Only files as well!"),
      Indent(7, "* DR. DOS users always REMEMBER: A requested password will act"),
      Indent(9, "on all files that match it until a new password is encountered."),
      Indent(7, "* Pressing ESC during operation will ask for continuation approval."),
      Indent(7, std::string(25, '-') + " O P T I O N S " + std::string(22, '-')),
      UsingLine('D', Options.ShowDeleted, "display deleted files and dirs"),
      UsingLine('P', Options.ParentDelete, "delete parent dirs if they only lead to target path."),
      UsingLine('E', Options.EmptyDirsOnly, "delete only empty directories"),
      UsingLine('S', Options.SubDirsOnly, "delete only subdirectories of given path"),
      UsingLine('F', Options.FilesOnly, "delete only files (i.e. it will empty dirs)"),
      UsingLine('W', Options.SkipPasswords, "skip any DR. DOS password queries."),
      Indent(7, "* Using -Mxxx will delete only files matching xxx mask (\"" +
                    ShownName(MaskText()) + "\")"),
      Indent(7, "* Using -R will permanently save all options appearing before it"),
      Indent(20, "(NOTE: Certain options may be combined)"),
  };
}

// Lines on standard output, as a log keeps them: a carriage return that only brings a screen's
// cursor back to the start of the line is left out.
void StandardLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    WriteText(OutputStream::Standard, line.starts_with('\r') ? line.substr(1) : line);
    EndLine(OutputStream::Standard);
  }
}

// Nothing has been touched yet, so there is no summary: an output that could not be written ends
// the run with the problem alone.
[[noreturn]] void EndStandardOutput() {
  FlushLine(OutputStream::Standard);
  if (TakeIoResult() != dosresult::Success)
    FatalMessage(nullptr, "Problem writing to disk");
  HaltProgram(0);
}

} // namespace

std::string NotPrefix(unsigned char option_switch) {
  return option_switch != 0 ? "NOT " : "";
}

void ShowBanner() {
  ConsoleEndLine();
  ConsoleWriteLine(VersionLine);
  ConsoleEndLine();
}

void ShowUsage() {
  ShowBanner();
  for (const std::string& line : UsageLines())
    ConsoleWriteLine(line);
  HaltProgram(0);
}

void PrintHelp() {
  std::vector<std::string> lines = {"", std::string(VersionLine), ""};
  for (std::string& line : UsageLines())
    lines.push_back(std::move(line));
  StandardLines(lines);
  EndStandardOutput();
}

void PrintVersion() {
  StandardLines({std::string(VersionLine)});
  EndStandardOutput();
}
