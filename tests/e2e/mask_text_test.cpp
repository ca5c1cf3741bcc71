// Masks as the user types them: never cut (a cut mask takes more files than the one typed), counted
// in characters rather than bytes, echoed whole, and matched with letter case beyond A to Z.
#include <filesystem>

#include "harness.h"
#include "report_lines.h"

namespace {

class MaskTextTest : public TempFolderTest {};

TEST_F(MaskTextTest, MaskOfMoreThanTwelveCharactersIsRefusedWhole) {
  struct Case {
    std::string mask;
    std::string shown;
  };
  const Case cases[] = {
      // Cut to 12, this would be BACKUP-2024* and take the notes too.
      {"backup-2024*.tar", "BACKUP-2024*.TAR"}, {"abcdefghijklm", "ABCDEFGHIJKLM"},
      {"*************", "*************"},       {"αβγδεζηθικλμν", "ΑΒΓΔΕΖΗΘΙΚΛΜΝ"},
      {"été-à-noël.txt", "ÉTÉ-À-NOËL.TXT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    MakeTree(root, {"t/backup-2024-notes.txt=keep", "t/backup-2024.tar=x", "t/αβγδεζηθικλμν=x"});
    RunResult run = RunVakrun({"-M" + c.mask, "t"}, Options());
    EXPECT_EQ(Visible(run.out), Visible(AsWritten("Using option(s): " +
                                                  Problem("Invalid mask \"" + c.shown + "\""))));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ListTree(root),
              (std::vector<std::string>{"t/", "t/backup-2024-notes.txt=keep", "t/backup-2024.tar=x",
                                        "t/αβγδεζηθικλμν=x"}));
    std::filesystem::remove_all(Path("t"));
  }
}

// Twelve characters are a valid mask however many bytes they take, and the echo shows every one
// of them whole, upper-cased beyond A to Z.
TEST_F(MaskTextTest, TwelveCharactersOfAnyScriptAreAMask) {
  struct Case {
    std::string mask;
    std::string shown;
    std::vector<std::string> left;
  };
  const std::string accented = "t/été-à-noël.txt=x", eleven = "t/αβγδεζηθικλ=x",
                    twelve = "t/αβγδεζηθικλμ=x", thirteen = "t/αβγδεζηθικλμν=x";
  const Case cases[] = {
      {"αβγδεζηθικλμ", "ΑΒΓΔΕΖΗΘΙΚΛΜ", {"t/", accented, eleven, thirteen}},
      {"été-à-noël.*", "ÉTÉ-À-NOËL.*", {"t/", eleven, twelve, thirteen}},
      {"*λμ", "*ΛΜ", {"t/", accented, eleven, thirteen}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    MakeTree(root, {accented, eleven, twelve, thirteen});
    RunResult run = RunVakrun({"-F", "-M" + c.mask, "t"}, Options());
    EXPECT_TRUE(run.out.starts_with(Echo("FilesOnly ShowDeleted Mask:" + c.shown)))
        << Visible(run.out);
    EXPECT_EQ(run.status, 0) << Visible(run.out);
    EXPECT_EQ(ListTree(root), c.left);
    std::filesystem::remove_all(Path("t"));
  }
}

// été* takes Été.txt, as the Windows search would; other letters stay.
TEST_F(MaskTextTest, LetterCaseBeyondAToZIsIgnored) {
  MakeTree(root, {"t/Été.txt=x", "t/ÉTÉ.BAK=x", "t/été=x", "t/ete.txt=keep", "t/Ete.txt=keep",
                  "t/ΣΟΦΙΑ.txt=x", "t/σοφια=x", "t/σοφιας=keep"});
  RunResult run = RunVakrun({"-F", "-Mété*", "t"}, Options());
  EXPECT_TRUE(run.out.starts_with(Echo("FilesOnly ShowDeleted Mask:ÉTÉ*"))) << Visible(run.out);
  EXPECT_EQ(run.status, 0) << Visible(run.out);
  run = RunVakrun({"-F", "-Mσοφια.*", "t"}, Options());
  EXPECT_TRUE(run.out.starts_with(Echo("FilesOnly ShowDeleted Mask:ΣΟΦΙΑ.*"))) << Visible(run.out);
  EXPECT_EQ(ListTree(root),
            (std::vector<std::string>{"t/", "t/Ete.txt=keep", "t/ete.txt=keep", "t/σοφιας=keep"}));
}

} // namespace
