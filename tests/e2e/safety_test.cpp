// Nothing outside the target is ever touched: links inside the tree are removed as entries and
// never entered, a target that is itself a link is refused, a directory swapped for a link while
// the tree is erased leads nowhere, odd names are erased as they are, read-only entries of the
// user's own go, and a file linked from outside keeps its mode and bytes. (A mount point inside
// the tree and a file system mounted read-only are rows of the fault table in tests/faults.)
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "harness.h"
#include "report_lines.h"

namespace {

namespace fs = std::filesystem;

class SafetyTest : public TempFolderTest {};

// The outside folder the links point at; it must come through every run unchanged.
const std::vector<std::string> OutsideTree = {"outside/", "outside/.hidden=h",
                                              "outside/file=precious", "outside/sub/",
                                              "outside/sub/deep=precious too"};

TEST_F(SafetyTest, LinksInTheTreeAreErasedAsEntriesAndNeverEntered) {
  if (UnderEmulator())
    GTEST_SKIP() << "wine follows every Unix link, so the Windows build reports links and leaves "
                    "them (tests/wine)";
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines; // empty: not compared
    std::vector<std::string> after; // besides the outside folder
  };
  const std::vector<std::string> tree = {
      "t/l_dir->../outside",
      "t/l_file->../outside/file",
      "t/a/l_abs->" + root + "/outside",
      "t/a/loop->..",
      "t/a/b/l_deep->../../../outside/sub",
      "t/a/b/.l_hidden->../../../outside",
      "t/a/b/c/dangling->nowhere",
      "t/a/b/c/f=1",
  };
  const Case cases[] = {
      {{"t"},
       {"Deleted T:\\t\\l_dir", "Deleted T:\\t\\l_file", "Deleted T:\\t\\a\\l_abs",
        "Deleted T:\\t\\a\\loop", "Deleted T:\\t\\a\\b\\l_deep", "Deleted T:\\t\\a\\b\\.l_hidden",
        "Deleted T:\\t\\a\\b\\c\\dangling", "Deleted T:\\t\\a\\b\\c\\f", "Removed T:\\t\\a\\b\\c",
        "Removed T:\\t\\a\\b", "Removed T:\\t\\a", "Removed T:\\t"},
       {}},
      {{"-F", "t"}, {}, {"t/", "t/a/", "t/a/b/", "t/a/b/c/"}},
      {{"-S", "t"}, {}, {"t/", "t/l_dir->../outside", "t/l_file->../outside/file"}},
      // Kept as entries, the links keep their directories from going.
      {{"-E", "t"},
       {},
       {"t/", "t/l_dir->../outside", "t/l_file->../outside/file", "t/a/",
        "t/a/l_abs->" + root + "/outside", "t/a/loop->..", "t/a/b/",
        "t/a/b/l_deep->../../../outside/sub", "t/a/b/.l_hidden->../../../outside", "t/a/b/c/",
        "t/a/b/c/dangling->nowhere", "t/a/b/c/f=1"}},
      {{"-M*.*", "-P", "t"}, {}, {}},
  };
  MakeTree(root, OutsideTree);
  // Read-only, so that a change of attributes made through a link would show.
  chmod(Path("outside/file").c_str(), 0444);
  chmod(Path("outside/sub").c_str(), 0555);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    MakeTree(root, tree);
    RunResult run = RunVakrun(c.args, Options());
    EXPECT_EQ(run.status, 0) << Visible(run.out);
    if (!c.lines.empty())
      EXPECT_EQ(ReportLines(run.out), Sorted(c.lines)) << Visible(run.out);
    // No line names anything below a link.
    for (const std::string& line : ReportLines(run.out))
      for (const char* link : {"\\l_dir\\", "\\l_abs\\", "\\loop\\", "\\l_deep\\", "\\.l_hidden\\"})
        EXPECT_EQ(line.find(link), std::string::npos) << line;
    std::vector<std::string> expected = OutsideTree;
    expected.insert(expected.end(), c.after.begin(), c.after.end());
    EXPECT_EQ(ListTree(root), Sorted(expected));
    EXPECT_EQ(ModeOf(Path("outside/file")), 0444u);
    EXPECT_EQ(ModeOf(Path("outside/sub")), 0555u);
    fs::remove_all(Path("t"));
  }
}

// A pipe in the tree is erased without being opened (opening it would wait for a writer).
TEST_F(SafetyTest, PipeInTheTreeIsErasedWithoutOpeningIt) {
  if (UnderEmulator())
    GTEST_SKIP()
        << "wine cannot name a Unix pipe, so the Windows build leaves it and reports its directory";
  MakeTree(root, {"t/a/"});
  ASSERT_EQ(mkfifo(Path("t/a/pipe").c_str(), 0644), 0);
  RunOptions options = Options();
  options.timeout_seconds = 10;
  RunResult run = RunVakrun({"t"}, options);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(ReportLines(run.out),
            Sorted({"Deleted T:\\t\\a\\pipe", "Removed T:\\t\\a", "Removed T:\\t"}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListTree(root), std::vector<std::string>{});
}

TEST_F(SafetyTest, TargetThatIsALinkIsNotEntered) {
  const std::vector<std::string> tree = {"real/x/f=1", "tl->real", "tx->real/x",
                                         "ta->" + root + "/real"};
  MakeTree(root, tree);
  struct Case {
    std::string target;
    std::string path;
  };
  const Case cases[] = {{"tl", "T:\\tl"},
                        {"tx", "T:\\tx"},
                        {"ta", "T:\\ta"},
                        {"tl/", "T:\\tl"},
                        {"T:\\real\\..\\tx\\", "T:\\tx"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    RunResult run = RunVakrun({c.target}, Options());
    EXPECT_EQ(Visible(run.out), Visible(AsWritten(Echo() + NoneDeleted() +
                                                  Problem("Unable to change to " + c.path))));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ListTree(root), Sorted({"real/", "real/x/", "real/x/f=1", "tl->real", "tx->real/x",
                                      "ta->" + root + "/real"}));
  }
}

TEST_F(SafetyTest, LinkEarlierInTheTargetPathIsFollowed) {
  MakeTree(root, {"real/x/f=1", "real/y=2", "lk->real"});
  RunResult run = RunVakrun({"lk/x"}, Options());
  EXPECT_EQ(ReportLines(run.out), Sorted({"Deleted T:\\lk\\x\\f", "Removed T:\\lk\\x"}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListTree(root), Sorted({"real/", "real/y=2", "lk->real"}));
}

// The climb does not go through the link: neither the link nor the directory it names goes.
TEST_F(SafetyTest, ParentDeleteDoesNotRemoveALinkInTheTargetPath) {
  MakeTree(root, {"real/x/f=1", "lk->real"});
  RunResult run = RunVakrun({"-P", "lk/x"}, Options());
  EXPECT_EQ(ReportLines(run.out), Sorted({"Deleted T:\\lk\\x\\f", "Removed T:\\lk\\x"}));
  EXPECT_EQ(SummaryLine(run.out), "Deleted 1 file and 1 dir");
  EXPECT_EQ(ListTree(root), Sorted({"real/", "lk->real"}));
}

// Waits a few dozen microseconds, a different time each call.
void Pause(unsigned& seed) {
  seed = seed * 1103515245u + 12345u;
  struct timespec wait = {0, static_cast<long>(20'000 + (seed >> 8) % 80'000)};
  nanosleep(&wait, nullptr);
}

// Swaps two entries in one step: a directory of the tree and a link to the outside folder.
bool Exchange(const std::string& a, const std::string& b) {
  return renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

// True once the walk has erased one of the files, that is, once it is inside their directory.
bool AnyGone(const std::vector<std::string>& files) {
  for (const std::string& file : files)
    if (access(file.c_str(), F_OK) != 0)
      return true;
  return false;
}

// While the tree is erased, a second thread changes it under the walk. Three kinds of round:
// - a directory is exchanged for a link to the outside folder and back, again and again;
// - as soon as the walk is inside one of four sibling directories, the other three become links
//   to the outside folder, while the listing the walk goes by still calls them directories;
// - as soon as the walk is inside a directory, that directory is moved into the outside folder,
//   whose own subdirectories bear the names of its siblings, so that a step up through ".."
//   would land there.
// A run may end with a problem, but the outside folder keeps every file.
TEST_F(SafetyTest, DirectoriesSwappedDuringTheRunLeadNowhere) {
  std::vector<std::string> outside = {"outside/"};
  for (int i = 0; i < 20; ++i)
    outside.push_back("outside/v" + std::to_string(i) + "=victim " + std::to_string(i));
  for (int e = 0; e < 5; ++e) {
    outside.push_back("outside/e" + std::to_string(e) + "/");
    for (int i = 0; i < 5; ++i)
      outside.push_back("outside/e" + std::to_string(e) + "/v" + std::to_string(i) + "=victim");
  }
  outside = Sorted(outside);
  MakeTree(root, outside);

  // Everything the thread uses is made beforehand: the test forks while it runs, so it makes
  // system calls only.
  std::vector<std::string> tree = {"park/"}, siblings, links;
  std::vector<std::vector<std::string>> sibling_files(4);
  for (int i = 0; i < 10; ++i)
    tree.push_back("t/f" + std::to_string(i) + "=1");
  for (int d = 0; d < 4; ++d) {
    std::string sibling = "t/x/s" + std::to_string(d);
    siblings.push_back(Path(sibling));
    links.push_back(Path("park/l" + std::to_string(d)));
    for (int i = 0; i < 15; ++i) {
      tree.push_back(sibling + "/f" + std::to_string(i) + "=2");
      sibling_files[d].push_back(Path(sibling + "/f" + std::to_string(i)));
    }
  }
  for (int e = 0; e < 5; ++e)
    for (int i = 0; i < 5; ++i)
      tree.push_back("t/d/e" + std::to_string(e) + "/g" + std::to_string(i) + "=4");
  const std::string victim = Path("outside");

  MakeTree(root, {"try/", "try-link->outside"});
  if (!Exchange(Path("try"), Path("try-link")))
    GTEST_SKIP() << "the file system cannot exchange two entries in one step";
  fs::remove_all(Path("try"));
  fs::remove_all(Path("try-link"));

  int problems = 0;
  for (int round = 0; round < 30; ++round) {
    // The directory to move gets a new name each round, so that it comes at another place
    // among its siblings.
    const std::string name = "deep" + std::to_string(round);
    const std::string deep = Path("t/d/" + name), moved = Path("outside/" + name);
    // The walk erases its files first, then spends a while in its subdirectories.
    std::vector<std::string> deep_files;
    for (int i = 0; i < 10; ++i) {
      deep_files.push_back(deep + "/f" + std::to_string(i));
      MakeTree(root, {"t/d/" + name + "/f" + std::to_string(i) + "=3",
                      "t/d/" + name + "/a/g" + std::to_string(i) + "=3",
                      "t/d/" + name + "/a/h" + std::to_string(i) + "=3",
                      "t/d/" + name + "/b/g" + std::to_string(i) + "=3",
                      "t/d/" + name + "/b/h" + std::to_string(i) + "=3"});
    }
    MakeTree(root, tree);
    for (const std::string& link : links)
      symlink(victim.c_str(), link.c_str());
    std::atomic<bool> stop = false;
    std::thread swapper([&] {
      unsigned seed = static_cast<unsigned>(round);
      bool done = false;
      while (!stop.load(std::memory_order_relaxed)) {
        if (round % 3 == 0) {
          struct stat status;
          if (Exchange(siblings[0], links[0])) {
            Pause(seed);
            Exchange(siblings[0], links[0]);
          } else if (lstat(links[0].c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
                     rename(links[0].c_str(), siblings[0].c_str()) == 0) {
            // The walk erased the link while it stood in the tree: the directory goes back.
            symlink(victim.c_str(), links[0].c_str());
          }
          Pause(seed);
        } else if (round % 3 == 1 && !done) {
          for (int d = 0; d < 4 && !done; ++d)
            if (AnyGone(sibling_files[d])) {
              for (int other = 0; other < 4; ++other)
                if (other != d)
                  Exchange(siblings[other], links[other]);
              done = true;
            }
        } else if (round % 3 == 2 && !done && AnyGone(deep_files)) {
          rename(deep.c_str(), moved.c_str());
          done = true;
        }
      }
    });
    RunOptions options = Options();
    options.timeout_seconds = 20;
    RunResult run = RunVakrun({"-D", "t"}, options);
    stop = true;
    swapper.join();
    SCOPED_TRACE("round " + std::to_string(round) + ": " + Visible(run.out));
    EXPECT_FALSE(run.timed_out);
    EXPECT_TRUE(run.status == 0 || run.status == 1);
    if (run.out.find("PROBLEM: ") != std::string::npos)
      ++problems;
    std::error_code error;
    fs::remove_all(moved, error);
    std::vector<std::string> left;
    for (const std::string& entry : ListTree(root))
      if (entry.starts_with("outside"))
        left.push_back(entry);
    ASSERT_EQ(left, outside);
    fs::remove_all(Path("t"), error);
    fs::remove_all(Path("park"), error);
  }
  // How often the changes met the walk; informative only, as timing varies between machines.
  RecordProperty("runs_ending_with_a_problem", problems);
}

// A name cannot forge a report line or send a command to the terminal: each control character
// shows as "?" (below 32, 127, the C1 controls U+0080 to U+009F, and a lone byte 0x80 to 0x9F that
// is no part of a valid UTF-8 sequence); every other byte stays, 0x80 to 0x9F inside a character
// too.
TEST_F(SafetyTest, NamesShowTheirControlCharactersAsQuestionMarks) {
  if (UnderEmulator())
    GTEST_SKIP() << "such names cannot be made through wine's file names";
  struct Case {
    std::string name;
    std::string shown;
  };
  const Case cases[] = {
      {"x\nDeleted Z:\\etc\\passwd", "x?Deleted Z:\\etc\\passwd"},
      {"cr\rtab\tbell\a", "cr?tab?bell?"},
      {"esc\x1b[31mred", "esc?[31mred"},
      {"del\x7f", "del?"},
      {"c1 \xc2\x9b"
       "2J \xc2\x85",
       "c1 ?2J ?"}, // U+009B (CSI), U+0085
      {"lone \x9b"
       "2J \x80",
       "lone ?2J ?"}, // no part of a character
      {"kept \xc4\x81 \xe2\x82\xac \xc2\xa0", "kept \xc4\x81 \xe2\x82\xac \xc2\xa0"}, // ā € nbsp
      {"bytes \xff\xc3", "bytes \xff\xc3"}, // not UTF-8, not C1: kept
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Visible(c.name));
    MakeTree(root, {"t/" + c.name + "=1"});
    RunOptions options = Options();
    options.merge = false;
    RunResult run = RunVakrun({"t"}, options);
    EXPECT_EQ(Visible(run.out), Visible("Deleted T:\\t\\" + c.shown + "\r\nRemoved T:\\t\r\n"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), std::vector<std::string>{});
  }
}

TEST_F(SafetyTest, OddNamesAreErasedAsTheyAre) {
  if (UnderEmulator())
    GTEST_SKIP() << "the mapping of odd Unix names is the Linux build's";
  // Beside the target, names that a wrong mapping of the odd ones could reach.
  const std::vector<std::string> beside = {"t2/",    "t2/x/",  "t2/x/y=keep", "a=keep",
                                           "b=keep", "x=keep", "y=keep",      "new=keep"};
  const std::vector<std::string> tree = {
      "t/x\\y=1",     "t/a;b=2",        "t/c:d=3",   "t/new\nline=4",
      "t/ sp ace =5", "t/\xFF\xFE=6",   "t/-dash=7", "t/p\xEF\x81\x9Cq=8",
      "t/d\\e/f;g=9", "t/h;/i:/j\\=10",
  };
  MakeTree(root, beside);
  MakeTree(root, tree);
  RunResult run = RunVakrun({"t"}, Options());
  EXPECT_EQ(ReportLines(run.out),
            Sorted({"Deleted T:\\t\\x\\y", "Deleted T:\\t\\a;b", "Deleted T:\\t\\c:d",
                    "Deleted T:\\t\\new?line", "Deleted T:\\t\\ sp ace ", "Deleted T:\\t\\\xFF\xFE",
                    "Deleted T:\\t\\-dash", "Deleted T:\\t\\p\xEF\x81\x9Cq",
                    "Deleted T:\\t\\d\\e\\f;g", "Removed T:\\t\\d\\e", "Deleted T:\\t\\h;\\i:\\j\\",
                    "Removed T:\\t\\h;\\i:", "Removed T:\\t\\h;", "Removed T:\\t"}))
      << Visible(run.out);
  EXPECT_EQ(SummaryLine(run.out), "Deleted 10 files and 4 dirs");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListTree(root), Sorted(beside));
}

TEST_F(SafetyTest, OddNamesInTheTargetAndTheMask) {
  if (UnderEmulator())
    GTEST_SKIP() << "the mapping of odd Unix names is the Linux build's";
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines;
    std::vector<std::string> after;
  };
  const std::vector<std::string> tree = {"a;b/k=1", "a/k=2", "b/k=3",
                                         "u/x;y=4", "u/z=5", "u/c:d=6"};
  const Case cases[] = {
      {{"a;b"},
       {"Deleted T:\\a;b\\k", "Removed T:\\a;b"},
       {"a/", "a/k=2", "b/", "b/k=3", "u/", "u/x;y=4", "u/z=5", "u/c:d=6"}},
      {{"t:/a;b/"},
       {"Deleted T:\\a;b\\k", "Removed T:\\a;b"},
       {"a/", "a/k=2", "b/", "b/k=3", "u/", "u/x;y=4", "u/z=5", "u/c:d=6"}},
      // A typed ";" stands for the same character as a ";" in a name.
      {{"-M*;*", "u"},
       {"Deleted T:\\u\\x;y", "Could not remove non-empty directory T:\\u"},
       {"a;b/", "a;b/k=1", "a/", "a/k=2", "b/", "b/k=3", "u/", "u/z=5", "u/c:d=6"}},
      {{"-M?", "u"},
       {"Deleted T:\\u\\z", "Could not remove non-empty directory T:\\u"},
       {"a;b/", "a;b/k=1", "a/", "a/k=2", "b/", "b/k=3", "u/", "u/x;y=4", "u/c:d=6"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    MakeTree(root, tree);
    RunResult run = RunVakrun(c.args, Options());
    EXPECT_EQ(ReportLines(run.out), Sorted(c.lines)) << Visible(run.out);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), Sorted(c.after));
    for (const char* top : {"a;b", "a", "b", "u"}) {
      std::error_code error;
      fs::remove_all(Path(top), error);
    }
  }
}

TEST_F(SafetyTest, ReadOnlyEntriesOfTheUsersOwnAreErased) {
  if (UnderEmulator())
    GTEST_SKIP() << "runs as another user, which a wine prefix does not allow";
  MakeTree(root, {"t/ro.txt=1", "t/.hidden=2", "t/rodir/f1=3", "t/rodir/sub/f2=4", "out/hl=keep",
                  "out/hl2=keep too"});
  ASSERT_EQ(link(Path("out/hl").c_str(), Path("t/hl").c_str()), 0);
  ASSERT_EQ(link(Path("out/hl2").c_str(), Path("t/rodir/hl2").c_str()), 0);
  for (const char* file : {"t/ro.txt", "t/.hidden", "t/rodir/f1", "t/rodir/sub/f2", "out/hl2"})
    chmod(Path(file).c_str(), 0444);
  for (const char* dir : {"t/rodir/sub", "t/rodir", "t"})
    chmod(Path(dir).c_str(), 0555);
  GiveTo(root, UnprivilegedUid());
  RunOptions options = Options();
  options.as_uid = UnprivilegedUid();
  RunResult run = RunVakrun({"t"}, options);
  EXPECT_EQ(ReportLines(run.out),
            Sorted({"Deleted T:\\t\\ro.txt", "Deleted T:\\t\\.hidden", "Deleted T:\\t\\hl",
                    "Deleted T:\\t\\rodir\\f1", "Deleted T:\\t\\rodir\\hl2",
                    "Deleted T:\\t\\rodir\\sub\\f2", "Removed T:\\t\\rodir\\sub",
                    "Removed T:\\t\\rodir", "Removed T:\\t"}))
      << Visible(run.out);
  EXPECT_EQ(SummaryLine(run.out), "Deleted 6 files and 3 dirs");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListTree(root), Sorted({"out/", "out/hl=keep", "out/hl2=keep too"}));
  EXPECT_EQ(ModeOf(Path("out/hl")), 0644u);
  EXPECT_EQ(ModeOf(Path("out/hl2")), 0444u);
}

// Another user's read-only file goes with the user's own directory that holds it: the mode of a
// file decides nothing about its erase, so no attribute change is owed and its line is the
// plain one. In a directory the user may not write, the same file stays, its mode kept, with the
// line of the refused change and no question.
TEST_F(SafetyTest, AnotherUsersReadOnlyFileGoesOnlyWithTheUsersOwnDirectory) {
  if (UnderEmulator())
    GTEST_SKIP() << "runs as another user, which a wine prefix does not allow";
  if (geteuid() != 0)
    GTEST_SKIP() << "needs files of another user, so runs only as root";
  MakeTree(root, {"t/theirs=1", "t/locked/theirs too=2"});
  GiveTo(root, UnprivilegedUid());
  for (const char* entry : {"t/theirs", "t/locked", "t/locked/theirs too"})
    ASSERT_EQ(lchown(Path(entry).c_str(), 0, 0), 0) << entry;
  for (const char* file : {"t/theirs", "t/locked/theirs too"})
    chmod(Path(file).c_str(), 0444);
  chmod(Path("t/locked").c_str(), 0555);
  RunOptions options = Options();
  options.as_uid = UnprivilegedUid();
  options.no_input = true;
  RunResult run = RunVakrun({"t"}, options);
  EXPECT_EQ(ReportLines(run.out), Sorted({"Deleted T:\\t\\theirs",
                                          "Skipped attribute change on T:\\t\\locked\\theirs too",
                                          "Skipped attribute change on T:\\t\\locked",
                                          "Could not remove non-empty directory T:\\t\\locked",
                                          "Could not remove non-empty directory T:\\t"}))
      << Visible(run.out);
  EXPECT_EQ(run.out.find("password"), std::string::npos) << Visible(run.out);
  EXPECT_EQ(SummaryLine(run.out), "Deleted 1 file and 0 dirs");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ListTree(root), Sorted({"t/", "t/locked/", "t/locked/theirs too=2"}));
  EXPECT_EQ(ModeOf(Path("t/locked/theirs too")), 0444u);
  EXPECT_EQ(ModeOf(Path("t/locked")), 0555u);
}

// What the walk read of a directory before a question is read afresh after it: a directory made
// while the run waits at the Esc question, among the target's files, is walked with the rest.
TEST_F(SafetyTest, ADirectoryMadeAtTheEscQuestionIsWalked) {
  if (UnderEmulator())
    GTEST_SKIP() << "under wine the Windows program's later search does not see such a directory";
  MakeTree(root, {"t/f1=1", "t/f2=2", "t/f3=3"});
  RunResult run = RunPausedAtEsc({"t"}, Options(), [&] { MakeTree(root, {"t/new/g=4"}); });
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.status, 0) << Visible(run.out);
  EXPECT_EQ(ReportLines(run.out),
            Sorted({"Deleted T:\\t\\f1", "Deleted T:\\t\\f2", "Deleted T:\\t\\f3",
                    "Deleted T:\\t\\new\\g", "Removed T:\\t\\new", "Removed T:\\t"}))
      << Visible(run.out);
  EXPECT_EQ(ListTree(root), std::vector<std::string>{});
}

// A current directory that cannot be read (removed before the start) is no base for a target:
// one that is not a full path is refused before anything is touched, never taken from a root,
// and a full path still goes. Z: is a folder of the test's own, so that "/" lies on no drive.
TEST_F(SafetyTest, TargetsNeedAFullPathWhenTheCurrentDirectoryIsGone) {
  struct Case {
    std::string target;
    bool erased;
  };
  std::vector<Case> cases = {{"t", false},     {"T:t", false}, {"\\t", false},
                             {"..\\t", false}, {"T:", false},  {"T:\\t", true}};
  if (!UnderEmulator())
    cases.push_back({Path("t"), true}); // a Linux path is a full one
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    MakeTree(root, {"t/f", "z/", "gone/"});
    RunOptions options = Options();
    options.env = {"VAKRUN_DRIVES=T=" + root + ";Z=" + Path("z")};
    options.cwd = Path("gone");
    options.cwd_removed = true;
    RunResult run = RunVakrun({"-D", c.target}, options);
    // The shell script that starts wine cannot read the directory either, and says so.
    const std::string launcher = "sh: 0: getcwd() failed: No such file or directory\n";
    if (UnderEmulator() && run.out.starts_with(launcher))
      run.out.erase(0, launcher.size());
    if (c.erased) {
      EXPECT_EQ(Visible(run.out), Visible(AsWritten(Echo("Mask:*.*") + Working + Spinner(2) +
                                                        Cleared() + "Deleted 1 file and 1 dir\r\n",
                                                    options)));
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(ListTree(root), std::vector<std::string>{"z/"});
    } else {
      EXPECT_EQ(
          Visible(run.out),
          Visible(AsWritten(Echo("Mask:*.*") + NoneDeleted() +
                                Problem("Cannot read the current directory to find " + c.target),
                            options)));
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(ListTree(root), (std::vector<std::string>{"t/", "t/f", "z/"}));
    }
    std::filesystem::remove_all(Path("t"));
    std::filesystem::remove_all(Path("z"));
  }
}

// A file that cannot be erased would be left writable, unless it has a second link: that one may
// lie outside the target.
TEST_F(SafetyTest, FileLinkedFromOutsideKeepsItsModeWhenItStays) {
  if (UnderEmulator())
    GTEST_SKIP() << "runs as another user, which a wine prefix does not allow";
  if (geteuid() != 0)
    GTEST_SKIP() << "needs a directory of another user, so runs only as root";
  MakeTree(root, {"t/locked/", "out/hl=keep"});
  ASSERT_EQ(link(Path("out/hl").c_str(), Path("t/locked/hl").c_str()), 0);
  chmod(Path("out/hl").c_str(), 0444);
  GiveTo(root, UnprivilegedUid());
  // Not the user's: nothing in it can be erased.
  lchown(Path("t/locked").c_str(), 0, 0);
  chmod(Path("t/locked").c_str(), 0555);
  RunOptions options = Options();
  options.as_uid = UnprivilegedUid();
  options.no_input = true; // the password question is cancelled
  RunResult run = RunVakrun({"t"}, options);
  // The directory is root's: its attribute change is refused too.
  EXPECT_EQ(ReportLines(run.out), Sorted({"Skipped password-protected T:\\t\\locked\\hl",
                                          "Skipped attribute change on T:\\t\\locked",
                                          "Could not remove non-empty directory T:\\t\\locked",
                                          "Could not remove non-empty directory T:\\t"}))
      << Visible(run.out);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ListTree(root), Sorted({"out/", "out/hl=keep", "t/", "t/locked/", "t/locked/hl=keep"}));
  EXPECT_EQ(ModeOf(Path("out/hl")), 0444u);
}

} // namespace
