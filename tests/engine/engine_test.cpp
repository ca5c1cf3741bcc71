// The engine over an in-memory file system: each case runs the whole program flow (options,
// target, walk, summary) on a small tree, with keys and the result codes of chosen calls
// scripted, and checks the calls made, the report lines, the end of the console text, the exit
// status and what is left. The paths checked here are those no real Linux system gives: the
// DR-DOS password code 86, attribute changes refused or failing, device errors.
//
// Each case runs in a child of its own (the shared flow runner); the child hands its record of
// calls and the tree it leaves back through an exit procedure. The program's
// own file is the test program here: no case may give -R, which would write into it.
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "engine/walk.h"
#include "flow_run.h"
#include "memory_fs.h"
#include "platform/console.h"
#include "platform/fs.h"
#include "report_lines.h"
#include "scripted_keys.h"

namespace {

struct Entry {
  std::string path;
  std::uint16_t attributes;
  const char* password = "";
};

struct Failure {
  const char* operation;
  const char* argument;
  std::uint32_t os_error;
  int times = 0;
};

struct Call {
  const char* operation;
  const char* argument;
};

// A call that gives os_error (0: accepted, nothing changes) and says more of its entry.
struct Cause {
  const char* operation;
  const char* argument;
  std::uint32_t os_error;
  EntryCause cause;
};

constexpr std::uint16_t Dir = DirectoryAttribute;
constexpr std::uint16_t File = ArchiveAttribute;

struct EngineCase {
  const char* name;
  std::vector<std::string> arguments;
  std::vector<Entry> tree;
  std::vector<Failure> failures = {};
  std::vector<Cause> causes = {};
  // Esc is pressed just before the first of these calls.
  std::vector<Call> esc_before = {};
  std::string keys = {};
  // The calls checked are the recorded ones whose line holds this text.
  std::string watch;
  std::vector<std::string> calls;
  std::vector<std::string> report;
  // Texts the console stream shows, in this order, and texts it never shows.
  std::vector<std::string> console_shows = {};
  std::vector<std::string> console_lacks = {};
  // The last lines the console shows: the summary and any problem.
  std::vector<std::string> ending;
  int status;
  // The entries left, with their attribute words.
  std::vector<std::string> left;
};

// The run as the runner gives it, with the calls the in-memory file system recorded and the
// entries it was left holding.
struct RunResult : FlowRun {
  std::vector<std::string> calls;
  std::vector<std::string> left;
};

int state_fd = -1;

void WriteState() {
  std::string text;
  for (const std::string& line : MemoryRecord())
    text += "call " + line + "\n";
  for (const std::string& line : MemoryTree())
    text += "left " + line + "\n";
  for (std::size_t done = 0; done < text.size();) {
    ssize_t written = write(state_fd, text.data() + done, text.size() - done);
    if (written <= 0)
      break;
    done += static_cast<std::size_t>(written);
  }
}

RunResult RunCase(const EngineCase& c) {
  std::FILE* state = std::tmpfile();
  if (state == nullptr)
    return {};
  FlowRun run = RunProgramFlow(c.arguments, [&] {
    state_fd = fileno(state);
    ResetMemoryFs();
    for (const Entry& entry : c.tree)
      AddMemoryEntry(entry.path, entry.attributes, entry.password);
    for (const Failure& failure : c.failures)
      ScriptFailure(failure.operation, failure.argument, failure.os_error, failure.times);
    for (const Cause& cause : c.causes)
      ScriptCause(cause.operation, cause.argument, cause.os_error, cause.cause);
    for (const Call& press : c.esc_before)
      ScriptEscBefore(press.operation, press.argument);
    ScriptKeys(c.keys);
    // The exit report chains this procedure, so it runs however the run ends.
    ExitHook = WriteState;
  });
  RunResult result{std::move(run), {}, {}};
  std::string text = ReadAllAndClose(state);
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    std::string line = text.substr(start, end - start);
    if (line.starts_with("call "))
      result.calls.push_back(line.substr(5));
    else if (line.starts_with("left "))
      result.left.push_back(line.substr(5));
  }
  return result;
}

// C:\T and a chain of `levels` directories D below it.
std::vector<Entry> Chain(int levels) {
  std::vector<Entry> tree = {{"C:\\T", DirectoryAttribute}};
  for (int i = 0; i < levels; ++i)
    tree.push_back({tree.back().path + "\\D", DirectoryAttribute});
  return tree;
}

std::vector<std::string> Left(const std::vector<Entry>& tree) {
  std::vector<std::string> left;
  for (const Entry& entry : tree)
    left.push_back(entry.path + " " + std::to_string(entry.attributes));
  return left;
}

const EngineCase kCases[] = {
    {.name = "a plain run erases read-only, hidden and system entries after their attributes",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir},
              {"C:\\T\\F.TXT", File | ReadOnlyAttribute | HiddenAttribute | SystemAttribute},
              {"C:\\T\\SUB", Dir | HiddenAttribute | SystemAttribute},
              {"C:\\T\\SUB\\G", File | ReadOnlyAttribute}},
     .watch = "",
     .calls = {"ChangeDirectory C: = 0", "ChangeDirectory C:\\T = 0", "FindFirstEntry *.* 39 = 0",
               "SetEntryAttributes F.TXT 32 = 0", "EraseFile F.TXT = 0",
               "FindFirstEntry *.* 23 = 0", "ChangeDirectory SUB = 0", "FindFirstEntry *.* 39 = 0",
               "SetEntryAttributes G 32 = 0", "EraseFile G = 0", "FindFirstEntry *.* 23 = 0",
               "ChangeDirectory .. = 0", "SetEntryAttributes SUB 32 = 0",
               "RemoveEmptyDirectory SUB = 0", "ChangeDirectory .. = 0",
               "SetEntryAttributes C:\\T 32 = 0", "RemoveEmptyDirectory C:\\T = 0",
               "ChangeDirectory C:\\ = 0", "ChangeDirectory C:\\ = 0"},
     .report = {"Deleted C:\\T\\F.TXT", "Deleted C:\\T\\SUB\\G", "Removed C:\\T\\SUB",
                "Removed C:\\T"},
     .ending = {"Deleted 2 files and 2 dirs"},
     .status = 0,
     .left = {}},
    // DR-DOS passwords: code 86, the question, and the password carried on every later name.
    {.name = "a typed password erases the file and goes with every later name",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File, "SECRET"}, {"C:\\T\\G.TXT", File}},
     .keys = "secret\r",
     .watch = ".TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 86", "EraseFile F.TXT = 86",
               "SetEntryAttributes F.TXT;secret 32 = 0", "EraseFile F.TXT;secret = 0",
               "SetEntryAttributes G.TXT;secret 32 = 0", "EraseFile G.TXT;secret = 0"},
     .report = {"Deleted C:\\T\\F.TXT", "Deleted C:\\T\\G.TXT", "Removed C:\\T"},
     .console_shows = {"\rC:\\T\\F.TXT is password-protected.\r\n",
                       "Please enter new GLOBAL password: ******"},
     .ending = {"Deleted 2 files and 1 dir"},
     .status = 0,
     .left = {}},
    {.name = "a wrong password asks again and the right one then succeeds",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File, "SECRET"}},
     .keys = "WRONG\rSECRET\r",
     .watch = "F.TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 86", "EraseFile F.TXT = 86",
               "SetEntryAttributes F.TXT;WRONG 32 = 86", "EraseFile F.TXT;WRONG = 86",
               "SetEntryAttributes F.TXT;SECRET 32 = 0", "EraseFile F.TXT;SECRET = 0"},
     .report = {"Deleted C:\\T\\F.TXT", "Removed C:\\T"},
     .console_shows = {"C:\\T\\F.TXT is password-protected.", "*****",
                       "C:\\T\\F.TXT is password-protected.", "******"},
     .ending = {"Deleted 1 file and 1 dir"},
     .status = 0,
     .left = {}},
    {.name = "the password just refused typed again passes the file over",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File, "SECRET"}},
     .keys = "WRONG\rWRONG\r",
     .watch = "F.TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 86", "EraseFile F.TXT = 86",
               "SetEntryAttributes F.TXT;WRONG 32 = 86", "EraseFile F.TXT;WRONG = 86"},
     .report = {"Skipped password-protected C:\\T\\F.TXT",
                "Could not remove non-empty directory C:\\T"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"C:\\T 48", "C:\\T\\F.TXT 32"}},
    {.name = "Esc at the password question passes the file over and keeps no password",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File, "SECRET"}, {"C:\\T\\G.TXT", File}},
     .keys = "SEC\x1b",
     .watch = ".TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 86", "EraseFile F.TXT = 86",
               "SetEntryAttributes G.TXT 32 = 0", "EraseFile G.TXT = 0"},
     .report = {"Skipped password-protected C:\\T\\F.TXT", "Deleted C:\\T\\G.TXT",
                "Could not remove non-empty directory C:\\T"},
     .ending = {"Deleted 1 file and 0 dirs"},
     .status = 1,
     .left = {"C:\\T 48", "C:\\T\\F.TXT 32"}},
    {.name = "a protected subdirectory is entered and removed with the typed password",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir, "KEY"}, {"C:\\T\\SUB\\H.TXT", File}},
     .keys = "KEY\r",
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 86", "ChangeDirectory SUB;KEY = 0",
               "SetEntryAttributes SUB;KEY 32 = 0", "RemoveEmptyDirectory SUB;KEY = 0"},
     .report = {"Deleted C:\\T\\SUB\\H.TXT", "Removed C:\\T\\SUB", "Removed C:\\T"},
     .console_shows = {"\rC:\\T\\SUB is password-protected.\r\n"},
     .ending = {"Deleted 1 file and 2 dirs"},
     .status = 0,
     .left = {}},
    {.name = "a directory whose removal gives 86 is retried with the typed password",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir}},
     .failures = {{"RemoveEmptyDirectory", "SUB", oserror::InvalidPassword}},
     .keys = "KEY\r",
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 0", "SetEntryAttributes SUB 32 = 0",
               "RemoveEmptyDirectory SUB = 86", "SetEntryAttributes SUB;KEY 32 = 0",
               "RemoveEmptyDirectory SUB;KEY = 0"},
     .report = {"Removed C:\\T\\SUB", "Removed C:\\T"},
     .ending = {"Deleted 0 files and 2 dirs"},
     .status = 0,
     .left = {}},
    {.name = "a directory's attribute change that gives 86 goes on to the removal, which asks",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir}},
     .failures = {{"SetEntryAttributes", "SUB", oserror::InvalidPassword},
                  {"RemoveEmptyDirectory", "SUB", oserror::InvalidPassword}},
     .keys = "KEY\r",
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 0", "SetEntryAttributes SUB 32 = 86",
               "RemoveEmptyDirectory SUB = 86", "SetEntryAttributes SUB;KEY 32 = 0",
               "RemoveEmptyDirectory SUB;KEY = 0"},
     .report = {"Removed C:\\T\\SUB", "Removed C:\\T"},
     .console_shows = {"\rC:\\T\\SUB is password-protected.\r\n"},
     .ending = {"Deleted 0 files and 2 dirs"},
     .status = 0,
     .left = {}},
    {.name = "SkipPasswords passes a protected file over without a question",
     .arguments = {"-W", "C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File, "SECRET"}},
     .watch = "F.TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 86", "EraseFile F.TXT = 86"},
     .report = {"Skipped password-protected C:\\T\\F.TXT",
                "Could not remove non-empty directory C:\\T"},
     .console_lacks = {"password-protected."},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"C:\\T 48", "C:\\T\\F.TXT 32"}},
    {.name = "a file search step that gives 86 passes its entry over and the search goes on",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F", File}, {"C:\\T\\G", File}, {"C:\\T\\H", File}},
     .failures = {{"FindNextEntry", "G", oserror::InvalidPassword, 1}},
     .watch = "G",
     .calls = {"FindNextEntry G = 86"},
     .report = {"Deleted C:\\T\\F", "Deleted C:\\T\\H",
                "Could not remove non-empty directory C:\\T"},
     .ending = {"Deleted 2 files and 0 dirs"},
     .status = 1,
     .left = {"C:\\T 48", "C:\\T\\G 32"}},
    // A listing cut short for lack of resources or by a device error, in the codes both systems
    // give, ends the run with the directory's full path and the cause, after what went before.
    {.name = "a file listing cut short for lack of memory ends the run",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F", File}, {"C:\\T\\G", File}, {"C:\\T\\H", File}},
     .failures = {{"FindNextEntry", "G", oserror::NotEnoughMemory, 1}},
     .watch = "G",
     .calls = {"FindNextEntry G = 8"},
     .report = {"Deleted C:\\T\\F"},
     .ending = {"Deleted 1 file and 0 dirs",
                "PROBLEM: Unable to read directory C:\\T: Not enough memory"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\G 32", "C:\\T\\H 32"}},
    {.name = "too many open files at a subdirectory's listing ends the run",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir}, {"C:\\T\\SUB\\H", File}},
     .failures = {{"FindFirstEntry", "H", oserror::TooManyOpenFiles, 1}},
     .watch = "H",
     .calls = {"FindFirstEntry H = 4"},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs",
                "PROBLEM: Unable to read directory C:\\T\\SUB: Too many open files"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\SUB 16", "C:\\T\\SUB\\H 32"}},
    {.name = "a device error in the subdirectory listing ends the run after the ones walked",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\A", Dir}, {"C:\\T\\B", Dir}},
     .failures = {{"FindNextEntry", "B", oserror::IoDevice, 1}},
     .watch = "FindNextEntry B",
     .calls = {"FindNextEntry B = 1117"},
     .report = {"Removed C:\\T\\A"},
     .ending = {"Deleted 0 files and 1 dir",
                "PROBLEM: Unable to read directory C:\\T: Problem reading from disk"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\B 16"}},
    {.name = "a drive not ready at the target's listing ends the run",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F", File}},
     .failures = {{"FindFirstEntry", "F", oserror::NotReady, 1}},
     .watch = "FindFirstEntry F",
     .calls = {"FindFirstEntry F = 21"},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs",
                "PROBLEM: Unable to read directory C:\\T: Drive not ready"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\F 32"}},
    {.name = "a lack of system resources at a listing ends the run",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F", File}},
     .failures = {{"FindFirstEntry", "F", oserror::NoSystemResources, 1}},
     .watch = "FindFirstEntry F",
     .calls = {"FindFirstEntry F = 1450"},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs",
                "PROBLEM: Unable to read directory C:\\T: Not enough system resources"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\F 32"}},
    {.name = "a listing refused for access passes the directory over as not empty",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir}, {"C:\\T\\SUB\\H", File}},
     .failures = {{"FindFirstEntry", "H", oserror::AccessDenied, 1}},
     .watch = "H",
     .calls = {"FindFirstEntry H = 5"},
     .report = {"Could not remove non-empty directory C:\\T\\SUB",
                "Could not remove non-empty directory C:\\T"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"C:\\T 48", "C:\\T\\SUB 48", "C:\\T\\SUB\\H 32"}},
    // Attribute changes: refused (5), of a file gone (2, 3), or failing for good, in words for
    // the cause.
    {.name = "a refused attribute change and a refused erase give one skip line and no question",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File}, {"C:\\T\\G.TXT", File}},
     .failures = {{"SetEntryAttributes", "F.TXT", oserror::AccessDenied},
                  {"EraseFile", "F.TXT", oserror::AccessDenied}},
     .watch = ".TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 5", "EraseFile F.TXT = 5",
               "SetEntryAttributes G.TXT 32 = 0", "EraseFile G.TXT = 0"},
     .report = {"Skipped attribute change on C:\\T\\F.TXT", "Deleted C:\\T\\G.TXT",
                "Could not remove non-empty directory C:\\T"},
     .console_lacks = {"password"},
     .ending = {"Deleted 1 file and 0 dirs"},
     .status = 1,
     .left = {"C:\\T 48", "C:\\T\\F.TXT 32"}},
    {.name = "a refused attribute change then a good erase reports both and is no failure",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File}},
     .failures = {{"SetEntryAttributes", "F.TXT", oserror::AccessDenied}},
     .watch = "F.TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 5", "EraseFile F.TXT = 0"},
     .report = {"Skipped attribute change on C:\\T\\F.TXT", "Deleted C:\\T\\F.TXT",
                "Removed C:\\T"},
     .ending = {"Deleted 1 file and 1 dir"},
     .status = 0,
     .left = {}},
    {.name = "a write-protected disk at a file's attribute change ends the run",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File}, {"C:\\T\\G.TXT", File}},
     .failures = {{"SetEntryAttributes", "F.TXT", oserror::WriteProtect}},
     .watch = ".TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 19"},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Disk is write-protected"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\F.TXT 32", "C:\\T\\G.TXT 32"}},
    {.name = "a drive not ready at a directory's attribute change ends the run",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir}, {"C:\\T\\SUB\\H", File}},
     .failures = {{"SetEntryAttributes", "SUB", oserror::NotReady}},
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 0", "SetEntryAttributes SUB 32 = 21"},
     .report = {"Deleted C:\\T\\SUB\\H"},
     .ending = {"Deleted 1 file and 0 dirs", "PROBLEM: Drive not ready"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\SUB 16"}},
    {.name = "a file gone at its attribute change ends the run as one gone at its erase",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File}, {"C:\\T\\G.TXT", File}},
     .failures = {{"SetEntryAttributes", "F.TXT", oserror::FileNotFound}},
     .watch = ".TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 2"},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to delete file F.TXT"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\F.TXT 32", "C:\\T\\G.TXT 32"}},
    {.name = "a file whose path is gone at its attribute change ends the run with its name",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File}, {"C:\\T\\G.TXT", File}},
     .failures = {{"SetEntryAttributes", "G.TXT", oserror::PathNotFound}},
     .watch = ".TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 0", "EraseFile F.TXT = 0",
               "SetEntryAttributes G.TXT 32 = 3"},
     .report = {"Deleted C:\\T\\F.TXT"},
     .ending = {"Deleted 1 file and 0 dirs", "PROBLEM: Unable to delete file G.TXT"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\G.TXT 32"}},
    {.name = "a write-protected disk at a directory's attribute change ends the run",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir}},
     .failures = {{"SetEntryAttributes", "SUB", oserror::WriteProtect}},
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 0", "SetEntryAttributes SUB 32 = 19"},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Disk is write-protected"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\SUB 16"}},
    {.name = "a read fault at a file's attribute change ends the run in its words",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File}},
     .failures = {{"SetEntryAttributes", "F.TXT", 30}},
     .watch = ".TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 30"},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Problem reading from disk"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\F.TXT 32"}},
    {.name = "a write fault at a directory's attribute change ends the run in its words",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir}},
     .failures = {{"SetEntryAttributes", "SUB", 29}},
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 0", "SetEntryAttributes SUB 32 = 29"},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Problem writing to disk"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\SUB 16"}},
    {.name = "a sharing violation at a file's attribute change ends the run with its number",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File}},
     .failures = {{"SetEntryAttributes", "F.TXT", oserror::SharingViolation}},
     .watch = ".TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 32"},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs",
                "PROBLEM: Unexpected error 32 occurred. Please check your DOS manual for details."},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\F.TXT 32"}},
    {.name = "a directory's attribute change that finds no path goes on to the removal",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir}},
     .failures = {{"SetEntryAttributes", "SUB", oserror::PathNotFound}},
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 0", "SetEntryAttributes SUB 32 = 3",
               "RemoveEmptyDirectory SUB = 0"},
     .report = {"Removed C:\\T\\SUB", "Removed C:\\T"},
     .ending = {"Deleted 0 files and 2 dirs"},
     .status = 0,
     .left = {}},
    // Device errors (the system's 19 to 31, 150 to 162 through the pending result) end the run
    // after the summary.
    {.name = "a drive not ready at an erase ends the run with the file's name",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F.TXT", File}, {"C:\\T\\G.TXT", File}},
     .failures = {{"EraseFile", "G.TXT", oserror::NotReady}},
     .watch = ".TXT",
     .calls = {"SetEntryAttributes F.TXT 32 = 0", "EraseFile F.TXT = 0",
               "SetEntryAttributes G.TXT 32 = 0", "EraseFile G.TXT = 152"},
     .report = {"Deleted C:\\T\\F.TXT"},
     .ending = {"Deleted 1 file and 0 dirs", "PROBLEM: Unable to delete file G.TXT"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\G.TXT 32"}},
    {.name = "a write-protected disk at a change into a subdirectory ends the run",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir}},
     .failures = {{"ChangeDirectory", "SUB", oserror::WriteProtect}},
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 150"},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Unable to change to SUB"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\SUB 16"}},
    {.name = "a general failure at a removal ends the run with the directory's full path",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir}, {"C:\\T\\SUB\\H", File}},
     .failures = {{"RemoveEmptyDirectory", "SUB", oserror::GeneralFailure}},
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 0", "SetEntryAttributes SUB 32 = 0",
               "RemoveEmptyDirectory SUB = 162"},
     .report = {"Deleted C:\\T\\SUB\\H"},
     .ending = {"Deleted 1 file and 0 dirs", "PROBLEM: Unable to remove directory C:\\T\\SUB"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\SUB 48"}},
    // Options and keys.
    {.name = "EmptyDirsOnly puts back the attributes of a directory that stays",
     .arguments = {"-E", "C:\\T"},
     .tree = {{"C:\\T", Dir},
              {"C:\\T\\SUB", Dir | HiddenAttribute | ReadOnlyAttribute},
              {"C:\\T\\SUB\\H", File},
              {"C:\\T\\EMPTY", Dir}},
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 0", "GetEntryAttributes SUB = 0",
               "SetEntryAttributes SUB 32 = 0", "RemoveEmptyDirectory SUB = 5",
               "SetEntryAttributes SUB 19 = 0"},
     .report = {"Skipping non-empty directory C:\\T\\SUB", "Removed C:\\T\\EMPTY",
                "Skipping non-empty directory C:\\T"},
     .ending = {"Deleted 0 files and 1 dir"},
     .status = 0,
     .left = {"C:\\T 16", "C:\\T\\SUB 19", "C:\\T\\SUB\\H 32"}},
    {.name = "ParentDelete climbs until a parent holds something else",
     .arguments = {"-P", "C:\\A\\B\\T"},
     .tree = {{"C:\\A", Dir},
              {"C:\\A\\KEEP", File},
              {"C:\\A\\B", Dir},
              {"C:\\A\\B\\T", Dir},
              {"C:\\A\\B\\T\\F", File}},
     .watch = "RemoveEmptyDirectory",
     .calls = {"RemoveEmptyDirectory C:\\A\\B\\T = 0", "RemoveEmptyDirectory B = 0",
               "RemoveEmptyDirectory A = 5"},
     .report = {"Deleted C:\\A\\B\\T\\F", "Removed C:\\A\\B\\T", "Removed C:\\A\\B",
                "Could not remove non-empty directory C:\\A"},
     .ending = {"Deleted 1 file and 2 dirs"},
     .status = 0,
     .left = {"C:\\A 48", "C:\\A\\KEEP 32"}},
    {.name = "Esc and yes stop the run with the entry worked on left as it is",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F", File}, {"C:\\T\\G", File}},
     .esc_before = {{"EraseFile", "F"}},
     .keys = "y",
     .watch = "EraseFile",
     .calls = {"EraseFile F = 0"},
     .report = {"Deleted C:\\T\\F"},
     .console_shows = {"You pressed ESC. Do you want to terminate program? (y/N) Yes\r\n"},
     .ending = {"Deleted 1 file and 0 dirs"},
     .status = 0,
     .left = {"C:\\T 16", "C:\\T\\G 32"}},
    {.name = "Esc and no go on with the walk where it was",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\F", File}, {"C:\\T\\G", File}},
     .esc_before = {{"EraseFile", "F"}},
     .keys = "n",
     .watch = "EraseFile",
     .calls = {"EraseFile F = 0", "EraseFile G = 0"},
     .report = {"Deleted C:\\T\\F", "Deleted C:\\T\\G", "Removed C:\\T"},
     .console_shows = {"You pressed ESC. Do you want to terminate program? (y/N) ", "\rWorking  "},
     .ending = {"Deleted 2 files and 1 dir"},
     .status = 0,
     .left = {}},
    // A drive's root is erased only after the question, and is never removed itself.
    {.name = "no at the drive-root question ends the run with nothing touched",
     .arguments = {"D:\\"},
     .tree = {{"D:\\F", File}, {"D:\\SUB", Dir}},
     .keys = "n",
     .watch = "EraseFile",
     .calls = {},
     .report = {},
     .console_shows = {"You're about to ERASE EVERYTHING using above option(s) on drive D:\r\n",
                       "Are you sure you want to proceed? (y/N) No\r\n"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 0,
     .left = {"D:\\F 32", "D:\\SUB 16"}},
    {.name = "yes at the drive-root question empties the drive and keeps its root",
     .arguments = {"d:"},
     .tree = {{"D:\\F", File}, {"D:\\SUB", Dir}, {"C:\\OTHER", File}},
     .keys = "y",
     .watch = "D:\\",
     .calls = {"ChangeDirectory D:\\ = 0", "SetEntryAttributes D:\\ 32 = 0",
               "RemoveEmptyDirectory D:\\ = 5", "ChangeDirectory D:\\ = 0"},
     .report = {"Deleted D:\\F", "Removed D:\\SUB", "Could not remove non-empty directory D:\\"},
     .console_shows = {"Are you sure you want to proceed? (y/N) Yes\r\n"},
     .ending = {"Deleted 1 file and 1 dir"},
     .status = 0,
     .left = {"C:\\OTHER 32"}},
    // A run-time error ends the run through the exit procedure, after the summary.
    {.name = "a directory nested too deep ends the run before anything is removed",
     .arguments = {"C:\\T"},
     .tree = Chain(MaxWalkDepth + 1),
     .watch = "RemoveEmptyDirectory",
     .calls = {},
     .report = {},
     .ending = {"Deleted 0 files and 0 dirs", "PROBLEM: Directories nested too deep!"},
     .status = 1,
     .left = Left(Chain(MaxWalkDepth + 1))},
    {.name = "a chain as deep as the walk goes is removed whole",
     .arguments = {"-D", "C:\\T"},
     .tree = Chain(MaxWalkDepth),
     .watch = "RemoveEmptyDirectory C:",
     .calls = {"RemoveEmptyDirectory C:\\T = 0"},
     .report = {},
     .ending = {"Deleted 0 files and " + std::to_string(MaxWalkDepth + 1) + " dirs"},
     .status = 0,
     .left = {}},
    // --dry-run: nothing reaches the layer but moves and searches; what the run would have erased
    // is hidden from the searches, so each directory shows as removed once it would be empty.
    {.name = "a dry run makes no attribute change, erase or removal and says what it would do",
     .arguments = {"--dry-run", "C:\\T"},
     .tree = {{"C:\\T", Dir},
              {"C:\\T\\F.TXT", File | ReadOnlyAttribute | HiddenAttribute | SystemAttribute},
              {"C:\\T\\SUB", Dir | HiddenAttribute | SystemAttribute},
              {"C:\\T\\SUB\\G", File | ReadOnlyAttribute}},
     .watch = "",
     .calls = {"ChangeDirectory C: = 0", "ChangeDirectory C:\\T = 0", "FindFirstEntry *.* 39 = 0",
               "FindFirstEntry *.* 23 = 0", "ChangeDirectory SUB = 0", "FindFirstEntry *.* 39 = 0",
               "FindFirstEntry *.* 23 = 0", "ChangeDirectory .. = 0",
               "FindFirstEntry C:\\T\\SUB\\*.* 63 = 0", "ChangeDirectory .. = 0",
               "FindFirstEntry C:\\T\\*.* 63 = 0", "ChangeDirectory C:\\ = 0",
               "ChangeDirectory C:\\ = 0"},
     .report = {"Would delete C:\\T\\F.TXT", "Would delete C:\\T\\SUB\\G",
                "Would remove C:\\T\\SUB", "Would remove C:\\T"},
     .console_shows = {"Using option(s): ShowDeleted Mask:*.* DryRun \r\n"},
     .ending = {"Would delete 2 files and 2 dirs"},
     .status = 0,
     .left = {"C:\\T 16", "C:\\T\\F.TXT 39", "C:\\T\\SUB 22", "C:\\T\\SUB\\G 33"}},
    {.name = "a dry run hides names that went with a typed password as the names themselves",
     .arguments = {"--dry-run", "C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir, "KEY"}, {"C:\\T\\SUB\\H.TXT", File}},
     .keys = "KEY\r",
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 86", "ChangeDirectory SUB;KEY = 0",
               "FindFirstEntry C:\\T\\SUB\\*.* 63 = 0"},
     .report = {"Would delete C:\\T\\SUB\\H.TXT", "Would remove C:\\T\\SUB", "Would remove C:\\T"},
     .console_shows = {"\rC:\\T\\SUB is password-protected.\r\n"},
     .ending = {"Would delete 1 file and 2 dirs"},
     .status = 0,
     .left = {"C:\\T 16", "C:\\T\\SUB 16", "C:\\T\\SUB\\H.TXT 32"}},
    // The layer names the target in its own letters once entered; the typed path stays in the
    // target's own line. The dry run's lines are the real run's (the row after).
    {.name = "a dry run climbs a path typed in other letters than the layer's",
     .arguments = {"--dry-run", "-P", "c:\\a\\b\\t"},
     .tree = {{"C:\\A", Dir},
              {"C:\\A\\KEEP", File},
              {"C:\\A\\B", Dir},
              {"C:\\A\\B\\T", Dir},
              {"C:\\A\\B\\T\\F", File}},
     .watch = "RemoveEmptyDirectory",
     .calls = {},
     .report = {"Would delete C:\\A\\B\\T\\F", "Would remove C:\\a\\b\\t", "Would remove C:\\A\\B",
                "Could not remove non-empty directory C:\\A"},
     .ending = {"Would delete 1 file and 2 dirs"},
     .status = 0,
     .left = {"C:\\A 16", "C:\\A\\KEEP 32", "C:\\A\\B 16", "C:\\A\\B\\T 16", "C:\\A\\B\\T\\F 32"}},
    {.name = "ParentDelete climbs a path typed in other letters than the layer's",
     .arguments = {"-P", "c:\\a\\b\\t"},
     .tree = {{"C:\\A", Dir},
              {"C:\\A\\KEEP", File},
              {"C:\\A\\B", Dir},
              {"C:\\A\\B\\T", Dir},
              {"C:\\A\\B\\T\\F", File}},
     .watch = "RemoveEmptyDirectory",
     .calls = {"RemoveEmptyDirectory C:\\a\\b\\t = 0", "RemoveEmptyDirectory B = 0",
               "RemoveEmptyDirectory A = 5"},
     .report = {"Deleted C:\\A\\B\\T\\F", "Removed C:\\a\\b\\t", "Removed C:\\A\\B",
                "Could not remove non-empty directory C:\\A"},
     .ending = {"Deleted 1 file and 2 dirs"},
     .status = 0,
     .left = {"C:\\A 48", "C:\\A\\KEEP 32"}},
    // What the layer says of an entry beyond a refusal's code names the line, and asks no password.
    {.name = "a file that stays marked for deletion is told pending and not counted",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\KEPT.TXT", File}, {"C:\\T\\G.TXT", File}},
     .causes = {{"EraseFile", "KEPT.TXT", 0, EntryCause::DeletePending}},
     .watch = "KEPT",
     .calls = {"SetEntryAttributes KEPT.TXT 32 = 0", "EraseFile KEPT.TXT = 0"},
     .report = {"Pending deletion (in use) C:\\T\\KEPT.TXT", "Deleted C:\\T\\G.TXT",
                "Could not remove non-empty directory C:\\T"},
     .ending = {"Deleted 1 file and 0 dirs"},
     .status = 1,
     .left = {"C:\\T 48", "C:\\T\\KEPT.TXT 32"}},
    {.name = "a directory another program holds is told in use and fails the run, under -E too",
     .arguments = {"-E", "C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir | HiddenAttribute}},
     .causes = {{"RemoveEmptyDirectory", "SUB", oserror::SharingViolation, EntryCause::InUse}},
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 0", "GetEntryAttributes SUB = 0",
               "SetEntryAttributes SUB 32 = 0", "RemoveEmptyDirectory SUB = 5",
               "SetEntryAttributes SUB 18 = 0"},
     .report = {"Could not remove directory in use C:\\T\\SUB",
                "Skipping non-empty directory C:\\T"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\SUB 18"}},
    {.name =
         "a directory that stays marked for deletion is told pending, its attributes not put back",
     .arguments = {"-E", "C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\SUB", Dir | HiddenAttribute}},
     .causes = {{"RemoveEmptyDirectory", "SUB", 0, EntryCause::DeletePending}},
     .watch = "SUB",
     .calls = {"ChangeDirectory SUB = 0", "GetEntryAttributes SUB = 0",
               "SetEntryAttributes SUB 32 = 0", "RemoveEmptyDirectory SUB = 0"},
     .report = {"Pending deletion (in use) C:\\T\\SUB", "Skipping non-empty directory C:\\T"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"C:\\T 16", "C:\\T\\SUB 48"}},
    {.name = "a subdirectory whose name the system cannot open is told and passed over",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\BAD", Dir}, {"C:\\T\\BAD\\X", File}, {"C:\\T\\G", File}},
     .causes = {{"ChangeDirectory", "BAD", oserror::AccessDenied, EntryCause::InvalidName}},
     .watch = "BAD",
     .calls = {"ChangeDirectory BAD = 5"},
     .report = {"Deleted C:\\T\\G", "Skipped invalid name C:\\T\\BAD",
                "Could not remove non-empty directory C:\\T"},
     .console_lacks = {"password-protected"},
     .ending = {"Deleted 1 file and 0 dirs"},
     .status = 1,
     .left = {"C:\\T 48", "C:\\T\\BAD 16", "C:\\T\\BAD\\X 32"}},
    {.name = "a link the layer will not open as itself is told as a link",
     .arguments = {"C:\\T"},
     .tree = {{"C:\\T", Dir}, {"C:\\T\\LNK", File}},
     .failures = {{"EraseFile", "LNK", oserror::AccessDenied}},
     .causes = {{"SetEntryAttributes", "LNK", oserror::AccessDenied, EntryCause::Link}},
     .watch = "LNK",
     .calls = {"SetEntryAttributes LNK 32 = 5", "EraseFile LNK = 5"},
     .report = {"Skipped link C:\\T\\LNK", "Could not remove non-empty directory C:\\T"},
     .console_lacks = {"password-protected", "Skipped attribute change"},
     .ending = {"Deleted 0 files and 0 dirs"},
     .status = 1,
     .left = {"C:\\T 48", "C:\\T\\LNK 32"}},
};

void PrintTo(const EngineCase& c, std::ostream* os) {
  *os << c.name;
}

class EngineRun : public ::testing::TestWithParam<EngineCase> {};

TEST_P(EngineRun, MakesTheCallsReportsAndEndsAsExpected) {
  const EngineCase& c = GetParam();
  RunResult run = RunCase(c);
  std::vector<std::string> watched;
  for (const std::string& line : run.calls)
    if (line.find(c.watch) != std::string::npos)
      watched.push_back(line);
  EXPECT_EQ(watched, c.calls);
  EXPECT_EQ(ShownLines(run.out), c.report);
  ExpectConsole(run.console, c.console_shows, c.console_lacks, c.ending);
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.left, c.left);
}

std::string CaseName(const ::testing::TestParamInfo<EngineCase>& info) {
  return CaseTestName(info.param.name);
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineRun, ::testing::ValuesIn(kCases), CaseName);

} // namespace
