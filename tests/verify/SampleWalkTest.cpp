// The walks of the three container layers agree on what a clip holds: the
// same clip written as AVI, ASF and MP4 walks as the same frames at the same
// times, and the bytes a walk hands out are those at its positions.
#include <gtest/gtest.h>

#include <cstring>

#include "Fixtures.h"
#include "MediaFile.h"

namespace trelvan {
namespace {

using verify::MediaKind;
using verify::MediaSample;

// Two seconds of 10 frames a second, a key frame every 5, and stereo sound
// (the clips the command line's verify tests make too).
std::string Clip(const std::string& name, const std::string& codecs, const std::string& ext) {
    return test::MakeMedia(name,
                           "-f lavfi -i testsrc=d=2:s=64x48:r=10 -f lavfi -i sine=f=440:d=2:r=22050 -ac 2 " +
                               codecs,
                           ext);
}

struct Case {
    const char* name;
    std::string path;
    bool onePlace;  // a sample's bytes lie at its position (not spread over packets)
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases{
        {"avi", Clip("cli-verify-a", "-c:v mpeg4 -g 5 -c:a pcm_s16le -f avi", "avi"), true},
        {"asf", Clip("cli-verify-wa", "-c:v wmv2 -g 5 -c:a wmav2 -b:a 32k", "wmv"), false},
        {"mp4", Clip("cli-verify-ma", "-c:v libx264 -g 5 -c:a aac", "mp4"), true},
    };
    return cases;
}

TEST(SampleWalk, EveryLayerWalksTheSameFrames) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = test::ReadBytes(c.path);
        verify::MediaFile file(c.path);
        std::string error;
        const auto video = file.Walk(MediaKind::Video, &error);
        ASSERT_TRUE(video) << error;
        MediaSample s;
        int n = 0;
        int64_t first = 0;  // ffmpeg's ASF writer starts the video after the sound's first packet
        for (; video->Next(s) > 0; ++n) {
            first = n == 0 ? s.time : first;
            EXPECT_EQ(s.stream, video->Stream());
            EXPECT_NEAR(video->Base().Seconds(s.time - first), n * 0.1, 0.002) << "frame " << n;
            if (s.duration != 0) {
                EXPECT_NEAR(video->Base().Seconds(s.duration), 0.1, 0.002) << "frame " << n;
            }
            if (n % 5 == 0) {
                EXPECT_TRUE(s.key) << "frame " << n;
            }
            ASSERT_GE(s.position, 0);
            ASSERT_LE(static_cast<size_t>(s.position) + (c.onePlace ? s.data.size() : 0), bytes.size());
            if (c.onePlace) {
                EXPECT_EQ(std::memcmp(bytes.data() + s.position, s.data.data(), s.data.size()), 0)
                    << "frame " << n;
            }
        }
        EXPECT_EQ(n, 20);
    }
}

// Sound: each sample starts where the one before ends (where durations are
// known; ASF times are whole milliseconds, so the length an ASF sample is
// taken to last ends within one of the next), and the stream lasts the
// clip's two seconds.
TEST(SampleWalk, SoundRunsWithoutGaps) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        verify::MediaFile file(c.path);
        std::string error;
        const auto audio = file.Walk(MediaKind::Audio, &error);
        ASSERT_TRUE(audio) << error;
        MediaSample s;
        int64_t end = -1;
        int64_t last = -1;
        const auto ms = static_cast<double>(audio->Base().den / audio->Base().num / 1000);
        while (audio->Next(s) > 0) {
            if (end >= 0 && s.duration != 0) {
                EXPECT_NEAR(static_cast<double>(s.time), static_cast<double>(end), ms);
            }
            EXPECT_GE(s.time, last);
            last = s.time;
            end = s.duration != 0 ? s.time + s.duration : -1;
        }
        const double seconds = audio->Base().Seconds(end >= 0 ? end : last);
        EXPECT_GT(seconds, 1.85);
        EXPECT_LT(seconds, 2.1);
    }
}

}  // namespace
}  // namespace trelvan
