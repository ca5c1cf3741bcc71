// Record files over plain files in a temporary folder.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/record.h"
#include "tests/settings/test_files.h"

namespace {

class RecordFileTest : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    PendingIoResult = 0;
    OpenMode = 2;
  }
  void TearDown() override {
    PendingIoResult = 0;
    if (file.State != RecordState::Unbound && file.State != RecordState::Closed)
      CloseRecordFile(file);
    PendingIoResult = 0;
    OpenMode = 2;
    TempFolderTest::TearDown();
  }
  // Writes a sample file of `size` bytes and binds `file` to it.
  std::vector<std::uint8_t> BindSample(std::size_t size) {
    std::vector<std::uint8_t> bytes = Filler(size);
    WriteBytes(Sample(), bytes);
    BindFileName(file, DosName(Sample()));
    return bytes;
  }
  std::filesystem::path Sample() const { return Folder() / "sample.bin"; }

  RecordFile file;
};

TEST_F(RecordFileTest, RecordSizeZeroGives2AndOpensNothing) {
  BindSample(10);
  OpenExistingFile(file, 0);
  EXPECT_EQ(TakeIoResult(), 2);
  EXPECT_EQ(file.State, RecordState::Closed);
  CreateNewFile(file, 0);
  EXPECT_EQ(TakeIoResult(), 2);
  EXPECT_EQ(ReadBytes(Sample()).size(), 10u) << "a create with size 0 must not cut the file";
}

TEST_F(RecordFileTest, UnboundFileGives102AndStaysUnbound) {
  OpenExistingFile(file, 1);
  EXPECT_EQ(TakeIoResult(), 102);
  CreateNewFile(file, 1);
  EXPECT_EQ(TakeIoResult(), 102);
  EXPECT_EQ(file.State, RecordState::Unbound);
}

TEST_F(RecordFileTest, ReadThatMeetsTheEndIsShortAndNoError) {
  std::vector<std::uint8_t> bytes = BindSample(5000);
  OpenMode = 0;
  OpenExistingFile(file, 1);
  ASSERT_EQ(TakeIoResult(), 0);
  SeekRecord(file, 4096);
  std::vector<std::uint8_t> buffer(4096);
  EXPECT_EQ(ReadRecords(file, buffer.data(), 4096), 904);
  EXPECT_EQ(PendingIoResult, 0);
  EXPECT_TRUE(std::equal(bytes.begin() + 4096, bytes.end(), buffer.begin()));
  EXPECT_EQ(ReadRecords(file, buffer.data(), 4096), 0);
  EXPECT_EQ(PendingIoResult, 0);
}

enum class Operation { Read, Write, Seek, Size, Close };
// -2: never bound; -1: bound and closed; 0 to 2: opened with that OpenMode.
struct StateCase {
  const char* what;
  int opened_with;
  Operation operation;
  ResultCode expected;
};

TEST_F(RecordFileTest, OperationInTheWrongStateGivesItsCode) {
  const StateCase cases[] = {
      {"read, unbound", -2, Operation::Read, 103},
      {"write, unbound", -2, Operation::Write, 103},
      {"seek, unbound", -2, Operation::Seek, 103},
      {"size, unbound", -2, Operation::Size, 103},
      {"close, unbound", -2, Operation::Close, 103},
      {"read, closed", -1, Operation::Read, 103},
      {"write, closed", -1, Operation::Write, 103},
      {"seek, closed", -1, Operation::Seek, 103},
      {"size, closed", -1, Operation::Size, 103},
      {"close, closed", -1, Operation::Close, 103},
      {"write, input only", 0, Operation::Write, 105},
      {"read, output only", 1, Operation::Read, 104},
  };
  for (const StateCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> bytes = BindSample(100);
    if (c.opened_with == -2)
      file = RecordFile{};
    if (c.opened_with >= 0) {
      OpenMode = static_cast<std::uint8_t>(c.opened_with);
      OpenExistingFile(file, 1);
      ASSERT_EQ(TakeIoResult(), 0);
    }
    std::uint8_t buffer[16] = {};
    switch (c.operation) {
    case Operation::Read:
      EXPECT_EQ(ReadRecords(file, buffer, 16), 0);
      break;
    case Operation::Write:
      EXPECT_EQ(WriteRecords(file, buffer, 16), 0);
      break;
    case Operation::Seek:
      SeekRecord(file, 5);
      break;
    case Operation::Size:
      EXPECT_EQ(FileSizeInRecords(file), 0);
      break;
    case Operation::Close:
      CloseRecordFile(file);
      break;
    }
    EXPECT_EQ(TakeIoResult(), c.expected);
    if (c.opened_with >= 0)
      CloseRecordFile(file);
    EXPECT_EQ(TakeIoResult(), 0);
    EXPECT_EQ(ReadBytes(Sample()), bytes) << "nothing may be written";
  }
}

TEST_F(RecordFileTest, CloseTwiceGives103) {
  BindSample(10);
  OpenExistingFile(file, 1);
  CloseRecordFile(file);
  ASSERT_EQ(TakeIoResult(), 0);
  CloseRecordFile(file);
  EXPECT_EQ(TakeIoResult(), 103);
}

// While a result is pending every operation but the binding is skipped, and the result stays.
TEST_F(RecordFileTest, NothingHappensWhileAResultIsPending) {
  std::vector<std::uint8_t> bytes = BindSample(100);
  PendingIoResult = 152;
  OpenExistingFile(file, 1);
  EXPECT_EQ(file.State, RecordState::Closed);
  BindFileName(file, DosName(Folder() / "new.bin"));
  CreateNewFile(file, 1);
  EXPECT_FALSE(std::filesystem::exists(Folder() / "new.bin"));

  PendingIoResult = 0;
  BindFileName(file, DosName(Sample()));
  OpenExistingFile(file, 1);
  ASSERT_EQ(TakeIoResult(), 0);
  PendingIoResult = 152;
  std::uint8_t buffer[16] = {};
  EXPECT_EQ(ReadRecords(file, buffer, 16), 0);
  EXPECT_EQ(WriteRecords(file, buffer, 16), 0);
  SeekRecord(file, 50);
  EXPECT_EQ(FileSizeInRecords(file), 0);
  CloseRecordFile(file);
  EXPECT_EQ(file.State, RecordState::InputOutput) << "the close must wait as well";
  EXPECT_EQ(TakeIoResult(), 152);

  // The position is still 0: the skipped seek and read did not move it.
  EXPECT_EQ(ReadRecords(file, buffer, 16), 16);
  EXPECT_TRUE(std::equal(buffer, buffer + 16, bytes.begin()));
  EXPECT_EQ(ReadBytes(Sample()), bytes);
}

struct OpenCase {
  const char* what;
  const char* name; // inside the test folder
  bool create;      // CreateNewFile, else OpenExistingFile
  std::uint8_t mode;
  ResultCode expected;
  bool needs_permissions; // root bypasses the check
};

TEST_F(RecordFileTest, FailedOpenGivesTheDosCode) {
  std::filesystem::create_directory(Folder() / "dir");
  WriteBytes(Folder() / "readonly.bin", Filler(10));
  std::filesystem::permissions(Folder() / "readonly.bin", std::filesystem::perms::owner_read);
  const OpenCase cases[] = {
      {"missing file", "missing.bin", false, 0, 2, false},
      {"missing directory", "nodir/file.bin", false, 2, 3, false},
      {"create in a missing directory", "nodir/file.bin", true, 2, 3, false},
      {"directory for reading", "dir", false, 0, 5, false},
      {"directory for update", "dir", false, 2, 5, false},
      {"read-only file for update", "readonly.bin", false, 2, 5, true},
      {"read-only file for writing", "readonly.bin", false, 1, 5, true},
      {"read-only file created again", "readonly.bin", true, 2, 5, true},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needs_permissions && geteuid() == 0)
      continue;
    BindFileName(file, DosName(Folder() / c.name));
    OpenMode = c.mode;
    if (c.create)
      CreateNewFile(file, 1);
    else
      OpenExistingFile(file, 1);
    EXPECT_EQ(TakeIoResult(), c.expected);
    EXPECT_EQ(file.State, RecordState::Closed);
  }
  EXPECT_EQ(ReadBytes(Folder() / "readonly.bin").size(), 10u);
}

TEST_F(RecordFileTest, CreateCutsAnExistingFileAndOpensItForUpdate) {
  BindSample(100);
  OpenMode = 0; // the access of a create does not depend on it
  CreateNewFile(file, 1);
  ASSERT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(FileSizeInRecords(file), 0);
  const std::uint8_t text[] = {'a', 'b', 'c', 'd', 'e'};
  EXPECT_EQ(WriteRecords(file, text, 5), 5);
  SeekRecord(file, 1);
  std::uint8_t back[5] = {};
  EXPECT_EQ(ReadRecords(file, back, 5), 4);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(std::string(back, back + 4), "bcde");
  CloseRecordFile(file);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(ReadBytes(Sample()), std::vector<std::uint8_t>(text, text + 5));
}

TEST_F(RecordFileTest, CountsAndPositionsAreInWholeRecords) {
  std::vector<std::uint8_t> bytes = BindSample(10);
  OpenMode = 0;
  OpenExistingFile(file, 4);
  ASSERT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(FileSizeInRecords(file), 2);
  SeekRecord(file, 1);
  std::uint8_t buffer[12] = {};
  EXPECT_EQ(ReadRecords(file, buffer, 3), 1) << "six bytes are one whole record";
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_TRUE(std::equal(bytes.begin() + 4, bytes.end(), buffer));
}

TEST_F(RecordFileTest, UpdateOverwritesInPlace) {
  std::vector<std::uint8_t> bytes = BindSample(50);
  OpenExistingFile(file, 1);
  SeekRecord(file, 48);
  const std::uint8_t tail[] = {1, 2, 3, 4};
  EXPECT_EQ(WriteRecords(file, tail, 4), 4);
  EXPECT_EQ(FileSizeInRecords(file), 52);
  CloseRecordFile(file);
  EXPECT_EQ(TakeIoResult(), 0);
  bytes.resize(48);
  bytes.insert(bytes.end(), tail, tail + 4);
  EXPECT_EQ(ReadBytes(Sample()), bytes);
}

} // namespace
