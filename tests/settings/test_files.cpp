#include "tests/settings/test_files.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/fs.h"
#include "platform/posix/paths.h"

namespace {

// The drive table must be in place before any DOS name is turned into a Linux one.
class DriveTable : public ::testing::Environment {
public:
  void SetUp() override { ASSERT_EQ(StartFileSystem(), ""); }
};

[[maybe_unused]] ::testing::Environment* const drive_table =
    ::testing::AddGlobalTestEnvironment(new DriveTable);

} // namespace

std::string DosName(const std::filesystem::path& path) {
  return DosPathOf(path.string());
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::vector<std::uint8_t> Filler(std::size_t count, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<std::uint8_t> bytes(count);
  for (auto& byte : bytes)
    byte = static_cast<std::uint8_t>(generator());
  return bytes;
}
