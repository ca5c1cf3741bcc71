// Key reading of the console utilities on POSIX systems: the Greek-layout translation and masked
// entry, fed through a pipe on standard input (read lazily by the keyboard layer) and with their
// console output caught from standard error.
#include "console/keyboard.h"
#include "console/prompts.h"
#include "platform/console.h"
#include "platform/console/process.h"
#include "tests/console/answer_keys.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace std::string_literals;

// The write end of a pipe that stands in for the keyboard. It stays open, so a read waits for
// the next bytes instead of meeting the end of the input.
int KeyboardPipe() {
  static int write_end = [] {
    int ends[2];
    if (pipe(ends) != 0)
      return -1;
    dup2(ends[0], 0);
    close(ends[0]);
    return ends[1];
  }();
  return write_end;
}

// Puts keys on standard input; every test reads all that it types.
void Type(const std::string& keys) {
  ASSERT_GE(KeyboardPipe(), 0);
  ASSERT_FALSE(KeyAvailable()) << "keys left over from an earlier case";
  ASSERT_EQ(write(KeyboardPipe(), keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
}

// A screen for the console stream: a pseudo-terminal that passes the bytes as written. The
// console is started once with it as standard error, so that it writes as on a screen.
struct Screen {
  int master = -1;
  int slave = -1;
};

const Screen& TestScreen() {
  static const Screen screen = [] {
    Screen opened;
    struct termios modes;
    if (openpty(&opened.master, &opened.slave, nullptr, nullptr, nullptr) != 0)
      return opened;
    tcgetattr(opened.slave, &modes);
    cfmakeraw(&modes);
    tcsetattr(opened.slave, TCSANOW, &modes);
    KeyboardPipe();
    int saved = dup(2);
    dup2(opened.slave, 2);
    char name[] = "keys_test";
    char* argv[] = {name, nullptr};
    StartConsole(1, argv);
    dup2(saved, 2);
    close(saved);
    return opened;
  }();
  return screen;
}

// Catches what the console stream writes (standard error, on the screen) while `action` runs.
template <typename Action> std::string ConsoleOutputOf(Action action) {
  const Screen& screen = TestScreen();
  FlushOutput();
  std::fflush(stderr);
  int saved = dup(2);
  dup2(screen.slave, 2);
  action();
  FlushOutput();
  dup2(saved, 2);
  close(saved);
  std::string output;
  char buffer[4096];
  struct pollfd request = {screen.master, POLLIN, 0};
  while (poll(&request, 1, 0) > 0) {
    ssize_t got = read(screen.master, buffer, sizeof buffer);
    if (got <= 0)
      break;
    output.append(buffer, static_cast<std::size_t>(got));
  }
  return output;
}

// Greek letters come in UTF-8 and reach the table as their code page 737 bytes.
TEST(ReadKeyLatinTest, GreekLayoutLettersBecomeTheLatinLettersOfTheirKeys) {
  struct Case {
    std::string typed;
    std::uint8_t key;
  };
  const Case cases[] = {
      {"υ", 'y'},
      {"Υ", 'Y'},
      {"ύ", 'y'},
      {"ϋ", 'y'},
      {"ς", 'w'},
      {"σ", 's'},
      {"ώ", 'v'},
      {"ω", 'v'},
      {"Α", 'A'},
      {"Ω", 'V'},
      {"α", 'a'},
      {"ψ", 'c'},
      {"ϊ", 'i'},
      {"ί", 'i'},
      // Not in the table: ASCII, the capitals with an accent, and what code page 737 lacks.
      {"y", 'y'},
      {"Y", 'Y'},
      {"7", '7'},
      {"?", '?'},
      {"Ά", 234},
      {"░", '?'},
      {"ô", '?'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Type(c.typed);
    EXPECT_EQ(ReadKeyLatin(), c.key);
  }
}

TEST(ReadKeyLatinTest, SecondByteOfAnExtendedKeyIsNotTranslated) {
  // F11 is 0 and 133, and 133 is also the capital zeta of the table.
  Type("\x1b[23~"s + "υ");
  EXPECT_EQ(ReadKeyLatin(), 0);
  EXPECT_EQ(ReadKeyLatin(), 133);
  EXPECT_EQ(ReadKeyLatin(), 'y');
}

// A terminal sends Greek letters in UTF-8; they reach the translation as code page 737 keys.
TEST(ReadKeyLatinTest, GreekLettersTypedInUtf8) {
  const std::string typed = "υΥύϋςσώωνΝα";
  Type(typed);
  std::string latin;
  for (int i = 0; i < 11; ++i)
    latin += static_cast<char>(ReadKeyLatin());
  EXPECT_EQ(latin, "yYyywsvvnNa");
}

TEST(AskYesNoTest, OnlyTheYKeyAnswersYes) {
  for (const AnswerKeys& c : AnswerKeyCases) {
    if (!c.read_whole)
      continue; // the keyboard pipe stays open: the question would wait, or keys would be left
    SCOPED_TRACE(c.keys);
    Type(c.keys);
    std::string output = ConsoleOutputOf([&] { EXPECT_EQ(AskYesNo(), c.yes); });
    EXPECT_EQ(output, "") << "the answer is not echoed";
  }
}

TEST(ReadMaskedTest, EntriesAndWhatTheyShow) {
  struct Case {
    const char* what;
    std::string keys;
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"25 letters", "abcdefghijklmnopqrstuvwxy\r", "abcdefghijklmnopqrst", std::string(20, '*')},
      {"Backspace on empty text", "\b\x7f\r", "", ""},
      {"Backspace", "ab\bc\r", "ac", "**\b \b*"},
      {"Enter on empty text", "\r", "", ""},
      {"Esc", "\x1b", "\0"s, ""},
      {"Esc after letters", "pw\x1b", "\0"s, "**"},
      {"an arrow key stores two bytes", "a\x1b[A\r", "a\0\x48"s, "**"},
      {"one Backspace removes both", "a\x1b[A\b\r", "a", "**\b \b"},
      {"an arrow key alone", "\x1b[B\b\r", "", "*\b \b"},
      {"a full entry takes no arrow", "abcdefghijklmnopqrs\x1b[A\r", "abcdefghijklmnopqrs\0"s,
       std::string(19, '*')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Type(c.keys);
    std::string text;
    std::string shown = ConsoleOutputOf([&] { text = ReadMasked(20); });
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(shown, c.shown);
  }
}

TEST(EscPressedTest, ReadsOneKeyPerCall) {
  ASSERT_GE(KeyboardPipe(), 0);
  EXPECT_FALSE(EscPressed()); // nothing typed: answers at once
  Type("x\x1b[A\x1bq");
  EXPECT_FALSE(EscPressed()); // x
  EXPECT_FALSE(EscPressed()); // both bytes of the arrow key
  EXPECT_TRUE(EscPressed());
  EXPECT_FALSE(EscPressed()); // q
  EXPECT_FALSE(KeyAvailable());
}

} // namespace
