// --dry-run: the run walks as it would and says what it would erase, while every byte and mode of
// the tree stays as it was. Each case runs the dry run, checks that nothing changed, then runs
// the same command for real on that very tree and checks that the dry run printed the real run's
// lines with "Would delete " and "Would remove " in place of "Deleted " and "Removed ".
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "harness.h"
#include "report_lines.h"

namespace fs = std::filesystem;

namespace {

class DryRunTest : public TempFolderTest {};

// Every entry under root (root itself included) with its type, permission bits and contents or
// link target.
std::vector<std::string> Snapshot(const std::string& root) {
  std::vector<std::string> entries;
  std::error_code error;
  auto describe = [&](const fs::path& path) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0) {
      entries.push_back(path.string() + " gone");
      return;
    }
    std::ostringstream line;
    line << path.lexically_relative(root).string() << " mode " << std::oct
         << (status.st_mode & 07777) << " ";
    if (S_ISLNK(status.st_mode)) {
      line << "link " << fs::read_symlink(path, error).string();
    } else if (S_ISDIR(status.st_mode)) {
      line << "dir";
    } else if (S_ISREG(status.st_mode)) {
      std::ifstream in(path, std::ios::binary);
      line << "file " << in.rdbuf();
    } else {
      line << "other";
    }
    entries.push_back(line.str());
  };
  describe(root);
  for (auto it = fs::recursive_directory_iterator(root, error);
       it != fs::recursive_directory_iterator(); it.increment(error))
    describe(it->path());
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// A real run's output as the dry run writes it: the echo line ends with "DryRun ", and each
// "Deleted " and "Removed " (report lines and the summary) says what would be done.
std::string AsDryRun(const std::string& out) {
  std::size_t echo_end = out.find("\r\n");
  if (echo_end == std::string::npos)
    return out;
  std::string rest = out.substr(echo_end);
  return out.substr(0, echo_end) + "DryRun " +
         Replaced(Replaced(rest, "Deleted ", "Would delete "), "Removed ", "Would remove ");
}

// One line of a real run as the dry run words it.
std::string AsDryRunLine(const std::string& line) {
  if (line.starts_with("Deleted "))
    return "Would delete " + line.substr(8);
  if (line.starts_with("Removed "))
    return "Would remove " + line.substr(8);
  return line;
}

std::vector<std::string> AsDryRun(const std::vector<std::string>& lines) {
  std::vector<std::string> mapped;
  for (const std::string& line : lines)
    mapped.push_back(AsDryRunLine(line));
  return Sorted(mapped);
}

// Entries next to the targets that no run may touch.
const std::vector<std::string> Outside = {"keep.txt=outside", "out/", "out/o=keep"};

// Hidden, read-only and plain files, a hidden directory, a read-only directory, a subdirectory
// that keeps a file under the mask *.BAK and one that keeps nothing.
const std::vector<std::string> Mixed = {"t/f1=1",      "t/.hid=2", "t/ro=3",
                                        "t/a/f2=4",    "t/a/b/",   "t/c/x.txt=5",
                                        "t/c/y.bak=6", "t/.h/z=7", "t/rod/q.bak=8"};

// The target below two parents; the upper one holds something else.
const std::vector<std::string> Climb = {"a/b/t/f=1", "a/b/t/s/g.bak=2", "a/other=3"};

void Build(const std::string& root, const std::vector<std::string>& tree) {
  MakeTree(root, Outside);
  MakeTree(root, tree);
  if (fs::exists(root + "/t/ro")) {
    chmod((root + "/t/ro").c_str(), 0444);
    chmod((root + "/t/rod").c_str(), 0555);
    if (!UnderEmulator()) {
      // wine reaches neither links nor pipes as a Windows program would (tests/wine).
      MakeTree(root, {"t/a/link->../f1", "t/a/dlink->../../out"});
      mkfifo((root + "/t/a/pipe").c_str(), 0644);
    }
  }
}

TEST_F(DryRunTest, PrintsTheRealRunsLinesAndChangesNothing) {
  struct Case {
    std::vector<std::string> tree;
    std::vector<std::string> args;
  };
  std::vector<Case> cases = {
      {Mixed, {"--dry-run", "t"}},
      {Mixed, {"t", "--DRY-RUN", "-w"}},
      {Mixed, {"--dry-run", "-D", "t"}},
      {Mixed, {"--dry-run", "-S", "t"}},
      {Mixed, {"--dry-run", "-F", "t"}},
      {Mixed, {"--dry-run", "-E", "t"}},
      {Mixed, {"--dry-run", "-S", "-E", "t"}},
      {Mixed, {"--dry-run", "-S", "-F", "t"}},
      {Mixed, {"--dry-run", "-M*.bak", "t"}},
      {Mixed, {"--dry-run", "-F", "-M*.bak", "t"}},
      {Mixed, {"--Dry-Run", "-P", "t"}},
      // Each emptied child goes before its parent is tried.
      {{"t/a/b/c/", "t/d/", "t/.e/"}, {"--dry-run", "-E", "t"}},
      {{"t/a/b/c/", "t/d/f=1"}, {"--dry-run", "-E", "t"}},
      {{"t/"}, {"--dry-run", "t"}},
      {Climb, {"--dry-run", "-P", "a/b/t"}},
      {Climb, {"--dry-run", "-P", "-F", "a/b/t"}},
      {Climb, {"--dry-run", "-P", "-M*.bak", "a/b/t"}},
      {Climb, {"--dry-run", "-P", "-D", "a/b/t"}},
      {{"a/b/t/s/", "a/other=1"}, {"--dry-run", "-P", "-E", "a/b/t"}},
      {{"a/b/t/s/"}, {"--dry-run", "-P", "-E", "T:\\a\\b\\t"}},
  };
  if (UnderEmulator()) {
    // Names typed in another letter case than the system's own.
    cases.push_back({Climb, {"--dry-run", "-P", "A/B/T"}});
    cases.push_back({{"a/b/t/s/"}, {"--dry-run", "-P", "-E", "t:\\A\\b\\T"}});
  } else {
    // Two names that differ only in letter case: the one emptied is no sign for the other.
    cases.push_back({{"t/A/", "t/a/f=1"}, {"--dry-run", "-E", "t"}});
    cases.push_back({{"t/A/", "t/a/f=1"}, {"--dry-run", "-M*.txt", "t"}});
  }
  for (const Case& c : cases) {
    std::string label;
    for (const std::string& arg : c.args)
      label += arg + " ";
    SCOPED_TRACE(label);
    Build(root, c.tree);
    RunOptions options = Options();
    options.no_input = true;
    const std::vector<std::string> before = Snapshot(root);
    RunResult dry = RunVakrun(c.args, options);
    EXPECT_EQ(Snapshot(root), before);

    std::vector<std::string> real_args;
    for (const std::string& arg : c.args)
      if (arg != "--dry-run" && arg != "--DRY-RUN" && arg != "--Dry-Run")
        real_args.push_back(arg);
    RunResult real = RunVakrun(real_args, options);
    EXPECT_NE(Snapshot(root), before) << "the real run erased nothing: " << Visible(real.out);
    EXPECT_EQ(Visible(dry.out), Visible(AsDryRun(real.out)));
    EXPECT_EQ(dry.status, real.status);

    std::error_code error;
    for (const char* top : {"t", "a", "out", "keep.txt"}) {
      fs::permissions(Path(top) + "/rod", fs::perms::owner_all, fs::perm_options::add, error);
      fs::remove_all(Path(top), error);
    }
  }
}

TEST_F(DryRunTest, EchoLineEndsWithDryRunWhichIsSetNotFlipped) {
  struct Case {
    std::vector<std::string> args;
    std::string echo;
  };
  const Case cases[] = {
      {{"--dry-run", "t"}, "ShowDeleted Mask:*.* DryRun "},
      {{"-d", "t", "--DRY-run", "-m*.txt"}, "Mask:*.TXT DryRun "},
      {{"-p", "-e", "--dry-run", "t"}, "ParentDelete EmptyDirsOnly ShowDeleted Mask:*.* DryRun "},
      // Given twice it is still a dry run: a repeated word must never turn into an erase.
      {{"--dry-run", "--dry-run", "t"}, "ShowDeleted Mask:*.* DryRun "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.echo);
    MakeTree(root, {"t/f=1"});
    RunResult run = RunVakrun(c.args, Options());
    EXPECT_TRUE(run.out.starts_with(AsWritten("Using option(s): " + c.echo + "\r\n")))
        << Visible(run.out);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), (std::vector<std::string>{"t/", "t/f=1"}));
    fs::remove_all(Path("t"));
  }
}

// Run as another user, a directory it cannot enter is passed over with the real run's line (after
// the real password question, which the end of the input answers), and a read-only directory of
// its own is emptied as the real run empties it.
TEST_F(DryRunTest, EntriesTheSystemRefusesGetTheRealRunsLines) {
  int uid = UnprivilegedUid();
  if (uid < 0 || UnderEmulator())
    GTEST_SKIP() << "needs root, to run the program as another user";
  RunOptions options = Options();
  options.as_uid = uid;
  options.no_input = true;
  options.timeout_seconds = 30;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--dry-run", "t"}, {"--dry-run", "-W", "-P", "t"}}) {
    SCOPED_TRACE(args[1]);
    MakeTree(root, {"t/mine/f=1", "t/ro/g=2", "t/locked/h=3", "t/k=4"});
    ASSERT_EQ(lchown(root.c_str(), uid, uid), 0);
    for (const char* mine : {"t", "t/mine", "t/mine/f", "t/ro", "t/ro/g", "t/k"})
      ASSERT_EQ(lchown(Path(mine).c_str(), uid, uid), 0);
    chmod(Path("t/ro").c_str(), 0555);
    chmod(Path("t/locked").c_str(), 0700); // root's
    const std::vector<std::string> before = Snapshot(root);
    RunResult dry = RunVakrun(args, options);
    EXPECT_EQ(Snapshot(root), before);
    EXPECT_NE(dry.out.find("Skipped password-protected T:\\t\\locked"), std::string::npos)
        << Visible(dry.out);

    RunResult real = RunVakrun(std::vector<std::string>(args.begin() + 1, args.end()), options);
    EXPECT_NE(Snapshot(root), before) << Visible(real.out);
    EXPECT_EQ(Visible(dry.out), Visible(AsDryRun(real.out)));
    EXPECT_EQ(dry.status, 1);
    EXPECT_EQ(real.status, 1);
    chmod(Path("t/ro").c_str(), 0755);
    fs::remove_all(Path("t"));
    fs::remove_all(Path("out"));
  }
}

// The sandbox drive T: is the test's folder: its root is erased whole without the question, and
// the real run, answered yes, prints the same lines.
TEST_F(DryRunTest, DriveRootIsNotAskedAbout) {
  const std::vector<std::string> tree = {"x.txt=1", "a/y.txt=2", "a/.z=3", "c/"};
  MakeTree(root, tree);
  RunOptions options = Options();
  options.no_input = true; // a question would read Esc, which is no
  const std::vector<std::string> before = Snapshot(root);
  RunResult dry = RunVakrun({"--dry-run", "T:\\"}, options);
  EXPECT_EQ(dry.out.find("ERASE EVERYTHING"), std::string::npos) << Visible(dry.out);
  EXPECT_EQ(dry.out.find("proceed"), std::string::npos) << Visible(dry.out);
  EXPECT_EQ(dry.out.find('\a'), std::string::npos) << Visible(dry.out);
  EXPECT_EQ(ReportLines(dry.out),
            Sorted({"Would delete T:\\x.txt", "Would delete T:\\a\\y.txt", "Would delete T:\\a\\.z",
                    "Would remove T:\\a", "Would remove T:\\c",
                    "Could not remove non-empty directory T:\\"}));
  EXPECT_TRUE(dry.out.ends_with(AsWritten(Shown("Would delete 3 files and 2 dirs"))))
      << Visible(dry.out);
  EXPECT_EQ(dry.status, 0);
  EXPECT_EQ(Snapshot(root), before);

  options.no_input = false;
  options.input = "y";
  RunResult real = RunVakrun({"T:\\"}, options);
  EXPECT_NE(real.out.find("Are you sure you want to proceed? (y/N) Yes"), std::string::npos)
      << Visible(real.out);
  EXPECT_EQ(ReportLines(dry.out), AsDryRun(ReportLines(real.out)));
  EXPECT_EQ(AsDryRunLine(SummaryLine(real.out)), "Would delete 3 files and 2 dirs");
  EXPECT_EQ(real.status, dry.status);
  EXPECT_EQ(ListTree(root), std::vector<std::string>{});
}

// -R writes the program's own file, which a dry run must not change: the two are refused together
// in either order, before any option is acted on. The program here is a copy in the test folder.
TEST_F(DryRunTest, SavingIsRefusedWithADryRun) {
  std::string program = Path("prog/" + fs::path(VakrunPath()).filename().string());
  fs::create_directories(Path("prog"));
  fs::copy_file(VakrunPath(), program);
  MakeTree(root, {"t/f=1"});
  RunOptions options = Options();
  options.program = program;
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"-R", "--dry-run", "t"}, "Options -r and --dry-run cannot be combined"},
      {{"-d", "t", "-r", "--DRY-RUN"}, "Options -r and --dry-run cannot be combined"},
      {{"--dry-run", "-D", "-R", "t"}, "Options --dry-run and -r cannot be combined"},
  };
  const std::vector<std::string> before = Snapshot(root);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    RunResult run = RunVakrun(c.args, options);
    EXPECT_EQ(Visible(run.out), Visible(AsWritten("Using option(s): " + Problem(c.message))));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Snapshot(root), before);
  }
  // The copy can be saved into: without --dry-run the same -R changes it.
  RunVakrun({"-D", "-R", "nowhere"}, options);
  EXPECT_NE(Snapshot(root), before);
}

} // namespace
