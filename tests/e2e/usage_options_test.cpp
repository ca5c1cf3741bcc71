// The command line end to end, each run's standard output and standard error byte for byte, its
// status, and the tree and the program's own file as they were: the usage screen with the switches
// and mask in force when it is called (status 1 when arguments named no target); --help and
// --version on standard output, before any other argument is acted on; every refused argument
// with its exact message and no summary; the echo line of the options in force.
#include <cstdlib>
#include <filesystem>

#include "harness.h"
#include "report_lines.h"

namespace {

namespace fs = std::filesystem;

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
    label += " [" + Visible(arg) + "]";
  return label;
}

class UsageOptionsTest : public TempFolderTest {
protected:
  // The runs use a copy of the program in a folder of its own, so that a save by -R, which none
  // of them may make, would show in its bytes and change no other test's program.
  void SetUp() override {
    TempFolderTest::SetUp();
    char pattern[] = "/tmp/vakrun-program-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    program_folder = pattern;
    program = program_folder + "/" + fs::path(VakrunPath()).filename().string();
    fs::copy_file(VakrunPath(), program);
    fs::permissions(program, fs::perms(0755));
    original = FileBytes(program);
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(program_folder, error);
    TempFolderTest::TearDown();
  }

  // Standard output to a pipe of its own; standard error on the screen (a log under wine).
  RunOptions CopyRun() const {
    RunOptions options = Options();
    options.program = program;
    options.merge = false;
    return options;
  }

  // A run that ends before the target: its exact output and status, the tree untouched and the
  // program file as it was.
  void ExpectEndsBeforeTheTarget(const std::vector<std::string>& args, const std::string& out,
                                 const std::string& err, int status) {
    SCOPED_TRACE(Label(args));
    MakeTree(root, {"t/f=1"});
    RunResult run = RunVakrun(args, CopyRun());
    EXPECT_EQ(Visible(run.out), Visible(out));
    EXPECT_EQ(Visible(run.err), Visible(err));
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(ListTree(root), (std::vector<std::string>{"t/", "t/f=1"}));
    if (FileBytes(program) != original) {
      ADD_FAILURE() << "the program's own file changed";
      // Put back, so that the next case starts from the program as built.
      fs::remove(program);
      fs::copy_file(VakrunPath(), program);
    }
  }

  std::string program_folder, program, original;
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

// --help on standard output: the screen of a run without arguments with the saved options (here
// the built-in ones), as a log keeps it.
const std::string Help = AsLog(UsageScreen({}, ""));
const std::string Version = "Vakrun ver. 1.26  erases a directory tree, all of it\r\n";

TEST_F(UsageOptionsTest, UsageScreenShowsTheSwitchesInForce) {
  struct Case {
    std::vector<std::string> args;
    std::string before; // what the run writes before the banner's line end
    Switches on;
    std::string mask;
    int status; // 1 when the arguments named no target, or an empty one
  };
  const Case cases[] = {
      // Nothing to do: the stored mask, still empty.
      {{}, "", {}, "", 0},
      {{"-h", "t"}, "Using option(s): ", {}, "", 0},
      // An empty target is no target, and no success: a script's empty variable.
      {{""}, "Using option(s): ", {}, "*.*", 1},
      {{"-d", ""}, "Using option(s): ", {.show_deleted = false}, "*.*", 1},
      {{"-?"}, "Using option(s): ", {}, "", 0},
      {{"-h"}, "Using option(s): ", {}, "", 0},
      {{"-Hello"}, "Using option(s): ", {}, "", 0},
      {{"-?x", "t"}, "Using option(s): ", {}, "", 0},
      // Flips made before the screen is called show on it; the mask is not filled in yet.
      {{"-D", "-H"}, "Using option(s): ", {.show_deleted = false}, "", 0},
      {{"-p", "-e", "-w", "-Mab*", "-?", "-x"},
       "Using option(s): ",
       {.parent_delete = true, .empty_dirs_only = true, .skip_passwords = true},
       "AB*",
       0},
      {{"-s", "-f", "-D", "-D", "-?"},
       "Using option(s): ",
       {.sub_dirs_only = true, .files_only = true},
       "",
       0},
      // An option after the target counts, and nothing is deleted; so does one before a second
      // target word, which is not reached.
      {{"t", "-?"}, "Using option(s): ", {}, "", 0},
      {{"t", "-H", "u"}, "Using option(s): ", {}, "", 0},
      // Options without a target: the mask shows as filled in, and the run failed.
      {{"-D"}, "Using option(s): ", {.show_deleted = false}, "*.*", 1},
      {{"-mx?.txt", "-w"}, "Using option(s): ", {.skip_passwords = true}, "X?.TXT", 1},
      {{"--dry-run"}, "Using option(s): ", {}, "*.*", 1},
      // A mask is shown with its control characters as "?".
      {{"-M\x7f*", "-?"}, "Using option(s): ", {}, "?*", 0},
  };
  for (const Case& c : cases)
    ExpectEndsBeforeTheTarget(c.args, "",
                              AsWritten(c.before + UsageScreen(c.on, c.mask), CopyRun()), c.status);
}

// --help and --version are answered on standard output (so that a pager or a script gets them),
// wherever they stand and before any other argument is acted on: a flip, a mask, an invalid
// option, a second target word or -R before them changes nothing and shows nowhere.
TEST_F(UsageOptionsTest, HelpAndVersionWinOnStandardOutput) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"--help"}, Help},
      {{"--HELP"}, Help},
      {{"t", "--Help"}, Help},
      {{"-x", "--help"}, Help},
      {{"-rf", "--help"}, Help},
      {{"-f", "-e", "t", "--help"}, Help},
      {{"-M:", "--help"}, Help},
      {{"a", "b", "--help"}, Help},
      {{"-R", "--help"}, Help},
      {{"-d", "-p", "-Mab*", "--dry-run", "t", "--HELP"}, Help},
      {{"--help", "--version"}, Help},
      {{"--version"}, Version},
      {{"t", "--VERSION"}, Version},
      {{"-W", "-x", "--Version"}, Version},
      {{"-R", "--version", "--help"}, Version},
  };
  for (const Case& c : cases)
    ExpectEndsBeforeTheTarget(c.args, c.out, "", 0);
}

TEST_F(UsageOptionsTest, RefusedArgumentsEndTheRunBeforeTheTarget) {
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
      // A switch is its one letter: more after it is no switch, even when the letter is one (an
      // rm habit, another tool's long option, a word typed after the dash).
      {{"-rf", "t"}, "Invalid option -rf"},
      {{"t", "-fr"}, "Invalid option -fr"},
      {{"-dry-run", "t"}, "Invalid option -dry-run"},
      {{"-WhatIf", "t"}, "Invalid option -WhatIf"},
      {{"-DX", "t"}, "Invalid option -DX"},
      {{"-f", "-Files", "t"}, "Invalid option -Files"},
      {{"-Rx", "t"}, "Invalid option -Rx"},
      {{"-e1", "t"}, "Invalid option -e1"},
      {{"-p ", "t"}, "Invalid option -p "},
      // Only the three long options are known, and only whole.
      {{"--dry-run=yes", "t"}, "Invalid option --dry-run=yes"},
      {{"t", "--dry"}, "Invalid option --dry"},
      {{"--dryrun", "t"}, "Invalid option --dryrun"},
      {{"--helpme", "t"}, "Invalid option --helpme"},
      {{"t", "--version=2"}, "Invalid option --version=2"},
      {{"--h", "t"}, "Invalid option --h"},
      // One target: a second word (a path split at a blank, a stray word) is refused where it
      // stands, as an invalid option is, and the first refused argument is the one named.
      {{"t", "b"}, "Too many parameters - b"},
      {{"old/my", "build"}, "Too many parameters - build"},
      {{"-D", "t", "t", "-W"}, "Too many parameters - t"},
      {{"t", "b", "-x"}, "Too many parameters - b"},
      {{"t", "-x", "b"}, "Invalid option -x"},
      {{"t", "b", "c"}, "Too many parameters - b"},
      {{"t", ""}, "Too many parameters - "},
      {{"", "t"}, "Too many parameters - t"},
      {{"t", "-f", "-e", "b"}, "Options -f and -e cannot be combined"},
      // What was typed is shown with its control characters as "?": no escape sequence reaches
      // the terminal. Each word holds a blank, so that the Windows command line keeps it whole.
      {{"-x \x1b[31m", "t"}, "Invalid option -x ?[31m"},
      {{"-x\x7f", "t"}, "Invalid option -x?"},
      {{"-x\xc2\x9b"
        "2J",
        "t"},
       "Invalid option -x?2J"},
      {{"-M* \x1b[31m", "t"}, "Invalid mask \"* ?[31M\""},
      {{"-M*\xc2\x9b:", "t"}, "Invalid mask \"*?:\""},
      {{"t", "b \x1b]0;x\a"}, "Too many parameters - b ?]0;x?"},
      {{"t", "b\tc\r\n"}, "Too many parameters - b?c??"},
      // As typed in a shell: the Windows command line ends a word at a control character, so
      // there the mask is "*" and "[31m" the target, and "t" a second word.
      {{"-M*\x1b[31m", "t"},
       UnderEmulator() ? "Too many parameters - t" : "Invalid mask \"*?[31M\""},
  };
  for (char c : std::string("+,/:<=>[\\]")) {
    std::string mask = std::string("*") + c + "*";
    cases.push_back({{"-M" + mask, "t"}, "Invalid mask \"" + mask + "\""});
  }
  for (const Case& c : cases)
    ExpectEndsBeforeTheTarget(c.args, "",
                              AsWritten("Using option(s): " + Problem(c.message), CopyRun()), 1);
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
      {{"t", "-w", "-p"}, "ParentDelete SkipPasswords ShowDeleted Mask:*.*"},
      {{"-s", "-e", "t"}, "EmptyDirsOnly SubDirsOnly ShowDeleted Mask:*.*"},
      {{"-f", "-F", "-f", "t"}, "FilesOnly ShowDeleted Mask:*.*"},
      {{"-F", "-F", "-E", "t"}, "EmptyDirsOnly ShowDeleted Mask:*.*"},
      {{"-P", "-P", "-S", "t"}, "SubDirsOnly ShowDeleted Mask:*.*"},
      {{"-m*.txt", "t"}, "ShowDeleted Mask:*.TXT"},
      {{"-Mabcdefghijkl", "t"}, "ShowDeleted Mask:ABCDEFGHIJKL"},
      {{"-M.", "t"}, "ShowDeleted Mask:."},
      {{"-Ma", "t", "-Mb?"}, "ShowDeleted Mask:B?"},
      {{"-M a b", "t"}, "ShowDeleted Mask: A B"},
      // A mask's control characters show as "?" on the echo line too.
      {{"-M*\xc2\x9b", "t"}, "ShowDeleted Mask:*?"},
      {{"-M*\x7f", "t"}, "ShowDeleted Mask:*?"},
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
