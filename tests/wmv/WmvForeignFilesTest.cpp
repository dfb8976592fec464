#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "AsfFixtures.h"
#include "AsfProbe.h"
#include "AsfReader.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "Process.h"
#include "WmvOperations.h"

// The WMV operations on files whose headers do not agree with their data,
// as other writers make them: a Duration shorter than the samples, video
// stamped far from zero (GStreamer's asfmux), MP3 in ASF without sample
// durations. Outputs are judged by ffprobe and GStreamer's asfdemux.
namespace {

using namespace trelvan;
using namespace trelvan::test;

// Samples per stream number.
using Counts = std::map<uint16_t, size_t>;

Counts CountsOf(const SampleMap& m) {
    Counts out;
    for (const auto& [n, list] : m) {
        out[n] = list.size();
    }
    return out;
}

std::vector<uint16_t> Numbers(const std::string& path) {
    asf::AsfReader r;
    EXPECT_EQ(r.Open(path), wm::hr::kOk) << path;
    std::vector<uint16_t> out;
    for (const auto& s : r.Header().streams) {
        out.push_back(s.number);
    }
    return out;
}

asf::AsfHeader HeaderOf(const std::string& path) {
    asf::AsfReader r;
    EXPECT_EQ(r.Open(path), wm::hr::kOk) << path;
    return r.Header();
}

// The samples of an output as ffprobe and GStreamer read them (times in
// ms; GStreamer's counted from the earliest first sample, as it plays).
struct Views {
    SampleMap ffprobe, gstreamer;
};
Views Read(const std::string& path) {
    return {ReadFfprobe(path, Numbers(path)), ReadGstreamer(path, HeaderOf(path), nullptr, false)};
}

// Where one field of the File Properties Object lies.
size_t FilePropertiesField(const std::vector<uint8_t>& b, size_t field) {
    static const uint8_t kId[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                    0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
    const auto at = std::search(b.begin(), b.end(), std::begin(kId), std::end(kId));
    EXPECT_NE(at, b.end());
    return static_cast<size_t>(at - b.begin()) + field;
}

// The files, made once for the whole binary.
struct Sources {
    std::string dir = ScratchDir();
    // ffmpeg's 2 s WMV (video 10 fps, WMA) whose header says 1 s.
    std::string shortHeader;
    // GStreamer's asfmux, preroll 0: 20 frames of WMV 8 stamped from 1000 h
    // on, with 2 s of WMA from 0; the last packet's padding is written
    // larger than its length.
    std::string gst;
    // MP3 in ASF (26 ms frames, no sample durations), 2 s.
    std::string mp3;

    Sources() {
        std::vector<uint8_t> b = ReadBytes(MadeAsfFiles()[1].path);
        const size_t play = FilePropertiesField(b, 24 + 16 + 24);
        const uint64_t shorter = (3100 + 1000) * 10000ull;  // preroll + 1 s
        for (int i = 0; i < 8; ++i) {
            b[play + i] = static_cast<uint8_t>(shorter >> (8 * i));
        }
        shortHeader = dir + "/short_header.wmv";
        WriteBytes(shortHeader, b);

        gst = dir + "/asfmux.wmv";
        const CommandResult g = RunCommand(
            {"gst-launch-1.0", "-q", "videotestsrc", "num-buffers=20", "!",
             "video/x-raw,width=160,height=120,framerate=10/1", "!", "avenc_wmv2", "!", "asfmux",
             "name=m", "preroll=0", "!", "filesink", "location=" + gst, "audiotestsrc",
             "num-buffers=44", "!", "audio/x-raw,rate=22050,channels=1",
             "!", "avenc_wmav2", "!", "m."},
            30);
        EXPECT_EQ(g.exit_code, 0) << g.err;

        mp3 = MakeMedia("asf_mp3",
                        "-f lavfi -i sine=frequency=440:sample_rate=44100 -t 2 -c:a libmp3lame "
                        "-b:a 64k -f asf",
                        "wma");
    }
};

const Sources& Files() {
    static const Sources s;
    return s;
}

// ---- Extract ----------------------------------------------------------------

TEST(WmvForeignFilesTest, ExtractWithoutARangeKeepsEverySample) {
    const std::string cli = BuiltProgram("trelvan-cli");
    for (const std::string& src : {Files().shortHeader, Files().gst}) {
        SCOPED_TRACE(src);
        std::vector<asf::AsfSample> raw;
        const Counts want = CountsOf(ReadOurs(src, &raw));
        uint64_t latest = 0;
        for (const asf::AsfSample& s : raw) {
            latest = std::max(latest, s.time);
        }
        // The page's end fields come from where the data ends.
        uint64_t duration = 0, end = 0;
        ASSERT_EQ(WmvSourceDuration(src, &duration), 0);
        ASSERT_EQ(WmvSourceEnd(src, &end), 0);
        EXPECT_LT(duration, latest);
        EXPECT_GT(end, latest);
        // The command line without a range: the whole file.
        const std::string out = Files().dir + "/whole_" + std::filesystem::path(src).filename().string();
        const CommandResult r = RunCommand({cli, "wmv-extract", src, "-o", out, "--quiet"}, 60);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(CountsOf(ReadOurs(out)), want);
        const Views v = Read(out);
        EXPECT_EQ(CountsOf(v.ffprobe), want);
        EXPECT_EQ(CountsOf(v.gstreamer), want);
    }
}

// ---- Link -------------------------------------------------------------------

// Each entry begins where the one before ends: the second entry's samples
// are the first's moved by where the first one's latest sample ends (its
// time plus one frame), within a millisecond: no overlap, no gap.
TEST(WmvForeignFilesTest, LinkedEntriesNeitherOverlapNorLeaveGaps) {
    struct Case {
        std::string source;
        std::map<uint16_t, int64_t> frameMs;  // per stream, one sample's length
    };
    const Case cases[] = {
        {Files().mp3, {{1, 26}}},
        {Files().shortHeader, {{1, 100}, {2, 46}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        OpContext ctx;
        const std::string out =
            Files().dir + "/link_" + std::filesystem::path(c.source).filename().string();
        ASSERT_EQ(RunWmvLink({{c.source, c.source}, out}, ctx).code, 0);
        const SampleMap src = ReadFfprobe(c.source, Numbers(c.source));
        int64_t end = 0;
        for (const auto& [n, frame] : c.frameMs) {
            end = std::max(end, src.at(n).back().timeMs + frame);
        }
        const Views v = Read(out);
        for (const auto& [who, got] : {std::pair{"ffprobe", v.ffprobe}, std::pair{"GStreamer", v.gstreamer}}) {
            for (const auto& [n, frame] : c.frameMs) {
                SCOPED_TRACE(std::string(who) + ", stream " + std::to_string(n));
                const size_t count = src.at(n).size();
                ASSERT_EQ(got.at(n).size(), 2 * count);
                EXPECT_NEAR(got.at(n)[count].timeMs - got.at(n)[0].timeMs, end, 1);
            }
        }
    }
}

// Video stamped at 1000 h, linked to itself, would run past the 32-bit
// millisecond times of the output: the link ends with 8203 before any sample
// of the second entry is written, and the output holds the first, ended.
TEST(WmvForeignFilesTest, LinkPastTheMillisecondRangeEndsBeforeTheEntry) {
    const std::string& src = Files().gst;
    OpContext ctx;
    const std::string out = Files().dir + "/far_link.wmv";
    const WmvOpResult r = RunWmvLink({{src, src}, out}, ctx);
    EXPECT_EQ(r.code, err::kWmvProcess);
    const Counts want = CountsOf(ReadOurs(src));
    EXPECT_EQ(CountsOf(ReadOurs(out)), want);
    EXPECT_EQ(CountsOf(Read(out).gstreamer), want);
    EXPECT_LT(std::filesystem::file_size(out), 2 * std::filesystem::file_size(src));
}

}  // namespace
