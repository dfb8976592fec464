// The plan of a WMV extract (read without writing) against the extract
// itself: the same samples, the same first key frame, the same span.
#include <gtest/gtest.h>

#include <filesystem>

#include "AsfFixtures.h"
#include "Fixtures.h"
#include "WmvOperations.h"

namespace trelvan {
namespace {

struct Range {
    const char* name;
    uint64_t start;  // 100 ns
    uint64_t end;
};

TEST(WmvExtractPlanTest, PlanAgreesWithTheExtract) {
    // Key frames every half second (10 fps, a key frame every 5 frames).
    std::string source;
    for (const auto& f : test::MadeAsfFiles()) {
        if (f.name == "video_only") {
            source = f.path;
        }
    }
    ASSERT_FALSE(source.empty());
    const std::string dir = test::ScratchDir();
    for (const Range& r : {Range{"whole", 0, UINT64_MAX}, Range{"between key frames", 6000000, 15000000},
                           Range{"no key frame", 6000000, 8000000}, Range{"at zero", 0, 0},
                           Range{"past the end", 900000000, UINT64_MAX}}) {
        SCOPED_TRACE(r.name);
        WmvExtractJob job;
        job.source = source;
        job.output = dir + "/out.wmv";
        job.start = r.start;
        job.end = r.end;
        WmvExtractPlan plan;
        ASSERT_EQ(PlanWmvExtract(job, &plan), 0);
        OpContext ctx;
        const WmvOpResult done = RunWmvExtract(job, ctx);
        ASSERT_EQ(done.code, 0);
        EXPECT_TRUE(plan.hasVideo);
        EXPECT_EQ(plan.samples, done.samples);
        EXPECT_EQ(plan.firstKeyTime, done.firstKeyTime);
        if (r.start > 100000000) {
            EXPECT_EQ(plan.samples, 0u);  // past the last sample: nothing
        } else {
            EXPECT_GT(plan.samples, 0u);
        }
    }
    WmvExtractJob missing;
    missing.source = dir + "/none.wmv";
    WmvExtractPlan plan;
    EXPECT_EQ(PlanWmvExtract(missing, &plan), 8201);
}

}  // namespace
}  // namespace trelvan
