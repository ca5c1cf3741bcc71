// The block store on plain files in a temporary folder. Expected file contents are worked out
// here from the key rule, not with the store's own scrambler.
#include <cstddef>
#include <cstring>

#include "settings/settings_block.h"
#include "settings/store.h"
#include "settings/store_internals.h"
#include "tests/settings/test_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint8_t KeyByte(std::size_t j) {
  return ScrambleKey[(j % 255 + j % 255 / 7) % 7];
}

// A block with every field set apart from the built-in defaults.
SettingsBlock SampleBlock() {
  SettingsBlock block = Settings;
  block.Options.MaskLength = 5;
  std::memcpy(block.Options.MaskChars, "*.BAKQWERTYUI", MaskCapacity);
  block.Options.ParentDelete = 1;
  block.Options.SubDirsOnly = 0;
  block.Options.FilesOnly = 1;
  block.Options.SkipPasswords = 1;
  block.Options.EmptyDirsOnly = 0;
  block.Options.ShowDeleted = 0;
  block.Checksum = 0x5A5A;
  return block;
}

Bytes PlainBytes(const SettingsBlock& block) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&block);
  return Bytes(bytes, bytes + sizeof block);
}

// The bytes that a save of `block` puts into a file.
Bytes StoredForm(SettingsBlock block) {
  Bytes plain = PlainBytes(block);
  std::uint8_t sum = 0;
  for (std::size_t j = 0; j + 2 < plain.size(); ++j)
    sum ^= plain[j];
  plain[plain.size() - 2] = sum;
  plain[plain.size() - 1] = 0;
  for (std::size_t j = 0; j < plain.size(); ++j)
    plain[j] ^= KeyByte(j);
  return plain;
}

// The block as a load must return it: checksum word 0 after a good check.
SettingsBlock Verified(SettingsBlock block) {
  block.Checksum = 0;
  return block;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::string_view Signature() {
  return SignatureOf(&Settings);
}

void ExpectSameBlock(const SettingsBlock& actual, const SettingsBlock& expected) {
  EXPECT_EQ(PlainBytes(actual), PlainBytes(expected));
}

TEST(ScramblerTest, KeyStreamIsTheKeyTurnedLeftOnePlacePerCopy) {
  for (std::uint8_t key_byte : ScrambleKey)
    EXPECT_NE(key_byte, 0) << "a 0 in the key would leave the plain block looking stored";
  EXPECT_EQ(ExpandKey(ScrambleKey), KeyStream);
  const std::array<std::uint8_t, ScrambleKeySize> counting = {1, 2, 3, 4, 5, 6, 7};
  std::array<std::uint8_t, KeyStreamSize> stream = ExpandKey(counting);
  for (int i = 0; i < KeyStreamSize; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(stream[i], counting[(i + i / 7) % 7]);
    EXPECT_EQ(KeyStream[i], KeyByte(i));
  }
}

TEST(ScramblerTest, EveryRunStartsTheStreamAfreshAndTwiceRestoresIt) {
  Bytes original = Filler(600);
  Bytes buffer = original;
  ScrambleBytes(buffer.data(), static_cast<std::uint16_t>(buffer.size()));
  for (std::size_t j = 0; j < buffer.size(); ++j)
    ASSERT_EQ(buffer[j], original[j] ^ KeyByte(j)) << j;
  ScrambleBytes(buffer.data(), static_cast<std::uint16_t>(buffer.size()));
  EXPECT_EQ(buffer, original);
}

TEST(ScramblerTest, ChecksumIsTheXorOfTheBytesInTheLowByte) {
  const struct {
    Bytes bytes;
    std::uint16_t expected;
  } cases[] = {
      {{}, 0},
      {{0x0F, 0xF0}, 0xFF},
      {{0xAA, 0xAA}, 0},
      {{0x80, 0x01, 0x02}, 0x83},
      {Bytes(44, 0xFF), 0},
      {Bytes(45, 0xFF), 0xFF},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BlockChecksum(c.bytes.data(), static_cast<std::uint16_t>(c.bytes.size())),
              c.expected);
}

// A signature as it lies in a stored block: scrambled from KeyStream byte 1 on.
void PutStoredSignature(Bytes& buffer, std::size_t at) {
  std::string_view sig = Signature();
  for (std::size_t k = 0; k < sig.size(); ++k)
    buffer[at + k] = static_cast<std::uint8_t>(sig[k]) ^ KeyByte(k + 1);
}

TEST(ScramblerTest, SignatureCountsOnlyWithAByteAfterIt) {
  const struct {
    std::size_t at;
    std::uint16_t count;
    std::uint16_t expected;
  } cases[] = {
      {0, 100, 0},           {10, 100, 10}, {75, 100, 75}, {76, 100, NoSignature},
      {10, 34, NoSignature}, {10, 35, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.at);
    Bytes buffer(100, 0);
    PutStoredSignature(buffer, c.at);
    EXPECT_EQ(FindSignature(buffer.data(), c.count, Signature()), c.expected);
  }
  Bytes plain(100, 0);
  std::memcpy(plain.data() + 10, Signature().data(), Signature().size());
  EXPECT_EQ(FindSignature(plain.data(), 100, Signature()), NoSignature);
}

class StoreTest : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    PendingIoResult = 0;
    path = Folder() / "store.bin";
  }
  void TearDown() override {
    EXPECT_EQ(PendingIoResult, 0) << "the store must leave no result pending";
    PendingIoResult = 0;
    TempFolderTest::TearDown();
  }
  std::string Name() const { return DosName(path); }
  std::int32_t Count() const { return CountStoredBlocks(Name(), &Settings); }
  std::int64_t Find(std::uint16_t occurrence) const {
    RecordFile file;
    EXPECT_TRUE(OpenStoreFile(file, Name(), 0));
    std::int64_t offset = FindStoredBlock(file, occurrence, Signature());
    CloseRecordFile(file);
    EXPECT_EQ(TakeIoResult(), 0);
    return offset;
  }
  // Loads over a block that holds the built-in defaults; `loaded` tells whether it was taken.
  SettingsBlock Load(std::uint16_t occurrence, bool& loaded) const {
    SettingsBlock block = Settings;
    loaded = LoadStoredBlock(Name(), occurrence, &block, SettingsBlockSize);
    return block;
  }

  std::filesystem::path path;
};

// Whatever its place relative to the 4096-byte chunks (which start every 4071 bytes), a stored
// block is found at the offset of its length byte, with or without bytes after it.
TEST_F(StoreTest, BlockIsFoundWhereverItLies) {
  std::vector<std::size_t> offsets = {0, 1, 2, 253, 254, 255, 256, 509, 510, 4000, 12213};
  for (std::size_t offset = 4040; offset <= 4100; ++offset)
    offsets.push_back(offset);
  for (std::size_t offset = 8110; offset <= 8170; ++offset)
    offsets.push_back(offset);
  const SettingsBlock block = SampleBlock();
  for (std::size_t offset : offsets) {
    for (std::size_t tail : {0, 1, 5000}) {
      SCOPED_TRACE(testing::Message() << "offset " << offset << ", tail " << tail);
      WriteBytes(path, Join({Filler(offset, 3), StoredForm(block), Filler(tail, 4)}));
      EXPECT_EQ(Count(), 1);
      EXPECT_EQ(Find(1), static_cast<std::int64_t>(offset));
      bool loaded;
      SettingsBlock got = Load(1, loaded);
      EXPECT_TRUE(loaded);
      ExpectSameBlock(got, Verified(block));
    }
  }
}

// Its signature then ends on the first chunk's last byte, which a chunk never matches: the
// second chunk, which starts 25 bytes before the end of the first, finds it.
TEST_F(StoreTest, SignatureEndingOnAChunksLastByteIsFoundInTheNextChunk) {
  const std::size_t offset = SearchChunkSize - 1 - Signature().size();
  Bytes file = Join({Filler(offset, 3), StoredForm(SampleBlock()), Filler(100, 4)});
  EXPECT_EQ(FindSignature(file.data(), SearchChunkSize, Signature()), NoSignature);
  const std::size_t next = SearchChunkSize - Signature().size() - 1;
  EXPECT_EQ(FindSignature(file.data() + next, static_cast<std::uint16_t>(file.size() - next),
                          Signature()),
            offset + 1 - next);
  WriteBytes(path, file);
  EXPECT_EQ(Find(1), static_cast<std::int64_t>(offset));
}

TEST_F(StoreTest, TwoBlocksAreCountedAndTakenInFileOrder) {
  SettingsBlock first = SampleBlock();
  SettingsBlock second = SampleBlock();
  second.Options.MaskLength = 3;
  second.Options.EmptyDirsOnly = 1;
  // The first one's signature straddles the first chunk boundary.
  Bytes head = Filler(4080, 5), middle = Filler(6000, 6), tail = Filler(100, 7);
  WriteBytes(path, Join({head, StoredForm(first), middle, StoredForm(second), tail}));
  EXPECT_EQ(Count(), 2);
  EXPECT_EQ(Find(1), 4080);
  EXPECT_EQ(Find(2), 4080 + SettingsBlockSize + 6000);
  EXPECT_EQ(Find(3), -1);
  bool loaded;
  ExpectSameBlock(Load(2, loaded), Verified(second));
  EXPECT_TRUE(loaded);

  SettingsBlock third = SampleBlock();
  third.Options.SubDirsOnly = 1;
  ASSERT_TRUE(SaveStoredBlock(Name(), 1, &third, SettingsBlockSize));
  EXPECT_EQ(ReadBytes(path), Join({head, StoredForm(third), middle, StoredForm(second), tail}));
}

TEST_F(StoreTest, FirstSaveAppendsAndLaterSavesRewriteInPlace) {
  Bytes program = Filler(5000, 8);
  WriteBytes(path, program);
  SettingsBlock block = SampleBlock();
  const OptionSet options = block.Options;
  ASSERT_TRUE(SaveStoredBlock(Name(), 1, &block, SettingsBlockSize));
  EXPECT_EQ(std::memcmp(&block.Options, &options, sizeof options), 0)
      << "a save must leave the options in force as they were";
  EXPECT_EQ(ReadBytes(path), Join({program, StoredForm(block)}));

  block.Options.ShowDeleted = 1;
  block.Options.MaskLength = 12;
  ASSERT_TRUE(SaveStoredBlock(Name(), 1, &block, SettingsBlockSize));
  EXPECT_EQ(ReadBytes(path), Join({program, StoredForm(block)}));

  bool loaded;
  SettingsBlock got = Load(1, loaded);
  EXPECT_TRUE(loaded);
  ExpectSameBlock(got, Verified(block));
}

TEST_F(StoreTest, SaveIntoAMissingFileMakesABlockAtOffsetZero) {
  SettingsBlock block = SampleBlock();
  ASSERT_TRUE(SaveStoredBlock(Name(), 1, &block, SettingsBlockSize));
  EXPECT_EQ(ReadBytes(path), StoredForm(block));
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(Find(1), 0);
}

TEST_F(StoreTest, NothingIsFoundInAnEmptyOrMissingFileOrForOccurrenceZero) {
  bool loaded = true;
  EXPECT_EQ(Count(), 0) << "missing file";
  ExpectSameBlock(Load(1, loaded), Settings);
  EXPECT_FALSE(loaded);

  WriteBytes(path, {});
  EXPECT_EQ(Count(), 0) << "empty file";
  EXPECT_EQ(Find(1), -1);
  Load(1, loaded);
  EXPECT_FALSE(loaded);

  WriteBytes(path, Join({Filler(10), StoredForm(SampleBlock()), Filler(10)}));
  EXPECT_EQ(Find(0), -1);
  ExpectSameBlock(Load(0, loaded), Settings);
  EXPECT_FALSE(loaded);
}

TEST_F(StoreTest, BlockFailingItsChecksumIsLoadedWithTheWordAsRead) {
  SettingsBlock block = SampleBlock();
  Bytes stored = StoredForm(block);
  stored[offsetof(SettingsBlock, Options) + offsetof(OptionSet, MaskChars)] ^= 0x01;
  WriteBytes(path, Join({Filler(300), stored, Filler(300)}));
  bool loaded;
  SettingsBlock got = Load(1, loaded);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(got.Options.MaskChars[0], '*' ^ 0x01);
  std::uint8_t sum = 0;
  Bytes plain = PlainBytes(block);
  for (int j = 0; j < SettingsBlockSize - 2; ++j)
    sum ^= plain[j];
  EXPECT_EQ(got.Checksum, sum) << "the word read, which does not match the bytes";
}

TEST_F(StoreTest, BlockCutShortByTheEndOfTheFileIsNotLoaded) {
  Bytes stored = StoredForm(SampleBlock());
  WriteBytes(path, Join({Filler(100), Bytes(stored.begin(), stored.begin() + 40)}));
  EXPECT_EQ(Find(1), 100);
  bool loaded = true;
  ExpectSameBlock(Load(1, loaded), Settings);
  EXPECT_FALSE(loaded);
}

// The program's own block lies unscrambled in its data: it must not pass for a stored one.
TEST_F(StoreTest, PlainBlockIsNoStoredBlock) {
  Bytes plain = PlainBytes(Settings);
  for (std::size_t offset : {0, 1, 1000, 4071, 4080}) {
    SCOPED_TRACE(offset);
    WriteBytes(path, Join({Filler(offset), plain, Filler(5000)}));
    EXPECT_EQ(Count(), 0);
    WriteBytes(path, Join({Filler(offset), plain, Filler(50), StoredForm(SampleBlock())}));
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(Find(1), static_cast<std::int64_t>(offset + plain.size() + 50));
  }
}

TEST_F(StoreTest, SignatureAtTheVeryStartHasNoRoomForItsLengthByte) {
  Bytes stored = StoredForm(SampleBlock());
  WriteBytes(path, Join({Bytes(stored.begin() + 1, stored.end()), Filler(100)}));
  EXPECT_EQ(Find(1), -1);
  EXPECT_EQ(Count(), 0);
  bool loaded;
  Load(1, loaded);
  EXPECT_FALSE(loaded);
}

TEST_F(StoreTest, BlockWithoutRoomForSignatureAndChecksumIsRefused) {
  WriteBytes(path, Filler(100));
  SettingsBlock block = SampleBlock();
  EXPECT_FALSE(SaveStoredBlock(Name(), 1, &block, 26));
  EXPECT_FALSE(LoadStoredBlock(Name(), 1, &block, 26));
  EXPECT_EQ(ReadBytes(path), Filler(100));
}

TEST_F(StoreTest, DirectoryIsNoStore) {
  std::filesystem::create_directory(path);
  EXPECT_EQ(Count(), 0);
  SettingsBlock block = SampleBlock();
  EXPECT_FALSE(SaveStoredBlock(Name(), 1, &block, SettingsBlockSize));
  EXPECT_FALSE(LoadStoredBlock(Name(), 1, &block, SettingsBlockSize));
}

} // namespace
