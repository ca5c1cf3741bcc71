// Only for the Windows build's tests: a fresh folder under the system's temporary folder per test,
// made the current directory, and removed with everything in it afterwards.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/dos/result_codes.h"
#include "platform/fs.h"

class Win32FolderTest : public ::testing::Test {
protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    for (unsigned n = GetCurrentProcessId();; ++n) {
      root = std::string(temp) + "vakrun-test-" + std::to_string(n);
      if (CreateDirectoryA(root.c_str(), nullptr))
        break;
      ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    }
    TakeIoResult();
    ChangeDirectory(root);
    ASSERT_EQ(TakeIoResult(), 0);
  }

  void TearDown() override {
    TakeIoResult();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    SetCurrentDirectoryA(temp);
    Remove(root);
  }

  // "name/" makes a directory, "name" an empty file, "name=text" a file with contents.
  void Make(const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
      if (entry.ends_with('/')) {
        ASSERT_TRUE(CreateDirectoryA(Path(entry.substr(0, entry.size() - 1)).c_str(), nullptr))
            << entry;
        continue;
      }
      std::size_t equals = entry.find('=');
      std::string text = equals == std::string::npos ? "" : entry.substr(equals + 1);
      HANDLE file = CreateFileA(Path(entry.substr(0, equals)).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE) << entry;
      DWORD written;
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
      CloseHandle(file);
    }
  }

  std::string Path(const std::string& relative) const { return root + "\\" + relative; }

  std::string root;

private:
  static void Remove(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
          continue;
        std::string inner = path + "\\" + name;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
          RemoveDirectoryA(inner.c_str()) || DeleteFileA(inner.c_str()); // the link, not its target
        } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
          Remove(inner);
        } else {
          SetFileAttributesA(inner.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileA(inner.c_str());
        }
      } while (FindNextFileA(search, &data));
      FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
  }
};
