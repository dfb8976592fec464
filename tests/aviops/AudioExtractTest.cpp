#include <gtest/gtest.h>

#include "AudioExtract.h"

namespace trelvan {
namespace {

TEST(AudioExtractTimes, PositionsAndDurations) {
    // 44,100 Hz 16-bit stereo: A = 176,400, B = 4.
    EXPECT_EQ(AudioTimeToPosition({0, 0, 2, 500}, 176400, 4), 110250u);
    EXPECT_EQ(AudioTimeToPosition({0, 0, 5, 0}, 176400, 4), 220500u);
    EXPECT_EQ(AudioTimeToPosition({1, 2, 3, 4}, 176400, 4), 164184476u);
    EXPECT_EQ(AudioTimeToPosition({0, 0, 1, 0}, 0, 4), 0u);
    EXPECT_EQ(AudioTimeToPosition({0, 0, 1, 0}, 176400, 0), 0u);

    const AudioTime ten = AudioDuration(441000, 176400, 4);
    EXPECT_EQ(ten.hours, 0);
    EXPECT_EQ(ten.minutes, 0);
    EXPECT_EQ(ten.seconds, 10);
    EXPECT_EQ(ten.milliseconds, 0);
    const AudioTime odd = AudioDuration(44100 * 3725 + 441 * 37 + 1, 176400, 4);
    EXPECT_EQ(odd.hours, 1);
    EXPECT_EQ(odd.minutes, 2);
    EXPECT_EQ(odd.seconds, 5);
    EXPECT_EQ(odd.milliseconds, 370);

    const AudioTime t = AudioTime::FromMs(3723004);
    EXPECT_EQ(t.hours, 1);
    EXPECT_EQ(t.minutes, 2);
    EXPECT_EQ(t.seconds, 3);
    EXPECT_EQ(t.milliseconds, 4);
}

}  // namespace
}  // namespace trelvan
