#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "AsfFixtures.h"
#include "AsfProbe.h"
#include "AsfReader.h"
#include "AsfWriter.h"
#include "Fixtures.h"
#include "Probe.h"
#include "Process.h"

namespace {

using namespace trelvan;
using namespace trelvan::test;

// A pass-through copy through the layer alone: the reader's profile and
// header, every sample as read.
wm::HRESULT CopyThrough(const std::string& src, const std::string& out,
                        const std::vector<asf::Script>& extra_scripts = {}) {
    asf::AsfReader r;
    EXPECT_EQ(r.Open(src), wm::hr::kOk);
    auto profile = wm::Profile::FromHeader(r.Header());
    auto info = wm::HeaderInfo::ForReader(r.Header(), r.Duration(), r.FileSize(), true);
    wm::AsfWriter w;
    EXPECT_EQ(w.Open(OpenDiskFile(out, OpenMode::CreateTruncate), *profile), wm::hr::kOk);
    for (const asf::Attribute& a : r.Header().attributes) {
        w.Header().SetAttribute(a.stream, a.name, a.type, a.value);
    }
    for (const asf::CodecInfo& c : r.Header().codecs) {
        w.Header().AddCodecInfo(c);
    }
    for (const asf::Script& s : r.Header().scripts) {
        w.Header().AddScript(s);
    }
    for (const asf::Script& s : extra_scripts) {
        w.Header().AddScript(s);
    }
    wm::HRESULT hr = w.BeginWriting();
    asf::AsfSample s;
    while (wm::Succeeded(hr) && r.Next(s) == wm::hr::kOk) {
        hr = w.WriteSample(s.stream, s.time, s.duration, s.key ? wm::kSampleCleanPoint : 0,
                           s.data.data(), s.data.size());
    }
    const wm::HRESULT end = w.EndWriting();
    return wm::Failed(hr) ? hr : end;
}

std::vector<uint16_t> Numbers(const asf::AsfHeader& h) {
    std::vector<uint16_t> out;
    for (const auto& s : h.streams) {
        out.push_back(s.number);
    }
    return out;
}

// The copy holds the source's samples (bytes, times, every stream's key
// flags) as we read them and as ffprobe and GStreamer read it, decodes
// without an error and has the source's stream formats.
void ExpectFaithfulCopy(const std::string& src, const std::string& out) {
    const SampleMap before = ReadOurs(src);
    const SampleMap after = ReadOurs(out);
    std::set<uint16_t> all;
    for (const auto& [n, list] : before) {
        all.insert(n);
    }
    ExpectSameSamples(after, before, "our reader of the copy", all);
    asf::AsfReader a, b;
    ASSERT_EQ(a.Open(src), wm::hr::kOk);
    ASSERT_EQ(b.Open(out), wm::hr::kOk);
    ASSERT_EQ(a.Header().streams.size(), b.Header().streams.size());
    for (size_t i = 0; i < a.Header().streams.size(); ++i) {
        EXPECT_EQ(a.Header().streams[i].typeData, b.Header().streams[i].typeData) << "stream " << i;
    }
    const std::set<uint16_t> keys = VideoStreams(a.Header());
    ExpectSameSamples(before, ReadFfprobe(out, Numbers(b.Header())), "ffprobe of the copy", keys);
    EXPECT_EQ(FfprobeFormats(out), FfprobeFormats(src)) << "stream formats as ffprobe sees them";
    if (b.PacketCount() > 0) {
        std::map<uint16_t, std::string> caps, caps_src;
        ExpectSameSamples(before, ReadGstreamer(out, b.Header(), &caps), "GStreamer of the copy", keys,
                          !GstreamerTimesDiffer(out));
        ReadGstreamer(src, a.Header(), &caps_src, false);
        EXPECT_EQ(caps, caps_src) << "stream formats as GStreamer sees them";
        EXPECT_EQ(caps.size(), a.Header().streams.size());
    }
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
}

// One test per made file (they run side by side under ctest).
class AsfWriterMadeTest : public ::testing::TestWithParam<std::string> {};

TEST_P(AsfWriterMadeTest, CopyReadsBackAlike) {
    for (const AsfSource& s : MadeAsfFiles()) {
        if (s.name == GetParam()) {
            const std::string out = ScratchDir() + "/" + s.name + ".wmv";
            ASSERT_EQ(CopyThrough(s.path, out), wm::hr::kOk);
            ExpectFaithfulCopy(s.path, out);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Made, AsfWriterMadeTest, ::testing::ValuesIn(MadeAsfFileNames()));

TEST(AsfWriterTest, CopiesOfSamplesReadBackAlike) {
    const std::string dir = ScratchDir();
    for (const AsfSource& s : SampleAsfFiles()) {
        SCOPED_TRACE(s.name);
        const std::string out = dir + "/" + s.name;
        ASSERT_EQ(CopyThrough(s.path, out), wm::hr::kOk);
        ExpectFaithfulCopy(s.path, out);
    }
}

// As a set: a writer's header keeps one attribute per stream and name.
using AttrKey = std::tuple<uint16_t, std::string, uint16_t, std::vector<uint8_t>>;
std::set<AttrKey> AttributesOf(const asf::AsfHeader& h) {
    std::set<AttrKey> out;
    for (const asf::Attribute& a : h.attributes) {
        out.insert({a.stream, a.name, a.type, a.value});
    }
    return out;
}

TEST(AsfWriterTest, AttributesCodecListAndScriptsSurviveACopy) {
    const std::string tagged = MakeMedia(
        "asf_tagged",
        "-f lavfi -i sine=frequency=440:sample_rate=22050 -t 1 -c:a wmav2 -metadata title=Hello "
        "-metadata artist=Someone -metadata copyright=Nobody -metadata genre=Test -metadata track=7",
        "wma");
    const std::vector<asf::Script> scripts = {{"URL", "http://example.com/", 5000000},
                                              {"TEXT", "Caption", 7000000}};
    const std::string sources[] = {tagged, SamplePath("asf/filetype_fixture.asf"),
                                   SamplePath("asf/taglib_real_example.wma"),
                                   SamplePath("asf/tinytag_grouping.wma")};
    const std::string dir = ScratchDir();
    for (const std::string& src : sources) {
        SCOPED_TRACE(src);
        const std::string out = dir + "/copy.wma";
        ASSERT_EQ(CopyThrough(src, out, scripts), wm::hr::kOk);
        asf::AsfReader a, b;
        ASSERT_EQ(a.Open(src), wm::hr::kOk);
        ASSERT_EQ(b.Open(out), wm::hr::kOk);
        EXPECT_EQ(AttributesOf(b.Header()), AttributesOf(a.Header()));
        ASSERT_EQ(b.Header().codecs.size(), a.Header().codecs.size());
        for (size_t i = 0; i < a.Header().codecs.size(); ++i) {
            EXPECT_EQ(b.Header().codecs[i].name, a.Header().codecs[i].name);
            EXPECT_EQ(b.Header().codecs[i].description, a.Header().codecs[i].description);
            EXPECT_EQ(b.Header().codecs[i].type, a.Header().codecs[i].type);
            EXPECT_EQ(b.Header().codecs[i].info, a.Header().codecs[i].info);
        }
        ASSERT_EQ(b.Header().scripts.size(), a.Header().scripts.size() + 2);
        EXPECT_EQ(b.Header().scripts.back().command, "Caption");
        EXPECT_EQ(b.Header().scripts.back().type, "TEXT");
        EXPECT_EQ(b.Header().scripts.back().time, 7000000u);
    }
    // ffprobe reads the same tags from the copy.
    const std::string out = dir + "/tagged.wma";
    ASSERT_EQ(CopyThrough(tagged, out), wm::hr::kOk);
    const CommandResult r = RunCommand({"ffprobe", "-v", "error", "-show_entries",
                                        "format_tags=title,artist,copyright,genre,track", "-of",
                                        "default=nw=1", out});
    EXPECT_NE(r.out.find("TAG:title=Hello"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("TAG:artist=Someone"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("TAG:genre=Test"), std::string::npos) << r.out;
}

// ffprobe asked to read from the middle of a copy lands on a sample no more
// than a second before the place asked for.
TEST(AsfWriterTest, CopiesAreSeekable) {
    const std::string dir = ScratchDir();
    const auto made = MadeAsfFiles();
    for (const AsfSource& s : {made[3], made[4], made[6]}) {  // key samples at least every 0.5 s
        SCOPED_TRACE(s.name);
        const std::string out = dir + "/" + s.name + ".wmv";
        ASSERT_EQ(CopyThrough(s.path, out), wm::hr::kOk);
        asf::AsfReader r;
        ASSERT_EQ(r.Open(out), wm::hr::kOk);
        EXPECT_EQ(r.Header().props.flags & 2, 2u) << "seekable flag";
        ASSERT_FALSE(r.Index().simple.empty());
        for (const char* at : {"0.6", "1.2"}) {
            if (std::stod(at) * 1e7 >= static_cast<double>(r.Duration())) {
                continue;
            }
            const CommandResult p = RunCommand({"ffprobe", "-v", "error", "-read_intervals",
                                                std::string(at) + "%+#1", "-show_entries",
                                                "packet=pts_time", "-of", "csv=p=0", out});
            ASSERT_EQ(p.exit_code, 0) << p.err;
            const double want = std::stod(at);
            const double got = std::stod(p.out);
            EXPECT_LE(got, want + 0.001) << at;
            EXPECT_GE(got, want - 1.0) << at;
        }
    }
}

}  // namespace
