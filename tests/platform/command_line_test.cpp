// Splitting of the command line into the program's arguments with the DOS quote rules.
#include "platform/dos/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::string_view_literals;
using Words = std::vector<std::string>;

struct LineCase {
  std::string_view line;
  Words words;
};

const LineCase kLineCases[] = {
    // Words and the blanks between them; the program name is dropped.
    {"", {}},
    {"prog", {}},
    {"prog   ", {}},
    {"   ", {}},
    {"prog -d C:\\OLD", {"-d", "C:\\OLD"}},
    {"  prog\t-d \t  x  ", {"-d", "x"}},
    {"prog q\x01r\x1Fs", {"q", "r", "s"}},
    {"prog a!b~c \x7Fz", {"a!b~c", "\x7Fz"}},
    {"prog caf\xC3\xA9 \xFF\x80", {"caf\xC3\xA9", "\xFF\x80"}},
    {"\"C:\\Program Files\\vakrun.exe\" -d", {"-d"}},
    {"\"\" a", {"a"}},

    // Double quotes group blanks into a word and are themselves dropped.
    {"prog \"C:\\OLD DIR\" -d", {"C:\\OLD DIR", "-d"}},
    {"prog C:\\\"OLD DIR\"\\SUB", {"C:\\OLD DIR\\SUB"}},
    {"prog \"a\tb\"", {"a\tb"}},
    {"prog a\"b c\"d e", {"ab cd", "e"}},
    {"prog \"a\" \"b\"", {"a", "b"}},
    {"prog \"a\"\"b\"", {"ab"}},
    {"prog \"a\"\" b\"", {"a b"}},
    {"prog a\\\"b", {"a\\b"}},

    // Single quotes follow the same rules.
    {"prog it''s", {"its"}},
    {"prog 'OLD DIR'", {"OLD DIR"}},
    {"prog 'a''b c'", {"ab c"}},

    // Inside one kind of quote the other is an ordinary character.
    {"prog \"it's here\"", {"it's here"}},
    {"prog 'say \"hi\" now'", {"say \"hi\" now"}},
    {"prog '\"\"'", {"\"\""}},
    {"prog \"''\"", {"''"}},
    {"prog \"'\"x'", {"'x'"}},

    // A word made only of quotes is an empty argument.
    {"prog \"\"", {""}},
    {"prog ''", {""}},
    {"prog \"\" ''  \"\"\"\"", {"", "", ""}},
    {"prog a \"\" b", {"a", "", "b"}},

    // An unclosed double quote runs to the end of the line.
    {"prog \"OLD DIR  ", {"OLD DIR  "}},
    {"prog \"\"\"", {""}},
    {"prog a\" b\tc", {"a b\tc"}},
    {"prog \"it's", {"it's"}},

    // A single quote that no later one closes is an ordinary character: an apostrophe.
    {"prog it's", {"it's"}},
    {"prog it's -d", {"it's", "-d"}},
    {"prog 'a b", {"'a", "b"}},
    {"prog a'", {"a'"}},
    {"prog '", {"'"}},
    {"prog '''", {"'"}},
    {"prog x '' it's", {"x", "", "it's"}},
    {"prog 'it''s", {"'its"}},
    {"prog \"rock 'n' roll\" don't", {"rock 'n' roll", "don't"}},
    {"prog 'a b' it's", {"a b", "it's"}},
    // A later quote closes it, wherever it stands: closed quotes keep their rules.
    {"prog it's 'x'", {"its x'"}},
    {"prog don't won't", {"dont wont"}},

    // Code 0 ends the line.
    {"prog a\0b c"sv, {"a"}},
    {"prog a \0 b"sv, {"a"}},
    {"\0prog a"sv, {}},
    {"prog \"a\0b\""sv, {"a"}},
};

TEST(SplitCommandLine, FollowsTheQuoteRules) {
  for (const LineCase& c : kLineCases)
    EXPECT_EQ(SplitCommandLine(c.line), c.words) << "line [" << c.line << "]";
}

// Nothing is cut at 255: long words and many words come through whole.
TEST(SplitCommandLine, KeepsLongWordsAndManyWords) {
  const std::string long_word(1000, 'x');
  EXPECT_EQ(SplitCommandLine("prog \"" + long_word + " " + long_word + "\" -d"),
            (Words{long_word + " " + long_word, "-d"}));

  std::string line = "prog";
  Words expected;
  for (int i = 0; i < 400; ++i) {
    line += " w" + std::to_string(i);
    expected.push_back("w" + std::to_string(i));
  }
  EXPECT_EQ(SplitCommandLine(line), expected);
}

} // namespace
