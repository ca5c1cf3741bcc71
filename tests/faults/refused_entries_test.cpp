// What a run tells of the entries the system refuses it, run as another user: each attribute
// change answers its real result, a directory that stays keeps the mode it had, the password
// question never asks forever, a file mounted into the tree keeps the mode it has on its own file
// system, and the exit status is 1 whenever an entry the run was to erase stays.
#include <algorithm>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "harness.h"
#include "report_lines.h"

namespace {

class RefusedEntriesTest : public TempFolderTest {
protected:
  // Runs as the unprivileged user; answers false (and the test skips) where that cannot be.
  bool AsAnotherUser(RunOptions& options) {
    uid = UnprivilegedUid();
    if (uid < 0)
      return false;
    options = Options();
    options.merge = false;
    options.as_uid = uid;
    options.timeout_seconds = 30;
    RunOptions probe = options;
    probe.no_input = true;
    return RunVakrun({"-?"}, probe).status != 127;
  }
  // Everything in the test's folder belongs to the user, the folder included.
  void GiveTreeToUser() {
    ASSERT_EQ(lchown(root.c_str(), uid, uid), 0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
      ASSERT_EQ(lchown(entry.path().c_str(), uid, uid), 0);
  }
  mode_t ModeOf(const std::string& relative) {
    struct stat status;
    return lstat(Path(relative).c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
  }
  void Reset() {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Path("t")))
      if (entry.is_directory())
        chmod(entry.path().c_str(), 0755);
    std::filesystem::remove_all(Path("t"));
  }
  int uid = -1;
};

const char* const SkipReason = "needs root, to run the program as another user it can reach";

// A read-only file of another user in the user's own directory: the change is refused, the erase
// is not. When both are refused, the file stays with that one line, and no password is asked.
TEST_F(RefusedEntriesTest, AttributeChangesOfAnotherUsersFilesGiveTheirRealResult) {
  RunOptions options;
  if (!AsAnotherUser(options))
    GTEST_SKIP() << SkipReason;
  struct Case {
    std::string name;
    std::vector<std::string> tree;
    std::string sticky_dir;         // made root's and sticky, when given
    std::vector<std::string> lines; // in the order shown
    int status;
    std::vector<std::string> left;
  };
  const Case cases[] = {
      {"the user's directory",
       {"t/theirs=1"},
       "",
       {"Skipped attribute change on T:\\t\\theirs", "Deleted T:\\t\\theirs", "Removed T:\\t"},
       0,
       {}},
      {"a sticky directory of root",
       {"t/x/theirs=1"},
       "t/x",
       {"Skipped attribute change on T:\\t\\x\\theirs",
        "Could not remove non-empty directory T:\\t\\x",
        "Could not remove non-empty directory T:\\t"},
       1,
       {"x/", "x/theirs=1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeTree(root, c.tree);
    GiveTreeToUser();
    std::string theirs = c.tree[0].substr(0, c.tree[0].find('='));
    ASSERT_EQ(lchown(Path(theirs).c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(Path(theirs).c_str(), 0444), 0);
    if (!c.sticky_dir.empty()) {
      ASSERT_EQ(lchown(Path(c.sticky_dir).c_str(), 0, 0), 0);
      ASSERT_EQ(chmod(Path(c.sticky_dir).c_str(), 01777), 0);
    }
    RunResult run = RunVakrun({"t"}, options);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(ShownLines(run.out), c.lines) << Visible(run.out);
    EXPECT_EQ(run.err.find("password"), std::string::npos) << Visible(run.err);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(ModeOf(theirs), c.left.empty() ? 0 : 0444);
    if (std::filesystem::exists(Path("t"))) {
      EXPECT_EQ(ListTree(Path("t")), c.left);
      Reset();
    } else {
      EXPECT_TRUE(c.left.empty());
    }
  }
}

// The owner's write permission, given to a read-only directory of the user's own so that an erase
// inside it could succeed, is taken back when the directory stays.
TEST_F(RefusedEntriesTest, DirectoriesThatStayKeepTheirModes) {
  RunOptions options;
  if (!AsAnotherUser(options))
    GTEST_SKIP() << SkipReason;
  struct Case {
    std::string option;
    std::vector<std::string> tree;
    std::vector<std::string> read_only; // given mode 555, deepest first
    std::vector<std::string> left;
  };
  const Case cases[] = {
      {"-S", {"t/f=1", "t/sub/g=2"}, {"t/sub", "t"}, {"f=1"}},
      {"-F", {"t/f=1", "t/a/g=2", "t/a/b/h=3"}, {"t/a/b", "t/a", "t"}, {"a/", "a/b/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    MakeTree(root, c.tree);
    GiveTreeToUser();
    for (const std::string& directory : c.read_only)
      ASSERT_EQ(chmod(Path(directory).c_str(), 0555), 0);
    RunResult run = RunVakrun({c.option, "t"}, options);
    EXPECT_EQ(run.status, 0) << Visible(run.err);
    for (const std::string& directory : c.read_only)
      if (std::filesystem::exists(Path(directory)))
        EXPECT_EQ(ModeOf(directory), 0555u) << directory;
    EXPECT_EQ(ListTree(Path("t")), c.left);
    Reset();
  }
}

// A target the user may not enter asks for a password. An answer just refused for it passes it
// over as an empty answer does, so `yes |` asks twice and no more; a new answer is tried. The
// question and the report line show the name with its control characters as "?".
TEST_F(RefusedEntriesTest, PasswordQuestionNeverAsksForever) {
  RunOptions options;
  if (!AsAnotherUser(options))
    GTEST_SKIP() << SkipReason;
  std::string yes;
  for (int i = 0; i < 200; ++i)
    yes += "y\n";
  struct Case {
    std::string name;
    std::string keys;
    std::size_t questions;
  };
  const Case cases[] = {
      {"the same answer again and again", yes, 2},
      {"two answers, then Enter", "a\nb\n\n", 3},
      {"an earlier answer is new for this refusal", "a\nb\na\n\n", 4},
      {"the end of the input", "", 1},
  };
  const std::string target = "locked\x1b[2J";
  const std::string question = "T:\\LOCKED?[2J is password-protected.";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeTree(root, {target + "/f=1"});
    GiveTreeToUser();
    ASSERT_EQ(chmod(Path(target).c_str(), 0), 0);
    options.input = c.keys;
    RunResult run = RunVakrun({target}, options);
    EXPECT_FALSE(run.timed_out);
    std::size_t asked = 0;
    for (std::size_t at = 0;
         (at = run.err.find(" is password-protected.", at)) != std::string::npos; ++at)
      ++asked;
    EXPECT_EQ(asked, c.questions) << Visible(run.err.substr(0, 400));
    if (c.questions > 0)
      EXPECT_NE(run.err.find(question), std::string::npos) << Visible(run.err.substr(0, 400));
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
    EXPECT_EQ(ShownLines(run.out),
              std::vector<std::string>{"Skipped password-protected T:\\locked?[2J"});
    EXPECT_EQ(run.status, 1);
    chmod(Path(target).c_str(), 0755);
    std::filesystem::remove_all(Path(target));
  }
}

// A file bind-mounted into the tree from another file system cannot be erased (EBUSY); its mode
// there stays as it is, and the entry is reported as refused.
TEST_F(RefusedEntriesTest, FileMountedFromAnotherFileSystemKeepsItsMode) {
  if (geteuid() != 0 || access("/usr/bin/unshare", X_OK) != 0)
    GTEST_SKIP() << "needs root and mount namespaces (unshare -m)";
  MakeTree(root, {"t/a=1", "t/m", "other/"});
  RunOptions options = Options();
  options.merge = false;
  options.program = "/usr/bin/unshare";
  std::string script = "mount -t tmpfs other other && echo keep > other/f && chmod 444 other/f && "
                       "mount --bind other/f t/m || exit 99; '" +
                       VakrunPath() +
                       "' t </dev/null; status=$?; echo \"other: $(stat -c %a other/f) "
                       "$(cat other/f)\" >&2; exit $status";
  RunResult run = RunVakrun({"-m", "--propagation", "private", "/bin/sh", "-c", script}, options);
  if (run.status == 99)
    GTEST_SKIP() << "no private mount namespace here: " << Visible(run.err);
  EXPECT_EQ(ReportLines(run.out),
            Sorted({"Deleted T:\\t\\a", "Skipped attribute change on T:\\t\\m",
                    "Could not remove non-empty directory T:\\t"}))
      << Visible(run.out);
  EXPECT_TRUE(run.err.ends_with("other: 444 keep\n")) << Visible(run.err);
  EXPECT_EQ(run.status, 1);
}

} // namespace
