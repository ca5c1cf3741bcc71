#include "app/usage.h"

#include <string>

#include "console/console_stream.h"
#include "platform/console.h"
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

} // namespace

std::string NotPrefix(unsigned char option_switch) {
  return option_switch != 0 ? "NOT " : "";
}

void ShowBanner() {
  ConsoleEndLine();
  ConsoleWriteLine("Vakrun ver. 1.26  erases a directory tree, all of it");
  ConsoleEndLine();
}

void ShowVersion() {
  ShowBanner();
  HaltProgram(0);
}

void ShowUsage() {
  ShowBanner();
  const std::string stars(63, '*');
  const std::string lines[] = {
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
      Indent(7, "* Using -Mxxx will delete only files matching xxx mask (\"" + MaskText() + "\")"),
      Indent(7, "* Using -R will permanently save all options appearing before it"),
      Indent(20, "(NOTE: Certain options may be combined)"),
  };
  for (const std::string& line : lines)
    ConsoleWriteLine(line);
  HaltProgram(0);
}
