// The Linux layer where the system gets in its way, run as any user: each case builds a small real
// tree in a temporary folder, makes the calls of a system call on a chosen entry fail with a
// chosen error (or puts another function in its place), runs the real program flow over the real
// Linux layer in a child, and checks the report lines, the last console lines, the exit status,
// what is left of the tree, and that nothing beside the target changed. A failure that no call
// met ends the child with a status of its own, so no case passes without testing what it names.
// No mounts, no other users, no waits.
//
// A listed file is erased before its attribute change, which is looked at and made only when that
// erase fails; so a row whose point is the attribute change of a file, or its erase proper, makes
// that erase fail first.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "flow_run.h"
#include "harness.h"
#include "platform/console.h"
#include "platform/console/process.h"
#include "report_lines.h"
#include "system_call_faults.h"

namespace {

// The calls of a system call that act on `subject`, an entry under the test's folder ("." the
// folder itself), fail with `error`: `times` of them (0: every one) from the nth on. Only a row
// whose point is the order of the calls on its subject gives nth, and says why.
struct Fault {
  const char* call;
  const char* subject;
  int error;
  unsigned long times = 1;
  unsigned long nth = 1;
};
// Every call, whatever it acts on.
constexpr const char* EveryEntry = "";

// A call the run must never make: it fails with `error` if it comes.
struct Forbidden {
  const char* call;
  int error;
};

// Functions that stand in for a system call.
using AnyFunction = void (*)();
struct Replacement {
  const char* call;
  AnyFunction function;
};

// A volume mounted read-only.
int ReadOnlyVolume(int fd, struct statvfs* volume) {
  int result = ::fstatvfs(fd, volume);
  if (result == 0)
    volume->f_flag |= ST_RDONLY;
  return result;
}

// The kernel's answer to an owner who lacks write permission on the directory, whoever runs the
// test (root passes over modes).
int UnlinkatAsOwner(int dir_fd, const char* name, int flags) {
  struct stat directory;
  if (::fstatat(dir_fd, ".", &directory, 0) == 0 && (directory.st_mode & S_IWUSR) == 0) {
    errno = EACCES;
    return -1;
  }
  return ::unlinkat(dir_fd, name, flags);
}

// A file of another user in a sticky directory.
int UnlinkatRefusingTheirs(int dir_fd, const char* name, int flags) {
  if (std::string_view(name) == "theirs") {
    errno = EPERM;
    return -1;
  }
  return ::unlinkat(dir_fd, name, flags);
}

// The entry named m is the root of a mount.
int StatxMountRoot(int dir_fd, const char* name, int flags, unsigned int mask,
                   struct statx* status) {
  int result = ::statx(dir_fd, name, flags, mask, status);
  if (result == 0 && std::string_view(name) == "m") {
    status->stx_attributes_mask |= STATX_ATTR_MOUNT_ROOT;
    status->stx_attributes |= STATX_ATTR_MOUNT_ROOT;
  }
  return result;
}

// The path a descriptor was opened with, when it names a directory m.
bool NamesM(int fd, std::string& path) {
  char link[64], target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t size = readlink(link, target, sizeof target);
  if (size <= 0)
    return false;
  path.assign(target, static_cast<std::size_t>(size));
  return path.ends_with("/m");
}

// The directory m is a mount of another file system.
int FstatAnotherDeviceAtM(int fd, struct stat* status) {
  int result = ::fstat(fd, status);
  std::string path;
  if (result == 0 && NamesM(fd, path))
    status->st_dev ^= 1;
  return result;
}

// The directory m is the one above it under another name (a bind mount of it).
int FstatParentAtM(int fd, struct stat* status) {
  std::string path;
  if (NamesM(fd, path))
    return ::stat(path.substr(0, path.size() - 2).c_str(), status);
  return ::fstat(fd, status);
}

// ".." leads to another directory than the one above: two levels up, as after a move.
int OpenatDotDotElsewhere(int dir_fd, const char* name, int flags, ...) {
  if (std::string_view(name) == "..")
    return ::openat(dir_fd, "../..", flags);
  return ::openat(dir_fd, name, flags);
}

struct FaultCase {
  const char* name;
  std::vector<std::string> arguments;
  // Under the test's folder, drive T:; the target is t (or below it).
  std::vector<std::string> tree;
  std::vector<std::pair<std::string, mode_t>> modes = {};
  std::vector<Fault> faults = {};
  std::vector<Forbidden> forbidden = {};
  std::vector<Replacement> replacements = {};
  // When > 0: the limit on open files, soft and hard.
  int open_files = 0;
  std::string keys = {};
  // The per-entry report lines, in any order.
  std::vector<std::string> report;
  // Texts the console stream shows, in this order, and texts it never shows.
  std::vector<std::string> console_shows = {};
  std::vector<std::string> console_lacks = {};
  // How often the password question is asked (-1: not checked).
  int questions = -1;
  // The last lines the console shows: the summary and any problem.
  std::vector<std::string> ending;
  int status;
  // What is left of the tree under the folder (ListTree notation), and modes left.
  std::vector<std::string> left;
  std::vector<std::pair<std::string, mode_t>> left_modes = {};
};

const std::vector<std::string> WholeTarget = {"t/", "t/f=1"};

const FaultCase kCases[] = {
    {.name = "with no failure the tree goes whole, read-only entries included",
     .arguments = {"t"},
     .tree = {"t/f=1", "t/d/g=2", "t/d/e/"},
     .modes = {{"t/f", 0444}, {"t/d/e", 0555}},
     .report = {"Deleted T:\\t\\f", "Deleted T:\\t\\d\\g", "Removed T:\\t\\d\\e",
                "Removed T:\\t\\d", "Removed T:\\t"},
     .ending = {"Deleted 2 files and 3 dirs"},
     .status = 0,
     .left = {}},
    // A read-only medium: the attribute change comes first, so nothing is touched.
    {.name = "a volume mounted read-only refuses the first attribute change",
     .arguments = {"t"},
     .tree = {"t/f=1", "t/e/"},
     .replacements = {{"fstatvfs", reinterpret_cast<AnyFunction>(&ReadOnlyVolume)}},
     .report = {},
     .console_shows = {"Using option(s): ShowDeleted Mask:*.* \r\n\rWorking  "},
     .console_lacks = {"\b"},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Disk is write-protected"},
     .status = 1,
     .left = {"t/", "t/e/", "t/f=1"}},
    {.name =
         "a volume mounted read-only refuses a directory's attribute change after the walk in it",
     .arguments = {"t"},
     .tree = {"t/e/"},
     .replacements = {{"fstatvfs", reinterpret_cast<AnyFunction>(&ReadOnlyVolume)}},
     .report = {},
     .console_shows = {"\rWorking  \b/"},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Disk is write-protected"},
     .status = 1,
     .left = {"t/", "t/e/"}},
    {.name = "EROFS at a file's attribute change ends the run",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .modes = {{"t/f", 0444}},
     .faults = {{"unlinkat", "t/f", EACCES}, {"chmod", "t/f", EROFS}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Disk is write-protected"},
     .status = 1,
     .left = WholeTarget,
     .left_modes = {{"t/f", 0444}}},
    {.name = "EIO at a file's attribute change ends the run with the device error's number",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .modes = {{"t/f", 0444}},
     .faults = {{"unlinkat", "t/f", EACCES}, {"chmod", "t/f", EIO}},
     .report = {},
     .ending =
         {"Deleted 0 files and 0 dirs",
          "PROBLEM: Unexpected error 162 occurred. Please check your DOS manual for details."},
     .status = 1,
     .left = WholeTarget,
     .left_modes = {{"t/f", 0444}}},
    {.name = "EROFS at an erase ends the run with the file's name",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .faults = {{"unlinkat", "t/f", EROFS, 2}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to delete file f"},
     .status = 1,
     .left = WholeTarget},
    {.name = "EROFS at a removal ends the run with the directory's full path",
     .arguments = {"t"},
     .tree = {"t/d/"},
     .faults = {{"unlinkat", "t/d", EROFS}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to remove directory T:\\t\\d"},
     .status = 1,
     .left = {"t/", "t/d/"}},
    {.name = "EROFS at the removal of the target ends the run",
     .arguments = {"t"},
     .tree = {"t/"},
     .faults = {{"unlinkat", "t", EROFS}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to remove directory T:\\t"},
     .status = 1,
     .left = {"t/"}},
    {.name = "EIO at an erase ends the run with the file's name",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .faults = {{"unlinkat", "t/f", EIO, 2}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to delete file f"},
     .status = 1,
     .left = WholeTarget},
    // Refusals: the password step, or the line of a refused attribute change.
    {.name = "EACCES at an erase asks for a password and passes the file over",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .faults = {{"unlinkat", "t/f", EACCES, 2}},
     .report = {"Skipped password-protected T:\\t\\f",
                "Could not remove non-empty directory T:\\t"},
     .console_shows = {"\rT:\\t\\F is password-protected.\r\n"},
     .questions = 1,
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = WholeTarget},
    {.name = "EACCES at an erase with SkipPasswords passes the file over without a question",
     .arguments = {"-W", "t"},
     .tree = {"t/f=1"},
     .faults = {{"unlinkat", "t/f", EACCES, 2}},
     .report = {"Skipped password-protected T:\\t\\f",
                "Could not remove non-empty directory T:\\t"},
     .questions = 0,
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = WholeTarget},
    {.name = "EBUSY at an erase is refused as a file in use",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .faults = {{"unlinkat", "t/f", EBUSY, 2}},
     .report = {"Skipped password-protected T:\\t\\f",
                "Could not remove non-empty directory T:\\t"},
     .questions = 1,
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = WholeTarget},
    {.name = "EPERM at an attribute change is reported and the erase goes on",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .modes = {{"t/f", 0444}},
     .faults = {{"unlinkat", "t/f", EACCES}, {"chmod", "t/f", EPERM}},
     .report = {"Skipped attribute change on T:\\t\\f", "Deleted T:\\t\\f", "Removed T:\\t"},
     .ending = {"Deleted 1 file and 1 dir"},
     .status = 0,
     .left = {}},
    {.name = "EPERM at an attribute change and at the erase gives one line and no question",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .modes = {{"t/f", 0444}},
     .faults = {{"chmod", "t/f", EPERM}, {"unlinkat", "t/f", EPERM, 2}},
     .report = {"Skipped attribute change on T:\\t\\f",
                "Could not remove non-empty directory T:\\t"},
     .console_lacks = {"password"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = WholeTarget,
     .left_modes = {{"t/f", 0444}}},
    {.name = "a file refused in a sticky directory is passed over and the rest goes",
     .arguments = {"t"},
     .tree = {"t/x/mine=1", "t/x/theirs=2"},
     .replacements = {{"unlinkat", reinterpret_cast<AnyFunction>(&UnlinkatRefusingTheirs)}},
     .report = {"Skipped password-protected T:\\t\\x\\theirs", "Deleted T:\\t\\x\\mine",
                "Could not remove non-empty directory T:\\t\\x",
                "Could not remove non-empty directory T:\\t"},
     .ending = {"Deleted 1 file and 0 dirs"},
     .status = 1,
     .left = {"t/", "t/x/", "t/x/theirs=2"}},
    {.name = "a file mounted from another file system keeps its mode and is passed over",
     .arguments = {"t"},
     .tree = {"t/m=keep"},
     .modes = {{"t/m", 0444}},
     .faults = {{"unlinkat", "t/m", EBUSY, 2}},
     .replacements = {{"statx", reinterpret_cast<AnyFunction>(&StatxMountRoot)}},
     .report = {"Skipped attribute change on T:\\t\\m",
                "Could not remove non-empty directory T:\\t"},
     .console_lacks = {"password"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"t/", "t/m=keep"},
     .left_modes = {{"t/m", 0444}}},
    // Directories: opened, listed, left.
    {.name = "EACCES at opening a subdirectory to list it asks for a password and passes it over",
     .arguments = {"t"},
     .tree = {"t/x/f=1"},
     .faults = {{"openat", "t/x", EACCES}},
     .report = {"Skipped password-protected T:\\t\\x",
                "Could not remove non-empty directory T:\\t"},
     .console_shows = {"\rT:\\t\\X is password-protected.\r\n"},
     .questions = 1,
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"t/", "t/x/", "t/x/f=1"}},
    {.name = "EACCES at entering a subdirectory with SkipPasswords passes it over",
     .arguments = {"-W", "t"},
     .tree = {"t/x/f=1"},
     .faults = {{"fchdir", "t/x", EACCES}},
     .report = {"Skipped password-protected T:\\t\\x",
                "Could not remove non-empty directory T:\\t"},
     .questions = 0,
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"t/", "t/x/", "t/x/f=1"}},
    {.name = "ENOENT at opening a subdirectory that vanished ends the run",
     .arguments = {"t"},
     .tree = {"t/d/g=1"},
     .faults = {{"openat", "t/d", ENOENT}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to change to d"},
     .status = 1,
     .left = {"t/", "t/d/", "t/d/g=1"}},
    {.name = "EMFILE at opening a subdirectory ends the run",
     .arguments = {"t"},
     .tree = {"t/d/g=1"},
     .faults = {{"openat", "t/d", EMFILE}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to change to d"},
     .status = 1,
     .left = {"t/", "t/d/", "t/d/g=1"}},
    {.name = "ELOOP at opening a subdirectory swapped for a link ends the run",
     .arguments = {"t"},
     .tree = {"t/d/g=1"},
     .faults = {{"openat", "t/d", ELOOP}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to change to d"},
     .status = 1,
     .left = {"t/", "t/d/", "t/d/g=1"}},
    {.name = "EIO at opening the target ends the run with its full path",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .faults = {{"openat", "t", EIO}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to change to T:\\t"},
     .status = 1,
     .left = WholeTarget},
    {.name = "a directory mounted from another file system is not entered and ends the run",
     .arguments = {"t"},
     .tree = {"t/f=1", "t/m/k=keep"},
     .replacements = {{"fstat", reinterpret_cast<AnyFunction>(&FstatAnotherDeviceAtM)}},
     .report = {"Deleted T:\\t\\f"},
     .ending = {"Deleted 1 file and 0 dirs", "PROBLEM: Unable to change to m"},
     .status = 1,
     .left = {"t/", "t/m/", "t/m/k=keep"}},
    {.name = "the drive's root under another name is the root and asks its question",
     .arguments = {"T:\\m"},
     .tree = {"f=x", "m/"},
     .replacements = {{"fstat", reinterpret_cast<AnyFunction>(&FstatParentAtM)}},
     .keys = "n",
     .report = {},
     .console_shows = {"\rYou're about to ERASE EVERYTHING using above option(s) on drive T:\r\n"
                       "Are you sure you want to proceed? (y/N) No\r\n"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 0,
     .left = {"f=x", "m/"}},
    {.name = "EACCES at listing a subdirectory leaves it with its files",
     .arguments = {"t"},
     .tree = {"t/x/f=1"},
     .faults = {{"opendir", "t/x", EACCES}},
     .report = {"Could not remove non-empty directory T:\\t\\x",
                "Could not remove non-empty directory T:\\t"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"t/", "t/x/", "t/x/f=1"}},
    // A listing cut short for lack of resources or by a device error ends the run, naming the
    // directory (control characters shown as "?") and the cause: entries it did not see must
    // not make their directory pass for one not empty.
    {.name = "EIO in a listing ends the run with the directory and the cause",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .faults = {{"readdir", "t", EIO}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs",
                "PROBLEM: Unable to read directory T:\\t: Problem reading from disk"},
     .status = 1,
     .left = WholeTarget},
    {.name = "EMFILE at opening a subdirectory's listing ends the run after what went before",
     .arguments = {"t"},
     .tree = {"t/f=1", "t/x\x1b[2J/g=2"},
     .faults = {{"opendir", "t/x\x1b[2J", EMFILE}},
     .report = {"Deleted T:\\t\\f"},
     .console_lacks = {"\x1b"},
     .ending = {"Deleted 1 file and 0 dirs",
                "PROBLEM: Unable to read directory T:\\t\\x?[2J: Too many open files"},
     .status = 1,
     .left = {"t/", "t/x\x1b[2J/", "t/x\x1b[2J/g=2"}},
    {.name = "ENFILE at opening the target's listing ends the run",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .faults = {{"opendir", "t", ENFILE}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs",
                "PROBLEM: Unable to read directory T:\\t: Too many open files"},
     .status = 1,
     .left = WholeTarget},
    {.name = "ENOMEM in a subdirectory's listing ends the run",
     .arguments = {"t"},
     .tree = {"t/x/g=2"},
     .faults = {{"opendir", "t/x", ENOMEM}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs",
                "PROBLEM: Unable to read directory T:\\t\\x: Not enough memory"},
     .status = 1,
     .left = {"t/", "t/x/", "t/x/g=2"}},
    {.name = "EBUSY at a removal leaves the directory as one not empty",
     .arguments = {"t"},
     .tree = {"t/d/"},
     .faults = {{"unlinkat", "t/d", EBUSY}},
     .report = {"Could not remove non-empty directory T:\\t\\d",
                "Could not remove non-empty directory T:\\t"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"t/", "t/d/"}},
    {.name = "ENOTEMPTY at a removal, a file made meanwhile, leaves the directory",
     .arguments = {"t"},
     .tree = {"t/d/"},
     .faults = {{"unlinkat", "t/d", ENOTEMPTY}},
     .report = {"Could not remove non-empty directory T:\\t\\d",
                "Could not remove non-empty directory T:\\t"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"t/", "t/d/"}},
    {.name = "EIO at a step up ends the run, so the walk goes on from nowhere else",
     .arguments = {"t"},
     .tree = {"t/d/"},
     // By number, as order is the point: the walk enters t once, steps down into d, and the
     // second change into t is the step up from d.
     .faults = {{.call = "fchdir", .subject = "t", .error = EIO, .nth = 2}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to change to .."},
     .status = 1,
     .left = {"t/", "t/d/"}},
    // Under a small limit on open files the directories farthest up are let go, and a step up
    // to one opens ".." again: it goes on only when that is still the very directory.
    {.name = "a step up to a directory let go for room refuses a \"..\" that leads elsewhere",
     .arguments = {"t"},
     .tree = {"t/a/f=1"},
     .replacements = {{"openat", reinterpret_cast<AnyFunction>(&OpenatDotDotElsewhere)}},
     .open_files = 16,
     .report = {"Deleted T:\\t\\a\\f"},
     .ending = {"Deleted 1 file and 0 dirs", "PROBLEM: Unable to change to .."},
     .status = 1,
     .left = {"t/", "t/a/"}},
    {.name = "failing closes change nothing",
     .arguments = {"t"},
     .tree = {"t/f=1", "t/d/g=1"},
     .faults = {{"close", EveryEntry, EIO, 0}, {"closedir", EveryEntry, EIO, 0}},
     .report = {"Deleted T:\\t\\f", "Deleted T:\\t\\d\\g", "Removed T:\\t\\d", "Removed T:\\t"},
     .ending = {"Deleted 2 files and 2 dirs"},
     .status = 0,
     .left = {}},
    // Entries that vanish during the walk.
    {.name = "ENOENT at an erase ends the run with the file's name",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .faults = {{"unlinkat", "t/f", ENOENT, 2}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to delete file f"},
     .status = 1,
     .left = WholeTarget},
    {.name = "ENOENT at a file's attribute change ends the run with the file's name",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .faults = {{"unlinkat", "t/f", EACCES}, {"statx", "t/f", ENOENT}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to delete file f"},
     .status = 1,
     .left = WholeTarget},
    {.name = "ENOENT at a directory's attribute change goes on to its removal",
     .arguments = {"t"},
     .tree = {"t/d/"},
     .faults = {{"statx", "t/d", ENOENT}},
     .report = {"Removed T:\\t\\d", "Removed T:\\t"},
     .ending = {"Deleted 0 files and 2 dirs"},
     .status = 0,
     .left = {}},
    {.name = "ENOENT at a removal ends the run with the directory's full path",
     .arguments = {"t"},
     .tree = {"t/d/"},
     .faults = {{"unlinkat", "t/d", ENOENT}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to remove directory T:\\t\\d"},
     .status = 1,
     .left = {"t/", "t/d/"}},
    // A directory of the user's own that is read-only gets its owner's write permission for the
    // erase inside it, and its mode back when it stays.
    {.name = "SubDirsOnly gives a read-only directory its mode back",
     .arguments = {"-S", "t"},
     .tree = {"t/f=1", "t/sub/g=2"},
     .modes = {{"t/sub", 0555}, {"t", 0555}},
     .replacements = {{"unlinkat", reinterpret_cast<AnyFunction>(&UnlinkatAsOwner)}},
     .report = {"Deleted T:\\t\\sub\\g", "Removed T:\\t\\sub"},
     .ending = {"Deleted 1 file and 1 dir"},
     .status = 0,
     .left = {"t/", "t/f=1"},
     .left_modes = {{"t", 0555}}},
    {.name = "FilesOnly gives read-only directories their modes back",
     .arguments = {"-F", "t"},
     .tree = {"t/f=1", "t/a/g=2", "t/a/b/h=3"},
     .modes = {{"t/a/b", 0555}, {"t/a", 0555}, {"t", 0555}},
     .replacements = {{"unlinkat", reinterpret_cast<AnyFunction>(&UnlinkatAsOwner)}},
     .report = {"Deleted T:\\t\\f", "Deleted T:\\t\\a\\g", "Deleted T:\\t\\a\\b\\h"},
     .ending = {"Deleted 3 files and 0 dirs"},
     .status = 0,
     .left = {"t/", "t/a/", "t/a/b/"},
     .left_modes = {{"t", 0555}, {"t/a", 0555}, {"t/a/b", 0555}}},
    // A listed file is erased before its attribute change, and looked at and changed only when
    // that erase fails.
    {.name = "read-only files are erased without their attribute change",
     .arguments = {"t"},
     .tree = {"t/f=1", "t/d/g=2"},
     .modes = {{"t/f", 0444}, {"t/d/g", 0444}},
     // Any attribute change would fail and end the run.
     .forbidden = {{"chmod", EROFS}},
     .report = {"Deleted T:\\t\\f", "Deleted T:\\t\\d\\g", "Removed T:\\t\\d", "Removed T:\\t"},
     .ending = {"Deleted 2 files and 2 dirs"},
     .status = 0,
     .left = {}},
    {.name = "an immutable file is met with one line",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .modes = {{"t/f", 0444}},
     .faults = {{"unlinkat", "t/f", EPERM, 2}, {"chmod", "t/f", EPERM}},
     .report = {"Skipped attribute change on T:\\t\\f",
                "Could not remove non-empty directory T:\\t"},
     .console_lacks = {"password"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = WholeTarget,
     .left_modes = {{"t/f", 0444}}},
    {.name = "nothing is erased ahead of its attribute change on a read-only volume",
     .arguments = {"t"},
     .tree = {"t/f=1"},
     .replacements = {{"fstatvfs", reinterpret_cast<AnyFunction>(&ReadOnlyVolume)}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Disk is write-protected"},
     .status = 1,
     .left = WholeTarget},
    // A current directory that cannot be read: a path too long for the system to give, whose
    // parent an ordinary user may not read, or one removed. Only a full path is taken then.
    {.name = "ENAMETOOLONG at reading the current directory refuses a drive-relative target",
     .arguments = {"T:t"},
     .tree = {"t/f=1"},
     .faults = {{"getcwd", ".", ENAMETOOLONG}},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs",
                "PROBLEM: Cannot read the current directory to find T:t"},
     .status = 1,
     .left = WholeTarget},
    {.name = "EACCES at reading the current directory leaves a full path as it was",
     .arguments = {"T:\\t"},
     .tree = {"t/f=1"},
     .faults = {{"getcwd", ".", EACCES}},
     .report = {"Deleted T:\\t\\f", "Removed T:\\t"},
     .ending = {"Deleted 1 file and 1 dir"},
     .status = 0,
     .left = {}},
    // A target refused: the question is asked again only for a new answer.
    {.name = "a refused target typed the same answer again and again is asked twice",
     .arguments = {"locked\x1b[2J"},
     .tree = {"locked\x1b[2J/f=1"},
     .faults = {{"openat", "locked\x1b[2J", EACCES, 0}},
     .keys = "y\ny\ny\ny\ny\ny\ny\ny\n",
     .report = {"Skipped password-protected T:\\locked?[2J"},
     .console_shows = {"\rT:\\LOCKED?[2J is password-protected.\r\n"},
     .console_lacks = {"\x1b"},
     .questions = 2,
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"locked\x1b[2J/", "locked\x1b[2J/f=1"}},
    {.name = "a refused target given two answers then Enter is asked three times",
     .arguments = {"locked"},
     .tree = {"locked/f=1"},
     .faults = {{"openat", "locked", EACCES, 0}},
     .keys = "a\nb\n\n",
     .report = {"Skipped password-protected T:\\locked"},
     .questions = 3,
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"locked/", "locked/f=1"}},
    {.name = "a refused target takes an earlier answer as new for this refusal",
     .arguments = {"locked"},
     .tree = {"locked/f=1"},
     .faults = {{"openat", "locked", EACCES, 0}},
     .keys = "a\nb\na\n\n",
     .report = {"Skipped password-protected T:\\locked"},
     .questions = 4,
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"locked/", "locked/f=1"}},
    {.name = "a refused target at the end of the input is asked once",
     .arguments = {"locked"},
     .tree = {"locked/f=1"},
     .faults = {{"openat", "locked", EACCES, 0}},
     .report = {"Skipped password-protected T:\\locked"},
     .questions = 1,
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"locked/", "locked/f=1"}},
};

// The status of a child in which a failure a row asked for met no call.
constexpr int FailureNotMet = 99;

// Run last at the end of the child, after the program's own exit procedure.
void EndIfAFailureWasNotMet() {
  FlushOutput();
  std::vector<std::string> not_met = FailuresNotMet();
  if (not_met.empty())
    return;
  for (const std::string& failure : not_met) {
    std::string line = "\r\nno call met the failure of " + failure + "\r\n";
    (void)!write(2, line.data(), line.size());
  }
  _exit(FailureNotMet);
}

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name;
}

class FaultRun : public TempFolderTest, public ::testing::WithParamInterface<FaultCase> {};

mode_t ModeOf(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

TEST_P(FaultRun, ReportsEndsAndLeavesTheTreeAsExpected) {
  const FaultCase& c = GetParam();
  // Beside the target: what no run may touch, a read-only file included.
  MakeTree(root, {"outside/keep=1", "outside/ro=2", "outside/dir/"});
  ASSERT_EQ(chmod(Path("outside/ro").c_str(), 0444), 0);
  MakeTree(root, c.tree);
  for (const auto& [entry, mode] : c.modes)
    ASSERT_EQ(chmod(Path(entry).c_str(), mode), 0) << entry;
  std::FILE* keys = std::tmpfile();
  ASSERT_NE(keys, nullptr);
  std::fwrite(c.keys.data(), 1, c.keys.size(), keys);
  std::fflush(keys);
  std::rewind(keys);
  FlowRun run = RunProgramFlow(c.arguments, [&] {
    dup2(fileno(keys), 0);
    if (chdir(root.c_str()) != 0)
      _exit(126);
    setenv("VAKRUN_DRIVES", ("T=" + root).c_str(), 1);
    for (const Replacement& replacement : c.replacements)
      ReplaceSystemCall(replacement.call, replacement.function);
    for (const Fault& fault : c.faults)
      FailSystemCall(fault.call, *fault.subject != '\0' ? Path(fault.subject) : "", fault.error,
                     fault.times, fault.nth);
    for (const Forbidden& call : c.forbidden)
      ForbidSystemCall(call.call, call.error);
    ExitHook = EndIfAFailureWasNotMet;
    struct rlimit limit = {static_cast<rlim_t>(c.open_files), static_cast<rlim_t>(c.open_files)};
    if (c.open_files > 0 && setrlimit(RLIMIT_NOFILE, &limit) != 0)
      _exit(126);
  });
  std::fclose(keys);
  EXPECT_EQ(ReportLines(run.out), Sorted(c.report)) << Visible(run.out);
  EXPECT_EQ(ShownLines(run.out).size(), c.report.size()) << Visible(run.out);
  if (c.questions >= 0) {
    int asked = 0;
    for (std::size_t found = 0;
         (found = run.console.find(" is password-protected.", found)) != std::string::npos; ++found)
      ++asked;
    EXPECT_EQ(asked, c.questions);
  }
  ExpectConsole(run.console, c.console_shows, c.console_lacks, c.ending);
  EXPECT_EQ(run.status, c.status);
  for (const auto& [entry, mode] : c.left_modes)
    EXPECT_EQ(ModeOf(Path(entry)), mode) << entry;
  std::vector<std::string> left;
  for (const std::string& entry : ListTree(root))
    if (!entry.starts_with("outside/"))
      left.push_back(entry);
  EXPECT_EQ(left, Sorted(c.left));
  EXPECT_EQ(ListTree(Path("outside")), (std::vector<std::string>{"dir/", "keep=1", "ro=2"}));
  EXPECT_EQ(ModeOf(Path("outside/ro")), 0444u);
  EXPECT_EQ(ModeOf(Path("outside/dir")), 0755u);
}

std::string CaseName(const ::testing::TestParamInfo<FaultCase>& info) {
  return CaseTestName(info.param.name);
}

INSTANTIATE_TEST_SUITE_P(Cases, FaultRun, ::testing::ValuesIn(kCases), CaseName);

} // namespace
