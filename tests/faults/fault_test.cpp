// The built program where only the real system will do: a read-only file system really mounted
// (the one test that needs root and mount namespaces, and skips without them), files held open
// by another process, and another process changing the tree during the walk. Each run ends in
// time with its report line or its "PROBLEM: " line, and nothing beside the target changes. The
// failures one system call can give are the table of fault_table_test.cpp.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "harness.h"
#include "report_lines.h"

namespace {

class FaultTest : public TempFolderTest {
protected:
  // A sibling of every target, which no run may touch.
  void MakeOutside() { MakeTree(root, {"outside/keep=1", "outside/dir/keep=2"}); }
  void ExpectOutsideKept() {
    EXPECT_EQ(ListTree(Path("outside")),
              (std::vector<std::string>{"dir/", "dir/keep=2", "keep=1"}));
  }
  // Options with the two streams apart: standard output holds only the per-entry lines.
  RunOptions Apart() const {
    RunOptions options = Options();
    options.merge = false;
    options.timeout_seconds = 30;
    return options;
  }
};

// ---- A read-only file system ------------------------------------------------------------------

// Runs `script` as root in a mount namespace of its own, so that its mounts vanish with it.
bool MountNamespacesWork() {
  if (geteuid() != 0)
    return false;
  RunOptions probe;
  probe.program = "/usr/bin/unshare";
  probe.no_input = true;
  return access(probe.program.c_str(), X_OK) == 0 &&
         RunVakrun({"-m", "--propagation", "private", "true"}, probe).status == 0;
}

RunResult RunInMountNamespace(const std::string& script, RunOptions options) {
  options.program = "/usr/bin/unshare";
  return RunVakrun({"-m", "--propagation", "private", "/bin/sh", "-c", script}, options);
}

TEST_F(FaultTest, ReadOnlyFileSystemEndsWithAProblemAndChangesNothing) {
  if (!MountNamespacesWork())
    GTEST_SKIP() << "needs root and mount namespaces (unshare -m)";
  struct Case {
    std::string target;  // the read-only tmpfs is mounted on t/ro
    std::string out;     // per-entry lines
    std::string problem; // the last line of the console stream
    std::string left;    // what the namespace still sees of t, after the run
  };
  const Case cases[] = {
      // The attribute change of the first file is refused as on a write-protected disk.
      {"t/ro", "", "PROBLEM: Disk is write-protected", "t/a t/ro/d/g t/ro/f"},
      // The walk does not step into another file system inside the tree, whatever it holds.
      {"t", "Deleted T:\\t\\a\r\n", "PROBLEM: Unable to change to ro", "t/ro/d/g t/ro/f"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    MakeOutside();
    MakeTree(root, {"t/a=1", "t/ro/"});
    std::string vakrun = VakrunPath();
    std::string script = "set -e; mount -t tmpfs fault t/ro; mkdir t/ro/d; echo 1 > t/ro/f; "
                         "echo 2 > t/ro/d/g; mount -o remount,ro t/ro; set +e; '" +
                         vakrun + "' " + c.target + " </dev/null; status=$?; " +
                         "echo left: $(find t -type f | sort) >&2; exit $status";
    RunResult run = RunInMountNamespace(script, Apart());
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Visible(run.out), Visible(c.out));
    std::vector<std::string> shown = ShownLines(run.err);
    ASSERT_GE(shown.size(), 2u) << Visible(run.err);
    EXPECT_EQ(shown.back(), c.problem) << Visible(run.err);
    EXPECT_TRUE(IsSummaryLine(shown[shown.size() - 2])) << Visible(run.err);
    EXPECT_TRUE(run.err.ends_with("left: " + c.left + "\n")) << Visible(run.err);
    ExpectOutsideKept();
    // The mount went with its namespace; the mount point is an ordinary directory again.
    std::vector<std::string> after = ListTree(Path("t"));
    EXPECT_TRUE(std::find(after.begin(), after.end(), "ro/") != after.end());
    std::filesystem::remove_all(Path("t"));
    std::filesystem::remove_all(Path("outside"));
  }
}

// ---- Entries in use -----------------------------------------------------------------------------

TEST_F(FaultTest, FilesHeldOpenAndDirectoriesInUseAreErasedAll) {
  MakeOutside();
  MakeTree(root, {"t/held=data", "t/busy/inside=1"});
  int held = open(Path("t/held").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  // Another process holds the file open and has the directory as its working directory; it says
  // so through a pipe before the run starts.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const std::string busy = Path("t/busy");
  pid_t holder = fork();
  if (holder == 0) {
    close(ready[0]);
    if (chdir(busy.c_str()) != 0 || open("inside", O_RDONLY) < 0)
      _exit(1);
    if (write(ready[1], "r", 1) != 1)
      _exit(1);
    pause();
    _exit(0);
  }
  ASSERT_GT(holder, 0);
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  RunResult run = RunVakrun({"t"}, Apart());
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReportLines(run.out),
            (std::vector<std::string>{"Deleted T:\\t\\busy\\inside", "Deleted T:\\t\\held",
                                      "Removed T:\\t", "Removed T:\\t\\busy"}));
  std::vector<std::string> shown = ShownLines(run.err);
  ASSERT_FALSE(shown.empty()) << run.status;
  EXPECT_EQ(shown.back(), "Deleted 2 files and 2 dirs") << Visible(run.err);
  // The holder's descriptor still reads the erased file's data.
  char data[4] = {};
  EXPECT_EQ(pread(held, data, sizeof data, 0), 4);
  EXPECT_EQ(std::string(data, 4), "data");
  close(held);
  ExpectOutsideKept();
  EXPECT_FALSE(std::filesystem::exists(Path("t")));
}

// ---- Another process at work in the tree ----------------------------------------------------

// While the program walks, another process keeps creating and erasing files in the tree's
// directories (never creating a directory). Whatever the run meets, it ends in time, every line
// it prints is a report line for an entry under the target or its summary and "PROBLEM: " lines,
// and the status says which: 0 only when nothing it was to erase stayed.
TEST_F(FaultTest, AnotherProcessChangingTheTreeNeverHangsTheRunNorLeadsItOutside) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    SCOPED_TRACE(attempt);
    MakeOutside();
    std::vector<std::string> tree;
    for (int d = 0; d < 10; ++d)
      for (int f = 0; f < 200; ++f)
        tree.push_back("t/d" + std::to_string(d) + "/f" + std::to_string(f));
    MakeTree(root, tree);
    std::atomic<bool> stop = false;
    std::thread churn([&] {
      for (unsigned n = 0; !stop; ++n) {
        std::string name = Path("t/d" + std::to_string(n % 10) + "/new" + std::to_string(n % 50));
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0)
          close(fd);
        unlink(Path("t/d" + std::to_string((n + 5) % 10) + "/f" + std::to_string(n % 200)).c_str());
        if (n % 3 == 0)
          unlink(name.c_str());
      }
    });
    RunResult run = RunVakrun({"-D", "t"}, Apart());
    stop = true;
    churn.join();
    EXPECT_FALSE(run.timed_out);
    EXPECT_TRUE(run.out.empty() ||
                run.out.starts_with("Could not remove non-empty directory T:\\t"))
        << Visible(run.out);
    for (const std::string& line : ShownLines(run.out))
      EXPECT_TRUE(line.starts_with("Could not remove non-empty directory T:\\t")) << line;
    std::vector<std::string> shown = ShownLines(run.err);
    ASSERT_FALSE(shown.empty());
    bool problem = shown.back().starts_with("PROBLEM: ");
    // A directory that stayed holding what the other process made was to be erased: status 1.
    bool directory_stayed = !run.out.empty();
    EXPECT_EQ(run.status, problem || directory_stayed ? 1 : 0) << Visible(run.err);
    EXPECT_TRUE(IsSummaryLine(shown[shown.size() - (problem ? 2 : 1)])) << Visible(run.err);
    ExpectOutsideKept();
    std::filesystem::remove_all(Path("t"));
    std::filesystem::remove_all(Path("outside"));
  }
}

} // namespace
