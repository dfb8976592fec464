#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>

#include "AsfFixtures.h"
#include "AsfProbe.h"
#include "AsfReader.h"
#include "AsfWriter.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "Md5.h"
#include "OutputNames.h"
#include "WmvOperations.h"

// The four WMV operations, checked through the outputs: every sample's bytes,
// time and key flag as our reader, ffprobe and GStreamer's asfdemux read
// them, against what the operation should have copied from the sources.
namespace {

using namespace trelvan;
using namespace trelvan::test;

const std::string& Made(const std::string& name) {
    static const std::vector<AsfSource> files = MadeAsfFiles();
    for (const AsfSource& s : files) {
        if (s.name == name) {
            return s.path;
        }
    }
    ADD_FAILURE() << "no made file " << name;
    static const std::string none;
    return none;
}

// Two video streams (160x120 then 96x64) and one audio stream.
std::string TwoVideo() {
    return MakeMedia(
        "wmvops_two_video",
        "-f lavfi -i testsrc=size=160x120:rate=10 -f lavfi -i testsrc2=size=96x64:rate=5 "
        "-f lavfi -i sine=frequency=440:sample_rate=22050 -t 2 -map 0:v -map 1:v -map 2:a "
        "-c:v wmv2 -c:a wmav2",
        "wmv");
}

// Video only, 10.7 s: its last frame ends at exactly 10.7 s.
std::string Video107() {
    return MakeMedia("wmvops_v107",
                     "-f lavfi -i testsrc=size=64x48:rate=10 -t 10.7 -c:v wmv2 -g 10", "wmv");
}

std::vector<asf::AsfSample> FileOrder(const std::string& path) {
    std::vector<asf::AsfSample> raw;
    ReadOurs(path, &raw);
    return raw;
}

// A copy of `src` (same samples) whose stream `stream` carries an
// attribute `name` of its own.
std::string WithStreamAttribute(const std::string& src, uint16_t stream, const std::string& name,
                                const std::string& out) {
    asf::AsfReader r;
    EXPECT_EQ(r.Open(src), wm::hr::kOk);
    wm::AsfWriter w;
    EXPECT_EQ(
        w.Open(OpenDiskFile(out, OpenMode::CreateTruncate), *wm::Profile::FromHeader(r.Header())),
        wm::hr::kOk);
    EXPECT_EQ(w.Header().SetAttribute(stream, name, asf::kAttrString, wm::AttrString("x")),
              wm::hr::kOk);
    EXPECT_EQ(w.BeginWriting(), wm::hr::kOk);
    asf::AsfSample s;
    while (r.Next(s) == wm::hr::kOk) {
        w.WriteSample(s.stream, s.time, s.duration, s.key ? wm::kSampleCleanPoint : 0,
                      s.data.data(), s.data.size());
    }
    EXPECT_EQ(w.EndWriting(), wm::hr::kOk);
    return out;
}

// The streams that carry an attribute `name`.
std::set<uint16_t> StreamsWith(const std::string& path, const std::string& name) {
    asf::AsfReader r;
    EXPECT_EQ(r.Open(path), wm::hr::kOk);
    std::set<uint16_t> out;
    for (const asf::Attribute& a : r.Header().attributes) {
        if (a.name == name) {
            out.insert(a.stream);
        }
    }
    return out;
}

// What a copy should hold: the samples of `raw` (file order) at or after
// `start` up to the first one past `end`, of the streams in `renumber`
// (all when empty) under their new numbers, at time - start + offset.
SampleMap Expected(const std::vector<asf::AsfSample>& raw,
                   const std::map<uint16_t, uint16_t>& renumber = {}, uint64_t start = 0,
                   uint64_t end = UINT64_MAX, uint64_t offset = 0) {
    SampleMap out;
    for (const asf::AsfSample& s : raw) {
        if (s.time > end) {
            break;
        }
        if (s.time < start || (!renumber.empty() && renumber.count(s.stream) == 0)) {
            continue;
        }
        RefSample r;
        r.timeMs = static_cast<int64_t>((s.time - start + offset) / 10000);
        r.key = s.key;
        r.size = s.data.size();
        r.md5 = Md5Hex(s.data.data(), s.data.size());
        out[renumber.empty() ? s.stream : renumber.at(s.stream)].push_back(r);
    }
    return out;
}

std::set<uint16_t> StreamsOf(const SampleMap& m) {
    std::set<uint16_t> out;
    for (const auto& [n, list] : m) {
        out.insert(n);
    }
    return out;
}

std::vector<uint16_t> Numbers(const asf::AsfHeader& h) {
    std::vector<uint16_t> out;
    for (const auto& s : h.streams) {
        out.push_back(s.number);
    }
    return out;
}

// The output as the three readers see it holds exactly `want`: the same
// streams, and in each the same samples (bytes, times, key flags: all
// streams' for our reader, the video streams' for the others, which make
// up audio key flags of their own).
void ExpectOutput(const std::string& out, const SampleMap& want) {
    asf::AsfReader r;
    ASSERT_EQ(r.Open(out), wm::hr::kOk) << out;
    std::set<uint16_t> numbers;
    for (const auto& s : r.Header().streams) {
        numbers.insert(s.number);
    }
    std::set<uint16_t> want_streams = StreamsOf(want);
    EXPECT_TRUE(
        std::includes(numbers.begin(), numbers.end(), want_streams.begin(), want_streams.end()));
    const SampleMap ours = ReadOurs(out);
    EXPECT_EQ(StreamsOf(ours), want_streams) << "our reader";
    ExpectSameSamples(ours, want, "our reader", numbers);
    const std::set<uint16_t> keys = VideoStreams(r.Header());
    const SampleMap ff = ReadFfprobe(out, Numbers(r.Header()));
    EXPECT_EQ(StreamsOf(ff), want_streams) << "ffprobe";
    ExpectSameSamples(want, ff, "ffprobe", keys);
    // GStreamer's demuxer waits for a sample of every stream (it never ends
    // on a file with a stream without any), and counts times from the
    // earliest first sample of all streams.
    if (r.PacketCount() > 0 && want_streams == numbers) {
        int64_t first = INT64_MAX;
        for (const auto& [n, list] : want) {
            first = std::min(first, list.front().timeMs);
        }
        SampleMap from_zero = want;
        for (auto& [n, list] : from_zero) {
            for (RefSample& x : list) {
                x.timeMs -= first;
            }
        }
        const SampleMap gst = ReadGstreamer(out, r.Header());
        EXPECT_EQ(StreamsOf(gst), want_streams) << "GStreamer";
        ExpectSameSamples(from_zero, gst, "GStreamer", keys, !GstreamerTimesDiffer(out));
    }
}

// One run's context with the warnings collected.
struct Runner {
    OpContext ctx;
    std::mutex lock;
    std::vector<std::string> warnings;
    Runner() {
        ctx.warn = [this](const std::string& w) {
            std::lock_guard<std::mutex> hold(lock);
            warnings.push_back(w);
        };
    }
    bool Warned(const std::string& text) {
        for (const std::string& w : warnings) {
            if (w == text) {
                return true;
            }
        }
        return false;
    }
};

// Every run, however it ended, leaves the stop flag set.
void ExpectEnded(const WmvOpResult& r, const OpContext& ctx, int32_t code) {
    EXPECT_EQ(r.code, code);
    EXPECT_EQ(ctx.stop.load(), 1);
}

// ---- Separate -------------------------------------------------------------

TEST(WmvOperationsTest, SeparateCopiesTheLastStreamOfTheKindAsStreamOne) {
    const std::string dir = ScratchDir();
    struct Case {
        std::string source;
        WmvStreamKind kind;
        uint16_t from;
    };
    // The later streams carry an attribute, which follows them to stream 1.
    const Case cases[] = {
        {Made("wmv2_wmav2"), WmvStreamKind::Video, 1},
        {Made("wmv2_wmav2"), WmvStreamKind::Audio, 2},
        {WithStreamAttribute(Made("two_audio"), 3, "Own", dir + "/two_audio.wmv"),
         WmvStreamKind::Audio, 3},
        {WithStreamAttribute(TwoVideo(), 2, "Own", dir + "/two_video.wmv"), WmvStreamKind::Video,
         2},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + " stream " + std::to_string(c.from));
        // The extension is replaced by the kind's.
        const std::string asked = dir + "/sep" + std::to_string(n++) + ".wma";
        Runner run;
        bool began = false;
        const WmvOpResult r =
            RunWmvSeparate({c.source, asked, c.kind}, run.ctx, [&] { began = run.ctx.stop == 0; });
        ExpectEnded(r, run.ctx, 0);
        EXPECT_TRUE(r.started && began);
        EXPECT_EQ(r.output, FileStem(asked) + (c.kind == WmvStreamKind::Video ? ".wmv" : ".wma"));
        const SampleMap want = Expected(FileOrder(c.source), {{c.from, uint16_t{1}}});
        EXPECT_EQ(r.samples, want.at(1).size());
        ExpectOutput(r.output, want);
        // The stream keeps its format.
        asf::AsfReader src, out;
        ASSERT_EQ(src.Open(c.source), wm::hr::kOk);
        ASSERT_EQ(out.Open(r.output), wm::hr::kOk);
        ASSERT_EQ(out.Header().streams.size(), 1u);
        for (const auto& s : src.Header().streams) {
            if (s.number == c.from) {
                EXPECT_EQ(out.Header().streams[0].typeData, s.typeData);
            }
        }
        EXPECT_EQ(run.ctx.last.load(), static_cast<int64_t>(src.Duration()));
        if (c.source.rfind(dir, 0) == 0) {
            EXPECT_EQ(StreamsWith(r.output, "Own"), std::set<uint16_t>{1});
        }
    }
}

TEST(WmvOperationsTest, SeparateWithoutTheWantedStreamGives8204) {
    const std::string dir = ScratchDir();
    for (const auto& [source, kind] : {std::pair{Made("video_only"), WmvStreamKind::Audio},
                                       std::pair{Made("audio_only"), WmvStreamKind::Video}}) {
        Runner run;
        const WmvOpResult r = RunWmvSeparate({source, dir + "/none", kind}, run.ctx);
        ExpectEnded(r, run.ctx, err::kWmvInfoGet);
        EXPECT_FALSE(std::filesystem::exists(r.output));
    }
}

TEST(WmvOperationsTest, OutputNames) {
    EXPECT_EQ(WmvSeparateOutputName({"/m/a.wmv", "", WmvStreamKind::Audio}), "/m/a_cut.wma");
    EXPECT_EQ(WmvSeparateOutputName({"/m/a.wmv", "/o/x.wma", WmvStreamKind::Video}), "/o/x.wmv");
    EXPECT_EQ(WmvUniteDefaultOutput("/m/a.wmv"), "/m/a_comb.wmv");
    EXPECT_EQ(WmvLinkDefaultOutput("/m/a.wma"), "/m/a_link.wmv");
    EXPECT_EQ(WmvExtractDefaultOutput("/m/a.wma"), "/m/a_extr.wmv");
    EXPECT_EQ(WmvRangeTime(1, 2, 3, 4), (3600u + 120 + 3) * 10000000ull + 40000);
    // Beyond 64 bits: saturated, not wrapped to a small time.
    EXPECT_EQ(WmvRangeTime(2147483647, 59, 59, 999), UINT64_MAX);
}

TEST(WmvOperationsTest, ProgressOfLongRanges) {
    OpContext ctx;
    // Two hours in 100 ns do not fit the display's 32-bit positions.
    ctx.last = 72000000000;
    ctx.current = 18000000000;
    EXPECT_EQ(FormatProgress(WmvRangeProgress(ctx, false)).text.substr(0, 5), " 25 %");
    ctx.items = 3;
    ctx.item = 1;
    EXPECT_EQ(FormatProgress(WmvLinkProgress(ctx, false)).text.substr(0, 11), " 2/ 3  25 %");
}

// ---- Unite ----------------------------------------------------------------

TEST(WmvOperationsTest, UniteWritesVideoAsOneAndAudioAsTwoToTheLongerEnd) {
    const std::string dir = ScratchDir();
    struct Case {
        std::string video;
        uint16_t videoFrom;
        std::string audio;
        uint16_t audioFrom;
    };
    // The 2 s videos with 3 s and 2 s audio; the later streams, whose
    // attributes follow them to their new numbers.
    const Case cases[] = {
        {Made("wmv2_wmav2"), 1, Made("audio_only"), 1},
        {WithStreamAttribute(TwoVideo(), 2, "OwnVideo", dir + "/two_video.wmv"), 2,
         WithStreamAttribute(Made("two_audio"), 3, "OwnAudio", dir + "/two_audio.wmv"), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.video + " + " + c.audio);
        Runner run;
        const WmvOpResult r = RunWmvUnite({c.video, c.audio, dir + "/comb.wmv"}, run.ctx);
        ExpectEnded(r, run.ctx, 0);
        SampleMap want = Expected(FileOrder(c.video), {{c.videoFrom, uint16_t{1}}});
        want[2] = Expected(FileOrder(c.audio), {{c.audioFrom, uint16_t{2}}})[2];
        EXPECT_EQ(r.samples, want[1].size() + want[2].size());
        ExpectOutput(r.output, want);
        // The readers were paced against each other: in the file no sample
        // lies far behind the ones written before it.
        uint64_t latest = 0;
        for (const asf::AsfSample& x : FileOrder(r.output)) {
            EXPECT_LT(latest, x.time + 5000000)
                << "a sample at " << x.time << " after one at " << latest;
            latest = std::max(latest, x.time);
        }
        uint64_t dv = 0, da = 0;
        ASSERT_EQ(WmvSourceDuration(c.video, &dv), 0);
        ASSERT_EQ(WmvSourceDuration(c.audio, &da), 0);
        EXPECT_EQ(run.ctx.last.load(), static_cast<int64_t>(std::max(dv, da)));
        if (c.videoFrom > 1) {
            EXPECT_EQ(StreamsWith(r.output, "OwnVideo"), std::set<uint16_t>{1});
            EXPECT_EQ(StreamsWith(r.output, "OwnAudio"), std::set<uint16_t>{2});
        }
    }
}

// Reads of a packet block fail (header and index reads pass): the file
// opens, and its reader's run fails.
class BreakingReads : public IoFile {
  public:
    explicit BreakingReads(std::unique_ptr<IoFile> inner) : m_inner(std::move(inner)) {}
    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        return offset > 0 && n > 4096 ? -1 : m_inner->ReadAt(offset, buf, n);
    }
    bool WriteAt(uint64_t, const void*, size_t) override { return false; }
    int64_t Size() override { return m_inner->Size(); }
    bool Truncate(uint64_t) override { return false; }
    bool Close() override { return m_inner->Close(); }

  private:
    std::unique_ptr<IoFile> m_inner;
};

TEST(WmvOperationsTest, UniteWhoseReaderOrWriterFailsEndsWith8203) {
    const std::string dir = ScratchDir();
    const std::string video = Made("wmv2_wmav2"), audio = Made("audio_only");
    for (bool readFails : {true, false}) {
        SCOPED_TRACE(readFails ? "audio reads fail" : "output writes fail");
        Runner run;
        run.ctx.opener = [&](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
            std::unique_ptr<IoFile> f = OpenDiskFile(path, mode);
            if (readFails && path == audio && f) {
                return std::make_unique<BreakingReads>(std::move(f));
            }
            if (!readFails && mode == OpenMode::CreateTruncate && f) {
                return std::make_unique<FaultyFile>(std::move(f), 20000);
            }
            return f;
        };
        const WmvOpResult r = RunWmvUnite({video, audio, dir + "/comb.wmv"}, run.ctx);
        ExpectEnded(r, run.ctx, err::kWmvProcess);
        EXPECT_TRUE(r.started);
        EXPECT_FALSE(r.stopped);
        // What was written went beside the output and is gone with the
        // failure.
        EXPECT_FALSE(std::filesystem::exists(r.output));
    }
}

// ---- Link -----------------------------------------------------------------

TEST(WmvOperationsTest, LinkPlacesEachEntryAtTheExactEndOfTheOneBefore) {
    const std::string dir = ScratchDir();
    // One entry: a copy of it.
    {
        Runner run;
        const WmvOpResult r = RunWmvLink({{Made("wmv2_wmav2")}, dir + "/one.wmv"}, run.ctx);
        ExpectEnded(r, run.ctx, 0);
        ExpectOutput(r.output, Expected(FileOrder(Made("wmv2_wmav2"))));
        EXPECT_EQ(FfprobeFormats(r.output), FfprobeFormats(Made("wmv2_wmav2")));
    }
    // Two entries of 10.7 s: the second starts at 10.7 s, not at 10 s.
    const std::string v = Video107();
    Runner run;
    const WmvOpResult r = RunWmvLink({{v, v}, dir + "/two.wmv"}, run.ctx);
    ExpectEnded(r, run.ctx, 0);
    const auto raw = FileOrder(v);
    SampleMap want = Expected(raw);
    for (const auto& [n, list] : Expected(raw, {}, 0, UINT64_MAX, 107000000)) {
        want[n].insert(want[n].end(), list.begin(), list.end());
    }
    ASSERT_EQ(want[1].size(), 214u);
    EXPECT_EQ(want[1][107].timeMs, 10700);
    ExpectOutput(r.output, want);
}

TEST(WmvOperationsTest, StopDuringLinkEndsTheEntryAndBeginsNoOther) {
    const std::string dir = ScratchDir();
    const std::string a = Made("wmv2_wmav2");
    const std::string b = CopyFile(a, dir + "/");
    const std::string c = dir + "/third.wmv";
    std::filesystem::copy_file(a, c);
    Runner run;
    std::vector<std::string> opened;
    // Stop is pressed while the second entry opens: its first sample sees it.
    run.ctx.opener = [&](const std::string& path, OpenMode mode) {
        if (mode == OpenMode::Read) {
            opened.push_back(path);
            if (path == b) {
                run.ctx.stop = 1;
            }
        }
        return OpenDiskFile(path, mode);
    };
    const WmvOpResult r = RunWmvLink({{a, b, c}, dir + "/link.wmv"}, run.ctx);
    ExpectEnded(r, run.ctx, 0);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(opened, (std::vector<std::string>{a, b}));
    EXPECT_EQ(run.ctx.item.load(), 1);
    ExpectOutput(r.output, Expected(FileOrder(a)));
}

TEST(WmvOperationsTest, LinkEntryThatCannotBeOpenedEndsTheLinkAndKeepsTheOldOutput) {
    const std::string dir = ScratchDir();
    const std::string a = Made("wmv2_wmav2");
    const std::string out = dir + "/link.wmv";
    trelvan::test::WriteBytes(out, {'o', 'l', 'd'});
    Runner run;
    const WmvOpResult r = RunWmvLink({{a, dir + "/missing.wmv", a}, out}, run.ctx);
    ExpectEnded(r, run.ctx, err::kWmvOpen);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(trelvan::test::ReadBytes(out), std::vector<uint8_t>({'o', 'l', 'd'}));
}

// ---- Extract --------------------------------------------------------------

TEST(WmvOperationsTest, ExtractCopiesTheRangeWithoutCuttingAtKeyFrames) {
    const std::string dir = ScratchDir();
    const std::string src = Made("wmv2_wmav2");
    const auto raw = FileOrder(src);
    std::vector<const asf::AsfSample*> video;
    for (const auto& s : raw) {
        if (s.stream == 1) {
            video.push_back(&s);
        }
    }
    size_t key = 1;  // the second key frame
    while (key < video.size() && !video[key]->key) {
        ++key;
    }
    ASSERT_TRUE(key >= 4 && key + 2 < video.size()) << "needs key frames 4 or more frames apart";
    auto at = [&](size_t i) { return video[i]->time; };
    struct Case {
        const char* what;
        uint64_t start, end;
    };
    const Case cases[] = {
        {"from 0 to the end", 0, UINT64_MAX},
        {"mid-group start", at(key - 3), at(key + 2)},
        {"range without a key frame", at(key - 3), at(key - 1)},
        {"end past the duration", at(key - 1), 1000000000},
        {"start equals end", at(key), at(key)},
        {"start and end at 0", 0, 0},
        {"start past the last sample", raw.back().time + 10000, UINT64_MAX},
        {"end before start", at(key + 2), at(key)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Runner run;
        const WmvOpResult r = RunWmvExtract({src, dir + "/extr.wmv", c.start, c.end}, run.ctx);
        ExpectEnded(r, run.ctx, 0);
        EXPECT_TRUE(r.hasVideo);
        if (c.start == 0 && c.end == UINT64_MAX) {
            // The display's total: the source, not an end never reached.
            uint64_t duration = 0;
            ASSERT_EQ(WmvSourceDuration(src, &duration), 0);
            EXPECT_EQ(run.ctx.last.load(), static_cast<int64_t>(duration));
        }
        // The copy ends at the first sample past the end in file order.
        int64_t first_key = -1;
        bool has_video = false;
        for (const asf::AsfSample& s : raw) {
            if (s.time > c.end) {
                break;
            }
            if (s.time >= c.start && s.stream == 1) {
                has_video = true;
                if (s.key && first_key < 0) {
                    first_key = static_cast<int64_t>(s.time - c.start);
                }
            }
        }
        EXPECT_EQ(r.firstKeyTime, first_key);
        const SampleMap want = Expected(raw, {}, c.start, c.end);
        if (c.start == at(key - 3)) {
            // Not moved to a key frame: the output begins with the frame at the start.
            ASSERT_EQ(want.count(1), 1u);
            EXPECT_FALSE(want.at(1).front().key);
            EXPECT_EQ(want.at(1).front().timeMs, 0);
        }
        // Only a range that holds video without a key frame warns.
        EXPECT_EQ(run.Warned(WmvNoKeyFrameWarning()), has_video && first_key < 0);
        ExpectOutput(r.output, want);
    }
}

// An extract of the start of a long file stops reading soon after its end:
// the reader is granted no more time once the run has ended.
TEST(WmvOperationsTest, ExtractOfTheStartReadsLittleOfTheSource) {
    const std::string src = MakeMedia(
        "wmvops_long", "-f lavfi -i testsrc=size=160x120:rate=25 -t 60 -c:v wmv2 -g 25", "wmv");
    std::atomic<uint64_t> read{0};
    class Counted : public IoFile {
      public:
        Counted(std::unique_ptr<IoFile> inner, std::atomic<uint64_t>& n)
            : m_inner(std::move(inner)), m_n(n) {}
        int64_t ReadAt(uint64_t offset, void* buf, size_t n) override {
            const int64_t got = m_inner->ReadAt(offset, buf, n);
            m_n += got > 0 ? static_cast<uint64_t>(got) : 0;
            return got;
        }
        bool WriteAt(uint64_t, const void*, size_t) override { return false; }
        int64_t Size() override { return m_inner->Size(); }
        bool Truncate(uint64_t) override { return false; }
        bool Close() override { return m_inner->Close(); }

      private:
        std::unique_ptr<IoFile> m_inner;
        std::atomic<uint64_t>& m_n;
    };
    Runner run;
    run.ctx.opener = [&](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
        std::unique_ptr<IoFile> f = OpenDiskFile(path, mode);
        if (path == src && f) {
            return std::make_unique<Counted>(std::move(f), read);
        }
        return f;
    };
    const WmvOpResult r =
        RunWmvExtract({src, ScratchDir() + "/start.wmv", 0, 20000000}, run.ctx);
    ExpectEnded(r, run.ctx, 0);
    EXPECT_LT(read.load(), std::filesystem::file_size(src) / 3);
}

// ---- Every operation -------------------------------------------------------

TEST(WmvOperationsTest, OutputNamingASourceGives6006AndTouchesNothing) {
    const std::string dir = ScratchDir();
    const std::string src = CopyFile(Made("wmv2_wmav2"), dir + "/");
    const auto size = std::filesystem::file_size(src);
    const std::string sym = dir + "/sym.wmv", hard = dir + "/hard.wmv";
    ASSERT_EQ(::symlink(src.c_str(), sym.c_str()), 0);
    ASSERT_EQ(::link(src.c_str(), hard.c_str()), 0);
    Runner run;
    const WmvOpResult results[] = {
        RunWmvSeparate({src, sym, WmvStreamKind::Video}, run.ctx),
        RunWmvUnite({src, src, hard}, run.ctx),
        RunWmvLink({{src, src}, sym}, run.ctx),
        RunWmvExtract(
            {src, dir + "/../" + std::filesystem::path(dir).filename().string() + "/hard.wmv", 0,
             UINT64_MAX},
            run.ctx),
    };
    for (const WmvOpResult& r : results) {
        EXPECT_EQ(r.code, err::kOutputCannotBeMade) << r.output;
        EXPECT_FALSE(r.started);
    }
    EXPECT_EQ(std::filesystem::file_size(src), size);
    EXPECT_TRUE(std::filesystem::exists(sym) && std::filesystem::exists(hard));
    EXPECT_EQ(run.warnings.size(), 0u);
}

// The four operations on one source, with the code each gives when its
// output cannot begin.
struct Op {
    const char* what;
    std::function<WmvOpResult(OpContext&, const std::function<void()>&)> run;
    int32_t beginFails;
};

std::vector<Op> FourOps(const std::string& src, const std::string& dir) {
    using Begin = const std::function<void()>&;
    return {
        {"separate",
         [=](OpContext& c, Begin b) {
             return RunWmvSeparate({src, dir + "/s", WmvStreamKind::Audio}, c, b);
         },
         err::kWmvInfoSet},
        {"unite",
         [=](OpContext& c, Begin b) {
             return RunWmvUnite({src, src, dir + "/u.wmv"}, c, b);
         },
         err::kWmvInfoSet},
        {"link",
         [=](OpContext& c, Begin b) {
             return RunWmvLink({{src, src}, dir + "/l.wmv"}, c, b);
         },
         err::kWmvEncInit},
        {"extract",
         [=](OpContext& c, Begin b) {
             return RunWmvExtract({src, dir + "/e.wmv", 0, UINT64_MAX}, c, b);
         },
         err::kWmvEncInit},
    };
}

TEST(WmvOperationsTest, StopAtTheBeginningEndsEveryOutputProperly) {
    for (const Op& op : FourOps(Made("wmv2_wmav2"), ScratchDir())) {
        SCOPED_TRACE(op.what);
        Runner run;
        const WmvOpResult r = op.run(run.ctx, [&] { run.ctx.stop = 1; });
        ExpectEnded(r, run.ctx, 0);
        EXPECT_TRUE(r.started && r.stopped);
        EXPECT_EQ(r.samples, 0u);
        asf::AsfReader out;
        ASSERT_EQ(out.Open(r.output), wm::hr::kOk);
        EXPECT_EQ(out.PacketCount(), 0u);
    }
}

TEST(WmvOperationsTest, OutputThatCannotBeginLeavesNoFile) {
    for (const Op& op : FourOps(Made("wmv2_wmav2"), ScratchDir())) {
        SCOPED_TRACE(op.what);
        Runner run;
        run.ctx.opener = [](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
            std::unique_ptr<IoFile> f = OpenDiskFile(path, mode);
            if (f && mode == OpenMode::CreateTruncate) {
                return std::make_unique<FaultyFile>(std::move(f), 0);  // no write lands
            }
            return f;
        };
        const WmvOpResult r = op.run(run.ctx, {});
        ExpectEnded(r, run.ctx, op.beginFails);
        EXPECT_FALSE(std::filesystem::exists(r.output));
    }
}

TEST(WmvOperationsTest, SampleFilesThroughLinkAndExtract) {
    const std::string dir = ScratchDir();
    for (const AsfSource& s : SampleAsfFiles()) {
        // Stripped of every packet on purpose (a broken file): nothing to copy.
        if (s.name == "taglib_real_example.wma") {
            continue;
        }
        SCOPED_TRACE(s.name);
        const auto raw = FileOrder(s.path);
        Runner link;
        const WmvOpResult l = RunWmvLink({{s.path}, dir + "/link_" + s.name}, link.ctx);
        ExpectEnded(l, link.ctx, 0);
        ExpectOutput(l.output, Expected(raw));
        Runner extract;
        const uint64_t start = raw.at(raw.size() / 2).time;
        const WmvOpResult e =
            RunWmvExtract({s.path, dir + "/extr_" + s.name, start, UINT64_MAX}, extract.ctx);
        ExpectEnded(e, extract.ctx, 0);
        ExpectOutput(e.output, Expected(raw, {}, start));
    }
}

}  // namespace
