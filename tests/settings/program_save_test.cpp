// Option -R end to end: a copy of the built program in a temporary folder saves its options into
// itself and starts from them on the next run.
#include <chrono>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "settings/settings_block.h"
#include "settings/store.h"
#include "settings/store_internals.h"
#include "tests/settings/test_files.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path BuiltProgram = VAKRUN_PROGRAM;

// Permissions mean nothing to root: the refused saves run as this user instead.
constexpr uid_t Nobody = 65534;
constexpr int CouldNotDropStatus = 125;

const std::string ShowsDeleted = "       * Using -D will display deleted files and dirs\r\n";
const std::string HidesDeleted = "       * Using -D will NOT display deleted files and dirs\r\n";
const std::string NotOriginal =
    "PROBLEM: Vakrun is not in its original form. Check compression and attributes!";

struct RunResult {
  int status = -1;
  std::string console; // standard error
  std::string output;  // standard output
};

std::string TextOf(const fs::path& path) {
  Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

class ProgramSaveTest : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    // Open to every user, so that a run as another user can reach the program.
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    fs::create_directory(folder / "bin");
    fs::create_directory(folder / "out");
    program = folder / "bin" / "vakrun";
    fs::copy_file(BuiltProgram, program);
    fs::permissions(program, fs::perms(0755));
    original = ReadBytes(program);
    expected = folder / "out" / "expected";
    WriteBytes(expected, original);
  }

  // Starts the copy with the arguments, in the test folder, with no keys to read.
  pid_t Start(const std::vector<std::string>& arguments, uid_t as_user = geteuid()) {
    int console_fd = open(ConsoleFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int output_fd = open(OutputFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::vector<std::string> words = arguments;
    words.insert(words.begin(), program.string());
    std::vector<char*> argv;
    for (std::string& word : words)
      argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child == 0) {
      int keys = open("/dev/null", O_RDONLY);
      if (keys < 0 || dup2(keys, 0) < 0 || dup2(output_fd, 1) < 0 || dup2(console_fd, 2) < 0 ||
          chdir(folder.c_str()) != 0)
        _exit(126);
      if (as_user != geteuid() &&
          (setgroups(0, nullptr) != 0 || setgid(as_user) != 0 || setuid(as_user) != 0)) {
        static const char message[] = "cannot run as another user\n";
        (void)!write(2, message, sizeof message - 1);
        _exit(CouldNotDropStatus);
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(console_fd);
    close(output_fd);
    EXPECT_GT(child, 0) << "fork failed";
    return child;
  }

  RunResult Finish(pid_t child) {
    RunResult result;
    if (child <= 0)
      return result;
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(child, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        ADD_FAILURE() << "the program did not end within a minute";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.console = TextOf(ConsoleFile());
    result.output = TextOf(OutputFile());
    return result;
  }

  RunResult Run(const std::vector<std::string>& arguments, uid_t as_user = geteuid()) {
    return Finish(Start(arguments, as_user));
  }

  fs::path ConsoleFile() const { return folder / "out" / "console"; }
  fs::path OutputFile() const { return folder / "out" / "output"; }

  // What a save of the built-in block with ShowDeleted as given, made in place, would leave.
  void SaveExpected(bool show_deleted) {
    SettingsBlock block = Settings;
    block.Options.ShowDeleted = show_deleted ? 1 : 0;
    ASSERT_TRUE(SaveStoredBlock(DosName(expected), 1, &block, SettingsBlockSize));
  }

  std::vector<fs::path> ProgramFolder() const {
    std::vector<fs::path> names;
    for (auto& entry : fs::directory_iterator(folder / "bin"))
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
  EXPECT_NE(run.console.find(HidesDeleted), std::string::npos) << run.console;

  run = Run({"-D", "-R"});
  EXPECT_EQ(run.status, 0) << run.console;
  EXPECT_EQ(run.console.find("PROBLEM"), std::string::npos) << run.console;
  EXPECT_EQ(fs::file_size(program), original.size() + SettingsBlockSize) << "first save appends";
  SaveExpected(false);
  EXPECT_EQ(ReadBytes(program), ReadBytes(expected)) << "same bytes as a save in place";
  EXPECT_EQ(fs::status(program).permissions(), fs::perms(0755));
  EXPECT_EQ(ProgramFolder(), std::vector<fs::path>{"vakrun"}) << "no scratch file may stay";

  run = Run({});
  EXPECT_NE(run.console.find(ShowsDeleted), std::string::npos) << run.console;
  EXPECT_EQ(run.console.find(HidesDeleted), std::string::npos) << run.console;

  run = Run({"-D", "-R"});
  EXPECT_EQ(run.status, 0) << run.console;
  EXPECT_EQ(fs::file_size(program), original.size() + SettingsBlockSize) << "rewritten in place";
  SaveExpected(true);
  EXPECT_EQ(ReadBytes(program), ReadBytes(expected));
  EXPECT_EQ(ProgramFolder(), std::vector<fs::path>{"vakrun"});

  run = Run({});
  EXPECT_NE(run.console.find(HidesDeleted), std::string::npos) << run.console;
}

// Options before -R are saved, options after it count for this run only, and the run goes on.
TEST_F(ProgramSaveTest, RunGoesOnAfterTheSave) {
  fs::create_directory(folder / "target");
  WriteBytes(folder / "target" / "a.txt", Filler(10));
  WriteBytes(folder / "target" / "b.dat", Filler(10));

  RunResult run = Run({"-M*.txt", "-R", "-F", "target"});
  EXPECT_EQ(run.status, 0) << run.console;
  EXPECT_NE(run.console.find("Using option(s): FilesOnly ShowDeleted Mask:*.TXT \r\n"),
            std::string::npos)
      << run.console;
  EXPECT_FALSE(fs::exists(folder / "target" / "a.txt"));
  EXPECT_TRUE(fs::exists(folder / "target" / "b.dat"));

  run = Run({});
  EXPECT_NE(run.console.find("       * Using -Mxxx will delete only files matching xxx mask "
                             "(\"*.TXT\")\r\n"),
            std::string::npos)
      << run.console;
  EXPECT_NE(
      run.console.find("       * Using -F will delete only files (i.e. it will empty dirs)\r\n"),
      std::string::npos)
      << run.console;
  EXPECT_NE(run.console.find(HidesDeleted), std::string::npos) << run.console;
}

// However early or late the run is cut off, the program file is the old one or the saved one.
TEST_F(ProgramSaveTest, SaveCutOffAnywhereLeavesAWholeProgram) {
  SaveExpected(false);
  const Bytes saved = ReadBytes(expected);
  // The cuts are spread over the time a whole run takes.
  auto started = std::chrono::steady_clock::now();
  Run({"-D", "-R"});
  auto whole_run = std::chrono::steady_clock::now() - started;
  const int attempts = 40;
  int cut_before = 0, cut_after = 0, cut_during = 0;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    SCOPED_TRACE(attempt);
    WriteBytes(program, original);
    pid_t child = Start({"-D", "-R"});
    std::this_thread::sleep_for(whole_run * attempt / attempts);
    kill(child, SIGKILL);
    Finish(child);
    Bytes now = ReadBytes(program);
    ASSERT_TRUE(now == original || now == saved) << "size " << now.size();
    (now == original ? cut_before : cut_after)++;
    // A run cut off in the middle may leave its scratch copy, never a broken program.
    for (auto& entry : fs::directory_iterator(folder / "bin"))
      if (entry.path().filename() != "vakrun")
        cut_during += fs::remove(entry.path());
  }
  RecordProperty("CutDuringTheSave", cut_during);
  RecordProperty("CutBeforeTheSave", cut_before);
  RecordProperty("CutAfterTheSave", cut_after);
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
  uid_t runner = geteuid() == 0 ? Nobody : geteuid();
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.what);
    if (runner != geteuid()) {
      ASSERT_EQ(chown((folder / "bin").c_str(), runner, runner), 0);
      ASSERT_EQ(chown(program.c_str(), runner, runner), 0);
    }
    fs::permissions(folder / "bin", c.folder_rights);
    fs::permissions(program, c.program_rights);

    RunResult run = Run({"-D", "-R"}, runner);
    if (run.status == CouldNotDropStatus || run.status == 127)
      GTEST_SKIP() << "cannot run the program as user " << runner
                   << " (needed because permissions do not bind root): " << run.console;
    EXPECT_EQ(run.status, 1) << run.console;
    EXPECT_NE(run.console.find(NotOriginal), std::string::npos) << run.console;
    EXPECT_EQ(ReadBytes(program), original);
    EXPECT_EQ(fs::status(program).permissions(), c.program_rights);
    EXPECT_EQ(ProgramFolder(), std::vector<fs::path>{"vakrun"});
    fs::permissions(folder / "bin", fs::perms(0755));
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
    fs::create_directories(folder / "t" / "d");
    WriteBytes(folder / "t" / "a.bak", Filler(10));
    WriteBytes(folder / "t" / "b.txt", Filler(10));

    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"t"}, {"-F", "t"}, {}}) {
      RunResult run = Run(arguments);
      EXPECT_EQ(run.status, 1) << run.console;
      // Standard error is a pipe here, so it gets no line clearing.
      EXPECT_EQ(run.console, NotOriginal + "\r\n");
      EXPECT_EQ(run.output, "");
      EXPECT_TRUE(fs::exists(folder / "t" / "b.txt"));
      EXPECT_TRUE(fs::exists(folder / "t" / "d"));
    }
    EXPECT_EQ(ReadBytes(program), damaged) << "nothing saved without -R";

    // -R starts from the built-in options, and its save repairs the program.
    RunResult run = Run({"-R"});
    EXPECT_EQ(run.status, 0) << run.console;
    EXPECT_NE(run.console.find(HidesDeleted), std::string::npos) << run.console;
    WriteBytes(expected, original);
    SaveExpected(true);
    EXPECT_EQ(ReadBytes(program), ReadBytes(expected));
    run = Run({"-F", "t"});
    EXPECT_EQ(run.status, 0) << run.console;
    EXPECT_NE(run.console.find("Using option(s): FilesOnly ShowDeleted Mask:*.* \r\n"),
              std::string::npos)
        << run.console;
    EXPECT_FALSE(fs::exists(folder / "t" / "b.txt"));
    EXPECT_TRUE(fs::exists(folder / "t" / "d"));
    fs::remove_all(folder / "t");
  }
}

// A sound block saved with a mask of twelve Greek letters (24 bytes) is taken whole.
TEST_F(ProgramSaveTest, TwelveCharacterMaskIsSavedWhole) {
  fs::create_directory(folder / "t");
  WriteBytes(folder / "t" / "αβγδεζηθικλμ", Filler(10));
  WriteBytes(folder / "t" / "αβγδεζηθικλ", Filler(10));
  RunResult run = Run({"-Mαβγδεζηθικλμ", "-R"});
  EXPECT_EQ(run.status, 0) << run.console;
  run = Run({"-F", "t"});
  EXPECT_EQ(run.status, 0) << run.console;
  EXPECT_NE(run.console.find("Using option(s): FilesOnly ShowDeleted Mask:ΑΒΓΔΕΖΗΘΙΚΛΜ \r\n"),
            std::string::npos)
      << run.console;
  EXPECT_FALSE(fs::exists(folder / "t" / "αβγδεζηθικλμ"));
  EXPECT_TRUE(fs::exists(folder / "t" / "αβγδεζηθικλ"));
}

} // namespace
