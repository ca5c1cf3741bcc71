// The result codes that erasing, removing and changing directory leave on every system, one table
// for the Linux and the Windows layer's tests. It runs in the current directory, which holds the
// directories "d" (with the file "inner") and "empty" and the file "x.bak"; the last two rows
// succeed and take "x.bak" and "empty" away.
#pragma once

#include <string_view>

#include "platform/dos/result_codes.h"
#include "platform/fs.h"

struct ResultCase {
  const char* what;
  void (*operation)(std::string_view path);
  const char* path;
  ResultCode code;
};

inline const ResultCase SharedResultCases[] = {
    {"erase a directory", EraseFile, "d", 2},
    {"erase a missing file", EraseFile, "missing", 2},
    {"erase in a missing directory", EraseFile, "missing\\x", 3},
    {"erase in a missing directory, slash", EraseFile, "missing/x", 3},
    {"remove \".\"", RemoveEmptyDirectory, ".", 16},
    {"remove \"\"", RemoveEmptyDirectory, "", 0},
    {"remove a directory that holds a file", RemoveEmptyDirectory, "d", 5},
    {"remove a missing directory", RemoveEmptyDirectory, "missing", 2},
    {"change to a missing directory", ChangeDirectory, "missing", 3}, // never 2
    {"change to a missing path", ChangeDirectory, "missing\\deeper", 3},
    {"change to \"\"", ChangeDirectory, "", 0},
    {"erase a file", EraseFile, "x.bak", 0},
    {"remove an empty directory", RemoveEmptyDirectory, "empty", 0},
};
