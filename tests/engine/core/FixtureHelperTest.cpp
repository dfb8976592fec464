#include <gtest/gtest.h>

#include <filesystem>

#include "Fixtures.h"
#include "Probe.h"

namespace {

using namespace trelvan::test;

// The fixture maker and the independent packet dump are what every media test
// stands on; check them on a file whose shape is known.
TEST(FixtureHelperTest, MadeMediaIsCachedAndDumpsPacketByPacket) {
    const std::string args =
        "-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -f lavfi -i "
        "sine=duration=1:sample_rate=8000 "
        "-c:v mpeg4 -g 5 -c:a pcm_s16le";
    const std::string path = MakeMedia("helper-check", args, "avi");
    const auto stamp = std::filesystem::last_write_time(path);
    EXPECT_EQ(MakeMedia("helper-check", args, "avi"), path);
    EXPECT_EQ(std::filesystem::last_write_time(path), stamp);

    const auto video = ProbePackets(path, "v:0");
    ASSERT_EQ(video.size(), 10u);
    int keys = 0;
    for (const auto& p : video) {
        keys += p.key ? 1 : 0;
        EXPECT_FALSE(p.data.empty());
    }
    EXPECT_EQ(keys, 2);
    EXPECT_TRUE(video[0].key);
    EXPECT_TRUE(video[5].key);

    size_t audio_bytes = 0;
    for (const auto& p : ProbePackets(path, "a:0")) {
        audio_bytes += p.data.size();
    }
    EXPECT_EQ(audio_bytes, 16000u);
    EXPECT_EQ(ProbeStream(path, "a:0", {"sample_rate"}).at("sample_rate"), "8000");
    EXPECT_EQ(ProbeStreamCount(path, 'v'), 1);
    EXPECT_TRUE(DecodesCleanly(path));
}

TEST(FixtureHelperTest, SamplesAreReachable) {
    EXPECT_EQ(SamplesIn("avi").size(), 4u);
    EXPECT_TRUE(std::filesystem::exists(SamplePath("wav/taglib_alaw.wav")));
}

}  // namespace
