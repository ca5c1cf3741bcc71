// Masks and names as UTF-8 text: counted in characters and upper-cased beyond A to Z, with stray
// bytes left as they are and no sequence ever split.
#include "platform/dos/utf8_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8TextTest, CountsCharactersNotBytes) {
  struct Case {
    std::string text;
    std::size_t chars;
  };
  const Case cases[] = {
      {"", 0},
      {"*.BAK", 5},
      {"αβγδεζηθικλμ", 12},
      {"ÉTÉ-À-NOËL.*", 12},
      {"€€€", 3},
      {"\xF0\x9F\x98\x80", 1},
      {"\xFF\xFE", 2},     // stray bytes count one each
      {"\xCE", 1},         // a sequence cut off
      {"\xC0\xAF", 2},     // an overlong form is no character
      {"\xED\xA0\x80", 3}, // nor a surrogate
  };
  for (const Case& c : cases)
    EXPECT_EQ(CountChars(c.text), c.chars) << c.text;
}

TEST(Utf8TextTest, UpperCasesLettersBeyondAToZ) {
  struct Case {
    std::string text;
    std::string upper;
  };
  const Case cases[] = {
      {"", ""},
      {"*.bak", "*.BAK"},
      {"été*", "ÉTÉ*"},
      {"aαβγδεζ", "AΑΒΓΔΕΖ"},
      {"άέήίόύώϊϋς", "ΆΈΉΊΌΎΏΪΫΣ"},
      {"жёлтый", "ЖЁЛТЫЙ"},
      {"šžčőű", "ŠŽČŐŰ"},
      {"ÿ", "Ÿ"},
      {"ß÷µ", "ß÷µ"}, // no capital of one letter: left as it is
      {"ΆΒΓ", "ΆΒΓ"},
      {"\xE9t\xE9", "\xE9T\xE9"}, // stray bytes (not UTF-8) stay as they are
      {"a\xCE", "A\xCE"},         // a cut-off sequence is not split or changed
      {"\xC3\xA9\xCE", "\xC3\x89\xCE"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(UpperCaseText(c.text), c.upper) << c.text;
}

} // namespace
