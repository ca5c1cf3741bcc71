// Option -R end to end: a copy of the built program in a temporary folder saves its options into
// itself and starts from them on the next run.
#include <cstddef>
#include <cstring>
#include <limits>
#include <unistd.h>

#include "settings/settings_block.h"
#include "settings/store.h"
#include "settings/store_internals.h"
#include "tests/e2e/report_lines.h"
#include "tests/settings/test_files.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path BuiltProgram = VAKRUN_PROGRAM;

// What the usage screen says -D will do: while the report lines are on it hides them.
const std::string HidesDeleted = UsageLineOfD(true);
const std::string ShowsDeleted = UsageLineOfD(false);
const std::string NotOriginal =
    "PROBLEM: Vakrun is not in its original form. Check compression and attributes!";

class ProgramSaveTest : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    fs::create_directory(Folder() / "bin");
    fs::create_directory(Folder() / "out");
    program = Folder() / "bin" / "vakrun";
    fs::copy_file(BuiltProgram, program);
    fs::permissions(program, fs::perms(0755));
    original = ReadBytes(program);
    expected = Folder() / "out" / "expected";
    WriteBytes(expected, original);
  }

  // How the copy runs: in the test folder, with no keys to read, standard error (the console)
  // and standard output each to a pipe of its own; as another user when `as_uid` >= 0.
  RunOptions CopyRun(int as_uid = -1) const {
    RunOptions options;
    options.program = program.string();
    options.cwd = root;
    options.no_input = true;
    options.merge = false;
    options.screen = false;
    options.as_uid = as_uid;
    return options;
  }

  RunResult Run(const std::vector<std::string>& arguments, int as_uid = -1) {
    RunResult run = RunVakrun(arguments, CopyRun(as_uid));
    EXPECT_FALSE(run.timed_out) << "the program did not end within a minute";
    return run;
  }

  // A run of -F on t that starts from the saved options: the echo line shows them with `mask`,
  // and t keeps only `left`.
  void ExpectFilesOnlyRun(const std::string& mask, const std::vector<std::string>& left) {
    RunResult run = Run({"-F", "t"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(Echo("FilesOnly ShowDeleted Mask:" + mask)), std::string::npos)
        << run.err;
    EXPECT_EQ(ListTree(Path("t")), left);
  }

  // What a save of the built-in block with ShowDeleted as given, made in place, would leave.
  void SaveExpected(bool show_deleted) {
    SettingsBlock block = Settings;
    block.Options.ShowDeleted = show_deleted ? 1 : 0;
    ASSERT_TRUE(SaveStoredBlock(DosName(expected), 1, &block, SettingsBlockSize));
  }

  std::vector<fs::path> ProgramFolder() const {
    std::vector<fs::path> names;
    for (auto& entry : fs::directory_iterator(Folder() / "bin"))
      names.push_back(entry.path().filename());
    return names;
  }

  fs::path program, expected;
  Bytes original;
};

TEST(BuiltProgramTest, FreshBuildHoldsNoStoredBlock) {
  EXPECT_EQ(CountStoredBlocks(DosName(BuiltProgram), &Settings), 0);
}

TEST_F(ProgramSaveTest, SavedOptionsAreTheDefaultsOfLaterRuns) {
  RunResult run = Run({});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find(HidesDeleted), std::string::npos) << run.err;

  run = Run({"-D", "-R"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("PROBLEM"), std::string::npos) << run.err;
  EXPECT_EQ(fs::file_size(program), original.size() + SettingsBlockSize) << "first save appends";
  SaveExpected(false);
  EXPECT_EQ(ReadBytes(program), ReadBytes(expected)) << "same bytes as a save in place";
  EXPECT_EQ(fs::status(program).permissions(), fs::perms(0755));
  EXPECT_EQ(ProgramFolder(), std::vector<fs::path>{"vakrun"}) << "no scratch file may stay";

  run = Run({});
  EXPECT_NE(run.err.find(ShowsDeleted), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(HidesDeleted), std::string::npos) << run.err;
  // --help shows the saved options too, on standard output.
  run = Run({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find(ShowsDeleted), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");

  run = Run({"-D", "-R"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(fs::file_size(program), original.size() + SettingsBlockSize) << "rewritten in place";
  SaveExpected(true);
  EXPECT_EQ(ReadBytes(program), ReadBytes(expected));
  EXPECT_EQ(ProgramFolder(), std::vector<fs::path>{"vakrun"});

  run = Run({});
  EXPECT_NE(run.err.find(HidesDeleted), std::string::npos) << run.err;
}

// Options before -R are saved, options after it count for this run only, and the run goes on.
TEST_F(ProgramSaveTest, RunGoesOnAfterTheSave) {
  MakeTree(root, {"target/a.txt=1", "target/b.dat=2"});

  RunResult run = Run({"-M*.txt", "-R", "-F", "target"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(Echo("FilesOnly ShowDeleted Mask:*.TXT")), std::string::npos) << run.err;
  EXPECT_EQ(ListTree(Path("target")), std::vector<std::string>{"b.dat=2"});

  run = Run({});
  EXPECT_NE(run.err.find("       * Using -Mxxx will delete only files matching xxx mask "
                         "(\"*.TXT\")\r\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("       * Using -F will delete only files (i.e. it will empty dirs)\r\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(HidesDeleted), std::string::npos) << run.err;
}

// However early or late the run is cut off, the program file is the old one or the saved one:
// the run is killed before each of its system calls in turn, from the first to the last.
TEST_F(ProgramSaveTest, SaveCutOffAnywhereLeavesAWholeProgram) {
  SaveExpected(false);
  const Bytes saved = ReadBytes(expected);
  RunOptions options = CopyRun();
  options.cut_at_call = std::numeric_limits<int>::max();
  const RunResult whole = RunVakrun({"-D", "-R"}, options);
  if (whole.status == CouldNotTrace)
    GTEST_SKIP() << "this machine lets no test trace the system calls of its child";
  const int calls = whole.calls;
  ASSERT_GT(calls, 0) << "the run could not be traced";
  int cut_before = 0, cut_after = 0, cut_during = 0;
  for (int cut = 0; cut <= calls; ++cut) {
    SCOPED_TRACE("cut at system call " + std::to_string(cut) + " of " + std::to_string(calls));
    WriteBytes(program, original);
    options.cut_at_call = cut;
    RunVakrun({"-D", "-R"}, options);
    Bytes now = ReadBytes(program);
    ASSERT_TRUE(now == original || now == saved) << "size " << now.size();
    (now == original ? cut_before : cut_after)++;
    // A run cut off in the middle may leave its scratch copy, never a broken program.
    for (auto& entry : fs::directory_iterator(Folder() / "bin"))
      if (entry.path().filename() != "vakrun")
        cut_during += fs::remove(entry.path());
  }
  RecordProperty("ChangingCalls", calls);
  RecordProperty("CutBeforeTheSave", cut_before);
  RecordProperty("CutDuringTheSave", cut_during);
  RecordProperty("CutAfterTheSave", cut_after);
  EXPECT_GT(cut_before, 0);
  EXPECT_GT(cut_during, 0) << "no cut fell between the scratch copy and its rename";
  EXPECT_GT(cut_after, 0);
  EXPECT_EQ(Run({}).status, 0);
}

struct RefusedCase {
  const char* what;
  fs::perms folder_rights;
  fs::perms program_rights;
};

TEST_F(ProgramSaveTest, RefusedSaveLeavesTheProgramAsItWas) {
  const RefusedCase cases[] = {
      {"read-only folder", fs::perms(0555), fs::perms(0755)},
      {"read-only program file", fs::perms(0755), fs::perms(0555)},
  };
  // Permissions mean nothing to root: the refused saves run as another user instead.
  const int runner = UnprivilegedUid();
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(GiveTo(Folder() / "bin", runner));
    fs::permissions(Folder() / "bin", c.folder_rights);
    fs::permissions(program, c.program_rights);

    RunResult run = Run({"-D", "-R"}, runner);
    if (run.status == CouldNotBecomeUser || run.status == 127)
      GTEST_SKIP() << "cannot run the program as user " << runner
                   << " (needed because permissions do not bind root): " << run.err;
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find(NotOriginal), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(program), original);
    EXPECT_EQ(fs::status(program).permissions(), c.program_rights);
    EXPECT_EQ(ProgramFolder(), std::vector<fs::path>{"vakrun"});
    fs::permissions(Folder() / "bin", fs::perms(0755));
  }
}

// Saved options a damaged program holds are never acted on: the run ends before it touches
// anything, and -R saves the built-in options over them, which repairs the program.
struct DamageCase {
  const char* what;
  void (*change)(SettingsBlock& block); // made before the block is saved, checksum and all
  // Made to the saved bytes in the file afterwards: the offset from the block's length byte and
  // the XOR applied there (0 for none); a negative size cuts the file that many bytes short.
  std::size_t offset;
  std::uint8_t flip;
  int cut;
};

void FilesOnlyOfBak(SettingsBlock& block) {
  block.Options.FilesOnly = 1;
  block.Options.MaskLength = 5;
  std::memcpy(block.Options.MaskChars, "*.BAK", 5);
}

// A flip that turns the saved checksum word into 0.
constexpr std::uint8_t ZeroTheChecksum = 0xFF;

const std::size_t MaskAt = offsetof(SettingsBlock, Options) + offsetof(OptionSet, MaskChars);
const std::size_t ChecksumAt = offsetof(SettingsBlock, Checksum);

const DamageCase kDamageCases[] = {
    // "*.BAK" read as "*.*AK" would take every file.
    {"a byte of the mask changed", FilesOnlyOfBak, MaskAt + 2, '*' ^ 'B', 0},
    {"a switch changed", FilesOnlyOfBak, MaskAt + MaskBytes + 2, 1, 0},
    {"the checksum word changed", FilesOnlyOfBak, ChecksumAt, 0x40, 0},
    // The store's verdict word reads 0 for a match; a word of 0 in the file must not pass for one.
    {"a checksum word of 0 that does not match", FilesOnlyOfBak, ChecksumAt, ZeroTheChecksum, 0},
    {"the block cut short", FilesOnlyOfBak, 0, 0, 3},
    {"ParentDelete with SubDirsOnly",
     [](SettingsBlock& block) { block.Options.ParentDelete = block.Options.SubDirsOnly = 1; }, 0, 0,
     0},
    {"EmptyDirsOnly with FilesOnly",
     [](SettingsBlock& block) { block.Options.EmptyDirsOnly = block.Options.FilesOnly = 1; }, 0, 0,
     0},
    {"a mask the option loop refuses",
     [](SettingsBlock& block) {
       block.Options.MaskLength = 3;
       std::memcpy(block.Options.MaskChars, "*:*", 3);
     },
     0, 0, 0},
    {"a mask of 13 characters",
     [](SettingsBlock& block) {
       block.Options.MaskLength = 13;
       std::memcpy(block.Options.MaskChars, "ABCDEFGHIJKL*", 13);
     },
     0, 0, 0},
    {"a mask length past the mask's room",
     [](SettingsBlock& block) { block.Options.MaskLength = MaskBytes + 1; }, 0, 0, 0},
    {"a switch byte the option loop never writes",
     [](SettingsBlock& block) { block.Options.SkipPasswords = 2; }, 0, 0, 0},
};

TEST_F(ProgramSaveTest, DamagedSavedOptionsAreNeverActedOn) {
  for (const DamageCase& c : kDamageCases) {
    SCOPED_TRACE(c.what);
    SettingsBlock block = Settings;
    c.change(block);
    WriteBytes(program, original);
    ASSERT_TRUE(SaveStoredBlock(DosName(program), 1, &block, SettingsBlockSize));
    Bytes damaged = ReadBytes(program);
    ASSERT_EQ(damaged.size(), original.size() + SettingsBlockSize);
    std::uint8_t flip = c.flip;
    if (flip == ZeroTheChecksum) {
      flip = static_cast<std::uint8_t>(block.Checksum & 0xFF);
      ASSERT_NE(flip, 0);
    }
    damaged[original.size() + c.offset] ^= flip;
    damaged.resize(damaged.size() - c.cut);
    WriteBytes(program, damaged);
    MakeTree(root, {"t/d/", "t/a.bak=1", "t/b.txt=2"});

    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"t"}, {"-F", "t"}, {}}) {
      RunResult run = Run(arguments);
      EXPECT_EQ(run.status, 1) << run.err;
      // Standard error is a pipe here, so it gets no line clearing.
      EXPECT_EQ(run.err, NotOriginal + "\r\n");
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(ListTree(Path("t")), (std::vector<std::string>{"a.bak=1", "b.txt=2", "d/"}));
    }
    // --help and --version touch nothing, so they are answered all the same; the usage screen
    // shows the built-in options.
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--help"}, {"-F", "t", "--help"}}) {
      RunResult run = Run(arguments);
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.err, "");
      EXPECT_TRUE(run.out.starts_with("\r\nVakrun ver. 1.26")) << run.out;
      EXPECT_NE(run.out.find(HidesDeleted), std::string::npos) << run.out;
      EXPECT_NE(
          run.out.find("       * Using -F will delete only files (i.e. it will empty dirs)\r\n"),
          std::string::npos)
          << run.out;
    }
    RunResult version = Run({"--version"});
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, "Vakrun ver. 1.26  erases a directory tree, all of it\r\n");
    EXPECT_EQ(ListTree(Path("t")), (std::vector<std::string>{"a.bak=1", "b.txt=2", "d/"}));
    EXPECT_EQ(ReadBytes(program), damaged) << "nothing saved without -R";

    // -R starts from the built-in options, and its save repairs the program.
    RunResult run = Run({"-R"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(HidesDeleted), std::string::npos) << run.err;
    WriteBytes(expected, original);
    SaveExpected(true);
    EXPECT_EQ(ReadBytes(program), ReadBytes(expected));
    ExpectFilesOnlyRun("*.*", {"d/"});
    fs::remove_all(Folder() / "t");
  }
}

// A sound block saved with a mask of twelve Greek letters (24 bytes) is taken whole.
TEST_F(ProgramSaveTest, TwelveCharacterMaskIsSavedWhole) {
  MakeTree(root, {"t/αβγδεζηθικλμ=1", "t/αβγδεζηθικλ=2"});
  EXPECT_EQ(Run({"-Mαβγδεζηθικλμ", "-R"}).status, 0);
  ExpectFilesOnlyRun("ΑΒΓΔΕΖΗΘΙΚΛΜ", {"αβγδεζηθικλ=2"});
}

} // namespace
