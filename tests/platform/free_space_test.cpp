#include "platform/free_space.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace tagpolish {
namespace {

TEST(FreeSpace, ReportsTheBytesAvailableOrMinusOne) {
    test::TempDir dir;
    int free = getFreeSpace(dir.path().c_str());
    EXPECT_GT(FreeDiskSpace, 0.0);
    // More than an int holds counts as the largest int.
    EXPECT_EQ(FreeDiskSpace > 2147483647.0 ? 2147483647 : static_cast<int>(FreeDiskSpace), free);
    EXPECT_EQ(0, getFreeSpace("/proc/version"));
    EXPECT_EQ(-1, getFreeSpace((dir.path() + "/missing/page.htm").c_str()));
    EXPECT_EQ(-1.0, FreeDiskSpace);
}

}  // namespace
}  // namespace tagpolish
