// Erases the same trees with vakrun and with rm, side by side, and prints the median ratio of
// their wall times and the peak memory of each.
//
// Each round builds identical trees, flushes them to disk, and erases one with each program, the
// order rotating from round to round so that none always meets a warmer cache. The child's wall
// time runs from fork to the end of its output; its peak memory is the maximum resident size the
// kernel reports at wait4.
//
//   tree_bench --vakrun PATH [--dir DIR] [--rounds N] [--trees a,b] [--modes a,b] [--seed N]
//   tree_bench --vakrun PATH --baseline OTHER ...   (OTHER, an older vakrun, erases a third tree
//                                                    in the same rounds, beside vakrun and rm)
//   tree_bench --vakrun PATH --user NAME ...  (as root: the trees are made by that user, and both
//                                              programs run as that user through setpriv)
//   tree_bench --vakrun PATH --wine EXE ...  (vakrun.exe under wine -D, against rm -rf and against
//                                             wine's own "cmd /c rd /s /q", output to /dev/null;
//                                             with --baseline OTHER.exe, an older vakrun.exe too)
//   tree_bench --make TREE PATH [--seed N]  (only builds one tree, for profiling by hand)
//
// Trees: wide (100,000 empty files in 1,111 directories, 10x10x10 with 100 files in each leaf),
// flat (100,000 empty files in one directory), 4k (10,000 files of 4 KiB), node (a package tree
// as npm leaves it: about 9,000 files of 0.3 to 60 KB in about 1,050 small directories, with 150
// symbolic links between packages, the same for the same seed), deep (a chain of 50 directories,
// one file in each). Modes: quiet (vakrun -D against rm -rf, output to /dev/null), file, pipe and
// pty (ShowDeleted on against rm -rfv, both streams to a file, to a pipe or to a pseudo-terminal
// that the bench drains).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <map>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// ---- Trees --------------------------------------------------------------------------------------

void Fail(const std::string& what) {
  if (errno != 0)
    std::fprintf(stderr, "tree_bench: %s: %s\n", what.c_str(), std::strerror(errno));
  else
    std::fprintf(stderr, "tree_bench: %s failed\n", what.c_str());
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

void WriteFile(int dir, const char* name, std::size_t size) {
  static const std::string block(4096, 'x');
  int fd = openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0)
    Fail(std::string("create ") + name);
  for (std::size_t done = 0; done < size; done += block.size())
    if (write(fd, block.data(), std::min(block.size(), size - done)) < 0)
      Fail("write");
  close(fd);
}

void MakeFiles(int dir, int count, std::size_t size) {
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "file%06d.dat", i);
    WriteFile(dir, name, size);
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

// ---- A package tree ----------------------------------------------------------------------------

// The node tree is drawn from this seed; the same seed makes the same tree.
std::uint64_t tree_seed = 1;

// splitmix64: small, and the same on every machine.
struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
};

// 300 bytes to 60 KB, most of them small (median about 1.1 KB, mean about 6.5 KB), as the
// sources, maps, type declarations and read-me files of packages are.
std::size_t PackageFileSize(Random& random) {
  double u = random.Unit();
  return static_cast<std::size_t>(300.0 * std::pow(200.0, u * u));
}

const char* const FileStems[] = {"index", "utils",  "parse",  "types",  "compat", "helpers",
                                 "core",  "stream", "errors", "config", "format", "main"};
const char* const FileEndings[] = {".js", ".d.ts", ".js.map", ".cjs", ".mjs", ".json", ".md"};
const char* const DirNames[] = {"lib", "dist",     "src",     "test",  "types", "esm",
                                "cjs", "internal", "helpers", "utils", "docs",  "modules"};

// The files and subdirectories of one directory of a package, `depth` below the package's own.
void MakePackageDir(int dir, int depth, Random& random) {
  int files = 4 + random.Below(12);
  for (int i = 0; i < files; ++i) {
    std::string name =
        std::string(FileStems[random.Below(12)]) + std::to_string(i) + FileEndings[random.Below(7)];
    WriteFile(dir, name.c_str(), PackageFileSize(random));
  }
  // Package roots have a few subdirectories, those a few of their own, and so on, thinning out.
  static const int MostSubdirs[] = {3, 2, 1, 0};
  int subdirs = MostSubdirs[depth] == 0 ? 0 : random.Below(MostSubdirs[depth] + 1);
  int first = random.Below(12);
  for (int i = 0; i < subdirs; ++i) {
    const char* name = DirNames[(first + i) % 12];
    MakeDir(dir, name);
    int sub = OpenDir(dir, name);
    MakePackageDir(sub, depth + 1, random);
    close(sub);
  }
}

void MakePackage(int dir, bool with_bin, Random& random) {
  WriteFile(dir, "package.json", 500 + random.Below(2500));
  WriteFile(dir, "README.md", PackageFileSize(random));
  WriteFile(dir, "LICENSE", 1070 + random.Below(60));
  if (with_bin) {
    MakeDir(dir, "bin");
    int bin = OpenDir(dir, "bin");
    WriteFile(bin, "cli.js", PackageFileSize(random));
    close(bin);
  }
  MakePackageDir(dir, 0, random);
}

// A node_modules folder: 175 packages (one in nine under one of six scopes), a tenth of them with
// packages of their own in a nested node_modules, 70 with a command that .bin links to, and 80
// links from one package's node_modules to another package, as workspaces and pnpm leave them.
// All links are relative and lead to places inside the tree. Seed 1 makes 8,838 files and 1,039
// directories (the top one included).
void MakeNodeTree(int root) {
  Random random{tree_seed};
  constexpr int Packages = 175, Links = 150;
  std::vector<std::string> paths;
  std::vector<bool> has_modules;
  std::vector<int> with_bin;
  for (int i = 0; i < Packages; ++i) {
    std::string name =
        std::string(FileStems[i % 12]) + "-" + DirNames[(i / 12) % 12] + "-" + std::to_string(i);
    std::string path = name;
    if (i % 9 == 0) {
      std::string scope = "@scope" + std::to_string(i / 9 % 6);
      if (i / 9 < 6)
        MakeDir(root, scope);
      path = scope + "/" + name;
    }
    MakeDir(root, path);
    int package = OpenDir(root, path);
    bool bin = i % 5 < 2;
    MakePackage(package, bin, random);
    bool nested = random.Below(10) == 0;
    if (nested) {
      MakeDir(package, "node_modules");
      int modules = OpenDir(package, "node_modules");
      for (int k = 0, count = 1 + random.Below(2); k < count; ++k) {
        std::string nested_name =
            std::string(FileStems[random.Below(12)]) + "-v" + std::to_string(k + 1);
        MakeDir(modules, nested_name);
        int inner = OpenDir(modules, nested_name);
        MakePackage(inner, false, random);
        close(inner);
      }
      close(modules);
    }
    close(package);
    paths.push_back(path);
    has_modules.push_back(nested);
    if (bin)
      with_bin.push_back(i);
  }
  WriteFile(root, ".package-lock.json", 60000);
  MakeDir(root, ".bin");
  int bin_dir = OpenDir(root, ".bin");
  for (int i : with_bin) {
    std::string name = paths[i].substr(paths[i].rfind('/') + 1);
    if (symlinkat(("../" + paths[i] + "/bin/cli.js").c_str(), bin_dir, name.c_str()) != 0)
      Fail("symlink .bin/" + name);
  }
  close(bin_dir);
  for (int made = static_cast<int>(with_bin.size()); made < Links;) {
    int from = random.Below(Packages), to = random.Below(Packages);
    if (from == to)
      continue;
    if (!has_modules[from]) {
      MakeDir(root, paths[from] + "/node_modules");
      has_modules[from] = true;
    }
    bool scoped = paths[from].find('/') != std::string::npos;
    std::string link = paths[from] + "/node_modules/" + paths[to].substr(paths[to].rfind('/') + 1);
    std::string target = std::string(scoped ? "../../../" : "../../") + paths[to];
    if (symlinkat(target.c_str(), root, link.c_str()) == 0)
      ++made;
    else if (errno != EEXIST)
      Fail("symlink " + link);
  }
}

// ---- The trees ----------------------------------------------------------------------------------

struct TreeKind {
  const char* name;
  const char* description;
  void (*make)(int dir);
};

const TreeKind Trees[] = {
    {"wide", "100,000 empty files, 1,111 dirs", [](int dir) { MakeWide(dir, 3, 10, 100); }},
    {"flat", "100,000 empty files, one dir", [](int dir) { MakeFiles(dir, 100000, 0); }},
    {"4k", "10,000 files of 4 KiB", [](int dir) { MakeFiles(dir, 10000, 4096); }},
    {"node", "packages: 8,838 files, 1,039 dirs", MakeNodeTree},
    {"deep", "a chain 50 deep", [](int dir) { MakeChain(dir, 49); }},
};

// ---- An ordinary user ---------------------------------------------------------------------------

// With --user, the trees are made by this user and both programs run as it, through setpriv.
struct OrdinaryUser {
  bool set = false;
  uid_t uid = 0;
  gid_t gid = 0;
};
OrdinaryUser user;
const char* const Setpriv = "/usr/bin/setpriv";

// A user name, or a number for a uid that has none (its group is then the same number).
OrdinaryUser FindUser(const std::string& name) {
  OrdinaryUser found;
  if (const struct passwd* entry = getpwnam(name.c_str())) {
    found = {true, entry->pw_uid, entry->pw_gid};
  } else if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos) {
    auto number = static_cast<uid_t>(std::strtoul(name.c_str(), nullptr, 10));
    found = {true, number, static_cast<gid_t>(number)};
  }
  return found;
}

// In a child: no groups, then the user's group and uid, for good.
void BecomeUser() {
  if (setgroups(0, nullptr) != 0 || setresgid(user.gid, user.gid, user.gid) != 0 ||
      setresuid(user.uid, user.uid, user.uid) != 0) {
    std::perror("tree_bench: becoming the user");
    _exit(2);
  }
}

// The command as the user runs it: through setpriv, which drops the same way.
std::vector<std::string> AsUser(std::vector<std::string> args) {
  if (!user.set)
    return args;
  std::vector<std::string> command = {Setpriv, "--reuid=" + std::to_string(user.uid),
                                      "--regid=" + std::to_string(user.gid), "--clear-groups",
                                      "--"};
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

// True when the user may run every program named (each a path), as the bench would.
bool UserMayRun(const std::vector<std::string>& programs) {
  pid_t child = fork();
  if (child == 0) {
    BecomeUser();
    for (const std::string& program : programs)
      if (access(program.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "tree_bench: uid %u cannot run %s: %s\n", unsigned(user.uid),
                     program.c_str(), std::strerror(errno));
        _exit(1);
      }
    _exit(0);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// ---- Building and clearing ----------------------------------------------------------------------

void BuildTreeHere(const TreeKind& kind, const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0)
    Fail("mkdir " + path);
  int dir = OpenDir(AT_FDCWD, path);
  kind.make(dir);
  close(dir);
}

// Made by the user the programs run as, so that it owns every entry.
void BuildTree(const TreeKind& kind, const std::string& path) {
  if (!user.set) {
    BuildTreeHere(kind, path);
    return;
  }
  std::fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    BecomeUser();
    BuildTreeHere(kind, path);
    _exit(0);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    errno = 0;
    Fail("building " + path + " as uid " + std::to_string(user.uid));
  }
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
  double cpu_seconds = 0; // user and system time, which depends less on the machine's load
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
  measure.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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
  std::printf("%-5s %-33s %12s %9s %9s %10s %9s %10s", "tree", "", "vakrun.exe ms", "rm ms",
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
    std::printf("%-5s %-33s %12.1f %9.1f %9.1f %9.1fx %8.1fx %10ld", tree.name, tree.description,
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

// vakrun and rm, and an older vakrun when there is one, each on its own copy of the tree in every
// round, the order rotating; the baseline's figures are printed beside vakrun's.
int NativeBench(const std::string& vakrun, const std::string& baseline, const std::string& rm,
                const std::string& work, int rounds, const std::vector<std::string>& tree_list,
                const std::vector<std::string>& mode_list) {
  const int programs = baseline.empty() ? 2 : 3;
  std::printf("%-5s %-6s %-33s %10s %10s %7s %9s %9s %9s %12s", "tree", "mode", "", "vakrun ms",
              "rm ms", "ratio", "cpu ratio", "vakrun KiB", "rm KiB", "rm -rf ratio");
  if (programs == 3)
    std::printf(" %11s %8s %10s %9s %9s", "baseline ms", "base/rm", "vakrun/base", "cpu ratio",
                "base KiB");
  std::printf("\n");
  std::map<std::string, double> quiet_rm_median;
  bool failed = false;
  for (const TreeKind& tree : Trees) {
    if (!Wanted(tree_list, tree.name))
      continue;
    for (const Mode& mode : Modes) {
      if (!Wanted(mode_list, mode.name))
        continue;
      // Ratios of wall time, and of processor time (cpu): vakrun against rm, the baseline against
      // rm, vakrun against the baseline.
      std::vector<double> times[3], ratios, cpu_ratios, base_ratios, new_over_base, cpu_over_base;
      long peak[3] = {0, 0, 0};
      for (int round = 0; round < rounds; ++round) {
        std::string paths[3] = {work + "/a", work + "/b", work + "/c"};
        for (int k = 0; k < programs; ++k)
          BuildTree(tree, paths[k]);
        sync();
        std::vector<std::string> vakrun_args = {vakrun};
        if (!mode.show)
          vakrun_args.push_back("-D");
        std::vector<std::string> commands[3] = {
            vakrun_args, {rm, mode.show ? "-rfv" : "-rf"}, vakrun_args};
        commands[2][0] = baseline;
        Measure m[3];
        for (int k = 0; k < programs; ++k) {
          int which = (k + round) % programs; // each program goes first in turn
          commands[which].push_back(paths[which]);
          m[which] = Run(AsUser(commands[which]), mode.sink, work);
        }
        for (int k = 0; k < programs; ++k) {
          if (m[k].status == 0 && access(paths[k].c_str(), F_OK) != 0)
            continue;
          std::fprintf(stderr, "tree_bench: %s/%s: %s status %d, tree %s\n", tree.name, mode.name,
                       commands[k][0].c_str(), m[k].status,
                       access(paths[k].c_str(), F_OK) == 0 ? "left" : "gone");
          failed = true;
          RemoveLeftovers(paths[k]);
        }
        for (int k = 0; k < programs; ++k) {
          times[k].push_back(m[k].seconds);
          peak[k] = std::max(peak[k], m[k].peak_kib);
        }
        ratios.push_back(m[0].seconds / m[1].seconds);
        cpu_ratios.push_back(m[0].cpu_seconds / m[1].cpu_seconds);
        if (programs == 3) {
          base_ratios.push_back(m[2].seconds / m[1].seconds);
          new_over_base.push_back(m[0].seconds / m[2].seconds);
          cpu_over_base.push_back(m[0].cpu_seconds / m[2].cpu_seconds);
        }
      }
      double v_ms = Median(times[0]) * 1000, r_ms = Median(times[1]) * 1000;
      if (!mode.show)
        quiet_rm_median[tree.name] = r_ms;
      char against_rm_rf[32] = "";
      if (mode.show && quiet_rm_median.count(tree.name))
        std::snprintf(against_rm_rf, sizeof against_rm_rf, "%.2fx",
                      v_ms / quiet_rm_median[tree.name]);
      std::printf("%-5s %-6s %-33s %10.1f %10.1f %6.2fx %8.2fx %9ld %9ld %12s", tree.name,
                  mode.name, tree.description, v_ms, r_ms, Median(ratios), Median(cpu_ratios),
                  peak[0], peak[1], against_rm_rf);
      if (programs == 3)
        std::printf(" %11.1f %7.2fx %9.2fx %8.2fx %9ld", Median(times[2]) * 1000,
                    Median(base_ratios), Median(new_over_base), Median(cpu_over_base), peak[2]);
      std::printf("\n");
      std::fflush(stdout);
    }
  }
  rmdir(work.c_str());
  return failed ? 1 : 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: tree_bench --vakrun PATH [--rm PATH] [--baseline PATH] [--user NAME] "
               "[--dir DIR] [--rounds N] [--trees wide,flat,4k,node,deep] [--seed N] "
               "[--modes quiet,file,pipe,pty] [--wine EXE]\n"
               "       tree_bench --make TREE PATH [--seed N] [--user NAME]\n");
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  std::string vakrun, rm = "/bin/rm", baseline, wine_exe, make_tree, make_path;
  std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  int rounds = 5;
  std::vector<std::string> tree_list, mode_list;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (i + 1 >= argc)
      return Usage();
    std::string value = argv[++i];
    if (arg == "--make" && i + 1 < argc) {
      make_tree = value;
      make_path = argv[++i];
    } else if (arg == "--vakrun") {
      vakrun = value;
    } else if (arg == "--rm") {
      rm = value;
    } else if (arg == "--baseline") {
      baseline = value;
    } else if (arg == "--wine") {
      wine_exe = value;
    } else if (arg == "--dir") {
      dir = value;
    } else if (arg == "--rounds") {
      rounds = std::max(1, std::atoi(value.c_str()));
    } else if (arg == "--trees") {
      tree_list = SplitList(value);
    } else if (arg == "--modes") {
      mode_list = SplitList(value);
    } else if (arg == "--seed") {
      tree_seed = std::strtoull(value.c_str(), nullptr, 10);
    } else if (arg == "--user") {
      user = FindUser(value);
      if (!user.set) {
        std::fprintf(stderr, "tree_bench: no user %s\n", value.c_str());
        return 2;
      }
    } else {
      return Usage();
    }
  }
  if (user.set && geteuid() != 0) {
    std::fprintf(stderr, "tree_bench: --user needs root, to make the trees and run as the user\n");
    return 2;
  }
  if (!make_tree.empty()) {
    for (const TreeKind& tree : Trees)
      if (tree.name == make_tree) {
        BuildTree(tree, make_path);
        return 0;
      }
    std::fprintf(stderr, "tree_bench: no tree %s\n", make_tree.c_str());
    return 2;
  }
  if (vakrun.empty() || access(vakrun.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "tree_bench: --vakrun must name the built program\n");
    return 2;
  }
  if (user.set && !wine_exe.empty()) {
    std::fprintf(stderr, "tree_bench: --user is for the native programs, not wine\n");
    return 2;
  }
  if (user.set) {
    std::vector<std::string> programs = {Setpriv, vakrun, rm};
    if (!baseline.empty())
      programs.push_back(baseline);
    if (!UserMayRun(programs))
      return 2;
  }
  char pattern_buffer[4096];
  std::snprintf(pattern_buffer, sizeof pattern_buffer, "%s/vakrun-bench-XXXXXX", dir.c_str());
  if (mkdtemp(pattern_buffer) == nullptr)
    Fail("mkdtemp in " + dir);
  std::string work = pattern_buffer;
  if (user.set && (chown(work.c_str(), user.uid, user.gid) != 0 || chmod(work.c_str(), 0755) != 0))
    Fail("handing " + work + " to the user");

  std::printf("%d rounds, trees in %s", rounds, work.c_str());
  if (user.set)
    std::printf(", as uid %u", unsigned(user.uid));
  std::printf("\n");
  if (!wine_exe.empty())
    return WineBench(wine_exe, baseline, rm, work, rounds, tree_list);
  return NativeBench(vakrun, baseline, rm, work, rounds, tree_list, mode_list);
}
