// The pictures of an extract's range (the cut preview's): the same first key
// frame as the extract's plan, pictures of each made codec, and sources
// without video, missing or damaged.
#include <gtest/gtest.h>

#include "AsfFixtures.h"
#include "BitmapInfoHeader.h"
#include "CraftedAsf.h"
#include "Fixtures.h"
#include "WmvFrameDecoder.h"
#include "WmvOperations.h"

namespace trelvan {
namespace {

std::string Made(const std::string& name) {
    for (const auto& f : test::MadeAsfFiles()) {
        if (f.name == name) {
            return f.path;
        }
    }
    return {};
}

// A packed picture of the made files' size (160 x 120, 24-bit rows).
void ExpectPicture(const std::vector<uint8_t>& packed) {
    BITMAPINFOHEADER h{};
    ASSERT_TRUE(ReadBitmapInfoHeader(packed.data(), packed.size(), &h));
    EXPECT_EQ(h.biWidth, 160);
    EXPECT_EQ(h.biHeight, 120);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(packed.size(), kBitmapInfoHeaderSize + 160 * 3 * 120);
}

TEST(WmvFrameDecoderTest, RangesAgreeWithThePlan) {
    // 10 fps, a key frame every 5 frames, video alone.
    const std::string source = Made("video_only");
    struct Range {
        const char* name;
        uint64_t start, end;  // 100 ns
    };
    for (const Range& r : {Range{"whole", 0, UINT64_MAX}, Range{"from 0.6 s", 6000000, 15000000},
                           Range{"no key frame", 6000000, 8000000}, Range{"at zero", 0, 0},
                           Range{"past the end", 900000000, UINT64_MAX}}) {
        SCOPED_TRACE(r.name);
        WmvExtractJob job;
        job.source = source;
        job.start = r.start;
        job.end = r.end;
        WmvExtractPlan plan;
        ASSERT_EQ(PlanWmvExtract(job, &plan), 0);
        WmvRangePictures p;
        ASSERT_EQ(DecodeWmvRangePictures(source, r.start, r.end, &p), 0);
        EXPECT_TRUE(p.hasVideo);
        EXPECT_EQ(p.firstKeyTime,
                  plan.firstKeyTime < 0 ? -1 : static_cast<int64_t>(r.start) + plan.firstKeyTime);
        // Video alone: a last frame whenever a sample is written, at the
        // end of the output's span at the latest.
        EXPECT_EQ(p.lastTime >= 0, plan.samples > 0);
        if (p.lastTime >= 0) {
            EXPECT_GE(static_cast<uint64_t>(p.lastTime), r.start);
            EXPECT_LE(static_cast<uint64_t>(p.lastTime) - r.start, plan.duration);
            ExpectPicture(p.last);
        }
        if (p.firstKeyTime >= 0) {
            ExpectPicture(p.firstKey);
        }
    }
}

TEST(WmvFrameDecoderTest, EachMadeCodecGivesPictures) {
    for (const char* name : {"wmv1_wmav1", "wmv2_wmav2", "msmpeg4_wmav2"}) {
        SCOPED_TRACE(name);
        WmvRangePictures p;
        ASSERT_EQ(DecodeWmvRangePictures(Made(name), 5000000, 15000000, &p), 0);
        EXPECT_GE(p.firstKeyTime, 5000000);
        EXPECT_GT(p.lastTime, p.firstKeyTime);
        ExpectPicture(p.firstKey);
        ExpectPicture(p.last);
    }
}

TEST(WmvFrameDecoderTest, NoVideoMissingOrDamaged) {
    WmvRangePictures p;
    EXPECT_EQ(DecodeWmvRangePictures(Made("audio_only"), 0, UINT64_MAX, &p), 0);
    EXPECT_FALSE(p.hasVideo);
    EXPECT_EQ(p.lastTime, -1);
    const std::string dir = test::ScratchDir();
    EXPECT_EQ(DecodeWmvRangePictures(dir + "/none.wmv", 0, UINT64_MAX, &p), 8201);
    EXPECT_EQ(DecodeWmvRangePictures("", 0, UINT64_MAX, &p), 8201);

    // A video stream whose samples are noise: times, but no picture and no
    // failure.
    using namespace test::crafted;
    Bytes children = FileProperties(200, 3, 50000000, 0);
    const Bytes v = VideoStream(1);
    children.insert(children.end(), v.begin(), v.end());
    std::vector<Bytes> packets;
    for (uint32_t i = 0; i < 3; ++i) {
        PayloadLayout pl;
        pl.objectNumber = i;
        pl.key = i == 0;
        pl.replicated = Replicated(64, 100 * i);
        pl.data.assign(64, static_cast<uint8_t>(0x5A + i));
        packets.push_back(Packet(200, {pl}));
    }
    test::WriteBytes(dir + "/noise.wmv", File(Header(children), packets));
    ASSERT_EQ(DecodeWmvRangePictures(dir + "/noise.wmv", 0, UINT64_MAX, &p), 0);
    EXPECT_TRUE(p.hasVideo);
    EXPECT_EQ(p.firstKeyTime, 0);
    EXPECT_EQ(p.lastTime, 2000000);
}

}  // namespace
}  // namespace trelvan
