// Scratch files for the settings tests, in the temporary folder each test gets (TempFolderTest),
// and the DOS names through which the program's file operations reach them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

// The DOS path the program's file layer uses for a Linux path.
std::string DosName(const std::filesystem::path& path);

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
// `count` bytes that look like program code: a fixed pseudo-random run.
std::vector<std::uint8_t> Filler(std::size_t count, std::uint32_t seed = 1);
