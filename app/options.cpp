#include "app/options.h"

#include <string>

#include "app/program_flow.h"
#include "app/usage.h"
#include "console/console_stream.h"
#include "console/prompts.h"
#include "engine/overlay.h"
#include "engine/report.h"
#include "platform/console.h"
#include "platform/dos/letter_case.h"
#include "platform/dos/utf8_text.h"
#include "settings/program_settings.h"
#include "settings/settings_block.h"

bool OptionsSaved = false;

namespace {

void Flip(std::uint8_t& option_switch) {
  option_switch = option_switch != 0 ? 0 : 1;
}

// The letters that flip a switch, and the switch each cannot be combined with: ParentDelete
// would climb from the target that SubDirsOnly keeps, and EmptyDirsOnly with FilesOnly would
// erase nothing.
struct SwitchLetter {
  char letter;
  std::uint8_t OptionSet::*option_switch;
  char conflicting_letter; // 0: none
  std::uint8_t OptionSet::*conflicting_switch;
};
constexpr SwitchLetter SwitchLetters[] = {
    {'D', &OptionSet::ShowDeleted, 0, nullptr},
    {'E', &OptionSet::EmptyDirsOnly, 'f', &OptionSet::FilesOnly},
    {'F', &OptionSet::FilesOnly, 'e', &OptionSet::EmptyDirsOnly},
    {'P', &OptionSet::ParentDelete, 's', &OptionSet::SubDirsOnly},
    {'S', &OptionSet::SubDirsOnly, 'p', &OptionSet::ParentDelete},
    {'W', &OptionSet::SkipPasswords, 0, nullptr},
};

// Names the switch that is already on first, then the one being given.
[[noreturn]] void ReportConflict(char first, char second) {
  std::string message = "Options -";
  message += first;
  message += " and -";
  message += second;
  message += " cannot be combined";
  FatalMessage(nullptr, message);
}

// The first argument that asks for a dry run, or 0.
int DryRunArgument() {
  for (int i = 1; i <= ArgumentCount(); ++i)
    if (UpperCaseString(ArgumentAt(i)) == "--DRY-RUN")
      return i;
  return 0;
}

// What the user typed, shown with its control characters as "?".
[[noreturn]] void InvalidOption(std::string_view typed) {
  FatalMessage(nullptr, "Invalid option " + ShownName(typed));
}

void EchoSwitch(std::uint8_t option_switch, std::string_view name) {
  if (option_switch != 0) {
    ConsolePut(name);
    ConsolePut(" ");
  }
}

// Flips the switch of a letter that names one; false for any other letter.
bool ReadSwitchLetter(char letter) {
  for (const SwitchLetter& entry : SwitchLetters) {
    if (entry.letter != letter)
      continue;
    if (entry.conflicting_switch != nullptr && Options.*entry.conflicting_switch != 0)
      ReportConflict(entry.conflicting_letter, static_cast<char>(letter - 'A' + 'a'));
    Flip(Options.*entry.option_switch);
    return true;
  }
  return false;
}

void ReadMask(const std::string& typed) {
  std::string mask = UpperCaseText(typed.substr(2));
  if (!IsAcceptedMask(mask))
    FatalMessage(nullptr, "Invalid mask \"" + ShownName(mask) + "\"");
  SetMask(mask);
}

// -R, argument `at`: saves the options given so far.
void ReadSaveRequest(int at) {
  // A dry run changes nothing, the program's own file included, wherever it is asked for.
  if (int dry_run = DryRunArgument(); dry_run != 0)
    FatalMessage(nullptr, std::string("Options ") +
                              (dry_run < at ? "--dry-run and -r" : "-r and --dry-run") +
                              " cannot be combined");
  // Saving leaves the options in force as they are; the run goes on.
  if (!SaveProgramSettings())
    FatalMessage(nullptr, NotOriginalMessage);
  OptionsSaved = true;
}

// One argument that begins with "-", `work` in capitals with a blank after it.
void ReadOption(int at, const std::string& typed, const std::string& work) {
  char letter = work[1];
  // A switch is its one letter: "-rf" or "-dry-run" must not pass for -R or -D. Only the mask
  // follows its letter, and -H or -? shows the usage screen whatever follows.
  if (typed.size() > 2 && letter != 'M' && letter != 'H' && letter != '?' && letter != '-')
    InvalidOption(typed);
  if (ReadSwitchLetter(letter))
    return;
  switch (letter) {
  case '?':
  case 'H':
    ShowUsage();
  case 'M':
    ReadMask(typed);
    return;
  case 'R':
    ReadSaveRequest(at);
    return;
  case '-':
    // Set, never flipped: given twice it must not turn into a real run. Any letter case, as
    // the switches; --help and --version were answered before the loop.
    if (work == "--DRY-RUN ") {
      DryRun = true;
      return;
    }
    [[fallthrough]];
  default:
    InvalidOption(typed);
  }
}

} // namespace

void AnswerHelpOrVersion() {
  for (int i = 1; i <= ArgumentCount(); ++i) {
    std::string work = UpperCaseString(ArgumentAt(i));
    if (work == "--HELP")
      PrintHelp();
    if (work == "--VERSION")
      PrintVersion();
  }
}

void ParseOptions() {
  ConsoleWrite("Using option(s): ");
  bool target_seen = false;
  for (int i = 1; i <= ArgumentCount(); ++i) {
    std::string typed = ArgumentAt(i);
    // The blank gives a lone "-" a second character.
    std::string work = UpperCaseString(typed) + " ";
    if (work[0] == '-') {
      ReadOption(i, typed, work);
      continue;
    }
    // One target: a second word (a path split at a blank, a typo) is refused, where it stands,
    // as an invalid option is.
    if (target_seen)
      FatalMessage(nullptr, "Too many parameters - " + ShownName(typed));
    target_seen = true;
  }
  if (Options.MaskLength == 0)
    SetMask("*.*");
  SetUpTarget();
}

void EchoOptions() {
  EchoSwitch(Options.ParentDelete, "ParentDelete");
  EchoSwitch(Options.EmptyDirsOnly, "EmptyDirsOnly");
  EchoSwitch(Options.SubDirsOnly, "SubDirsOnly");
  EchoSwitch(Options.FilesOnly, "FilesOnly");
  EchoSwitch(Options.SkipPasswords, "SkipPasswords");
  EchoSwitch(Options.ShowDeleted, "ShowDeleted");
  ConsolePut("Mask:");
  ConsolePut(ShownName(MaskText()));
  ConsolePut(" ");
  if (DryRun)
    ConsolePut("DryRun ");
  ConsoleEndLine();
}

bool IsValidMask(std::string_view mask) {
  return !mask.empty() && mask.find_first_of("+,/:;<=>[\\]") == std::string_view::npos;
}

bool IsAcceptedMask(std::string_view mask) {
  return CountChars(mask) <= MaskCapacity && IsValidMask(mask);
}

bool OptionsAreSound(const OptionSet& options) {
  for (std::uint8_t option_switch :
       {options.ParentDelete, options.SubDirsOnly, options.FilesOnly, options.SkipPasswords,
        options.EmptyDirsOnly, options.ShowDeleted})
    if (option_switch > 1)
      return false;
  for (const SwitchLetter& entry : SwitchLetters)
    if (entry.conflicting_switch != nullptr && options.*entry.option_switch != 0 &&
        options.*entry.conflicting_switch != 0)
      return false;
  if (options.MaskLength > MaskBytes)
    return false;
  std::string_view mask(options.MaskChars, options.MaskLength);
  return mask.empty() || IsAcceptedMask(mask);
}

bool CommandLineSaves() {
  for (int i = 1; i <= ArgumentCount(); ++i) {
    if (UpperCaseString(ArgumentAt(i)) == "-R")
      return true;
  }
  return false;
}
