#include <gtest/gtest.h>

#include "TimeMmanager.h"

namespace {

TEST(TimeMmanagerTest, ElapsedIsRightAcrossTheClockWrap) {
    uint32_t now = 0xFFFFFFFFu - 19;  // 20 ms before the wrap (2^32 - 20)
    CTimeMmanager t([&] { return now; });
    now = 10;  // 10 ms after the wrap (0xFFFFFFFF -> 0)
    EXPECT_EQ(t.Elapsed(), 30u);
}

TEST(TimeMmanagerTest, LapsSumWorkingTimeWithoutPumping) {
    uint32_t now = 1000;
    CTimeMmanager t([&] { return now; });
    t.ClearTotal();
    t.Start();
    now += 40;  // work
    EXPECT_EQ(t.AddLap(), 40u);
    now += 500;  // pumping, not counted
    t.Start();
    now += 60;  // work
    EXPECT_EQ(t.AddLap(), 60u);
    EXPECT_EQ(t.GetTotal(), 100u);
    // AddLap does not restart: a second lap without Start counts again.
    now += 5;
    EXPECT_EQ(t.AddLap(), 65u);
    t.ClearTotal();
    EXPECT_EQ(t.GetTotal(), 0u);
}

TEST(TimeMmanagerTest, LimitComparesUnsigned) {
    uint32_t now = 0;
    CTimeMmanager t([&] { return now; });
    t.SetLimit(100);
    now = 100;
    EXPECT_FALSE(t.IsOverLimit());
    now = 101;
    EXPECT_TRUE(t.IsOverLimit());
    t.SetLimit(0xFFFFFFFFu);
    EXPECT_FALSE(t.IsOverLimit());
}

TEST(TimeMmanagerTest, SystemClockMovesForward) {
    CTimeMmanager t;
    const uint32_t a = CTimeMmanager::SystemNow();
    EXPECT_LT(t.Elapsed(), 60000u);
    EXPECT_GE(CTimeMmanager::SystemNow() - a, 0u);
}

}  // namespace
