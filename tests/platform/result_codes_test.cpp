// The two fixed translations of system error numbers into the result codes the logic compares.
#include <gtest/gtest.h>

#include "platform/dos/result_codes.h"

namespace {

TEST(ResultCodes, PendingTranslation) {
  struct Case {
    std::uint32_t os_error;
    ResultCode code;
  };
  const Case cases[] = {
      {0, 0},    {2, 2},    {18, 18},   {19, 150},  {21, 152},         {29, 160},
      {30, 161}, {31, 162}, {32, 5},    {145, 5},   {183, 5},          {33, 33},
      {86, 86},  {87, 87},  {144, 144}, {146, 146}, {0x12345, 0x2345},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TranslatePendingError(c.os_error), c.code) << c.os_error;
}

TEST(ResultCodes, SearchTranslation) {
  struct Case {
    std::uint32_t os_error;
    ResultCode code;
  };
  // 87 becomes 13, then "file not found" becomes "no more entries"; nothing else changes.
  const Case cases[] = {{0, 0},   {2, 18},  {3, 3},   {5, 5},   {13, 13},
                        {18, 18}, {21, 21}, {32, 32}, {86, 86}, {87, 13}};
  for (const Case& c : cases)
    EXPECT_EQ(TranslateSearchError(c.os_error), c.code) << c.os_error;
}

TEST(ResultCodes, TakeIoResultReadsAndClears) {
  SetPendingError(145);
  EXPECT_EQ(PendingIoResult, 5);
  EXPECT_EQ(TakeIoResult(), 5);
  EXPECT_EQ(PendingIoResult, 0);
  EXPECT_EQ(TakeIoResult(), 0);
}

} // namespace
