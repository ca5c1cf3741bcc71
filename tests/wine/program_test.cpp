// The Windows program under wine where it must differ from the Linux build or has work of its own:
// links, which wine always follows, are reported and left with what they lead to untouched; a
// mask selects by long names only, though the system also matches short names; and -R saves into
// the running program by renaming it aside, with the same bytes as a save in place.
#include <filesystem>
#include <fstream>

#include "harness.h"
#include "platform/fs.h"
#include "report_lines.h"
#include "settings/settings_block.h"
#include "settings/store.h"

namespace {

namespace fs = std::filesystem;

class WineProgramTest : public TempFolderTest {
protected:
  void SetUp() override {
    if (!UnderEmulator())
      GTEST_SKIP() << "these runs are of the Windows program under wine (VAKRUN_EMULATOR)";
    TempFolderTest::SetUp();
  }
};

const std::vector<std::string> Outside = {"outside/", "outside/file=precious", "outside/sub/",
                                          "outside/sub/deep=precious too"};

std::vector<std::string> With(std::vector<std::string> entries,
                              const std::vector<std::string>& more) {
  entries.insert(entries.end(), more.begin(), more.end());
  return Sorted(entries);
}

TEST_F(WineProgramTest, LinksAreReportedAndLeftAndNothingOutsideChanges) {
  const std::vector<std::string> links = {"t/l_dir->../outside", "t/l_file->../outside/file",
                                          "t/a/l_abs->" + root + "/outside",
                                          "t/a/b/l_deep->../../../outside/sub"};
  MakeTree(root, With(Outside, With(links, {"t/a/b/f=1", "t/g=2"})));
  RunResult run = RunVakrun({"t"}, Options());
  EXPECT_EQ(ReportLines(run.out),
            Sorted({"Skipped attribute change on T:\\t\\l_dir",
                    "Skipped attribute change on T:\\t\\l_file",
                    "Skipped attribute change on T:\\t\\a\\l_abs",
                    "Skipped attribute change on T:\\t\\a\\b\\l_deep", "Deleted T:\\t\\g",
                    "Deleted T:\\t\\a\\b\\f", "Could not remove non-empty directory T:\\t\\a\\b",
                    "Could not remove non-empty directory T:\\t\\a",
                    "Could not remove non-empty directory T:\\t"}))
      << Visible(run.out);
  EXPECT_EQ(SummaryLine(run.out), "Deleted 2 files and 0 dirs");
  EXPECT_EQ(run.status, 1); // the links were passed over
  EXPECT_EQ(ListTree(root), With(Outside, With(links, {"t/", "t/a/", "t/a/b/"})));
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
