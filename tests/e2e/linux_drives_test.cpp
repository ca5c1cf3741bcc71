// The drives of the Linux build: an argument that begins with "/" is a Linux path and goes to the
// drive whose root is its longest prefix, wherever the current directory is; a path that no drive
// covers is refused before anything is touched, even with Z: mapped elsewhere; the program's own
// file is read and written at its real path, never through a drive; and a drive whose root is
// missing, no directory, or ends in a stray blank or line break is refused.
#include <filesystem>
#include <sys/stat.h>

#include "harness.h"
#include "report_lines.h"

namespace {

namespace fs = std::filesystem;

class LinuxDrivesTest : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    if (UnderEmulator())
      GTEST_SKIP() << "the drive table (VAKRUN_DRIVES) is the Linux build's; wine has its own";
  }
  // The same path below another folder, where a wrong mapping would find it.
  std::string Twin(const std::string& under, const std::string& relative) const {
    return under + root + "/" + relative;
  }
};

// With the current directory on drive D:, a Linux path below T:'s root is on T: and one below
// D:'s root is on D:, whatever ".", ".." and doubled slashes it holds; the twin of the first
// below D:'s root stays.
TEST_F(LinuxDrivesTest, ALinuxPathGoesToTheDriveWithTheLongestRoot) {
  struct Case {
    std::string target;
    std::vector<std::string> lines;
    std::string erased;
  };
  const Case cases[] = {
      {root + "/x", {"Deleted T:\\x\\f", "Removed T:\\x"}, "x"},
      {root + "//x/./", {"Deleted T:\\x\\f", "Removed T:\\x"}, "x"},
      {root + "/d/work/../../x", {"Deleted T:\\x\\f", "Removed T:\\x"}, "x"},
      {root + "/d/y/", {"Deleted D:\\y\\g", "Removed D:\\y"}, "d/y"},
  };
  RunOptions options = Options();
  options.env = {"VAKRUN_DRIVES=T=" + root + ";D=" + root + "/d"};
  options.cwd = root + "/d/work";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const std::vector<std::string> tree = {"x/f=1", "d/work/", "d/y/g=2", Twin("d", "x/f=twin")};
    MakeTree(root, tree);
    std::vector<std::string> before = ListTree(root);
    RunResult run = RunVakrun({c.target}, options);
    EXPECT_EQ(ReportLines(run.out), Sorted(c.lines)) << Visible(run.out);
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> expected;
    for (const std::string& entry : before)
      if (!entry.starts_with(c.erased + "/"))
        expected.push_back(entry);
    EXPECT_EQ(ListTree(root), expected);
  }
}

// A Linux path that names a drive's root is that root: the run asks first.
TEST_F(LinuxDrivesTest, ALinuxPathToADriveRootAsks) {
  struct Case {
    std::string target;
    char drive;
  };
  const Case cases[] = {{root, 'T'},
                        {root + "/", 'T'},
                        {root + "/d/..", 'T'},
                        {root + "/d", 'D'},
                        {root + "//d//", 'D'}};
  MakeTree(root, {"f=x", "d/work/", "d/g=y"});
  RunOptions options = Options();
  options.env = {"VAKRUN_DRIVES=T=" + root + ";D=" + root + "/d"};
  options.cwd = root + "/d/work";
  options.input = "n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    RunResult run = RunVakrun({c.target}, options);
    EXPECT_EQ(Visible(run.out), Visible(StoppedAtTheDriveRoot(std::string(1, c.drive) + ":")));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), Sorted({"d/", "d/g=y", "d/work/", "f=x"}));
  }
}

// Z: is mapped to a folder and T: to another, and the current directory lies outside both:
// neither a relative path nor a Linux path outside the drives reaches anything, here or in the
// twin folder under Z:'s root.
TEST_F(LinuxDrivesTest, APathNoDriveCoversIsRefused) {
  const std::vector<std::string> tree = {"work/build/f=1", "t/", "z/",
                                         Twin("z", "work/build/f=twin"), "outside/build/f=2"};
  MakeTree(root, tree);
  const std::vector<std::string> before = ListTree(root);
  RunOptions options = Options();
  options.env = {"VAKRUN_DRIVES=Z=" + root + "/z;T=" + root + "/t"};
  options.cwd = root + "/work";
  for (const std::string& target :
       {std::string("build"), std::string("."), std::string(".\\build\\"), std::string("\\build"),
        root + "/work/build", root + "/outside/build", root + "/t/../work"}) {
    SCOPED_TRACE(target);
    RunResult run = RunVakrun({target}, options);
    EXPECT_EQ(Visible(run.out),
              Visible(Echo() + NoneDeleted() + Problem("Invalid drive specified")));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ListTree(root), before);
  }
}

// -R writes the program's own file and a later run reads it, at its real path, while Z: is
// mapped to a folder that holds a twin of the program at the same path below it.
TEST_F(LinuxDrivesTest, TheProgramsOwnFileIsReachedByItsRealPath) {
  MakeTree(root, {"prog/", "z/", Twin("z", "prog/")});
  const std::string program = Path("prog/vakrun"), twin = Twin(Path("z"), "prog/vakrun");
  fs::copy_file(VakrunPath(), program);
  fs::copy_file(VakrunPath(), twin);
  // The twin holds saved options of its own: -D, the report lines off.
  RunOptions save_twin;
  save_twin.cwd = root;
  save_twin.program = twin;
  save_twin.no_input = true;
  RunVakrun({"-D", "-R"}, save_twin);
  const std::string twin_bytes = FileBytes(twin), original = FileBytes(program);
  ASSERT_NE(twin_bytes, original);

  RunOptions options;
  options.cwd = root;
  options.env = {"VAKRUN_DRIVES=Z=" + root + "/z"};
  options.program = program;
  options.no_input = true;
  // Loading: the program's own file holds no saved options, so the report lines are on.
  RunResult run = RunVakrun({"-?"}, options);
  EXPECT_NE(run.out.find(UsageLineOfD(true)), std::string::npos) << Visible(run.out);
  EXPECT_EQ(run.status, 0);
  // Saving: -D -R turns them off in the program itself; the twin is not touched.
  run = RunVakrun({"-D", "-R"}, options);
  EXPECT_EQ(run.out.find("PROBLEM"), std::string::npos) << Visible(run.out);
  EXPECT_NE(FileBytes(program), original);
  EXPECT_EQ(FileBytes(twin), twin_bytes);
  run = RunVakrun({"-?"}, options);
  EXPECT_NE(run.out.find(UsageLineOfD(false)), std::string::npos) << Visible(run.out);
}

// A drive's root must be a directory that exists, written without a stray blank at its end or
// a control character: otherwise the run ends before it touches anything.
TEST_F(LinuxDrivesTest, ADriveRootThatIsNoDirectoryIsRefused) {
  MakeTree(root, {"t/f=1", "file=x"});
  for (const std::string& table :
       {"T=" + root + "/missing", "T=" + root + "/file", "T=" + root + " ", "T=" + root + "\n",
        "T=" + root + "\t;", "T=" + root + " ;Q=/tmp", "T=" + root + "\r", "T=" + root + "/\n/t"}) {
    SCOPED_TRACE(Visible(table));
    RunOptions options = Options();
    options.env = {"VAKRUN_DRIVES=" + table};
    RunResult run = RunVakrun({"T:\\t"}, options);
    EXPECT_TRUE(run.out.starts_with(ProblemStart("VAKRUN_DRIVES: the root of drive T: ")))
        << Visible(run.out);
    EXPECT_EQ(run.out.find("Using option(s)"), std::string::npos) << Visible(run.out);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ListTree(root), Sorted({"file=x", "t/", "t/f=1"}));
  }
}

} // namespace
