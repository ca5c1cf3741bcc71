// Erases the same trees with vakrun and with rm, side by side, and prints the median ratio of
// their wall times and the peak memory of each.
//
// Each round builds two identical trees, flushes them to disk, and erases one with each program,
// the order alternating from round to round so that neither always meets a warmer cache. The
// child's wall time runs from fork to the end of its output; its peak memory is the maximum
// resident size the kernel reports at wait4.
//
//   tree_bench --vakrun PATH [--dir DIR] [--rounds N] [--trees a,b] [--modes a,b]
//   tree_bench --vakrun PATH --baseline OTHER ...   (OTHER, an older vakrun, takes rm's place)
//   tree_bench --vakrun PATH --wine EXE ...  (vakrun.exe under wine -D, against rm -rf and against
//                                             wine's own "cmd /c rd /s /q", output to /dev/null;
//                                             with --baseline OTHER.exe, an older vakrun.exe too)
//   tree_bench --make TREE PATH     (only builds one tree, for profiling by hand)
//
// Trees: wide (100,000 empty files in 1,111 directories, 10x10x10 with 100 files in each leaf),
// flat (100,000 empty files in one directory), 4k (10,000 files of 4 KiB), deep (a chain of 50
// directories, one file in each). Modes: quiet (vakrun -D against rm -rf, output to /dev/null),
// file, pipe and pty (ShowDeleted on against rm -rfv, both streams to a file, to a pipe or to a
// pseudo-terminal that the bench drains).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <map>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// ---- Trees --------------------------------------------------------------------------------------

void Fail(const std::string& what) {
  std::fprintf(stderr, "tree_bench: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(2);
}

void MakeDir(int parent, const std::string& name) {
  if (mkdirat(parent, name.c_str(), 0755) != 0)
    Fail("mkdir " + name);
}

int OpenDir(int parent, const std::string& name) {
  int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    Fail("open " + name);
  return fd;
}

void MakeFiles(int dir, int count, std::size_t size) {
  static const std::string block(4096, 'x');
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "file%06d.dat", i);
    int fd = openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
      Fail(std::string("create ") + name);
    for (std::size_t done = 0; done < size; done += block.size())
      if (write(fd, block.data(), std::min(block.size(), size - done)) < 0)
        Fail("write");
    close(fd);
  }
}

// Directories of `fanout` subdirectories, `levels` deep, with `files` files in each leaf.
void MakeWide(int dir, int levels, int fanout, int files) {
  if (levels == 0) {
    MakeFiles(dir, files, 0);
    return;
  }
  for (int i = 0; i < fanout; ++i) {
    std::string name = "dir" + std::to_string(i);
    MakeDir(dir, name);
    int sub = OpenDir(dir, name);
    MakeWide(sub, levels - 1, fanout, files);
    close(sub);
  }
}

void MakeChain(int dir, int depth) {
  MakeFiles(dir, 1, 0);
  if (depth == 0)
    return;
  MakeDir(dir, "level");
  int sub = OpenDir(dir, "level");
  MakeChain(sub, depth - 1);
  close(sub);
}

struct TreeKind {
  const char* name;
  const char* description;
  void (*make)(int dir);
};

const TreeKind Trees[] = {
    {"wide", "100,000 empty files, 1,111 dirs", [](int dir) { MakeWide(dir, 3, 10, 100); }},
    {"flat", "100,000 empty files, one dir", [](int dir) { MakeFiles(dir, 100000, 0); }},
    {"4k", "10,000 files of 4 KiB", [](int dir) { MakeFiles(dir, 10000, 4096); }},
    {"deep", "a chain 50 deep", [](int dir) { MakeChain(dir, 49); }},
};

void BuildTree(const TreeKind& kind, const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0)
    Fail("mkdir " + path);
  int dir = OpenDir(AT_FDCWD, path);
  kind.make(dir);
  close(dir);
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

void RemoveLeftovers(const std::string& path) {
  nftw(path.c_str(), RemoveEntry, 64, FTW_DEPTH | FTW_PHYS);
}

// ---- Runs ---------------------------------------------------------------------------------------

enum class Sink { Null, File, Pipe, Pty };

struct Mode {
  const char* name;
  Sink sink;
  bool show; // vakrun with ShowDeleted on, rm with -v
};

const Mode Modes[] = {
    {"quiet", Sink::Null, false},
    {"file", Sink::File, true},
    {"pipe", Sink::Pipe, true},
    {"pty", Sink::Pty, true},
};

struct Measure {
  double seconds = 0;
  long peak_kib = 0;
  int status = -1;
  std::size_t output_bytes = 0;
};

using Clock = std::chrono::steady_clock;

[[noreturn]] void Exec(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

std::size_t Drain(int fd) {
  std::size_t total = 0;
  char buffer[65536];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return total;
    total += static_cast<std::size_t>(got);
  }
}

Measure Run(const std::vector<std::string>& args, Sink sink, const std::string& work) {
  Measure measure;
  std::string log = work + "/output.log";
  int pipe_fds[2] = {-1, -1};
  if (sink == Sink::Pipe && pipe(pipe_fds) != 0)
    Fail("pipe");
  auto start = Clock::now();
  pid_t child;
  int master = -1;
  if (sink == Sink::Pty) {
    struct winsize size = {24, 80, 0, 0};
    child = forkpty(&master, nullptr, nullptr, &size);
    if (child == 0)
      Exec(args);
  } else {
    child = fork();
    if (child == 0) {
      int in = open("/dev/null", O_RDONLY);
      int out = sink == Sink::Null   ? open("/dev/null", O_WRONLY)
                : sink == Sink::File ? open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                                     : pipe_fds[1];
      dup2(in, 0);
      dup2(out, 1);
      dup2(out, 2);
      if (pipe_fds[0] >= 0)
        close(pipe_fds[0]);
      Exec(args);
    }
  }
  if (child < 0)
    Fail("fork");
  if (sink == Sink::Pipe) {
    close(pipe_fds[1]);
    measure.output_bytes = Drain(pipe_fds[0]);
    close(pipe_fds[0]);
  } else if (sink == Sink::Pty) {
    measure.output_bytes = Drain(master); // ends with EIO once the child has gone
  }
  int wait_status = 0;
  struct rusage usage {};
  wait4(child, &wait_status, 0, &usage);
  measure.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (master >= 0)
    close(master);
  measure.peak_kib = usage.ru_maxrss;
  measure.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  if (sink == Sink::File) {
    struct stat status;
    if (stat(log.c_str(), &status) == 0)
      measure.output_bytes = static_cast<std::size_t>(status.st_size);
    unlink(log.c_str());
  }
  return measure;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t comma = text.find(',', at);
    if (comma == std::string::npos)
      comma = text.size();
    if (comma > at)
      items.push_back(text.substr(at, comma - at));
    at = comma + 1;
  }
  return items;
}

bool Wanted(const std::vector<std::string>& list, const char* name) {
  return list.empty() || std::find(list.begin(), list.end(), name) != list.end();
}

// Z: is the root of the Linux file system in every wine prefix.
std::string DosPath(const std::string& path) {
  std::string dos = "Z:" + path;
  for (char& c : dos)
    if (c == '/')
      c = '\\';
  return dos;
}

int WineBench(const std::string& exe, const std::string& baseline, const std::string& rm,
              const std::string& work, int rounds, const std::vector<std::string>& tree_list) {
  const std::string wine = "/usr/bin/wine";
  std::printf("%-5s %-31s %12s %9s %9s %10s %9s %10s", "tree", "", "vakrun.exe ms", "rm ms",
              "rd ms", "exe/rm", "rd/exe", "exe KiB");
  if (!baseline.empty())
    std::printf(" %12s %9s", "baseline ms", "base/exe");
  std::printf("\n");
  // The baseline, an older vakrun.exe, erases a fourth tree in the same round.
  const int programs = baseline.empty() ? 3 : 4;
  bool failed = false;
  for (const TreeKind& tree : Trees) {
    if (!Wanted(tree_list, tree.name))
      continue;
    std::vector<double> exe_times, rm_times, rd_times, exe_ratios, rd_ratios, base_times,
        base_ratios;
    long exe_peak = 0;
    for (int round = 0; round < rounds; ++round) {
      std::string paths[4] = {work + "/a", work + "/b", work + "/c", work + "/d"};
      for (int k = 0; k < programs; ++k)
        BuildTree(tree, paths[k]);
      sync();
      std::vector<std::string> commands[4] = {
          {wine, exe, "-D", DosPath(paths[0])},
          {rm, "-rf", paths[1]},
          {wine, "cmd", "/c", "rd", "/s", "/q", DosPath(paths[2])},
          {wine, baseline, "-D", DosPath(paths[3])}};
      Measure m[4];
      for (int k = 0; k < programs; ++k) {
        int which = (k + round) % programs; // each program goes first in turn
        m[which] = Run(commands[which], Sink::Null, work);
      }
      for (int k = 0; k < programs; ++k)
        if (access(paths[k].c_str(), F_OK) == 0) {
          std::fprintf(stderr, "tree_bench: %s: %s left its tree\n", tree.name,
                       commands[k][k == 1 ? 0 : 1].c_str());
          failed = true;
          RemoveLeftovers(paths[k]);
        }
      exe_times.push_back(m[0].seconds);
      rm_times.push_back(m[1].seconds);
      rd_times.push_back(m[2].seconds);
      exe_ratios.push_back(m[0].seconds / m[1].seconds);
      rd_ratios.push_back(m[2].seconds / m[0].seconds);
      exe_peak = std::max(exe_peak, m[0].peak_kib);
      if (programs == 4) {
        base_times.push_back(m[3].seconds);
        base_ratios.push_back(m[3].seconds / m[0].seconds);
      }
    }
    std::printf("%-5s %-31s %12.1f %9.1f %9.1f %9.1fx %8.1fx %10ld", tree.name, tree.description,
                Median(exe_times) * 1000, Median(rm_times) * 1000, Median(rd_times) * 1000,
                Median(exe_ratios), Median(rd_ratios), exe_peak);
    if (programs == 4)
      std::printf(" %12.1f %8.1fx", Median(base_times) * 1000, Median(base_ratios));
    std::printf("\n");
    std::fflush(stdout);
  }
  rmdir(work.c_str());
  return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--make") {
    for (const TreeKind& tree : Trees)
      if (tree.name == std::string(argv[2])) {
        BuildTree(tree, argv[3]);
        return 0;
      }
    std::fprintf(stderr, "tree_bench: no tree %s\n", argv[2]);
    return 2;
  }
  std::string vakrun, rm = "/bin/rm", baseline, wine_exe;
  std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  int rounds = 5;
  std::vector<std::string> tree_list, mode_list;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value = i + 1 < argc ? argv[i + 1] : "";
    if (arg == "--vakrun")
      vakrun = value;
    else if (arg == "--rm")
      rm = value;
    else if (arg == "--baseline")
      baseline = value;
    else if (arg == "--wine")
      wine_exe = value;
    else if (arg == "--dir")
      dir = value;
    else if (arg == "--rounds")
      rounds = std::max(1, std::atoi(value.c_str()));
    else if (arg == "--trees")
      tree_list = SplitList(value);
    else if (arg == "--modes")
      mode_list = SplitList(value);
    else {
      std::fprintf(stderr,
                   "usage: tree_bench --vakrun PATH [--rm PATH | --baseline PATH] [--dir DIR] "
                   "[--rounds N] [--trees wide,flat,4k,deep] [--wine EXE] "
                   "[--modes quiet,file,pipe,pty]\n");
      return 2;
    }
    ++i;
  }
  if (vakrun.empty() || access(vakrun.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "tree_bench: --vakrun must name the built program\n");
    return 2;
  }
  char pattern_buffer[4096];
  std::snprintf(pattern_buffer, sizeof pattern_buffer, "%s/vakrun-bench-XXXXXX", dir.c_str());
  if (mkdtemp(pattern_buffer) == nullptr)
    Fail("mkdtemp in " + dir);
  std::string work = pattern_buffer;
  std::string tree_a = work + "/a", tree_b = work + "/b";

  std::printf("%d rounds, trees in %s\n", rounds, work.c_str());
  if (!wine_exe.empty())
    return WineBench(wine_exe, baseline, rm, work, rounds, tree_list);
  std::printf("%-5s %-6s %-31s %10s %10s %7s %9s %9s %s\n", "tree", "mode", "", "vakrun ms",
              "rm ms", "ratio", "vakrun KiB", "rm KiB", "rm -rf ratio");
  std::map<std::string, double> quiet_rm_median;
  bool failed = false;
  for (const TreeKind& tree : Trees) {
    if (!Wanted(tree_list, tree.name))
      continue;
    for (const Mode& mode : Modes) {
      if (!Wanted(mode_list, mode.name))
        continue;
      std::vector<double> ratios, vakrun_times, rm_times;
      long vakrun_peak = 0, rm_peak = 0;
      for (int round = 0; round < rounds; ++round) {
        BuildTree(tree, tree_a);
        BuildTree(tree, tree_b);
        sync();
        std::vector<std::string> vakrun_args = {vakrun};
        if (!mode.show)
          vakrun_args.push_back("-D");
        vakrun_args.push_back(tree_a);
        std::vector<std::string> rm_args = {rm, mode.show ? "-rfv" : "-rf", tree_b};
        if (!baseline.empty()) {
          rm_args = vakrun_args;
          rm_args[0] = baseline;
          rm_args.back() = tree_b;
        }
        Measure v, r;
        if (round % 2 == 0) {
          v = Run(vakrun_args, mode.sink, work);
          r = Run(rm_args, mode.sink, work);
        } else {
          r = Run(rm_args, mode.sink, work);
          v = Run(vakrun_args, mode.sink, work);
        }
        if (v.status != 0 || r.status != 0 || access(tree_a.c_str(), F_OK) == 0 ||
            access(tree_b.c_str(), F_OK) == 0) {
          std::fprintf(stderr, "tree_bench: %s/%s: vakrun status %d, rm status %d, tree left\n",
                       tree.name, mode.name, v.status, r.status);
          failed = true;
          RemoveLeftovers(tree_a);
          RemoveLeftovers(tree_b);
        }
        ratios.push_back(v.seconds / r.seconds);
        vakrun_times.push_back(v.seconds);
        rm_times.push_back(r.seconds);
        vakrun_peak = std::max(vakrun_peak, v.peak_kib);
        rm_peak = std::max(rm_peak, r.peak_kib);
      }
      double v_ms = Median(vakrun_times) * 1000, r_ms = Median(rm_times) * 1000;
      if (!mode.show)
        quiet_rm_median[tree.name] = r_ms;
      char against_rm_rf[32] = "";
      if (mode.show && quiet_rm_median.count(tree.name))
        std::snprintf(against_rm_rf, sizeof against_rm_rf, "%.2fx",
                      v_ms / quiet_rm_median[tree.name]);
      std::printf("%-5s %-6s %-31s %10.1f %10.1f %6.2fx %9ld %9ld %s\n", tree.name, mode.name,
                  tree.description, v_ms, r_ms, Median(ratios), vakrun_peak, rm_peak,
                  against_rm_rf);
      std::fflush(stdout);
    }
  }
  rmdir(work.c_str());
  return failed ? 1 : 0;
}
