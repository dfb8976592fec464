#include <gtest/gtest.h>

#include "AsfFixtures.h"
#include "AsfProbe.h"
#include "AsfReader.h"

namespace {

using namespace trelvan;
using namespace trelvan::test;

std::vector<uint16_t> Numbers(const asf::AsfHeader& h) {
    std::vector<uint16_t> out;
    for (const auto& s : h.streams) {
        out.push_back(s.number);
    }
    return out;
}

// Our samples against ffprobe's and GStreamer's: bytes, time and key flag of
// every sample of every stream.
void ExpectReadersAgree(const std::string& path) {
    asf::AsfReader r;
    ASSERT_EQ(r.Open(path), wm::hr::kOk) << path;
    const SampleMap ours = ReadOurs(path);
    const std::set<uint16_t> keys = VideoStreams(r.Header());
    ExpectSameSamples(ours, ReadFfprobe(path, Numbers(r.Header())), "ffprobe", keys);
    // GStreamer waits for data that never comes in a file without packets.
    if (r.PacketCount() > 0) {
        ExpectSameSamples(ours, ReadGstreamer(path, r.Header()), "GStreamer", keys,
                          !GstreamerTimesDiffer(path));
    }
}

// One test per made file (they run side by side under ctest).
class AsfReaderMadeTest : public ::testing::TestWithParam<std::string> {};

TEST_P(AsfReaderMadeTest, ReadsAsFfprobeAndGstreamerReadIt) {
    for (const AsfSource& s : MadeAsfFiles()) {
        if (s.name == GetParam()) {
            ExpectReadersAgree(s.path);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Made, AsfReaderMadeTest, ::testing::ValuesIn(MadeAsfFileNames()));

TEST(AsfReaderTest, SamplesReadAsFfprobeAndGstreamerReadThem) {
    for (const AsfSource& s : SampleAsfFiles()) {
        SCOPED_TRACE(s.name);
        ExpectReadersAgree(s.path);
    }
}

}  // namespace
