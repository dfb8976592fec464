#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <sstream>

#include "AsfFixtures.h"
#include "AsfReader.h"
#include "CDecCompWMV.h"
#include "CEncCompWMV.h"
#include "CWMVCopy.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "Probe.h"
#include "Process.h"

namespace {

using namespace trelvan;
using namespace trelvan::test;

struct Got {
    uint16_t stream;
    uint64_t time;
    size_t size;
};

// Collects what the handler receives; returns `stop_at_call`'s value from
// that call on (0: never stops).
struct Collector {
    std::vector<Got> got;
    size_t stopAt = 0;
    int stopValue = 1;
    WmvSampleHandler Handler() {
        return [this](uint16_t stream, uint64_t time, uint64_t, uint32_t, const wm::SampleBuffer& b,
                      void*, void*) {
            got.push_back({stream, time, b.size});
            return stopAt != 0 && got.size() >= stopAt ? stopValue : 0;
        };
    }
};

std::vector<asf::AsfSample> FileOrder(const std::string& path) {
    asf::AsfReader r;
    EXPECT_EQ(r.Open(path), wm::hr::kOk);
    std::vector<asf::AsfSample> out;
    asf::AsfSample s;
    while (r.Next(s) == wm::hr::kOk) {
        out.push_back(std::move(s));
    }
    return out;
}

// What a run from `start` to `end` must hand on: samples at or after the
// start, in file order, until the first one after the end.
std::vector<Got> Expected(const std::vector<asf::AsfSample>& all, uint64_t start, uint64_t end) {
    std::vector<Got> out;
    for (const auto& s : all) {
        if (end != 0 && s.time > end) {
            break;
        }
        if (s.time >= start) {
            out.push_back({s.stream, s.time - start, s.data.size()});
        }
    }
    return out;
}

void ExpectSameCalls(const std::vector<Got>& got, const std::vector<Got>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].stream, want[i].stream) << i;
        EXPECT_EQ(got[i].time, want[i].time) << i;
        EXPECT_EQ(got[i].size, want[i].size) << i;
    }
}

const std::string& Wmv2() {
    static const std::string p = MadeAsfFiles()[1].path;
    return p;
}

TEST(CWMVCopyTest, RangesPassTheSamplesBetweenStartAndEnd) {
    const auto all = FileOrder(Wmv2());
    ASSERT_GT(all.size(), 20u);
    const uint64_t t5 = all[5].time, t15 = all[15].time;
    struct Case {
        const char* what;
        uint64_t start, end;
    };
    const Case cases[] = {
        {"end 0 reads to the end", 0, 0},
        {"end all ones reads to the end", 0, UINT64_MAX},
        {"samples exactly at start and end are passed", t5, t15},
        {"start and end equal", t15, t15},
        {"start past the last sample", all.back().time + 1, 0},
        {"end before start", t15, t5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CWMVCopy engine;
        Collector col;
        engine.SetSampleHandler(col.Handler(), nullptr);
        ASSERT_EQ(engine.OpenSource(Wmv2(), c.start, c.end), wm::hr::kOk);
        EXPECT_EQ(engine.RunReader(), wm::hr::kOk);
        ExpectSameCalls(col.got, Expected(all, c.start, c.end == UINT64_MAX ? 0 : c.end));
        if (c.start == t5 && c.end == t15) {
            ASSERT_FALSE(col.got.empty());
            EXPECT_EQ(col.got.front().time, 0u);
        }
    }
}

TEST(CWMVCopyTest, HandlerResultsEndTheRun) {
    struct Case {
        int value;
        wm::HRESULT run;
        int32_t wrapped;
    };
    const Case cases[] = {{1, wm::hr::kOk, err::kOk}, {wm::hr::kFileWrite, wm::hr::kFileWrite, err::kWmvProcess}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        CWMVCopy engine;
        Collector col;
        col.stopAt = 3;
        col.stopValue = c.value;
        engine.SetSampleHandler(col.Handler(), nullptr);
        ASSERT_EQ(engine.OpenSource(Wmv2(), 0, 0), wm::hr::kOk);
        EXPECT_EQ(engine.RunReader(), c.run);
        // Nothing more reaches the handler once it asked to stop.
        EXPECT_EQ(col.got.size(), 3u);

        CDecCompWMV dec;
        Collector col2;
        col2.stopAt = 3;
        col2.stopValue = c.value;
        dec.SetSampleHandler(col2.Handler(), nullptr);
        ASSERT_EQ(dec.Open(Wmv2(), 0, 0), err::kOk);
        EXPECT_EQ(dec.Run(), c.wrapped);
    }
}

TEST(CWMVCopyTest, DecompressedSampleEndsTheRunWithUnexpected) {
    CWMVCopy engine;
    std::string log;
    engine.SetLog([&](const std::string& s) { log += s; });
    ASSERT_EQ(engine.OpenSource(Wmv2(), 0, 0), wm::hr::kOk);
    ASSERT_EQ(engine.Reader()->SetReceiveStreamSamples(engine.StreamNumbers()[0], false), wm::hr::kOk);
    EXPECT_EQ(engine.RunReader(), wm::hr::kUnexpected);
    EXPECT_EQ(log,
              "Creating the Reader...\n"
              "Reader Callback: File is opened.\n"
              "Reader Callback: Received a decompressed sample (hr=0x8000ffff).\n");
}

TEST(CWMVCopyTest, FailedOpensPrintTheirLineAndResult) {
    const std::string dir = ScratchDir();
    WriteBytes(dir + "/not.wmv", std::vector<uint8_t>(100, 7));
    CWMVCopy engine;
    std::string log;
    engine.SetLog([&](const std::string& s) { log += s; });
    EXPECT_EQ(engine.OpenSource(dir + "/not.wmv", 0, 0), wm::hr::kNotAsf);
    EXPECT_EQ(log, "Creating the Reader...\nCould not create the Reader (hr=0xc00da010).\n");
    EXPECT_EQ(engine.OpenSource(dir + "/missing.wmv", 0, 0), wm::hr::kFileOpen);
    CDecCompWMV dec;
    EXPECT_EQ(dec.Open(dir + "/not.wmv", 0, 0), err::kWmvOpen);
    EXPECT_EQ(dec.GetProfile(), nullptr);
}

TEST(CWMVCopyTest, ProfileWindowsWiden) {
    // Different media types: every window doubles.
    for (const std::string& path : {Wmv2(), MadeAsfFiles()[5].path}) {
        asf::AsfReader r;
        ASSERT_EQ(r.Open(path), wm::hr::kOk);
        const auto before = wm::Profile::FromHeader(r.Header());
        CWMVCopy engine;
        ASSERT_EQ(engine.OpenSource(path, 0, 0), wm::hr::kOk);
        const auto after = engine.GetProfile();
        ASSERT_EQ(after->GetStreamCount(), before->GetStreamCount());
        for (uint32_t i = 0; i < before->GetStreamCount(); ++i) {
            wm::StreamConfig a, b;
            ASSERT_EQ(before->GetStream(i, a), wm::hr::kOk);
            ASSERT_EQ(after->GetStream(i, b), wm::hr::kOk);
            EXPECT_EQ(b.GetBufferWindow(), 2 * a.GetBufferWindow()) << path << " stream " << i;
        }
    }
    // Twins: the later one grows by the first one's window. With VBR on, a
    // bit rate of its own does not make a stream different.
    asf::AsfReader r;
    ASSERT_EQ(r.Open(Wmv2()), wm::hr::kOk);
    wm::StreamConfig audio;
    ASSERT_EQ(wm::Profile::FromHeader(r.Header())->GetStreamByNumber(2, audio), wm::hr::kOk);
    for (bool vbr : {false, true}) {
        wm::Profile p;
        wm::StreamConfig a = audio, b = audio;
        a.SetVbr(vbr);
        b.SetVbr(vbr);
        a.SetStreamNumber(1);
        a.SetBufferWindow(1000);
        b.SetStreamNumber(2);
        b.SetBufferWindow(300);
        wm::MediaType m = b.GetMediaType();
        m.format[wm::kWaveAvgBytes] ^= 0x55;
        b.SetMediaType(m);
        ASSERT_EQ(p.AddStream(a), wm::hr::kOk);
        ASSERT_EQ(p.AddStream(b), wm::hr::kOk);
        ASSERT_EQ(CWMVCopy::WidenBufferWindows(p), wm::hr::kOk);
        wm::StreamConfig x, y;
        p.GetStream(0, x);
        p.GetStream(1, y);
        EXPECT_EQ(x.GetBufferWindow(), 2000u) << vbr;
        EXPECT_EQ(y.GetBufferWindow(), vbr ? 1300u : 600u) << vbr;
    }
}

TEST(CWMVCopyTest, HeaderTransferSkipsDerivedAttributesAndTakesEverythingElse) {
    const std::string tagged = MakeMedia(
        "asf_tagged", "-f lavfi -i sine=frequency=440:sample_rate=22050 -t 1 -c:a wmav2 -metadata title=Hello "
                      "-metadata artist=Someone -metadata copyright=Nobody -metadata genre=Test -metadata track=7",
        "wma");
    for (const std::string& path : {tagged, SamplePath("asf/filetype_fixture.asf")}) {
        SCOPED_TRACE(path);
        CWMVCopy engine;
        ASSERT_EQ(engine.OpenSource(path, 0, 0), wm::hr::kOk);
        wm::HeaderInfo writer(true);
        EXPECT_EQ(engine.TransferHeaderData(&writer), wm::hr::kOk);
        asf::AsfReader r;
        ASSERT_EQ(r.Open(path), wm::hr::kOk);
        asf::Attribute a;
        EXPECT_EQ(writer.GetAttributeByName(0, "Duration", a), wm::hr::kInvalidArg);
        EXPECT_EQ(writer.GetAttributeByName(0, "HasAudio", a), wm::hr::kInvalidArg);
        for (const asf::Attribute& stored : r.Header().attributes) {
            EXPECT_EQ(writer.GetAttributeByName(stored.stream, stored.name, a), wm::hr::kOk) << stored.name;
        }
        EXPECT_EQ(writer.GetCodecInfoCount(), r.Header().codecs.size());
        // No scripts in these sources: nothing is added, and that succeeds.
        EXPECT_EQ(writer.GetScriptCount(), 0u);
        // Codec descriptions of one kind only.
        wm::HeaderInfo audio_only(true);
        EXPECT_EQ(engine.TransferCodecInfoOfType(&audio_only, wm::kMediaTypeAudio), wm::hr::kOk);
        for (uint32_t i = 0; i < audio_only.GetCodecInfoCount(); ++i) {
            asf::CodecInfo c;
            audio_only.GetCodecInfo(i, c);
            EXPECT_EQ(c.type, asf::kCodecAudio);
        }
    }
}

TEST(CWMVCopyTest, WrappersReportTheirCodes) {
    const std::string dir = ScratchDir();
    CEncCompWMV enc;
    EXPECT_EQ(enc.EndWriting(), wm::hr::kOk);  // nothing open: nothing happens
    EXPECT_EQ(enc.BeginWriting(), err::kWmvEncInit);
    CDecCompWMV dec;
    ASSERT_EQ(dec.Open(Wmv2(), 0, 0), err::kOk);
    EXPECT_EQ(enc.OpenOutput(dir + "/no/such/dir/out.wmv", *dec.GetProfile()), err::kWmvOutputMake);
    EXPECT_EQ(dec.TransferHeaderData(nullptr), err::kWmvCodecRead);
    // Opening again closes the previous source first.
    ASSERT_EQ(dec.Open(MadeAsfFiles()[4].path, 0, 0), err::kOk);
    EXPECT_EQ(dec.GetProfile()->GetStreamCount(), 1u);
    EXPECT_EQ(dec.Run(), err::kOk);
    // A file without samples has a duration of 0 and cannot be opened.
    wm::AsfWriter w;
    ASSERT_EQ(w.Open(OpenDiskFile(dir + "/empty.wma", OpenMode::CreateTruncate), *dec.GetProfile()), wm::hr::kOk);
    ASSERT_EQ(w.BeginWriting(), wm::hr::kOk);
    ASSERT_EQ(w.EndWriting(), wm::hr::kOk);
    CWMVCopy engine;
    EXPECT_EQ(engine.OpenSource(dir + "/empty.wma", 0, 0), wm::hr::kInvalidArg);
}

TEST(CWMVCopyTest, AdvanceOffsetAddsWholeSeconds) {
    CEncCompWMV enc;
    EXPECT_EQ(enc.AdvanceOffset(9999999), 0u);
    EXPECT_EQ(enc.AdvanceOffset(107000000), 100000000u);
    EXPECT_EQ(enc.Offset(), 100000000u);
}

}  // namespace

namespace {

// An extract and a link as the pages run them through the two wrappers,
// read back by ffprobe.
struct ProbedSample {
    int index = 0;
    long long ptsMs = 0;
    size_t size = 0;
};

struct PageRun {
    CDecCompWMV dec;
    CEncCompWMV enc;
    void Install() {
        dec.SetSampleHandler(
            [this](uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                   const wm::SampleBuffer& b, void*, void*) {
                return static_cast<int>(enc.WriteSample(stream, time, duration, flags, b));
            },
            this);
    }
};

std::vector<ProbedSample> Probed(const std::string& path) {
    std::vector<ProbedSample> out;
    const CommandResult r = RunCommand({"ffprobe", "-v", "error", "-show_entries",
                                        "packet=stream_index,pts,size", "-of", "csv=p=0", path});
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        ProbedSample p;
        if (std::sscanf(line.c_str(), "%d,%lld,%zu", &p.index, &p.ptsMs, &p.size) == 3) {
            out.push_back(p);
        }
    }
    return out;
}

TEST(CWMVCopyTest, ExtractAndLinkThroughTheWrappers) {
    const std::string dir = ScratchDir();
    const auto all = FileOrder(Wmv2());
    const uint64_t start = all[10].time;

    PageRun extract;
    extract.Install();
    ASSERT_EQ(extract.dec.Open(Wmv2(), start, 0), err::kOk);
    ASSERT_EQ(extract.enc.OpenOutput(dir + "/extr.wmv", *extract.dec.GetProfile()), err::kOk);
    ASSERT_EQ(extract.dec.TransferHeaderData(extract.enc.GetHeader()), err::kOk);
    ASSERT_EQ(extract.enc.BeginWriting(), err::kOk);
    ASSERT_EQ(extract.dec.Run(), err::kOk);
    extract.dec.CloseSource();
    ASSERT_EQ(extract.enc.EndWriting(), wm::hr::kOk);
    const auto want = Expected(all, start, 0);
    const auto got = Probed(dir + "/extr.wmv");
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(static_cast<uint64_t>(got[i].ptsMs) * 10000, want[i].time) << i;
        EXPECT_EQ(got[i].size, want[i].size) << i;
    }

    // Two entries: the second starts at the first's duration in whole seconds.
    PageRun link;
    link.Install();
    ASSERT_EQ(link.dec.Open(Wmv2(), 0, 0), err::kOk);
    ASSERT_EQ(link.enc.OpenOutput(dir + "/link.wmv", *link.dec.GetProfile()), err::kOk);
    ASSERT_EQ(link.dec.TransferHeaderData(link.enc.GetHeader()), err::kOk);
    ASSERT_EQ(link.enc.BeginWriting(), err::kOk);
    uint64_t offset = 0;
    for (int entry = 0; entry < 2; ++entry) {
        if (entry > 0) {
            ASSERT_EQ(link.dec.Open(Wmv2(), 0, 0), err::kOk);
        }
        ASSERT_EQ(link.dec.Run(), err::kOk);
        offset += link.enc.AdvanceOffset(link.dec.GetDuration());
        link.dec.CloseSource();
    }
    ASSERT_EQ(link.enc.EndWriting(), wm::hr::kOk);
    const auto linked = Probed(dir + "/link.wmv");
    ASSERT_EQ(linked.size(), 2 * all.size());
    const uint64_t first = link.enc.Offset() / 2;  // the first entry's whole seconds
    EXPECT_EQ(first, offset / 2);
    EXPECT_EQ(static_cast<uint64_t>(linked[all.size()].ptsMs) * 10000, all[0].time + first);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(dir + "/link.wmv", &errors)) << errors;
}

}  // namespace
