#include <gtest/gtest.h>

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
                        std::unique_ptr<IoFile> file = nullptr) {
    asf::AsfReader r;
    EXPECT_EQ(r.Open(src), wm::hr::kOk);
    auto profile = wm::Profile::FromHeader(r.Header());
    auto info = wm::HeaderInfo::ForReader(r.Header(), r.Duration(), r.FileSize(), true);
    wm::AsfWriter w;
    if (!file) {
        file = OpenDiskFile(out, OpenMode::CreateTruncate);
    }
    EXPECT_EQ(w.Open(std::move(file), *profile), wm::hr::kOk);
    for (const asf::Attribute& a : r.Header().attributes) {
        w.Header().SetAttribute(a.stream, a.name, a.type, a.value);
    }
    for (const asf::CodecInfo& c : r.Header().codecs) {
        w.Header().AddCodecInfo(c);
    }
    for (const asf::Script& s : r.Header().scripts) {
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
    if (b.PacketCount() > 0) {
        ExpectSameSamples(before, ReadGstreamer(out, b.Header()), "GStreamer of the copy", keys,
                          !GstreamerTimesDiffer(out));
    }
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
}

TEST(AsfWriterTest, CopiesOfMadeFilesReadBackAlike) {
    const std::string dir = ScratchDir();
    for (const AsfSource& s : MadeAsfFiles()) {
        SCOPED_TRACE(s.name);
        const std::string out = dir + "/" + s.name + ".wmv";
        ASSERT_EQ(CopyThrough(s.path, out), wm::hr::kOk);
        ExpectFaithfulCopy(s.path, out);
    }
}

TEST(AsfWriterTest, CopiesOfSamplesReadBackAlike) {
    const std::string dir = ScratchDir();
    for (const AsfSource& s : SampleAsfFiles()) {
        SCOPED_TRACE(s.name);
        const std::string out = dir + "/" + s.name;
        ASSERT_EQ(CopyThrough(s.path, out), wm::hr::kOk);
        ExpectFaithfulCopy(s.path, out);
    }
}

}  // namespace
