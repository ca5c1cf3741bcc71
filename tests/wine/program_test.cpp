// The Windows program under wine where it must differ from the Linux build or has work of its own:
// links, which wine always follows, are reported and left with what they lead to untouched; a
// mask selects by long names only, though the system also matches short names, and a target may
// be typed with short names; Unix names that a Windows path cannot hold are erased by the name
// the directory lists, or reported; an entry another program holds is told for what it is; and
// -R saves into the running program by renaming it aside, with the same bytes as a save in place.
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "harness.h"
#include "platform/fs.h"
#include "report_lines.h"
#include "settings/settings_block.h"
#include "settings/store.h"

namespace {

namespace fs = std::filesystem;

// The Windows build's helper beside vakrun.exe (tests/wine/hold_entry.cpp).
std::string HoldEntryPath() {
  return (fs::path(VakrunPath()).parent_path() / "hold_entry.exe").string();
}

class WineProgramTest : public TempFolderTest {
protected:
  void SetUp() override {
    if (!UnderEmulator())
      GTEST_SKIP() << "these runs are of the Windows program under wine (VAKRUN_EMULATOR)";
    TempFolderTest::SetUp();
  }
};

// The runs beside another Windows program need the helper the Windows build makes with its tests.
class WineHeldEntryTest : public WineProgramTest {
protected:
  void SetUp() override {
    WineProgramTest::SetUp();
    if (!IsSkipped() && !fs::exists(HoldEntryPath()))
      GTEST_SKIP() << HoldEntryPath() << " is missing: the Windows build was made without tests";
  }
};

const std::vector<std::string> Outside = {"outside/", "outside/file=precious", "outside/sub/",
                                          "outside/sub/deep=precious too"};

std::vector<std::string> With(std::vector<std::string> entries,
                              const std::vector<std::string>& more) {
  entries.insert(entries.end(), more.begin(), more.end());
  return Sorted(entries);
}

// Another Windows program that holds an entry ("open": open, sharing its deletion; "cwd": as its
// current directory) from Start until Release, as an editor or a shell would.
class Holder {
public:
  ~Holder() { Release(); }

  // True once the program holds the entry.
  bool Start(const std::string& how, const std::string& dos_path) {
    int input[2], output[2];
    if (pipe(input) != 0 || pipe(output) != 0)
      return false;
    const PreparedExec exec = PrepareExec(HoldEntryPath(), {how, dos_path}, RunOptions{});
    pid = StartChild(exec, input[0], output[1], -1);
    close(input[0]);
    close(output[1]);
    to_holder = input[1];
    std::string said;
    char buffer[256];
    struct pollfd wait = {output[0], POLLIN, 0};
    while (said.find("held") == std::string::npos && poll(&wait, 1, 60'000) > 0) {
      ssize_t got = read(output[0], buffer, sizeof buffer);
      if (got <= 0)
        break;
      said.append(buffer, static_cast<std::size_t>(got));
    }
    close(output[0]);
    return said.find("held") != std::string::npos;
  }

  // Lets the entry go: the program ends at the end of its input.
  void Release() {
    if (to_holder >= 0)
      close(to_holder);
    to_holder = -1;
    if (pid > 0)
      waitpid(pid, nullptr, 0);
    pid = -1;
  }

private:
  pid_t pid = -1;
  int to_holder = -1;
};

// The path with each part by its 8.3 name, as the system gives it (T:\t\LONG~TX4).
std::string ShortPath(const std::string& dos_path) {
  RunOptions options;
  options.program = HoldEntryPath();
  options.merge = false;
  std::string path = RunVakrun({"short", dos_path}, options).out;
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
    path.pop_back();
  return path;
}

// A Unix ":" and "\" as the program hands them on: U+F03A and U+F05C.
const std::string Colon = "\xEF\x80\xBA";
const std::string Backslash = "\xEF\x81\x9C";

// A file system mounted in the test's folder (only where the tests may mount one); unmounted when
// the owner goes.
struct Mounted {
  explicit Mounted(const std::string& path) : path(path) {
    fs::create_directories(path);
    mounted = mount("vakrun-test", path.c_str(), "tmpfs", 0, "size=1m") == 0;
  }
  ~Mounted() {
    if (mounted)
      umount(path.c_str());
  }
  std::string path;
  bool mounted = false;
};

// Wine opens what a Unix link leads to, whatever it is asked, and shows a mounted directory it
// reaches as a reparse point: each link is told as a link and left, and nothing it leads to
// changes.
TEST_F(WineProgramTest, LinksAreReportedAndLeftAndNothingOutsideChanges) {
  std::vector<std::string> links = {"t/l_dir->../outside", "t/l_file->../outside/file",
                                    "t/a/l_abs->" + root + "/outside",
                                    "t/a/b/l_deep->../../../outside/sub"};
  std::vector<std::string> lines = {"Skipped link T:\\t\\l_dir",
                                    "Skipped link T:\\t\\l_file",
                                    "Skipped link T:\\t\\a\\l_abs",
                                    "Skipped link T:\\t\\a\\b\\l_deep",
                                    "Deleted T:\\t\\g",
                                    "Deleted T:\\t\\a\\b\\f",
                                    "Could not remove non-empty directory T:\\t\\a\\b",
                                    "Could not remove non-empty directory T:\\t\\a",
                                    "Could not remove non-empty directory T:\\t"};
  std::vector<std::string> outside = Outside;
  Mounted mounted(Path("mnt"));
  if (mounted.mounted) {
    links.push_back("t/l_mnt->../mnt");
    lines.push_back("Skipped link T:\\t\\l_mnt");
    outside.insert(outside.end(), {"mnt/", "mnt/keep=precious"});
  } else {
    fs::remove(Path("mnt"));
    std::cout << "[ NOTE ] no file system could be mounted here: the link to one is not tried\n";
  }
  MakeTree(root, With(outside, With(links, {"t/a/b/f=1", "t/g=2"})));
  RunResult run = RunVakrun({"t"}, Options());
  EXPECT_EQ(ReportLines(run.out), Sorted(lines)) << Visible(run.out);
  EXPECT_EQ(SummaryLine(run.out), "Deleted 2 files and 0 dirs");
  EXPECT_EQ(run.status, 1); // the links were passed over
  EXPECT_EQ(ListTree(root), With(outside, With(links, {"t/", "t/a/", "t/a/b/"})));
}

TEST_F(WineProgramTest, TargetThatIsALinkIsNotEntered) {
  MakeTree(root, With(Outside, {"tl->outside"}));
  RunResult run = RunVakrun({"tl"}, Options());
  EXPECT_TRUE(run.out.ends_with(AsWritten(Problem("Unable to change to T:\\tl"))))
      << Visible(run.out);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ListTree(root), With(Outside, {"tl->outside"}));
}

// "x.bakup" has the short name "X~....BAK", which the system's own matching would take for *.BAK.
TEST_F(WineProgramTest, MaskSelectsByLongNamesOnly) {
  MakeTree(root, {"t/x.bak", "t/x.bakup=keep", "t/y.BAK", "t/averylongname.bak2=keep"});
  RunResult run = RunVakrun({"-M*.BAK", "t"}, Options());
  EXPECT_EQ(ReportLines(run.out), Sorted({"Deleted T:\\t\\x.bak", "Deleted T:\\t\\y.BAK",
                                          "Could not remove non-empty directory T:\\t"}));
  EXPECT_EQ(ListTree(root), Sorted({"t/", "t/x.bakup=keep", "t/averylongname.bak2=keep"}));
}

// Paths far past the 260 characters of the system's "A" calls: every entry is erased and every
// report line names its full path.
TEST_F(WineProgramTest, LongPathsAreErasedWithFullPathsInEveryLine) {
  for (int levels : {12, 40}) {
    SCOPED_TRACE(std::to_string(levels) + " levels");
    std::vector<std::string> tree, expected;
    std::string relative = "t", shown = "T:\\t";
    for (int level = 0; level < levels; ++level) {
      std::string name = "level-" + std::to_string(level) + "-abcdefghijklmnopqrst";
      relative += "/" + name;
      shown += "\\" + name;
      tree.push_back(relative + "/file-" + std::to_string(level) + ".txt=x");
      expected.push_back("Deleted " + shown + "\\file-" + std::to_string(level) + ".txt");
      expected.push_back("Removed " + shown);
    }
    expected.push_back("Removed T:\\t");
    ASSERT_GT(shown.size(), levels == 12 ? 300u : 1000u);
    MakeTree(root, tree);
    RunOptions options = Options();
    options.timeout_seconds = 120;
    RunResult run = RunVakrun({"t"}, options);
    EXPECT_EQ(ReportLines(run.out), Sorted(expected)) << Visible(run.out);
    EXPECT_EQ(SummaryLine(run.out), "Deleted " + std::to_string(levels) + " files and " +
                                        std::to_string(levels + 1) + " dirs");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), std::vector<std::string>{});
  }
}

// Names that the system's path syntax would change (a dot or a blank at the end is dropped) are
// erased as the directory lists them.
TEST_F(WineProgramTest, NamesEndingInADotOrABlankAreErased) {
  MakeTree(root, {"t/a.=1", "t/b =2", "t/d./f=3", "t/e /g.=4", "t/keep"});
  RunResult run = RunVakrun({"t"}, Options());
  EXPECT_EQ(ReportLines(run.out),
            Sorted({"Deleted T:\\t\\a.", "Deleted T:\\t\\b ", "Deleted T:\\t\\keep",
                    "Deleted T:\\t\\d.\\f", "Removed T:\\t\\d.", "Deleted T:\\t\\e \\g.",
                    "Removed T:\\t\\e ", "Removed T:\\t"}))
      << Visible(run.out);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListTree(root), std::vector<std::string>{});
}

// A short name in any part of the target, the last one too, names the directory as its long name
// does; the lines name the paths as typed.
TEST_F(WineHeldEntryTest, ShortNamesAreTakenInEveryPartOfTheTarget) {
  MakeTree(root, {"t/longdirectoryname/f", "t/longdirectoryname/sub/g", "longparentname/t/x/"});
  const std::string last = ShortPath("T:\\t\\longdirectoryname");
  const std::string first = ShortPath("T:\\longparentname");
  ASSERT_TRUE(last.starts_with("T:\\t\\") && last.find('~') != std::string::npos) << last;
  ASSERT_TRUE(first.starts_with("T:\\") && first.find('~') != std::string::npos) << first;
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {{last},
       {"Deleted " + last + "\\f", "Deleted " + last + "\\sub\\g", "Removed " + last + "\\sub",
        "Removed " + last},
       {"longparentname/", "longparentname/t/", "longparentname/t/x/", "t/"}},
      // The climb of -P goes up through the parent typed by its short name.
      {{"-P", first + "\\t"},
       {"Removed " + first + "\\t\\x", "Removed " + first + "\\t", "Removed " + first},
       {"t/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    RunResult run = RunVakrun(c.args, Options());
    EXPECT_EQ(ReportLines(run.out), Sorted(c.lines)) << Visible(run.out);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), Sorted(c.after));
  }
}

// Names that only a language's rules take for the same (a soft hyphen, "ß" and "ss", a letter and
// its combining accent, and "Ü" and "Ì", whose bytes read in code page 1252 differ only in case)
// are each erased as itself.
TEST_F(WineProgramTest, LookalikeNamesAreEachErasedAsItself) {
  const std::vector<std::string> names = {"ab",
                                          "a\xC2\xAD"
                                          "b",
                                          "strasse",
                                          "stra\xC3\x9F"
                                          "e",
                                          "\xC3\xA9",
                                          "e\xCC\x81",
                                          "\xC3\x9C",
                                          "\xC3\x8C"};
  std::vector<std::string> tree, lines = {"Removed T:\\t"};
  for (const std::string& name : names) {
    tree.push_back("t/" + name + "/f=" + name);
    lines.push_back("Deleted T:\\t\\" + name + "\\f");
    lines.push_back("Removed T:\\t\\" + name);
  }
  MakeTree(root, tree);
  RunResult run = RunVakrun({"t"}, Options());
  EXPECT_EQ(ReportLines(run.out), Sorted(lines)) << Visible(run.out);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListTree(root), std::vector<std::string>{});
}

// A Unix name may hold what a Windows path cannot: a ":" or "\" (which would make the name a
// drive or a path, outside the target), one of ? * < > | " or a control character. Each is erased
// by the name the directory lists (or its 8.3 name) or told as an invalid name, and the walk goes
// on.
TEST_F(WineProgramTest, NamesAWindowsPathCannotHoldAreErasedOrToldAndNothingOutsideChanges) {
  const std::vector<std::string> outside = {"outside/", "outside/keep=precious", "zz=precious"};
  MakeTree(root, outside);
  MakeTree(root,
           {"t/a:b=1", "t/t:zz=2", "t/..\\zz=3", "t/q?=4", "t/s*=5", "t/lt<=6", "t/gt>=7", "t/p|=8",
            "t/dq\"=9", "t/c\x01=10", "t/d:ir/inner=11", "t/..\\outside/", "t/w?/f=12"});
  RunResult run = RunVakrun({"t"}, Options());
  EXPECT_EQ(
      ReportLines(run.out),
      Sorted({"Deleted T:\\t\\a" + Colon + "b", "Deleted T:\\t\\t" + Colon + "zz",
              "Skipped invalid name T:\\t\\.." + Backslash + "zz", "Deleted T:\\t\\q?",
              "Deleted T:\\t\\s*", "Deleted T:\\t\\lt<", "Deleted T:\\t\\gt>", "Deleted T:\\t\\p|",
              "Deleted T:\\t\\dq\"", "Skipped invalid name T:\\t\\c?",
              "Deleted T:\\t\\d" + Colon + "ir\\inner", "Removed T:\\t\\d" + Colon + "ir",
              "Skipped invalid name T:\\t\\.." + Backslash + "outside", "Deleted T:\\t\\w?\\f",
              "Removed T:\\t\\w?", "Could not remove non-empty directory T:\\t"}))
      << Visible(run.out);
  EXPECT_EQ(SummaryLine(run.out), "Deleted 10 files and 2 dirs");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ListTree(root), With(outside, {"t/", "t/..\\zz=3", "t/c\x01=10", "t/..\\outside/"}));
}

// Where the system offers no POSIX deletion (wine, FAT, network shares), a file another program
// holds open, sharing its deletion, is only marked: its name stays until that program lets it go.
// Each such entry is told as pending, the status says that something asked for remains, and a
// later run that meets it marked already tells it the same.
TEST_F(WineHeldEntryTest, EntriesHeldOpenWithDeletionSharedAreToldPending) {
  MakeTree(root, {"t/f=1", "t/g=2", "t/d/h=3", "t/e/"});
  Holder file, inner, directory;
  ASSERT_TRUE(file.Start("open", "T:\\t\\f"));
  ASSERT_TRUE(inner.Start("open", "T:\\t\\d\\h"));
  ASSERT_TRUE(directory.Start("open", "T:\\t\\e"));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE("-F, round " + std::to_string(round));
    RunResult run = RunVakrun({"-F", "t"}, Options());
    std::vector<std::string> lines = {"Pending deletion (in use) T:\\t\\f",
                                      "Pending deletion (in use) T:\\t\\d\\h"};
    if (round == 0)
      lines.push_back("Deleted T:\\t\\g");
    EXPECT_EQ(ReportLines(run.out), Sorted(lines)) << Visible(run.out);
    EXPECT_EQ(SummaryLine(run.out),
              round == 0 ? "Deleted 1 file and 0 dirs" : "Deleted 0 files and 0 dirs");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ListTree(root), Sorted({"t/", "t/f=1", "t/d/", "t/d/h=3", "t/e/"}));
  }
  RunResult run = RunVakrun({"t"}, Options());
  EXPECT_EQ(
      ReportLines(run.out),
      Sorted({"Pending deletion (in use) T:\\t\\f", "Pending deletion (in use) T:\\t\\d\\h",
              "Could not remove non-empty directory T:\\t\\d", "Pending deletion (in use) T:\\t\\e",
              "Could not remove non-empty directory T:\\t"}))
      << Visible(run.out);
  EXPECT_EQ(SummaryLine(run.out), "Deleted 0 files and 0 dirs");
  EXPECT_EQ(run.status, 1);
  file.Release();
  inner.Release();
  directory.Release();
  // Marked, they went as they were let go.
  EXPECT_EQ(ListTree(root), Sorted({"t/", "t/d/"}));
}

// An empty directory that another program holds as its current directory cannot be removed: the
// line says so, without claiming that it holds entries, and the run failed.
TEST_F(WineHeldEntryTest, DirectoryHeldAsACurrentDirectoryIsToldInUse) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {{"t"},
       {"Could not remove directory in use T:\\t\\d",
        "Could not remove non-empty directory T:\\t"}},
      {{"-E", "t"},
       {"Could not remove directory in use T:\\t\\d", "Skipping non-empty directory T:\\t"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    MakeTree(root, {"t/d/"});
    Holder shell;
    ASSERT_TRUE(shell.Start("cwd", "T:\\t\\d"));
    RunResult run = RunVakrun(c.args, Options());
    EXPECT_EQ(ReportLines(run.out), Sorted(c.lines)) << Visible(run.out);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ListTree(root), Sorted({"t/", "t/d/"}));
    shell.Release();
    fs::remove_all(Path("t"));
  }
}

// What a save of the built-in block with ShowDeleted as given, made in place, would leave.
std::string SavedInPlace(const std::string& original, const std::string& scratch,
                         bool show_deleted) {
  { std::ofstream(scratch, std::ios::binary) << original; }
  SettingsBlock block = Settings;
  block.Options.ShowDeleted = show_deleted ? 1 : 0;
  EXPECT_TRUE(SaveStoredBlock("Z:" + scratch, 1, &block, SettingsBlockSize));
  return FileBytes(scratch);
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  return Sorted(names);
}

TEST_F(WineProgramTest, SaveRenamesTheRunningProgramAsideAndWritesTheSameBytes) {
  ASSERT_EQ(StartFileSystem(), "");
  fs::create_directories(Path("bin"));
  const std::string program = Path("bin/vakrun.exe");
  fs::copy_file(VakrunPath(), program);
  const std::string original = FileBytes(program);
  RunOptions options = Options();
  options.program = program;

  RunResult run = RunVakrun({"-D", "-R"}, options);
  EXPECT_EQ(run.status, 0) << Visible(run.out);
  EXPECT_EQ(run.out.find("PROBLEM"), std::string::npos) << Visible(run.out);
  EXPECT_EQ(FileBytes(program), SavedInPlace(original, Path("expected"), false));
  // The old image still runs and stays beside the program until the next start.
  std::vector<std::string> names = Names(Path("bin"));
  ASSERT_LE(names.size(), 2u);
  if (names.size() == 2)
    EXPECT_TRUE(names[1].starts_with("vakrun.exe.old-")) << names[1];

  run = RunVakrun({}, options);
  EXPECT_NE(run.out.find(UsageLineOfD(false)), std::string::npos) << Visible(run.out);
  EXPECT_EQ(Names(Path("bin")), std::vector<std::string>{"vakrun.exe"});

  run = RunVakrun({"-D", "-R"}, options);
  EXPECT_EQ(run.status, 0) << Visible(run.out);
  EXPECT_EQ(FileBytes(program), SavedInPlace(original, Path("expected"), true));
}

} // namespace
