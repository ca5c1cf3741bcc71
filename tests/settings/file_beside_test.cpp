// The new image made beside a file and put in its place.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/paths.h"
#include "platform/record.h"
#include "tests/settings/test_files.h"

namespace {

namespace fs = std::filesystem;

class FileBesideTest : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    PendingIoResult = 0;
    original = Folder() / "program";
    WriteBytes(original, Filler(300));
  }
  void TearDown() override {
    PendingIoResult = 0;
    TempFolderTest::TearDown();
  }
  static fs::path LinuxOf(const std::string& dos_name) {
    std::string linux_name;
    EXPECT_EQ(LinuxPathOf(dos_name, linux_name), 0u) << dos_name;
    return linux_name;
  }
  std::vector<fs::path> Entries() const {
    std::vector<fs::path> names;
    for (auto& entry : fs::directory_iterator(Folder()))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  fs::path original;
};

TEST_F(FileBesideTest, NewImageTakesThePlaceAndTheRightsOfTheOld) {
  // Root gives the file away first: a change of owner would clear the set-user bit.
  ASSERT_TRUE(GiveTo(original, UnprivilegedUid()));
  ASSERT_EQ(chmod(original.c_str(), 04751), 0);
  struct stat before;
  ASSERT_EQ(stat(original.c_str(), &before), 0);

  std::string image = CreateFileBeside(DosName(original));
  ASSERT_EQ(TakeIoResult(), 0);
  fs::path image_path = LinuxOf(image);
  EXPECT_EQ(image_path.parent_path(), Folder());
  EXPECT_NE(image_path, original);
  EXPECT_EQ(fs::file_size(image_path), 0u);

  std::vector<std::uint8_t> replacement = Filler(346, 7);
  WriteBytes(image_path, replacement);
  ReplaceFileWith(DosName(original), image);
  ASSERT_EQ(TakeIoResult(), 0);

  EXPECT_EQ(ReadBytes(original), replacement);
  EXPECT_EQ(Entries(), std::vector<fs::path>{"program"}) << "the image is renamed, not copied";
  struct stat after;
  ASSERT_EQ(stat(original.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
}

TEST_F(FileBesideTest, TwoImagesGetDifferentNames) {
  std::string first = CreateFileBeside(DosName(original));
  std::string second = CreateFileBeside(DosName(original));
  ASSERT_EQ(TakeIoResult(), 0);
  EXPECT_NE(first, second);
  DiscardFile(first);
  DiscardFile(second);
  EXPECT_EQ(Entries(), std::vector<fs::path>{"program"});
}

struct RefusalCase {
  const char* what;
  const char* name;
  ResultCode expected;
  bool needs_permissions; // root bypasses the check
};

// No image is made for a file that could not be rewritten in place either.
TEST_F(FileBesideTest, FileThatCannotBeRewrittenGetsNoImage) {
  fs::create_directory(Folder() / "dir");
  fs::create_symlink(original, Folder() / "link");
  WriteBytes(Folder() / "readonly", Filler(10));
  fs::permissions(Folder() / "readonly", fs::perms::owner_read | fs::perms::owner_exec);
  fs::create_directory(Folder() / "closed");
  WriteBytes(Folder() / "closed" / "program", Filler(10));
  fs::permissions(Folder() / "closed", fs::perms::owner_read | fs::perms::owner_exec);
  const RefusalCase cases[] = {
      {"missing file", "missing", 2, false},
      {"directory", "dir", 5, false},
      {"symbolic link", "link", 5, false},
      {"read-only file", "readonly", 5, true},
      {"read-only folder", "closed/program", 5, true},
  };
  std::vector<fs::path> entries = Entries();
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needs_permissions && geteuid() == 0)
      continue;
    EXPECT_EQ(CreateFileBeside(DosName(Folder() / c.name)), "");
    EXPECT_EQ(TakeIoResult(), c.expected);
  }
  EXPECT_EQ(Entries(), entries);
  EXPECT_EQ(fs::directory_iterator(Folder() / "closed")->path().filename(), "program");
}

TEST_F(FileBesideTest, PendingResultHoldsBackAllButTheDiscard) {
  std::string image = CreateFileBeside(DosName(original));
  ASSERT_EQ(TakeIoResult(), 0);
  PendingIoResult = 152;
  EXPECT_EQ(CreateFileBeside(DosName(original)), "");
  ReplaceFileWith(DosName(original), image);
  EXPECT_EQ(ReadBytes(original).size(), 300u);
  DiscardFile(image);
  EXPECT_EQ(PendingIoResult, 152);
  EXPECT_EQ(Entries(), std::vector<fs::path>{"program"});
}

} // namespace
