// Each errno stands for the Windows error number of the same condition, so both builds report
// the same result codes.
#include <cerrno>

#include <gtest/gtest.h>

#include "platform/dos/result_codes.h"
#include "platform/posix/errno_map.h"

namespace {

TEST(ErrnoMap, ErrnoStandsForTheWindowsError) {
  struct Case {
    int error;
    std::uint32_t windows;
    ResultCode pending; // through PendingIoResult
    ResultCode search;  // from a directory search
  };
  const Case cases[] = {
      {ENOENT, 2, 2, 18},
      {ENOTDIR, 3, 3, 3},
      {EACCES, 5, 5, 5},
      {EPERM, 5, 5, 5},
      {EISDIR, 5, 5, 5},
      {ENOTEMPTY, 145, 5, 145},
      {EEXIST, 183, 5, 183},
      {EBUSY, 32, 5, 32},
      {ETXTBSY, 32, 5, 32},
      {EROFS, 19, 150, 19},
      {EIO, 31, 162, 31},
      {ENXIO, 21, 152, 21},
      {ENAMETOOLONG, 206, 206, 206},
      {EINVAL, 87, 87, 13},
      {EMFILE, 4, 4, 4},
      {ENOSPC, 112, 112, 112},
      {ELOOP, 1921, 1921, 1921},
      {EXDEV, 17, 17, 17},
      {EOVERFLOW, 31, 162, 31},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    std::uint32_t windows = OsErrorFromErrno(c.error);
    EXPECT_EQ(windows, c.windows);
    EXPECT_EQ(TranslatePendingError(windows), c.pending);
    EXPECT_EQ(TranslateSearchError(windows), c.search);
  }
}

} // namespace
