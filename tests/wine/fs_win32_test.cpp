// Only for the Windows build: the file-system services over kernel32 give the DOS result codes the
// logic compares, select entries by their long names, and check every step up.
#include <algorithm>
#include <string>
#include <vector>

#include "temp_folder_win32.h"
#include "tests/platform/fs_result_cases.h"

namespace {

class FileSystemTest : public Win32FolderTest {
protected:
  void SetUp() override {
    Win32FolderTest::SetUp();
    Make({"d/", "d/inner", ".hid/", "ro.txt=1", "x.bak", "x.bakup", "empty/"});
    // A dot makes a name hidden under wine; Windows needs the attribute.
    SetFileAttributesA(Path(".hid").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    SetFileAttributesA(Path("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  }
};

struct Listing {
  std::vector<std::string> names; // sorted
  ResultCode end = 0;             // the result that ended the search
};

Listing List(const std::string& pattern, std::uint16_t mask) {
  Listing listing;
  SearchEntry entry;
  for (FindFirstEntry(pattern, mask, entry); LastServiceResult == 0; FindNextEntry(entry))
    listing.names.push_back(entry.Name);
  listing.end = LastServiceResult;
  std::sort(listing.names.begin(), listing.names.end());
  return listing;
}

TEST_F(FileSystemTest, SearchesSelectByAttributesAndLongNames) {
  using Names = std::vector<std::string>;
  struct Case {
    std::string pattern;
    std::uint16_t mask;
    Names names;
    ResultCode end;
  };
  const Case cases[] = {
      // Files of every kind, never a directory.
      {"*.*", 0x27, {"ro.txt", "x.bak", "x.bakup"}, 18},
      // "x.bakup" has a short name ending in ".BAK", which the system matches too.
      {"*.BAK", 0x27, {"x.bak"}, 18},
      {"X.BAK*", 0x27, {"x.bak", "x.bakup"}, 18},
      // Directories with the directory bit; a hidden one only with the hidden bit.
      {"*.*", 0x17, {".", "..", ".hid", "d", "empty", "ro.txt", "x.bak", "x.bakup"}, 18},
      {"*.*", 0x10, {".", "..", "d", "empty", "ro.txt", "x.bak", "x.bakup"}, 18},
      // A directory that holds only subdirectories or nothing matching; one that is not there.
      {"empty\\*.*", 0x27, {}, 18},
      {"nothing*", 0x27, {}, 18},
      {"missing\\*.*", 0x27, {}, 3},
      {"d/*.*", 0x27, {"inner"}, 18},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern + " " + std::to_string(c.mask));
    Listing listing = List(c.pattern, c.mask);
    EXPECT_EQ(listing.names, c.names);
    EXPECT_EQ(listing.end, c.end);
  }
}

TEST_F(FileSystemTest, FailedSearchStepsKeepTheLastEntry) {
  SearchEntry entry;
  FindFirstEntry("missing\\*.*", 0x27, entry);
  EXPECT_EQ(LastServiceResult, 3);
  EXPECT_EQ(entry.Name, "");
  EXPECT_EQ(entry.Attributes, 0u);

  FindFirstEntry("d\\*.*", 0x27, entry);
  ASSERT_EQ(LastServiceResult, 0);
  EXPECT_EQ(entry.Name, "inner");
  FindNextEntry(entry);
  EXPECT_EQ(LastServiceResult, 18);
  EXPECT_EQ(entry.Name, "inner");
  FindNextEntry(entry);
  EXPECT_EQ(LastServiceResult, 18);
}

TEST_F(FileSystemTest, AttributeOperationsKeepTheSystemsNumbers) {
  SetEntryAttributes("ro.txt", 0x28); // the volume-label bit is never set
  EXPECT_EQ(LastServiceResult, 5);
  EXPECT_NE(GetEntryAttributes("ro.txt") & ReadOnlyAttribute, 0);
  EXPECT_EQ(LastServiceResult, 0);

  SetEntryAttributes("ro.txt", ArchiveAttribute);
  EXPECT_EQ(LastServiceResult, 0);
  EXPECT_EQ(GetEntryAttributes("ro.txt") & (ReadOnlyAttribute | HiddenAttribute), 0);

  EXPECT_NE(GetEntryAttributes("d") & DirectoryAttribute, 0);
  EXPECT_EQ(GetEntryAttributes("missing"), 0);
  EXPECT_EQ(LastServiceResult, 2);
  EXPECT_EQ(GetEntryAttributes("missing\\x"), 0);
  EXPECT_EQ(LastServiceResult, 3);
}

// Each operation that reports through PendingIoResult, one at a time, with the code it leaves.
TEST_F(FileSystemTest, PendingResultsOfEachOperation) {
  // Besides the rows every system shares: a file the system itself keeps from being erased.
  const ResultCase own_cases[] = {{"erase a read-only file", EraseFile, "ro.txt", 5}};
  auto check = [](const ResultCase& c) {
    SCOPED_TRACE(c.what);
    c.operation(c.path);
    EXPECT_EQ(TakeIoResult(), c.code);
  };
  for (const ResultCase& c : own_cases)
    check(c);
  for (const ResultCase& c : SharedResultCases)
    check(c);
  EXPECT_EQ(GetFileAttributesA(Path("x.bak").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(Path("empty").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileSystemTest, PendingResultStopsTheOperationsAfterIt) {
  ChangeDirectory("missing");
  EraseFile("x.bak");
  RemoveEmptyDirectory("empty");
  EXPECT_EQ(TakeIoResult(), 3);
  EXPECT_NE(GetFileAttributesA(Path("x.bak").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(Path("empty").c_str()), INVALID_FILE_ATTRIBUTES);
  // Removing "." is refused whatever is pending.
  ChangeDirectory("missing");
  RemoveEmptyDirectory(".");
  EXPECT_EQ(TakeIoResult(), 16);
}

TEST_F(FileSystemTest, DriveThatCannotBeMadeCurrent) {
  std::string before = GetDriveDirectory(0);
  EXPECT_EQ(GetDriveDirectory(17), "Q:\\");
  EXPECT_NE(TakeIoResult(), 0);
  EXPECT_EQ(GetDriveDirectory(0), before);
  // The drive of the current directory answers that directory.
  EXPECT_EQ(GetDriveDirectory(static_cast<std::uint8_t>(before[0] - 64)), before);
  EXPECT_EQ(TakeIoResult(), 0);
}

TEST_F(FileSystemTest, StepsDownAndUpAgain) {
  ChangeDirectory("d");
  ASSERT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(GetDriveDirectory(0), ExpandPath(Path("d")));
  ChangeDirectory("..");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(GetDriveDirectory(0), ExpandPath(root));
}

// A directory of the tree renamed while the walk is below it: ".." would lead to whatever now
// bears the old name, and the step up goes back to the directory the walk came from instead.
TEST_F(FileSystemTest, StepUpReturnsToTheDirectoryItCameFrom) {
  Make({"a/", "a/b/", "a/was-a"});
  ChangeDirectory(Path("a"));
  ChangeDirectory("b");
  ASSERT_EQ(TakeIoResult(), 0);
  if (!MoveFileA(Path("a").c_str(), Path("a2").c_str()))
    GTEST_SKIP() << "the system does not rename a directory in use below it";
  Make({"a/", "a/new-a"});
  ChangeDirectory("..");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(List("*.*", 0x27).names, std::vector<std::string>{"was-a"});
}

// The directory the walk just stepped up from is removed only while its name still holds it: one
// swapped in under that name meanwhile stays.
TEST_F(FileSystemTest, RemovalAfterAStepUpChecksItIsTheDirectoryLeft) {
  Make({"a/", "a/b/"});
  ChangeDirectory("a");
  ChangeDirectory("b");
  ChangeDirectory("..");
  ASSERT_EQ(TakeIoResult(), 0);
  ASSERT_TRUE(MoveFileA(Path("a\\b").c_str(), Path("a\\b2").c_str()));
  Make({"a/b/"});
  RemoveEmptyDirectory("b");
  EXPECT_EQ(TakeIoResult(), 5);
  EXPECT_NE(GetFileAttributesA(Path("a\\b").c_str()), INVALID_FILE_ATTRIBUTES);
  RemoveEmptyDirectory("b2");
  EXPECT_EQ(TakeIoResult(), 0);
}

// A full path whose directory only a language's rules take for the current one (a soft hyphen
// passed over, "ß" read as "ss", a letter joined with its combining accent, or two letters whose
// UTF-8 bytes, read in code page 1252, are one letter in two cases) names that other directory:
// an erase there never reaches the current directory's file of the same name.
TEST_F(FileSystemTest, LookalikeDirectoryIsNeverTakenForTheCurrentOne) {
  struct Pair {
    std::string here, there;
  };
  const Pair pairs[] = {
      {"a\xC2\xAD"
       "b",
       "ab"},
      {"stra\xC3\x9F"
       "e",
       "strasse"},
      {"\xC3\xA9", "e\xCC\x81"},
      {"\xC3\x9C", "\xC3\x8C"}, // Ü and Ì: "Ãœ" and "ÃŒ" in code page 1252
      {"\xC3\x9A", "\xC3\x8A"}, // Ú and Ê: "Ãš" and "ÃŠ"
  };
  for (const Pair& pair : pairs) {
    SCOPED_TRACE(pair.here + " / " + pair.there);
    Make({pair.here + "/", pair.here + "/f=here", pair.there + "/", pair.there + "/f=there"});
    ChangeDirectory(Path(pair.here));
    ASSERT_EQ(TakeIoResult(), 0);
    EraseFile(Path(pair.there) + "\\f");
    EXPECT_EQ(TakeIoResult(), 0);
    EXPECT_NE(GetFileAttributesA(Path(pair.here + "\\f").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(Path(pair.there + "\\f").c_str()), INVALID_FILE_ATTRIBUTES);
    ChangeDirectory(root);
    ASSERT_EQ(TakeIoResult(), 0);
  }
}

// The climb above the target goes on only to a held directory reached from the drive's root as
// itself: not from the root, and not from below a link.
TEST_F(FileSystemTest, ParentIsHeldOnlyBelowTheRootAndNeverBelowALink) {
  Make({"d/sub/"});
  EXPECT_TRUE(ParentIsHeld());
  ChangeDirectory("d");
  ChangeDirectory("sub");
  ASSERT_EQ(TakeIoResult(), 0);
  EXPECT_TRUE(ParentIsHeld());
  ChangeDirectory("..");
  EXPECT_TRUE(ParentIsHeld());
  ChangeDirectory(root.substr(0, 3));
  ASSERT_EQ(TakeIoResult(), 0);
  EXPECT_FALSE(ParentIsHeld());
  ChangeDirectory("..");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(GetDriveDirectory(0), root.substr(0, 3));
  EXPECT_FALSE(ParentIsHeld());
  // Wine 8 answers that it made the link, and makes nothing.
  if (!CreateSymbolicLinkA(Path("lk").c_str(), Path("d").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) ||
      GetFileAttributesA(Path("lk").c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "the system makes no directory links here";
  ChangeDirectory(Path("lk\\sub"));
  ASSERT_EQ(TakeIoResult(), 0);
  EXPECT_FALSE(ParentIsHeld());
}

} // namespace
