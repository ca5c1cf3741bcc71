// One run of the real program flow inside a test program: options, set-up, walk, summary and exit
// report, over whatever bodies of the services the test program links (in-memory ones for the
// engine tests, the system's own for the fault tests). Every run ends its process, so it runs in
// a child of its own.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

struct FlowRun {
  int status = -1;     // exit status, or minus the signal that ended the child
  std::string out;     // standard output: the report lines
  std::string console; // standard error, a raw pseudo-terminal: every byte as written
};

// Starts the console with the program's name and `arguments`, then runs the program flow, in a
// forked child; `prepare` runs in the child first (scripts, working directory, standard input).
FlowRun RunProgramFlow(const std::vector<std::string>& arguments,
                       const std::function<void()>& prepare);

// Reads a temporary file from its start to its end and closes it.
std::string ReadAllAndClose(std::FILE* file);

// The checks both tables make of a run's console: `shows` appear in this order, `lacks` never
// appear, and the console's last shown lines (the summary and any problem line) are `ending`.
void ExpectConsole(const std::string& console, const std::vector<std::string>& shows,
                   const std::vector<std::string>& lacks, const std::vector<std::string>& ending);

// A test name made of a case's description: its words joined, each begun with a capital.
std::string CaseTestName(const char* description);
