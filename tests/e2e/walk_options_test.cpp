// What the walk erases under each option: the files and directories that go and stay, the report
// lines with their full paths, and the summary; whole transcripts for a few runs whose order does
// not depend on the file system; ParentDelete's climb; a drive root as the target; the depth
// limit.
#include <filesystem>
#include <sys/stat.h>

#include "harness.h"
#include "report_lines.h"

namespace {

std::vector<std::string> Join(std::vector<std::string> first,
                              const std::vector<std::string>& more) {
  first.insert(first.end(), more.begin(), more.end());
  return Sorted(first);
}

class WalkOptionsTest : public TempFolderTest {};

// Entries next to the target that no run may touch.
const std::vector<std::string> Outside = {"keep.txt=outside", "out/", "out/o=keep"};

// t holds a file, a hidden file, a subdirectory with a file and an empty subdirectory, and a
// subdirectory with a .txt and a .bak file.
const std::vector<std::string> Mixed = {"t/f1=1", "t/.hid=2",    "t/a/f2=3",
                                        "t/a/b/", "t/c/x.txt=4", "t/c/y.bak=5"};

TEST_F(WalkOptionsTest, EachOptionErasesWhatItSelects) {
  struct Case {
    std::vector<std::string> tree; // besides Outside
    std::vector<std::string> args;
    std::vector<std::string> after; // besides Outside
    std::vector<std::string> lines;
    std::string summary;
  };
  const std::vector<std::string> all_lines = {
      "Deleted T:\\t\\f1",       "Deleted T:\\t\\.hid",     "Deleted T:\\t\\a\\f2",
      "Deleted T:\\t\\c\\x.txt", "Deleted T:\\t\\c\\y.bak", "Removed T:\\t\\a\\b",
      "Removed T:\\t\\a",        "Removed T:\\t\\c",        "Removed T:\\t"};
  const Case cases[] = {
      {Mixed, {"t"}, {}, all_lines, "Deleted 5 files and 4 dirs"},
      // Options count wherever they stand, and in either case.
      {Mixed, {"t", "-w"}, {}, all_lines, "Deleted 5 files and 4 dirs"},
      {Mixed, {"-D", "t"}, {}, {}, "Deleted 5 files and 4 dirs"},
      {Mixed, {"t", "-d", "-D"}, {}, all_lines, "Deleted 5 files and 4 dirs"},
      // The target lies right below the root, which is never tried.
      {Mixed, {"-P", "t"}, {}, all_lines, "Deleted 5 files and 4 dirs"},
      {Mixed,
       {"-E", "t"},
       {"t/", "t/f1=1", "t/.hid=2", "t/a/", "t/a/f2=3", "t/c/", "t/c/x.txt=4", "t/c/y.bak=5"},
       {"Removed T:\\t\\a\\b", "Skipping non-empty directory T:\\t\\a",
        "Skipping non-empty directory T:\\t\\c", "Skipping non-empty directory T:\\t"},
       "Deleted 0 files and 1 dir"},
      {Mixed,
       {"t", "-s"},
       {"t/", "t/f1=1", "t/.hid=2"},
       {"Deleted T:\\t\\a\\f2", "Deleted T:\\t\\c\\x.txt", "Deleted T:\\t\\c\\y.bak",
        "Removed T:\\t\\a\\b", "Removed T:\\t\\a", "Removed T:\\t\\c"},
       "Deleted 3 files and 3 dirs"},
      {Mixed,
       {"-F", "t"},
       {"t/", "t/a/", "t/a/b/", "t/c/"},
       {"Deleted T:\\t\\f1", "Deleted T:\\t\\.hid", "Deleted T:\\t\\a\\f2",
        "Deleted T:\\t\\c\\x.txt", "Deleted T:\\t\\c\\y.bak"},
       "Deleted 5 files and 0 dirs"},
      // Every directory that keeps a file stays; the mask never limits the walk.
      {Mixed,
       {"-M*.bak", "t"},
       {"t/", "t/f1=1", "t/.hid=2", "t/a/", "t/a/f2=3", "t/c/", "t/c/x.txt=4"},
       {"Deleted T:\\t\\c\\y.bak", "Removed T:\\t\\a\\b",
        "Could not remove non-empty directory T:\\t\\a",
        "Could not remove non-empty directory T:\\t\\c",
        "Could not remove non-empty directory T:\\t"},
       "Deleted 1 file and 1 dir"},
      {Mixed,
       {"-mf?", "t"},
       {"t/", "t/.hid=2", "t/c/", "t/c/x.txt=4", "t/c/y.bak=5"},
       {"Deleted T:\\t\\f1", "Deleted T:\\t\\a\\f2", "Removed T:\\t\\a\\b", "Removed T:\\t\\a",
        "Could not remove non-empty directory T:\\t\\c",
        "Could not remove non-empty directory T:\\t"},
       "Deleted 2 files and 2 dirs"},
      {Mixed,
       {"-F", "t", "-M*.BAK"},
       {"t/", "t/f1=1", "t/.hid=2", "t/a/", "t/a/f2=3", "t/a/b/", "t/c/", "t/c/x.txt=4"},
       {"Deleted T:\\t\\c\\y.bak"},
       "Deleted 1 file and 0 dirs"},
      {Mixed,
       {"-S", "-E", "t"},
       {"t/", "t/f1=1", "t/.hid=2", "t/a/", "t/a/f2=3", "t/c/", "t/c/x.txt=4", "t/c/y.bak=5"},
       {"Removed T:\\t\\a\\b", "Skipping non-empty directory T:\\t\\a",
        "Skipping non-empty directory T:\\t\\c"},
       "Deleted 0 files and 1 dir"},
      {Mixed,
       {"-S", "-F", "t"},
       {"t/", "t/f1=1", "t/.hid=2", "t/a/", "t/a/b/", "t/c/"},
       {"Deleted T:\\t\\a\\f2", "Deleted T:\\t\\c\\x.txt", "Deleted T:\\t\\c\\y.bak"},
       "Deleted 3 files and 0 dirs"},
      // FilesOnly leaves the target current, so the climb starts with the target itself.
      {Mixed,
       {"-F", "-P", "t"},
       {"t/", "t/a/", "t/a/b/", "t/c/"},
       {"Deleted T:\\t\\f1", "Deleted T:\\t\\.hid", "Deleted T:\\t\\a\\f2",
        "Deleted T:\\t\\c\\x.txt", "Deleted T:\\t\\c\\y.bak",
        "Could not remove non-empty directory T:\\t"},
       "Deleted 5 files and 0 dirs"},
      {{"t/f=1", "t/g=2"},
       {"-F", "-P", "t"},
       {},
       {"Deleted T:\\t\\f", "Deleted T:\\t\\g", "Removed T:\\t"},
       "Deleted 2 files and 1 dir"},
      // Each emptied child goes before its parent is tried.
      {{"t/a/b/c/", "t/d/", "t/.e/"},
       {"-E", "t"},
       {},
       {"Removed T:\\t\\a\\b\\c", "Removed T:\\t\\a\\b", "Removed T:\\t\\a", "Removed T:\\t\\d",
        "Removed T:\\t\\.e", "Removed T:\\t"},
       "Deleted 0 files and 6 dirs"},
      {{"t/"}, {"t"}, {}, {"Removed T:\\t"}, "Deleted 0 files and 1 dir"},
      {{"t/"}, {"-S", "t"}, {"t/"}, {}, "Deleted 0 files and 0 dirs"},
      // A directory whose name the mask would select is still not erased as a file.
      {{"t/x.txt/y.dat=1", "t/z.txt=2"},
       {"-M*.TXT", "t"},
       {"t/", "t/x.txt/", "t/x.txt/y.dat=1"},
       {"Deleted T:\\t\\z.txt", "Could not remove non-empty directory T:\\t\\x.txt",
        "Could not remove non-empty directory T:\\t"},
       "Deleted 1 file and 0 dirs"},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const std::string& arg : c.args)
      label += arg + " ";
    SCOPED_TRACE(label);
    MakeTree(root, Outside);
    MakeTree(root, c.tree);
    RunResult run = RunVakrun(c.args, Options());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReportLines(run.out), Sorted(c.lines)) << Visible(run.out);
    EXPECT_EQ(SummaryLine(run.out), c.summary);
    EXPECT_TRUE(run.out.ends_with(AsWritten(Shown(c.summary)))) << Visible(run.out);
    EXPECT_EQ(ListTree(root), Join(Outside, c.after));
    std::filesystem::remove_all(Path("t"));
  }
}

// One file and one subdirectory per level, so the order of the entries is fixed.
const std::vector<std::string> Chain = {"t/f=1", "t/a/g=2", "t/a/b/"};

TEST_F(WalkOptionsTest, WholeTranscriptsOfRunsInAFixedOrder) {
  struct Case {
    std::vector<std::string> tree;
    std::vector<std::string> args;
    std::string transcript;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {Chain,
       {"t"},
       // The spinner turns before each erase and removal and after each step down.
       Echo() + Working + "\b/" + Shown("Deleted T:\\t\\f") + Working + "\b-\b\\" +
           Shown("Deleted T:\\t\\a\\g") + Working + "\b|\b/" + Shown("Removed T:\\t\\a\\b") +
           Working + "\b-" + Shown("Removed T:\\t\\a") + Working + "\b\\" + Shown("Removed T:\\t") +
           Working + Summary("2 files and 3 dirs"),
       {}},
      {Chain,
       {"-d", "t"},
       Echo("Mask:*.*") + Working + "\b/\b-\b\\\b|\b/\b-\b\\" + Summary("2 files and 3 dirs"),
       {}},
      {{"t/a/f=1"},
       {"-e", "t"},
       Echo("EmptyDirsOnly ShowDeleted Mask:*.*") + Working + "\b/\b-" +
           Shown("Skipping non-empty directory T:\\t\\a") + Working + "\b\\" +
           Shown("Skipping non-empty directory T:\\t") + Working + Summary("0 files and 0 dirs"),
       {"t/", "t/a/", "t/a/f=1"}},
      {Chain,
       {"-f", "t"},
       Echo("FilesOnly ShowDeleted Mask:*.*") + Working + "\b/" + Shown("Deleted T:\\t\\f") +
           Working + "\b-\b\\" + Shown("Deleted T:\\t\\a\\g") + Working + "\b|" +
           Summary("2 files and 0 dirs"),
       {"t/", "t/a/", "t/a/b/"}},
      {Chain,
       {"-s", "t"},
       Echo("SubDirsOnly ShowDeleted Mask:*.*") + Working + "\b/\b-" +
           Shown("Deleted T:\\t\\a\\g") + Working + "\b\\\b|" + Shown("Removed T:\\t\\a\\b") +
           Working + "\b/" + Shown("Removed T:\\t\\a") + Working + Summary("1 file and 2 dirs"),
       {"t/", "t/f=1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    MakeTree(root, c.tree);
    RunResult run = RunVakrun(c.args, Options());
    EXPECT_EQ(Visible(run.out), Visible(AsWritten(c.transcript)));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), c.after);
    std::filesystem::remove_all(Path("t"));
  }
}

// What stays is left read-only as it was under EmptyDirsOnly, and with only the archive
// attribute (writable) otherwise.
TEST_F(WalkOptionsTest, DirectoryThatStaysKeepsItsModeOnlyUnderEmptyDirsOnly) {
  if (UnderEmulator())
    GTEST_SKIP() << "wine keeps no read-only bit for directories, so their Unix mode is not kept";
  struct Case {
    std::string option;
    std::string line;
    mode_t mode;
  };
  const Case cases[] = {
      {"-E", "Skipping non-empty directory T:\\t\\ro", 0555},
      {"-M*.TXT", "Could not remove non-empty directory T:\\t\\ro", 0755},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    MakeTree(root, {"t/ro/k.dat=1"});
    chmod(Path("t/ro").c_str(), 0555);
    RunResult run = RunVakrun({c.option, "t"}, Options());
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> lines = ReportLines(run.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << Visible(run.out);
    EXPECT_EQ(ModeOf(Path("t/ro")), c.mode);
    EXPECT_EQ(ListTree(root), (std::vector<std::string>{"t/", "t/ro/", "t/ro/k.dat=1"}));
    chmod(Path("t/ro").c_str(), 0755);
    std::filesystem::remove_all(Path("t"));
  }
}

TEST_F(WalkOptionsTest, ParentDeleteClimbsToTheRootButNeverRemovesIt) {
  struct Case {
    std::vector<std::string> tree;
    std::string target;
    std::vector<std::string> lines; // in order: one entry per directory
    std::string summary;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {{"t/"}, "t", {"Removed T:\\t"}, "Deleted 0 files and 1 dir", {}},
      {{"a/b/c/f=1"},
       "a\\b\\c",
       {"Deleted T:\\a\\b\\c\\f", "Removed T:\\a\\b\\c", "Removed T:\\a\\b", "Removed T:\\a"},
       "Deleted 1 file and 3 dirs",
       {}},
      // Written with the drive and forward slashes, resolved all the same.
      {{"a/b/c/"},
       "t:/a/b/c/",
       {"Removed T:\\a\\b\\c", "Removed T:\\a\\b", "Removed T:\\a"},
       "Deleted 0 files and 3 dirs",
       {}},
      // A parent that holds another entry ends the climb.
      {{"a/b/c/", "a/other=1"},
       "a/b/c",
       {"Removed T:\\a\\b\\c", "Removed T:\\a\\b", "Could not remove non-empty directory T:\\a"},
       "Deleted 0 files and 2 dirs",
       {"a/", "a/other=1"}},
      {{"a/b/c/", "a/b/d/"},
       "a/b/c",
       {"Removed T:\\a\\b\\c", "Could not remove non-empty directory T:\\a\\b"},
       "Deleted 0 files and 1 dir",
       {"a/", "a/b/", "a/b/d/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    MakeTree(root, c.tree);
    RunResult run = RunVakrun({"-P", c.target}, Options());
    std::string transcript = Echo("ParentDelete ShowDeleted Mask:*.*") + Working;
    for (std::size_t i = 0; i < c.lines.size(); ++i)
      transcript += Spinner(1, static_cast<int>(i)) + Shown(c.lines[i]) + Working;
    transcript += Shown(c.summary);
    EXPECT_EQ(Visible(run.out), Visible(AsWritten(transcript)));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), c.after);
    struct stat status;
    EXPECT_EQ(stat(root.c_str(), &status), 0) << "the drive's root is gone";
    std::filesystem::remove_all(Path("a"));
  }
}

TEST_F(WalkOptionsTest, DriveRootIsErasedOnlyAfterTheQuestion) {
  const std::vector<std::string> tree = {"a/y.txt=2", "a/z.dat=3", "c/", "x.txt=1"};
  MakeTree(root, tree);
  RunOptions options = Options();
  options.no_input = true; // the end of the input answers Esc, which is no
  RunResult run = RunVakrun({"T:\\"}, options);
  EXPECT_EQ(Visible(run.out), Visible(AsWritten(StoppedAtTheDriveRoot())));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListTree(root), Sorted({"a/", "a/y.txt=2", "a/z.dat=3", "c/", "x.txt=1"}));

  // A mask with a letter in it asks nothing; the root stays, as always.
  run = RunVakrun({"t:\\", "-M*.txt"}, options);
  EXPECT_EQ(run.out.find("ERASE EVERYTHING"), std::string::npos) << Visible(run.out);
  EXPECT_EQ(ReportLines(run.out),
            Sorted({"Deleted T:\\x.txt", "Deleted T:\\a\\y.txt", "Removed T:\\c",
                    "Could not remove non-empty directory T:\\a",
                    "Could not remove non-empty directory T:\\"}));
  EXPECT_EQ(SummaryLine(run.out), "Deleted 2 files and 1 dir");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListTree(root), Sorted({"a/", "a/z.dat=3"}));

  // Nor does EmptyDirsOnly.
  MakeTree(root, {"e/f/"});
  run = RunVakrun({"-E", "T:\\"}, options);
  EXPECT_EQ(run.out.find("ERASE EVERYTHING"), std::string::npos) << Visible(run.out);
  EXPECT_EQ(ReportLines(run.out),
            Sorted({"Removed T:\\e\\f", "Removed T:\\e", "Skipping non-empty directory T:\\a",
                    "Skipping non-empty directory T:\\"}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListTree(root), Sorted({"a/", "a/z.dat=3"}));
}

// A chain of directories `levels` deep below t; with `files`, a file at every level.
std::vector<std::string> DirectoryChain(int levels, bool files) {
  std::string path = "t/";
  std::vector<std::string> tree = {files ? path + "f" : path};
  for (int i = 0; i < levels; ++i) {
    path += "d/";
    tree.push_back(files ? path + "f" : path);
  }
  return tree;
}

// The walk goes at most 60 levels below the target; deeper, the run ends as a run-time failure
// after the summary of what was done so far, with status 1.
TEST_F(WalkOptionsTest, DepthLimitIsSixtyLevelsBelowTheTarget) {
  struct Case {
    const char* name;
    std::vector<std::string> tree;
    std::vector<std::string> args;
    std::string end; // how the run ends
    bool whole;      // the end is all the run writes
    int status;
    std::size_t left; // entries left
  };
  const std::string too_deep = Problem("Directories nested too deep!");
  const Case cases[] = {
      {"60 levels, a file on each",
       DirectoryChain(60, true),
       {"-D", "t"},
       Summary("61 files and 61 dirs"),
       false,
       0,
       0},
      {"60 empty levels",
       DirectoryChain(60, false),
       {"-d", "t"},
       Summary("0 files and 61 dirs"),
       false,
       0,
       0},
      // The files of the target and of the 60 levels it could enter are gone by then; left are
      // t, its 61 levels, and the file at the deepest one.
      {"61 levels, a file on each",
       DirectoryChain(61, true),
       {"-D", "t"},
       Summary("61 files and 0 dirs") + too_deep,
       false,
       1,
       63},
      // The erase, then one turn of the spinner per level entered.
      {"61 empty levels below a file",
       Join(DirectoryChain(61, false), {"t/f"}),
       {"-d", "t"},
       Echo("Mask:*.*") + Working + Spinner(1 + 60) + Summary("1 file and 0 dirs") + too_deep,
       true,
       1,
       62},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeTree(root, c.tree);
    RunResult run = RunVakrun(c.args, Options());
    if (c.whole)
      EXPECT_EQ(Visible(run.out), Visible(AsWritten(c.end)));
    else
      EXPECT_TRUE(run.out.ends_with(AsWritten(c.end))) << Visible(run.out);
    EXPECT_EQ(run.out.find("Runtime error"), std::string::npos);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(ListTree(root).size(), c.left);
    std::filesystem::remove_all(Path("t"));
  }
}

// A tree as deep as the walk goes is erased whole under a small limit on open files ("ulimit -n"
// sets both limits, so raising the soft one gains nothing): the walk lets go of the directories
// farthest up and steps up to them again through "..". So does the climb of ParentDelete from a
// target that deep below its drive's root.
TEST_F(WalkOptionsTest, DeepTreesFitASmallLimitOnOpenFiles) {
  if (UnderEmulator())
    GTEST_SKIP() << "the limit on open files is the Linux build's; wine itself needs more";
  std::string chain = "t";
  for (int i = 0; i < 60; ++i)
    chain += "/d";
  for (int limit : {64, 10}) {
    SCOPED_TRACE(limit);
    RunOptions options = Options();
    options.open_files = limit;
    MakeTree(root, DirectoryChain(60, true));
    RunResult run = RunVakrun({"-D", "t"}, options);
    EXPECT_TRUE(run.out.ends_with(AsWritten(Summary("61 files and 61 dirs")))) << Visible(run.out);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), std::vector<std::string>{});

    MakeTree(root, {chain + "/x/f", "keep"});
    run = RunVakrun({"-D", "-P", chain + "/x"}, options);
    EXPECT_TRUE(run.out.ends_with(AsWritten(Summary("1 file and 62 dirs")))) << Visible(run.out);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), std::vector<std::string>{"keep"});
    std::filesystem::remove(Path("keep"));
  }
}

} // namespace
