// Only for the Windows build: record files over file handles, with the system's sharing, and the
// replacement of a file by a new image through a rename aside.
#include <string>

#include "platform/record.h"
#include "temp_folder_win32.h"

namespace {

class RecordFileTest : public Win32FolderTest {
protected:
  void SetUp() override {
    Win32FolderTest::SetUp();
    Make({"data=" + std::string(5000, 'x'), "sub/"});
    OpenMode = 2;
  }
  void TearDown() override {
    OpenMode = 2;
    Win32FolderTest::TearDown();
  }
  std::string Contents(const std::string& name) {
    std::string text;
    HANDLE file = CreateFileA(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      return "(missing)";
    char buffer[8192];
    DWORD got;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
      text.append(buffer, got);
    CloseHandle(file);
    return text;
  }
};

TEST_F(RecordFileTest, OpeningGivesTheSystemsCodes) {
  struct Case {
    std::string name;
    std::uint8_t mode;
    std::uint32_t size;
    ResultCode code;
  };
  const Case cases[] = {
      {"data", 0, 1, 0},    {"data", 1, 1, 0},        {"data", 2, 1, 0},       {"data", 0, 0, 2},
      {"missing", 0, 1, 2}, {"nodir\\data", 0, 1, 3}, {"nodir/data", 0, 1, 3}, {"sub", 0, 1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " mode " + std::to_string(c.mode));
    RecordFile file;
    BindFileName(file, c.name);
    OpenMode = c.mode;
    OpenExistingFile(file, c.size);
    EXPECT_EQ(TakeIoResult(), c.code);
    if (c.code == 0) {
      CloseRecordFile(file);
      EXPECT_EQ(TakeIoResult(), 0);
    }
  }
  RecordFile unbound;
  OpenExistingFile(unbound, 1);
  EXPECT_EQ(TakeIoResult(), 102);
}

TEST_F(RecordFileTest, ReadsWritesAndStates) {
  RecordFile file;
  BindFileName(file, "data");
  CloseRecordFile(file);
  EXPECT_EQ(TakeIoResult(), 103);
  OpenMode = 0;
  OpenExistingFile(file, 1);
  ASSERT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(FileSizeInRecords(file), 5000);
  SeekRecord(file, 4096);
  static char buffer[4096];
  EXPECT_EQ(ReadRecords(file, buffer, 4096), 904);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(WriteRecords(file, "y", 1), 0);
  EXPECT_EQ(TakeIoResult(), 105);
  CloseRecordFile(file);
  EXPECT_EQ(TakeIoResult(), 0);

  OpenMode = 1;
  OpenExistingFile(file, 1);
  EXPECT_EQ(ReadRecords(file, buffer, 1), 0);
  EXPECT_EQ(TakeIoResult(), 104);
  SeekRecord(file, 4999);
  EXPECT_EQ(WriteRecords(file, "yz", 2), 2);
  CloseRecordFile(file);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(Contents("data"), std::string(4999, 'x') + "yz");

  CreateNewFile(file, 2);
  EXPECT_EQ(FileSizeInRecords(file), 0);
  EXPECT_EQ(WriteRecords(file, "abcde", 2), 2);
  SeekRecord(file, 1);
  EXPECT_EQ(ReadRecords(file, buffer, 5), 1); // records of two bytes: one after the first
  EXPECT_EQ(TakeIoResult(), 0);
  CloseRecordFile(file);
  EXPECT_EQ(Contents("data"), "abcd");
}

// A file open for writing is the opener's alone; one open for reading may be read by others.
TEST_F(RecordFileTest, SharingFollowsTheOpenMode) {
  RecordFile first, second;
  BindFileName(first, "data");
  BindFileName(second, "data");
  OpenMode = 0;
  OpenExistingFile(first, 1);
  OpenExistingFile(second, 1);
  EXPECT_EQ(TakeIoResult(), 0);
  CloseRecordFile(second);
  OpenMode = 2;
  OpenExistingFile(second, 1);
  EXPECT_EQ(TakeIoResult(), 5); // a sharing violation
  CloseRecordFile(first);
  TakeIoResult();

  OpenExistingFile(first, 1);
  ASSERT_EQ(TakeIoResult(), 0);
  OpenMode = 0;
  OpenExistingFile(second, 1);
  EXPECT_EQ(TakeIoResult(), 5);
  CloseRecordFile(first);
  EXPECT_EQ(TakeIoResult(), 0);
}

TEST_F(RecordFileTest, NewImageTakesThePlaceOfAFile) {
  std::string copy = CreateFileBeside(Path("data"));
  ASSERT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(copy.rfind(Path("data"), 0), 0u) << copy;
  HANDLE file = CreateFileA(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD written;
  WriteFile(file, "new", 3, &written, nullptr);
  CloseHandle(file);
  ReplaceFileWith(Path("data"), copy);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(Contents("data"), "new");
  // Nothing is left beside it: a file that does not run is removed at once.
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(Path("data?*").c_str(), &data);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << data.cFileName;
  if (search != INVALID_HANDLE_VALUE)
    FindClose(search);
}

TEST_F(RecordFileTest, FailedReplacementLeavesTheFileAsItWas) {
  ReplaceFileWith(Path("data"), Path("no-such-image"));
  EXPECT_NE(TakeIoResult(), 0);
  EXPECT_EQ(Contents("data"), std::string(5000, 'x'));

  CreateFileBeside(Path("sub"));
  EXPECT_EQ(TakeIoResult(), 5);
  SetFileAttributesA(Path("data").c_str(), FILE_ATTRIBUTE_READONLY);
  CreateFileBeside(Path("data"));
  EXPECT_EQ(TakeIoResult(), 5);
  CreateFileBeside(Path("missing"));
  EXPECT_EQ(TakeIoResult(), 2);
}

} // namespace
