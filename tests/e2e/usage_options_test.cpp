// The usage screen byte for byte, with the switches and mask in force when it is called, and
// status 0; every option error with its exact message, no summary and status 1; the echo line of
// the options in force.
#include <filesystem>

#include "harness.h"
#include "report_lines.h"

namespace {

struct Switches {
  bool show_deleted = true;
  bool parent_delete = false;
  bool empty_dirs_only = false;
  bool sub_dirs_only = false;
  bool files_only = false;
  bool skip_passwords = false;
};

std::string Label(const std::vector<std::string>& args) {
  std::string label = "(args)";
  for (const std::string& arg : args)
    label += " " + arg;
  return label;
}

class UsageOptionsTest : public TempFolderTest {
protected:
  // A run that ends before the target: its exact output and status, and the tree untouched.
  void ExpectEndsBeforeTheTarget(const std::vector<std::string>& args, const std::string& out,
                                 int status) {
    SCOPED_TRACE(Label(args));
    MakeTree(root, {"t/f=1"});
    RunResult run = RunVakrun(args, Options());
    EXPECT_EQ(Visible(run.out), Visible(out));
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(ListTree(root), (std::vector<std::string>{"t/", "t/f=1"}));
  }
};

std::string Not(bool on) {
  return on ? "NOT " : "";
}

// The banner and the usage screen, after whatever the line held.
std::string UsageScreen(const Switches& on, const std::string& mask) {
  const std::string stars(63, '*');
  const std::string lines[] = {
      "",
      "Vakrun ver. 1.26  erases a directory tree, all of it",
      "",
      "\rUsage: Vakrun [[options] <target directory> [options]]",
      "      " + stars,
      "      * W A R N I N G: VAKRUN is VERY dangerous if used carelessly! *",
      "      *                You can wipe out your whole disk in seconds! *",
      "      " + stars,
      "       * It will erase all files and directories under and including",
      "         the one specified.  So, please use extreme caution.",
      "       * All files means System, Hidden and Read-Only files as well!",
      "       * DR. DOS users always REMEMBER: A requested password will act",
      "         on all files that match it until a new password is encountered.",
      "       * Pressing ESC during operation will ask for continuation approval.",
      "       " + std::string(25, '-') + " O P T I O N S " + std::string(22, '-'),
      "       * Using -D will " + Not(on.show_deleted) + "display deleted files and dirs",
      "       * Using -P will " + Not(on.parent_delete) +
          "delete parent dirs if they only lead to target path.",
      "       * Using -E will " + Not(on.empty_dirs_only) + "delete only empty directories",
      "       * Using -S will " + Not(on.sub_dirs_only) +
          "delete only subdirectories of given path",
      "       * Using -F will " + Not(on.files_only) +
          "delete only files (i.e. it will empty dirs)",
      "       * Using -W will " + Not(on.skip_passwords) + "skip any DR. DOS password queries.",
      "       * Using -Mxxx will delete only files matching xxx mask (\"" + mask + "\")",
      "       * Using -R will permanently save all options appearing before it",
      "                    (NOTE: Certain options may be combined)",
  };
  std::string screen;
  for (const std::string& line : lines)
    screen += line + "\r\n";
  return screen;
}

TEST_F(UsageOptionsTest, UsageScreenShowsTheSwitchesInForce) {
  struct Case {
    std::vector<std::string> args;
    std::string before; // what the run writes before the banner's line end
    Switches on;
    std::string mask;
  };
  const Case cases[] = {
      // Nothing to do: the stored mask, still empty.
      {{}, "", {}, ""},
      {{"-h", "t"}, "Using option(s): ", {}, ""},
      // An empty target is no target.
      {{"-d", ""}, "Using option(s): ", {.show_deleted = false}, "*.*"},
      {{"-?"}, "Using option(s): ", {}, ""},
      {{"-h"}, "Using option(s): ", {}, ""},
      {{"-Hello"}, "Using option(s): ", {}, ""},
      // Flips made before the screen is called show on it; the mask is not filled in yet.
      {{"-D", "-H"}, "Using option(s): ", {.show_deleted = false}, ""},
      {{"-p", "-e", "-w", "-Mab*", "-?", "-x"},
       "Using option(s): ",
       {.parent_delete = true, .empty_dirs_only = true, .skip_passwords = true},
       "AB*"},
      {{"-s", "-f", "-D", "-D", "-?"},
       "Using option(s): ",
       {.sub_dirs_only = true, .files_only = true},
       ""},
      // An option after the target counts, and nothing is deleted.
      {{"t", "-?"}, "Using option(s): ", {}, ""},
      // Options without a target: the mask shows as filled in.
      {{"-D"}, "Using option(s): ", {.show_deleted = false}, "*.*"},
      {{"-mx?.txt", "-w"}, "Using option(s): ", {.skip_passwords = true}, "X?.TXT"},
      // The long form, in any letter case, wherever it stands.
      {{"--help"}, "Using option(s): ", {}, ""},
      {{"--dry-run", "--help"}, "Using option(s): ", {}, ""},
      {{"-d", "--dry-run", "t", "--HELP"}, "Using option(s): ", {.show_deleted = false}, ""},
      {{"-w", "t", "--Help"}, "Using option(s): ", {.skip_passwords = true}, ""},
  };
  for (const Case& c : cases)
    ExpectEndsBeforeTheTarget(c.args, AsWritten(c.before + UsageScreen(c.on, c.mask)), 0);
}

TEST_F(UsageOptionsTest, VersionShowsTheBannerAloneAndEndsTheRun) {
  const std::vector<std::string> cases[] = {{"--version"}, {"t", "--VERSION"}, {"-W", "--Version"}};
  for (const std::vector<std::string>& args : cases)
    ExpectEndsBeforeTheTarget(
        args, "Using option(s): \r\nVakrun ver. 1.26  erases a directory tree, all of it\r\n\r\n",
        0);
}

TEST_F(UsageOptionsTest, OptionErrorsEndTheRunBeforeTheTarget) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  std::vector<Case> cases = {
      {{"t", "-f", "-e"}, "Options -f and -e cannot be combined"},
      {{"-m", "t"}, "Invalid mask \"\""},
      {{"-F", "-E", "t"}, "Options -f and -e cannot be combined"},
      {{"-e", "-f", "t"}, "Options -e and -f cannot be combined"},
      {{"-S", "-P", "t"}, "Options -s and -p cannot be combined"},
      {{"t", "-p", "-s"}, "Options -p and -s cannot be combined"},
      // An earlier flip counts: -D -D leaves -E on, and -F meets it.
      {{"-E", "-D", "-D", "-F", "t"}, "Options -e and -f cannot be combined"},
      {{"-M", "t"}, "Invalid mask \"\""},
      {{"t", "-m"}, "Invalid mask \"\""},
      {{"-M*:*", "t"}, "Invalid mask \"*:*\""},
      {{"-Ma\\b", "t"}, "Invalid mask \"A\\B\""},
      // A mask is never cut: one of more than 12 characters is refused whole.
      {{"-Mabcdefghijk:xyz", "t"}, "Invalid mask \"ABCDEFGHIJK:XYZ\""},
      {{"-Mabcdefghijklmnop", "t"}, "Invalid mask \"ABCDEFGHIJKLMNOP\""},
      {{"-x", "t"}, "Invalid option -x"},
      {{"t", "-xYz"}, "Invalid option -xYz"},
      {{"-", "t"}, "Invalid option -"},
      {{"--", "t"}, "Invalid option --"},
      {{"-1", "t"}, "Invalid option -1"},
      {{"-.", "t"}, "Invalid option -."},
      {{"-D", "-q", "t"}, "Invalid option -q"},
      // Only the three long options are known, and only whole.
      {{"--dry-run=yes", "t"}, "Invalid option --dry-run=yes"},
      {{"t", "--dry"}, "Invalid option --dry"},
      {{"--dryrun", "t"}, "Invalid option --dryrun"},
      {{"--helpme", "t"}, "Invalid option --helpme"},
      {{"t", "--version=2"}, "Invalid option --version=2"},
      {{"--h", "t"}, "Invalid option --h"},
  };
  for (char c : std::string("+,/:<=>[\\]")) {
    std::string mask = std::string("*") + c + "*";
    cases.push_back({{"-M" + mask, "t"}, "Invalid mask \"" + mask + "\""});
  }
  for (const Case& c : cases)
    ExpectEndsBeforeTheTarget(c.args, AsWritten("Using option(s): " + Problem(c.message)), 1);
}

TEST_F(UsageOptionsTest, EchoLineShowsTheOptionsInForce) {
  struct Case {
    std::vector<std::string> args;
    std::string echo;
  };
  const Case cases[] = {
      {{"t"}, "ShowDeleted Mask:*.*"},
      {{"-d", "t"}, "Mask:*.*"},
      {{"-D", "-d", "t"}, "ShowDeleted Mask:*.*"},
      {{"-DX", "t"}, "Mask:*.*"},
      {{"t", "-w", "-p"}, "ParentDelete SkipPasswords ShowDeleted Mask:*.*"},
      {{"-s", "-e", "t"}, "EmptyDirsOnly SubDirsOnly ShowDeleted Mask:*.*"},
      {{"-f", "-Files", "-F", "t"}, "FilesOnly ShowDeleted Mask:*.*"},
      {{"-F", "-F", "-E", "t"}, "EmptyDirsOnly ShowDeleted Mask:*.*"},
      {{"-P", "-P", "-S", "t"}, "SubDirsOnly ShowDeleted Mask:*.*"},
      {{"-m*.txt", "t"}, "ShowDeleted Mask:*.TXT"},
      {{"-Mabcdefghijkl", "t"}, "ShowDeleted Mask:ABCDEFGHIJKL"},
      {{"-M.", "t"}, "ShowDeleted Mask:."},
      {{"-Ma", "t", "-Mb?"}, "ShowDeleted Mask:B?"},
      {{"-M a b", "t"}, "ShowDeleted Mask: A B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Label(c.args));
    MakeTree(root, {"t/"});
    RunResult run = RunVakrun(c.args, Options());
    EXPECT_TRUE(run.out.starts_with(AsWritten(Echo(c.echo)))) << Visible(run.out);
    EXPECT_EQ(run.status, 0) << Visible(run.out);
    std::error_code error;
    std::filesystem::remove_all(Path("t"), error);
  }
}

} // namespace
