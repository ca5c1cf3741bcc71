// The Linux file-system layer: drives and their current directories, path expansion, name
// mapping, searches, attributes and the result codes of each operation.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs.h"
#include "platform/posix/names.h"
#include "platform/posix/paths.h"
#include "tests/platform/fs_result_cases.h"

namespace fs = std::filesystem;

namespace {

// Drives C: and D: are folders of a fresh temporary directory; C:\WORK\SUB is current and D:'s
// own current directory is D:\DATA.
class FileSystemTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/vakrun-fs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    fs::create_directories(root + "/c/WORK/SUB");
    fs::create_directories(root + "/d/DATA");
    setenv("VAKRUN_DRIVES", ("C=" + root + "/c;D=" + root + "/d").c_str(), 1);
    ASSERT_EQ(chdir(root.c_str()), 0);
    ASSERT_EQ(StartFileSystem(), "");
    PendingIoResult = 0;
    ChangeDirectory("D:\\DATA");
    ChangeDirectory("C:\\WORK\\SUB");
    ASSERT_EQ(TakeIoResult(), 0);
  }
  void TearDown() override {
    ChangeDirectory("Z:\\");
    PendingIoResult = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root))
      if (entry.is_directory() && !entry.is_symlink())
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(root);
    unsetenv("VAKRUN_DRIVES");
  }
  std::string Here(const std::string& relative) const { return root + "/c/WORK/SUB/" + relative; }
  static void Touch(const std::string& path, const std::string& text = "") {
    std::ofstream(path) << text;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> Search(const std::string& pattern, std::uint16_t mask) {
    std::vector<std::string> names;
    SearchEntry entry;
    for (FindFirstEntry(pattern, mask, entry); LastServiceResult == 0; FindNextEntry(entry))
      names.push_back(entry.Name);
    return names;
  }
  std::string root;
};

TEST_F(FileSystemTest, ExpandPathExamples) {
  struct Case {
    std::string path;
    std::string full;
  };
  const Case cases[] = {
      {"OLD", "C:\\WORK\\SUB\\OLD"},
      {"..\\OLD\\.\\X", "C:\\WORK\\OLD\\X"},
      {"\\TEMP\\", "C:\\TEMP\\"},
      {"c:/temp/", "C:\\temp"},
      {"d:", "D:\\DATA"},
      {"d:OLD", "D:\\DATA\\OLD"},
      {"C:\\..\\..", "C:\\"},
      {"", "C:\\WORK\\SUB\\"},
      {"\\\\SRV\\SHARE\\A\\..\\B", "\\\\SRV\\SHARE\\B"},
      {"\\\\SRV", "\\\\SRV\\"},
      {"\\\\", "\\\\"},
      // A trailing backslash stays only where the caller wrote one, or at a root.
      {"A\\", "C:\\WORK\\SUB\\A\\"},
      {"A/", "C:\\WORK\\SUB\\A"},
      {"c:\\", "C:\\"},
      {".", "C:\\WORK\\SUB"},
      {"..", "C:\\WORK"},
      {"..\\..\\..\\..\\X", "C:\\X"},
      {"A\\..\\..\\B", "C:\\WORK\\B"},
      {"e:rel", "E:\\rel"}, // an unmapped drive: its root stands in
      {"\\\\SRV\\SHARE", "\\\\SRV\\SHARE"},
  };
  for (const Case& c : cases) {
    PendingIoResult = 0;
    EXPECT_EQ(ExpandPath(c.path), c.full) << "path: " << c.path;
    EXPECT_EQ(PendingIoResult, 0) << "path: " << c.path;
  }
  // Nothing is cut short.
  std::string deep(600, 'x');
  EXPECT_EQ(ExpandPath(deep), "C:\\WORK\\SUB\\" + deep);
}

TEST_F(FileSystemTest, EachDriveKeepsItsOwnCurrentDirectory) {
  EXPECT_EQ(GetDriveDirectory(0), "C:\\WORK\\SUB");
  EXPECT_EQ(GetDriveDirectory(4), "D:\\DATA");
  ChangeDirectory("D:");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(GetDriveDirectory(0), "D:\\DATA");
  EXPECT_EQ(fs::current_path(), fs::path(root + "/d/DATA"));
  EXPECT_EQ(GetDriveDirectory(3), "C:\\WORK\\SUB");
  ChangeDirectory("C:");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(fs::current_path(), fs::path(root + "/c/WORK/SUB"));

  // A letter without a mapping cannot be made current; the current directory stays.
  EXPECT_EQ(GetDriveDirectory(17), "Q:\\");
  EXPECT_EQ(TakeIoResult(), 15);
  ChangeDirectory("Q:");
  EXPECT_EQ(TakeIoResult(), 15);
  EXPECT_EQ(GetDriveDirectory(0), "C:\\WORK\\SUB");
  EXPECT_EQ(fs::current_path(), fs::path(root + "/c/WORK/SUB"));
}

TEST_F(FileSystemTest, DriveRootsStayAndAreNeverRemoved) {
  ChangeDirectory("D:\\");
  ChangeDirectory("..");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(GetDriveDirectory(0), "D:\\");
  fs::remove(root + "/d/DATA");
  RemoveEmptyDirectory("D:\\");
  EXPECT_EQ(TakeIoResult(), 5);
  SetEntryAttributes("D:\\", 0x21);
  EXPECT_EQ(LastServiceResult, 0);
  EXPECT_TRUE(fs::exists(root + "/d"));
  EXPECT_NE(fs::status(root + "/d").permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST_F(FileSystemTest, LinuxPathsMapToTheDriveWithTheLongestRoot) {
  fs::create_directories(root + "/d/DATA/inner/x");
  setenv("VAKRUN_DRIVES", ("D=" + root + "/d;E=" + root + "/d/DATA/inner;C=" + root + "/c").c_str(),
         1);
  ASSERT_EQ(StartFileSystem(), "");
  EXPECT_EQ(DosPathOf(root + "/d/DATA/inner/x"), "E:\\x");
  EXPECT_EQ(DosPathOf(root + "/d/DATA/inner"), "E:\\");
  EXPECT_EQ(DosPathOf(root + "/d/DATA/innerx"), "D:\\DATA\\innerx");
  EXPECT_EQ(DosPathOf("/usr/bin"), "Z:\\usr\\bin");
  std::string linux_path;
  EXPECT_EQ(LinuxPathOf("E:\\x\\y", linux_path), 0u);
  EXPECT_EQ(linux_path, root + "/d/DATA/inner/x/y");
  EXPECT_EQ(LinuxPathOf("Q:\\x", linux_path), 15u);
}

TEST_F(FileSystemTest, MalformedDriveTablesAreRefused) {
  for (const char* table : {"D", "D=", "D=relative", "DD=/tmp", "5=/tmp", "D=/a;d=/b"}) {
    setenv("VAKRUN_DRIVES", table, 1);
    EXPECT_NE(StartFileSystem(), "") << table;
  }
  setenv("VAKRUN_DRIVES", ";D=/tmp;", 1);
  EXPECT_EQ(StartFileSystem(), "");
}

TEST(NameMapping, ReservedCharactersMapReversibly) {
  const std::string names[] = {"plain",
                               "a\\b",
                               "c:x",
                               "semi;colon",
                               "\\\\",
                               "\xEF\x81\x9C",
                               "\xEF\x80\x80\xEF\x81\x9C",
                               "\xEF\x80",
                               "tail\xEF",
                               "\xFF\xFE bytes",
                               "new\nline"};
  for (const std::string& name : names) {
    std::string dos = EncodeName(name);
    EXPECT_EQ(dos.find_first_of("\\:;"), std::string::npos) << name;
    EXPECT_EQ(DecodeName(dos), name) << name;
  }
  EXPECT_EQ(EncodeName("a\\b"), "a\xEF\x81\x9C"
                                "b");
  EXPECT_EQ(EncodeArgument("C:\\x;y"), "C:\\x\xEF\x80\xBB"
                                       "y");
}

TEST_F(FileSystemTest, ABackslashInANameIsNeverASeparator) {
  fs::create_directory(Here("a"));
  Touch(Here("a/b"), "keep");
  Touch(Here("a\\b"), "erase");
  std::vector<std::string> names = Search("*.*", 0x27);
  ASSERT_EQ(names, std::vector<std::string>{EncodeName("a\\b")});
  EraseFile(names[0]);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_FALSE(fs::exists(Here("a\\b")));
  EXPECT_EQ(Read(Here("a/b")), "keep");
  EXPECT_EQ(ExpandPath(names[0]), "C:\\WORK\\SUB\\" + names[0]);
}

TEST_F(FileSystemTest, SearchMasksChooseEntriesByTheirBits) {
  fs::create_directory(Here("dir"));
  fs::create_directory(Here(".hiddendir"));
  fs::create_directory(Here("rodir"));
  fs::permissions(Here("rodir"), fs::perms::owner_write, fs::perm_options::remove);
  Touch(Here("file.txt"));
  Touch(Here(".hidden"));
  fs::create_symlink("dir", Here("linkdir"));
  struct Case {
    std::string pattern;
    std::uint16_t mask;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"*.*", 0x27, {".hidden", "file.txt", "linkdir"}},
      {"*.*", 0x17, {".", "..", ".hidden", ".hiddendir", "dir", "file.txt", "linkdir", "rodir"}},
      {"*.*", 0x10, {".", "..", "dir", "file.txt", "linkdir", "rodir"}},
      {"*.*", 0x00, {"file.txt", "linkdir"}},
      {"*.TXT", 0x27, {"file.txt"}},
      {"C:\\WORK\\SUB\\*.txt", 0x27, {"file.txt"}},
      {"C:/WORK/SUB/d*", 0x10, {"dir"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> names = Search(c.pattern, c.mask);
    // "." and ".." come first; the rest in the file system's order.
    if (names.size() >= 2 && names[0] == "." && names[1] == "..")
      std::sort(names.begin() + 2, names.end());
    else
      std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.names) << c.pattern << " mask " << c.mask;
    EXPECT_EQ(LastServiceResult, 18);
  }
  // A link never carries the directory bit, so the walk never enters one.
  SearchEntry entry;
  for (FindFirstEntry("link*", 0x17, entry); LastServiceResult == 0; FindNextEntry(entry)) {
    EXPECT_EQ(entry.Attributes & DirectoryAttribute, 0u);
    EXPECT_NE(entry.Attributes & ReparsePointAttribute, 0u);
  }
}

TEST_F(FileSystemTest, SearchEndsAndFailures) {
  fs::create_directory(Here("only"));
  SearchEntry entry;
  FindFirstEntry("*.*", 0x27, entry);
  EXPECT_EQ(LastServiceResult, 18);
  EXPECT_EQ(entry.Name, "");
  EXPECT_EQ(entry.Attributes, 0u);

  FindFirstEntry("only", 0x10, entry);
  EXPECT_EQ(LastServiceResult, 0);
  FindNextEntry(entry);
  EXPECT_EQ(LastServiceResult, 18);
  EXPECT_EQ(entry.Name, "only"); // the last entry returned stays

  FindFirstEntry("C:\\NOWHERE\\*.*", 0x17, entry);
  EXPECT_EQ(LastServiceResult, 3);
  FindFirstEntry("Q:\\*.*", 0x17, entry);
  EXPECT_EQ(LastServiceResult, 15);

  // A search the caller leaves part-way, or starts afresh in the same entry, lets its listing go:
  // the leak check of the sanitizer run reports any listing left behind.
  {
    SearchEntry left;
    FindFirstEntry("*.*", 0x17, left);
    FindFirstEntry("*.*", 0x17, left);
    FindNextEntry(left);
    EXPECT_EQ(LastServiceResult, 0);
    EXPECT_EQ(left.Name, "..");
  }

  // At a drive's root there is no "." or "..".
  ChangeDirectory("D:\\");
  EXPECT_EQ(Search("*.*", 0x17), std::vector<std::string>{"DATA"});
}

TEST_F(FileSystemTest, AttributesStandForTheOwnersWritePermission) {
  Touch(Here("ro"));
  fs::permissions(Here("ro"), fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_EQ(GetEntryAttributes("ro") & 0x3F, ReadOnlyAttribute | ArchiveAttribute);
  SetEntryAttributes("ro", ArchiveAttribute);
  EXPECT_EQ(LastServiceResult, 0);
  EXPECT_EQ(GetEntryAttributes("ro") & 0x3F, ArchiveAttribute);
  EXPECT_NE(fs::status(Here("ro")).permissions() & fs::perms::owner_write, fs::perms::none);

  // The volume-label bit is refused and changes nothing.
  SetEntryAttributes("ro", 0x28);
  EXPECT_EQ(LastServiceResult, 5);

  // Read-only is the owner's write bit alone: the other bits stay.
  fs::create_directory(Here("sticky"));
  fs::permissions(Here("sticky"), fs::perms::all | fs::perms::sticky_bit);
  SetEntryAttributes("sticky", ReadOnlyAttribute | DirectoryAttribute);
  EXPECT_EQ(fs::status(Here("sticky")).permissions(),
            (fs::perms::all | fs::perms::sticky_bit) & ~fs::perms::owner_write);
  EXPECT_EQ(GetEntryAttributes("sticky") & 0x3F, ReadOnlyAttribute | DirectoryAttribute);
  SetEntryAttributes("sticky", DirectoryAttribute);
  EXPECT_EQ(GetEntryAttributes("sticky") & 0x3F, DirectoryAttribute);
  EXPECT_EQ(fs::status(Here("sticky")).permissions(), fs::perms::all | fs::perms::sticky_bit);

  EXPECT_EQ(GetEntryAttributes(".hidden-missing"), 0);
  EXPECT_EQ(LastServiceResult, 2);
  EXPECT_EQ(GetEntryAttributes("nodir\\x"), 0);
  EXPECT_EQ(LastServiceResult, 3);
}

// Every attribute change is made at once and answers its own result: the mode has changed when
// the call returns, and a name that is not there answers 2 (3 for a missing directory on the way).
TEST_F(FileSystemTest, AttributeChangesGiveTheirResultAtOnce) {
  Touch(Here("ro"));
  fs::permissions(Here("ro"), fs::perms::owner_read);
  Touch(Here("rw"));
  fs::permissions(Here("rw"), fs::perms::owner_read | fs::perms::owner_write);
  struct Case {
    std::string path;
    std::uint16_t attributes;
    ResultCode code;
    std::string file; // its owner write permission after the call, when given
    bool writable;
  };
  const Case cases[] = {
      {"ro", ArchiveAttribute, 0, "ro", true},
      {"C:\\WORK\\SUB\\rw", ReadOnlyAttribute | ArchiveAttribute, 0, "rw", false},
      {"missing", ArchiveAttribute, 2, "", false},
      {"C:\\WORK\\missing", ArchiveAttribute, 2, "", false},
      {"D:\\DATA\\missing", ArchiveAttribute, 2, "", false},
      {"nodir\\x", ArchiveAttribute, 3, "", false},
  };
  for (const Case& c : cases) {
    SetEntryAttributes(c.path, c.attributes);
    EXPECT_EQ(LastServiceResult, c.code) << c.path;
    if (!c.file.empty())
      EXPECT_EQ((fs::status(Here(c.file)).permissions() & fs::perms::owner_write) !=
                    fs::perms::none,
                c.writable)
          << c.path;
  }
}

TEST_F(FileSystemTest, LinksAndHardLinkedFilesKeepTheirModes) {
  std::string outside = root + "/outside";
  Touch(outside, "bytes");
  fs::permissions(outside, fs::perms::owner_read);
  fs::create_symlink(outside, Here("link"));
  fs::create_hard_link(outside, Here("hard"));
  // Neither is a refusal, and each still answers its own attributes: a link none of its target's,
  // a file with other names the mode they share.
  struct Case {
    const char* name;
    std::uint16_t attributes;
  };
  for (Case c :
       {Case{"link", ArchiveAttribute}, Case{"hard", ReadOnlyAttribute | ArchiveAttribute}}) {
    SetEntryAttributes(c.name, ArchiveAttribute);
    EXPECT_EQ(LastServiceResult, 0);
    EXPECT_EQ(GetEntryAttributes(c.name) & 0x3F, c.attributes) << c.name;
    SetEntryAttributes(std::string("C:\\WORK\\SUB\\") + c.name, ArchiveAttribute);
    EXPECT_EQ(LastServiceResult, 0);
    EXPECT_EQ(GetEntryAttributes(c.name) & 0x3F, c.attributes) << c.name;
  }
  EXPECT_EQ(fs::status(outside).permissions(), fs::perms::owner_read);
  EraseFile("link");
  EraseFile("hard");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(Read(outside), "bytes");
  EXPECT_EQ(fs::status(outside).permissions(), fs::perms::owner_read);
}

TEST_F(FileSystemTest, ResultCodesOfEraseRemoveAndChange) {
  fs::create_directories(Here("d"));
  Touch(Here("d/inner"));
  fs::create_directory(Here("empty"));
  Touch(Here("file"));
  Touch(Here("x.bak"));
  // Besides the rows every system shares: a file as a directory, other drives, a network path.
  const ResultCase own_cases[] = {
      {"remove a file", RemoveEmptyDirectory, "file", 3},
      {"change to a missing directory by its full path", ChangeDirectory, "C:\\WORK\\missing", 3},
      {"change to a file", ChangeDirectory, "file", 3},
      {"change to a drive that is not there", ChangeDirectory, "Q:\\x", 15},
      {"change to a network path", ChangeDirectory, "\\\\srv\\share", 53},
  };
  auto check = [](const ResultCase& c) {
    SCOPED_TRACE(c.what);
    PendingIoResult = 0;
    c.operation(c.path);
    EXPECT_EQ(TakeIoResult(), c.code) << c.path;
    EXPECT_EQ(GetDriveDirectory(0), "C:\\WORK\\SUB") << c.path;
  };
  for (const ResultCase& c : own_cases)
    check(c);
  for (const ResultCase& c : SharedResultCases)
    check(c);
  EXPECT_FALSE(fs::exists(Here("x.bak")));
  EXPECT_FALSE(fs::exists(Here("empty")));
  EXPECT_TRUE(fs::exists(Here("d/inner")));
}

TEST_F(FileSystemTest, APendingResultSkipsTheOperationsAfterIt) {
  fs::create_directory(Here("empty"));
  ChangeDirectory("missing");
  RemoveEmptyDirectory("empty");
  ChangeDirectory("empty");
  EraseFile("empty");
  EXPECT_TRUE(fs::exists(Here("empty")));
  EXPECT_EQ(GetDriveDirectory(0), "C:\\WORK\\SUB");
  // Removing "." reports even over a pending result; an empty path does nothing.
  RemoveEmptyDirectory(".");
  EXPECT_EQ(TakeIoResult(), 16);
  RemoveEmptyDirectory("");
  ChangeDirectory("");
  EXPECT_EQ(TakeIoResult(), 0);
  // Searches and attributes go on regardless and leave the pending result alone.
  ChangeDirectory("missing");
  EXPECT_EQ(GetEntryAttributes("empty") & 0x3F, DirectoryAttribute);
  EXPECT_EQ(LastServiceResult, 0);
  EXPECT_EQ(TakeIoResult(), 3);
}

TEST_F(FileSystemTest, TheWalkNeverFollowsALinkAndStepsUpToWhereItCameFrom) {
  fs::create_directories(root + "/victim/keep");
  fs::create_directories(Here("a/b"));
  fs::create_directory_symlink(root + "/victim", Here("link"));
  ChangeDirectory("link");
  EXPECT_EQ(TakeIoResult(), 3); // a link is no directory to enter
  ChangeDirectory("C:\\WORK\\SUB\\link");
  EXPECT_EQ(TakeIoResult(), 3); // a link is no directory to enter
  EXPECT_EQ(GetDriveDirectory(0), "C:\\WORK\\SUB");

  ChangeDirectory("a");
  ChangeDirectory("b");
  ASSERT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(GetDriveDirectory(0), "C:\\WORK\\SUB\\a\\b");
  // The tree is moved while the walk is inside it: ".." still leads to the directory the walk
  // came from, wherever that is now.
  fs::rename(Here("a"), root + "/moved");
  fs::create_directory_symlink(root + "/victim", Here("a"));
  ChangeDirectory("..");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(fs::current_path(), fs::path(root + "/moved"));
  RemoveEmptyDirectory("b");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_FALSE(fs::exists(root + "/moved/b"));
  EXPECT_TRUE(fs::exists(root + "/victim/keep"));
}

TEST_F(FileSystemTest, EnteringChecksTheDirectoryIsTheOneListed) {
  fs::create_directory(Here("sub"));
  fs::create_directory(Here("other"));
  SearchEntry entry;
  FindFirstEntry("sub", 0x10, entry);
  ASSERT_EQ(LastServiceResult, 0);
  // Swapped for another directory after the listing.
  fs::rename(Here("sub"), Here("was-sub"));
  fs::rename(Here("other"), Here("sub"));
  ChangeDirectory(entry.Name);
  EXPECT_EQ(TakeIoResult(), 3);
  EXPECT_EQ(GetDriveDirectory(0), "C:\\WORK\\SUB");
  FindNextEntry(entry); // to the end of the search, which lets its listing go
}

TEST_F(FileSystemTest, APasswordSuffixIsDroppedAndANameWithASemicolonIsItsOwn) {
  Touch(Here("plain"));
  Touch(Here("plain;pw"), "keep");
  EraseFile("plain;pw");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_FALSE(fs::exists(Here("plain")));
  EXPECT_EQ(Read(Here("plain;pw")), "keep");
  EraseFile(EncodeName("plain;pw"));
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_FALSE(fs::exists(Here("plain;pw")));
}

// A file the attribute change erased ahead is answered by its name alone, with or without a
// password after it; a longer name that begins with it is another file and is erased for real.
TEST_F(FileSystemTest, AFileErasedAheadAnswersOnlyForItsOwnName) {
  Touch(Here("ab"));
  Touch(Here("abc"));
  SearchEntry entry;
  FindFirstEntry("ab", 0x27, entry);
  ASSERT_EQ(LastServiceResult, 0);
  ASSERT_EQ(entry.Name, "ab");
  SetEntryAttributes("ab", 0x20);
  EXPECT_EQ(LastServiceResult, 0);
  EraseFile("abc");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_FALSE(fs::exists(Here("abc")));
  EraseFile("ab;pw");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_FALSE(fs::exists(Here("ab")));
  FindNextEntry(entry); // to the end of the search, which lets its listing go
}

// The climb of ParentDelete asks before each step whether the directory above is held: reached
// from the drive's root without a link, and the very directory the path named when entered.
TEST_F(FileSystemTest, ParentIsHeldOnlyAlongAPathWithoutLinks) {
  fs::create_directories(Here("a/b"));
  fs::create_directories(root + "/c/real/x");
  fs::create_directory_symlink(root + "/c/real", Here("link"));
  struct Case {
    std::string path;
    std::vector<bool> held; // ParentIsHeld before each step up, up to the drive's root
  };
  const Case cases[] = {
      {"C:\\WORK\\SUB\\a\\b", {true, true, true, true, false}},
      {"C:\\WORK", {true, false}},
      {"C:\\", {false}},
      {"C:\\WORK\\SUB\\link\\x", {false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ChangeDirectory(c.path);
    ASSERT_EQ(TakeIoResult(), 0);
    for (bool held : c.held) {
      EXPECT_EQ(ParentIsHeld(), held) << GetDriveDirectory(0);
      if (!held)
        break;
      ChangeDirectory("..");
      ASSERT_EQ(TakeIoResult(), 0);
    }
  }
  // Below a link, the directory above is not looked up by its name.
  ChangeDirectory("C:\\WORK\\SUB\\link\\x");
  ChangeDirectory("..");
  EXPECT_EQ(TakeIoResult(), 0); // its own parent, held by descriptor
  EXPECT_EQ(fs::current_path(), fs::path(root + "/c/real"));
  ChangeDirectory("..");
  EXPECT_EQ(TakeIoResult(), 3);
}

// A directory the walk has left is removed only while its name still leads to it.
TEST_F(FileSystemTest, TheDirectoryJustLeftIsRemovedOnlyIfItIsStillThere) {
  fs::create_directories(Here("a"));
  fs::create_directories(root + "/victim");
  ChangeDirectory("a");
  ChangeDirectory("..");
  ASSERT_EQ(TakeIoResult(), 0);
  fs::rename(Here("a"), root + "/moved");
  fs::create_directory(Here("a"));
  SetEntryAttributes("a", 0x20);
  RemoveEmptyDirectory("a");
  EXPECT_EQ(TakeIoResult(), 3);
  EXPECT_TRUE(fs::exists(Here("a")));
  EXPECT_TRUE(fs::exists(root + "/moved"));
}

// A current directory that cannot be read (here removed) lies on no drive, and the current
// directory of drive 0 fails with "path not found" until the run moves; a relative path leads
// nowhere meanwhile, never to a root.
TEST_F(FileSystemTest, ACurrentDirectoryThatCannotBeReadIsOnNoDrive) {
  fs::create_directory(root + "/c/gone");
  ASSERT_EQ(chdir((root + "/c/gone").c_str()), 0);
  ASSERT_EQ(rmdir((root + "/c/gone").c_str()), 0);
  ASSERT_EQ(StartFileSystem(), "");
  std::string start = GetDriveDirectory(0);
  EXPECT_EQ(TakeIoResult(), 3);
  EXPECT_FALSE(start.size() >= 2 && start[1] == ':') << start;
  EXPECT_FALSE(ExpandPath("WORK").starts_with("C:")) << ExpandPath("WORK");
  ChangeDirectory("WORK");
  EXPECT_NE(TakeIoResult(), 0);
  ChangeDirectory("C:\\WORK");
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(GetDriveDirectory(0), "C:\\WORK");
  EXPECT_EQ(TakeIoResult(), 0);
}

// The soft limit on open files is raised to the hard one at the start.
TEST_F(FileSystemTest, TheSoftLimitOnOpenFilesIsRaisedToTheHardOne) {
  struct rlimit limit;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max <= 64)
    GTEST_SKIP() << "the hard limit leaves no room to lower the soft one";
  struct rlimit lowered = {64, limit.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  ASSERT_EQ(StartFileSystem(), "");
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  EXPECT_EQ(limit.rlim_cur, limit.rlim_max);
}

TEST_F(FileSystemTest, APathNoDriveCoversNamesNoDrive) {
  setenv("VAKRUN_DRIVES", ("Z=" + root + "/c;D=" + root + "/d").c_str(), 1);
  ASSERT_EQ(chdir(root.c_str()), 0);
  ASSERT_EQ(StartFileSystem(), "");
  EXPECT_EQ(DosPathOf("/usr/bin"), "\\\\?\\unix\\usr\\bin");
  EXPECT_EQ(DosPathOf(root + "/d/DATA"), "D:\\DATA");
  std::string linux_path;
  EXPECT_NE(LinuxPathOf(DosPathOf("/usr/bin"), linux_path), 0u);
  EXPECT_TRUE(LinuxPathOfUnixForm(DosPathOf("/usr/a\\b"), linux_path));
  EXPECT_EQ(linux_path, "/usr/a\\b");
  // The working directory lies outside both drives: a relative path has no drive.
  EXPECT_EQ(GetDriveDirectory(0), DosPathOf(root));
  EXPECT_FALSE(ExpandPath("build").starts_with("Z:"));
  ChangeDirectory("build");
  EXPECT_NE(TakeIoResult(), 0);
}

} // namespace
