// The text helpers of the console utilities and the two mask tests of the option reader: ASCII
// upper-casing, the singular or plural word, which masks are accepted and which take every file.
#include "app/options.h"
#include "console/prompts.h"
#include "engine/walk.h"
#include "platform/dos/letter_case.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace std::string_literals;

TEST(UpperCaseStringTest, ChangesOnlyTheLettersAToZ) {
  struct Case {
    std::string text;
    std::string upper;
  };
  const Case cases[] = {
      {"", ""},
      {"c:\\temp\\old.*", "C:\\TEMP\\OLD.*"},
      {"az AZ 09 `{@[", "AZ AZ 09 `{@["}, // the neighbours of a-z and A-Z stay
      {"-m*.txt", "-M*.TXT"},
      // Code page 737 letters (alpha, small upsilon, omega) and other bytes from 128 up stay.
      {"\x98\xAC\xE0x\x80\xFF", "\x98\xAC\xE0X\x80\xFF"},
      {"a\0b"s, "A\0B"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(UpperCaseString(c.text), c.upper);
  }
  for (int code = 0; code < 256; ++code) {
    char c = static_cast<char>(code);
    char expected = code >= 'a' && code <= 'z' ? static_cast<char>(code - 32) : c;
    EXPECT_EQ(UpperCaseChar(c), expected) << code;
  }
}

TEST(ChooseByCountTest, OneAndMinusOneTakeTheSingular) {
  struct Case {
    std::int64_t count;
    std::string_view word;
  };
  const Case cases[] = {{1, "one"},      {-1, "one"},    {0, "several"},
                        {-3, "several"}, {2, "several"}, {65537, "several"}};
  for (const Case& c : cases)
    EXPECT_EQ(ChooseByCount(c.count, "one", "several"), c.word) << c.count;
}

TEST(MaskTest, ValidMasks) {
  struct Case {
    std::string_view mask;
    bool valid;
  };
  const Case cases[] = {
      {"", false},     {"*.*", true},     {".", true},    {"?", true},         {"A B", true},
      {"*.TXT", true}, {"\xE0*", true},   {"A+B", false}, {"A,B", false},      {"A/B", false},
      {"C:*", false},  {"A;PW", false},   {"<", false},   {"=", false},        {">", false},
      {"[A]", false},  {"DIR\\*", false}, {"]", false},   {"*!#$%&'()", true}, {"~-_^", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsValidMask(c.mask), c.valid) << c.mask;
}

TEST(MaskTest, MasksThatCoverEveryFile) {
  struct Case {
    std::string_view mask;
    bool covers_all;
  };
  const Case cases[] = {
      {"*.*", true},          {"*", true},
      {"*.", true},           {".*", true},
      {"**", true},           {"?*", true},
      {"????????.???", true}, {"", false},
      {".", false},           {"?", false},
      {"???", false},         {"?.?", false},
      {"????????.??", false}, {"???????.???", false},
      {"*.TXT", false},       {"A*", false},
      {"*1", false},          {"* ", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MaskCoversAll(c.mask), c.covers_all) << c.mask;
}

} // namespace
