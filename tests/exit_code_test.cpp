#include <gtest/gtest.h>

#include "platform/system_status.h"

TEST(ExitCode, NarrowsStatusToLowByteAndNeverToZero) {
  EXPECT_EQ(ExitCodeFromStatus(0), 0);
  EXPECT_EQ(ExitCodeFromStatus(-1), 255);
  EXPECT_EQ(ExitCodeFromStatus(static_cast<Status>(0x80070002u)), 2);
  EXPECT_EQ(ExitCodeFromStatus(static_cast<Status>(0xBAD00018u)), 24);
  EXPECT_EQ(ExitCodeFromStatus(static_cast<Status>(0xBAD00000u + 0x100)), 1);
}
