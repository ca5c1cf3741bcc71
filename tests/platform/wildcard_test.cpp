// The masks the program hands to the directory search, matched the way FindFirstFile matches
// long names. Every build is held to this one table.
#include "platform/dos/wildcard.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

struct MaskCase {
  std::string_view mask;
  std::string_view name;
  bool matches;
};

constexpr MaskCase kMaskCases[] = {
    // "*.*" and "*" take every name, with or without dots.
    {"*.*", "a", true},
    {"*.*", "a.b", true},
    {"*.*", ".hidden", true},
    {"*.*", "noext", true},
    {"*.*", "x.y.z", true},
    {"*.*", "trailing.", true},
    {"*", "a", true},
    {"*", "a.b", true},
    {"*", ".hidden", true},
    {"*", "noext", true},
    {"*", "x.y.z", true},

    // A "*" before a dot stops at the name's last dot but may take earlier ones.
    {"*.BAK", "x.bak", true},
    {"*.BAK", "A.B.BAK", true},
    {"*.BAK", ".bak", true},
    {"*.BAK", "x.bakup", false},
    {"*.BAK", "bak", false},
    {"*.BAK", "xbak", false},
    {"*.BAK", "x.bak.old", false},
    {"*.Z", "x.y.z", true},
    {"*.Y", "x.y.z", false},
    {"*.?", "x.y.z", true},
    {"A*.TXT", "ab.c.txt", true},
    {"A*.TXT", "b.txt", false},

    // A dot before a wildcard may also match the end of a name.
    {"a.*", "a", true},
    {"a.*", "a.txt", true},
    {"a.*", "a.b.c", true},
    {"a.*", "ab", false},
    {"a.*", "b.txt", false},
    {".*", ".profile", true},
    {".*", "profile", false},
    {"*.*.*", "abc", true},
    {"*.*.*", "a.b.c", true},

    // "?" takes one character, or nothing at a dot or at the end of the name.
    {"?", "a", true},
    {"?", "ab", false},
    {"?", ".", false},
    {"a?", "a", true},
    {"a?", "ab", true},
    {"a?", "abc", false},
    {"a?c", "ac", false},
    {"a?.txt", "a.txt", true},
    {"a?.txt", "ab.txt", true},
    {"a?.txt", "abc.txt", false},
    {"a??.txt", "a.txt", true},
    {"????????.???", "a.b", true},
    {"????????.???", "a", true},
    {"????????.???", "abcdefgh.txt", true},
    {"????????.???", "abcdefghi.txt", false},
    {"????????.???", "abcdefgh.text", false},
    {"????????.???", "a.b.c", false},
    {"?.?", "a.b", true},
    {"?.?", "a.b.c", false},
    {"?profile", ".profile", false},
    {"?.profile", ".profile", true},

    // A trailing "." after a "*" selects names without an extension.
    {"*.", "noext", true},
    {"*.", "trailing.", true},
    {"*.", "a.txt", false},
    {"*.", ".profile", false},
    {"?.", "a", true},
    {"?.", "ab", false},

    // Names that begin with a dot.
    {"*.profile", ".profile", true},
    {"*.PROFILE", "x.profile", true},
    {"*profile", ".profile", true},
    {".profile", ".profile", true},
    {".profile", "profile", false},

    // Plain names: the whole name, letter case ignored.
    {"README", "readme", true},
    {"readme", "README", true},
    {"README", "readme.txt", false},
    {"README.TXT", "readme", false},
    {"*.TXT", "Read.Me.txt", true},
    {"*.TXT", "Read.Me.tXt", true},
    {"A*Z", "abcz", true},
    {"A*Z", "abc", false},
    {"*A*", "xxAyy", true},
    {"*A*", "xxyy", false},
    {"*?*?*?", "ab", true},
    {"*?*?*?", "abc", true},

    // Letters beyond A to Z fold as the Windows name comparison folds them, one letter for one;
    // stray bytes (no UTF-8) and other characters must be the same.
    {"\xC3\x89.TXT", "\xC3\x89.txt", true},
    {"\xC3\x89.TXT", "\xC3\xA9.txt", true},
    {"\xC3\x89T\xC3\x89*", "\xC3\x89t\xC3\xA9.txt", true}, // ÉTÉ* takes Été.txt
    {"\xC3\xA9t\xC3\xA9*", "\xC3\x89T\xC3\x89.TXT", true}, // été* takes ÉTÉ.TXT
    {"\xC3\x89*", "e.txt", false},                         // É is not E
    {"\xC3\x89*", "\xC3\xA8.txt", false},                  // nor È
    {"\xCE\x91\xCE\x92\xCE\x93*", "\xCE\xB1\xCE\xB2\xCE\xB3\xCE\xB4", true}, // ΑΒΓ* takes αβγδ
    {"\xCE\xA3", "\xCF\x82", true},                                          // Σ takes ς
    {"\xCE\xA3", "\xCF\x83", true},                                          // and σ
    {"\xCE\x8F", "\xCF\x8E", true},                                          // Ώ takes ώ
    {"\xD0\x96*", "\xD0\xB6\xD1\x83\xD0\xBA", true},                         // Ж* takes жук
    {"\xC5\xA0", "\xC5\xA1", true},                                          // Š takes š
    {"\xC5\xB8", "\xC3\xBF", true},                                          // Ÿ takes ÿ
    {"SS", "\xC3\x9F", false}, // ß is one letter, never SS
    {"\xC9", "\xE9", false},   // stray bytes stay as they are
    {"\xE9", "\xE9", true},
    {"\xC3\xB7", "\xC3\x97", false}, // ÷ and × are no letters
    {"[", "[", true},
    {"@", "`", false},

    // A well-formed UTF-8 sequence is one character; stray bytes count one each.
    {"?", "\xC3\xA9", true},
    {"x?y", "x\xC3\xA9y", true},
    {"x?y", "x\xE2\x82\xACy", true},
    {"x?y", "x\xF0\x9F\x98\x80y", true},
    {"x?y", "x\xFF\xFEy", false},
    {"x??y", "x\xFF\xFEy", true},
    {"?", "\xC0\xAF", false},         // overlong form of "/"
    {"?", "\xE0\x9F\xBF", false},     // overlong three-byte form
    {"?", "\xF0\x8F\xBF\xBF", false}, // overlong four-byte form
    {"?", "\xED\xA0\x80", false},     // encoded UTF-16 surrogate
    {"?", "\xF4\x90\x80\x80", false}, // beyond U+10FFFF
    {"?", "\xC3", true},              // cut-off sequence: one stray byte
    {"?", "\xC3Z", false},
    {"??", "\xC3Z", true},
    {"\xC3\xA9", "\xC3\xA9", true},

    // Empty texts: no directory entry has an empty name.
    {"*", "", false},
    {"*.*", "", false},
    {"?", "", false},
    {"", "a", false},
    {"", "", true},
};

TEST(MatchesMask, FollowsTheLongNameRules) {
  for (const MaskCase& c : kMaskCases)
    EXPECT_EQ(MatchesMask(c.mask, c.name), c.matches)
        << "mask \"" << c.mask << "\", name \"" << c.name << "\"";
}

// Names may be thousands of bytes long; masks full of stars must still be decided at once.
TEST(MatchesMask, LongNamesStayCheap) {
  const std::string many_a(5000, 'a');
  const std::string dotted = many_a + "." + many_a + ".bak";
  const struct {
    std::string_view mask;
    std::string name;
    bool matches;
  } cases[] = {
      {"*A*A*A*A*A*B", many_a, false}, {"*A*A*A*A*A*B", many_a + "b", true},
      {"*?*?*?*?*?*?", many_a, true},  {"*?*?*?*?*?*X", many_a, false},
      {"*.BAK", dotted, true},         {"*.*.BAK", dotted, true},
      {"*.A", dotted, false},          {"????????.???", many_a, false},
      {"*", many_a + many_a, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchesMask(c.mask, c.name), c.matches)
        << "mask \"" << c.mask << "\", name of " << c.name.size() << " bytes";
}

} // namespace
