#include "flow_run.h"

#include <cerrno>
#include <cstdio>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/program_flow.h"
#include "harness.h"
#include "platform/console.h"
#include "report_lines.h"

std::string ReadAllAndClose(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    text.append(chunk, got);
  std::fclose(file);
  return text;
}

void ExpectConsole(const std::string& console, const std::vector<std::string>& shows,
                   const std::vector<std::string>& lacks, const std::vector<std::string>& ending) {
  std::size_t at = 0;
  for (const std::string& text : shows) {
    std::size_t found = console.find(text, at);
    EXPECT_NE(found, std::string::npos) << "console lacks, in order: " << Visible(text);
    if (found != std::string::npos)
      at = found + text.size();
  }
  for (const std::string& text : lacks)
    EXPECT_EQ(console.find(text), std::string::npos) << "console shows: " << Visible(text);
  std::vector<std::string> shown = ShownLines(console);
  ASSERT_GE(shown.size(), ending.size()) << Visible(console);
  EXPECT_EQ(std::vector<std::string>(shown.end() - static_cast<long>(ending.size()), shown.end()),
            ending)
      << Visible(console);
}

std::string CaseTestName(const char* description) {
  std::string name;
  bool capital = true;
  for (const char* p = description; *p != '\0'; ++p) {
    char c = *p;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      name += capital && c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
      capital = false;
    } else {
      capital = true;
    }
  }
  return name;
}

FlowRun RunProgramFlow(const std::vector<std::string>& arguments,
                       const std::function<void()>& prepare) {
  std::FILE* out = std::tmpfile();
  // The console is a screen, a raw pseudo-terminal that passes the bytes as they are, so that the
  // progress line, the masked echo and the line clearing are there to check.
  int screen = -1, screen_side = -1;
  if (out == nullptr || openpty(&screen, &screen_side, nullptr, nullptr, nullptr) != 0)
    return {};
  struct termios modes;
  tcgetattr(screen_side, &modes);
  cfmakeraw(&modes);
  tcsetattr(screen_side, TCSANOW, &modes);
  std::fflush(nullptr);
  pid_t child = fork();
  if (child < 0)
    return {};
  if (child == 0) {
    close(screen);
    dup2(fileno(out), 1);
    dup2(screen_side, 2);
    close(screen_side);
    prepare();
    std::vector<std::string> words = {"vakrun"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
      argv.push_back(word.data());
    StartConsole(static_cast<int>(argv.size()), argv.data());
    ProgramFlow();
  }
  FlowRun result;
  close(screen_side);
  // Read the screen until the child's side is closed (EIO), so that it never fills up.
  char buffer[4096];
  for (;;) {
    ssize_t got = read(screen, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      break;
    result.console.append(buffer, static_cast<std::size_t>(got));
  }
  close(screen);
  int status = 0;
  waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  result.out = ReadAllAndClose(out);
  return result;
}
