#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "AsfFixtures.h"
#include "AsfProbe.h"
#include "AsfReader.h"
#include "AsfWriter.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "Process.h"
#include "WmvJoinCheck.h"
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

std::string WithOneTimeAltered(const std::string& src, size_t altered, uint64_t time,
                               const std::string& out);

// Video stamped at 1000 h (as GStreamer's asfmux writes it) beside sound
// stamped from 0, linked to itself: each entry's video is placed on its own
// first time, so the output holds both entries whole, entry 2 right after
// entry 1 as players show them.
TEST(WmvForeignFilesTest, LinkPlacesFarStampedStreamsOnTheirFirstTime) {
    const std::string& src = Files().gst;
    OpContext ctx;
    const std::string out = Files().dir + "/far_link.wmv";
    ASSERT_EQ(RunWmvLink({{src, src}, out}, ctx).code, 0);
    Counts twice = CountsOf(ReadOurs(src));
    for (auto& [stream, n] : twice) {
        n *= 2;
    }
    EXPECT_EQ(CountsOf(ReadOurs(out)), twice);
    EXPECT_EQ(CountsOf(Read(out).gstreamer), twice);
    EXPECT_LT(ReadOurs(out).at(1).back().timeMs, 5000);
}

// Entries whose samples together span more than the output's 32-bit
// millisecond times hold (a last sample at 700 h, twice): the check says so
// and the link is refused before anything is written.
TEST(WmvForeignFilesTest, LinkPastTheMillisecondRangeIsRefusedBeforeWriting) {
    const std::string far = Files().dir + "/last_at_700h.wmv";
    WithOneTimeAltered(Files().mp3, 25, 700ull * 3600 * 10'000'000, far);
    EXPECT_FALSE(CheckWmvJoin({far, far}, DiskFileOpener()).JoinsCleanly());
    OpContext ctx;
    const std::string out = Files().dir + "/far_700h_link.wmv";
    EXPECT_EQ(RunWmvLink({{far, far}, out}, ctx).code, err::kWmvProcess);
    EXPECT_FALSE(std::filesystem::exists(out));
}

// ---- Index -------------------------------------------------------------------

// A copy of `src` through the writer with the time of its `altered`-th
// sample moved to `time`.
std::string WithOneTimeAltered(const std::string& src, size_t altered, uint64_t time,
                               const std::string& out) {
    asf::AsfReader r;
    EXPECT_EQ(r.Open(src), wm::hr::kOk);
    wm::AsfWriter w;
    EXPECT_EQ(
        w.Open(OpenDiskFile(out, OpenMode::CreateTruncate), *wm::Profile::FromHeader(r.Header())),
        wm::hr::kOk);
    EXPECT_EQ(w.BeginWriting(), wm::hr::kOk);
    asf::AsfSample s;
    for (size_t i = 0; r.Next(s) == wm::hr::kOk; ++i) {
        EXPECT_EQ(w.WriteSample(s.stream, i == altered ? time : s.time, s.duration,
                                s.key ? wm::kSampleCleanPoint : 0, s.data.data(), s.data.size()),
                  wm::hr::kOk);
    }
    EXPECT_EQ(w.EndWriting(), wm::hr::kOk);
    return out;
}

// Every entry of the output's Simple Index names the packet where the
// latest key frame at or before its time begins (the first key frame for
// times before it); `entries` bounds their count.
void ExpectIndexOfKeyFrames(const std::string& out, size_t max_entries) {
    std::vector<asf::AsfSample> raw;
    ReadOurs(out, &raw);
    asf::AsfReader r;
    ASSERT_EQ(r.Open(out), wm::hr::kOk);
    ASSERT_EQ(r.Index().simple.size(), 1u);
    const asf::SimpleIndex& index = r.Index().simple[0];
    EXPECT_LE(index.entries.size(), max_entries);
    EXPECT_EQ(r.Header().props.flags & 2, 2u) << "seekable";
    const uint64_t preroll = r.Header().props.prerollMs * 10000;
    std::vector<const asf::AsfSample*> keys;
    for (const asf::AsfSample& x : raw) {
        if (x.stream == 1 && x.key) {
            keys.push_back(&x);
        }
    }
    ASSERT_FALSE(keys.empty());
    for (size_t i = 0; i < index.entries.size(); ++i) {
        const uint64_t t = i * index.interval;
        const asf::AsfSample* named = keys.front();
        for (const asf::AsfSample* k : keys) {
            if (k->time + preroll <= t) {
                named = k;
            }
        }
        ASSERT_EQ(index.entries[i].packet, named->packet) << "entry " << i;
    }
    // The entries reach the latest sample and stop there.
    EXPECT_GE(index.entries.size() * index.interval, raw.back().time + preroll);
    EXPECT_LE((index.entries.size() - 1) * index.interval, raw.back().time + preroll);
}

TEST(WmvForeignFilesTest, IndexStaysSmallAndNamesKeyFrames) {
    const std::string video = MadeAsfFiles()[3].path;  // 2 s at 10 fps, a key frame every 5
    struct Case {
        std::string what, source;
        size_t maxEntries;
    };
    const Case cases[] = {
        {"as made", video, 6},  // 3.1 s of preroll and 2 s, a second each
        // The last frame stamped 800 h on: not 2.9 million entries.
        {"one time altered", WithOneTimeAltered(video, 19, 28800000000000ull, Files().dir + "/altered.wmv"),
         wm::kMaxIndexEntries},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpContext ctx;
        const std::string out = Files().dir + "/indexed.wmv";
        ASSERT_EQ(RunWmvLink({{c.source}, out}, ctx).code, 0);
        ExpectIndexOfKeyFrames(out, c.maxEntries);
        EXPECT_LT(std::filesystem::file_size(out), 2 * std::filesystem::file_size(video));
    }
}

// A range without a key frame: no index (its entries could only point at
// packets without one) and no Seekable flag.
TEST(WmvForeignFilesTest, RangeWithoutAKeyFrameGetsNoIndex) {
    const std::string video = MadeAsfFiles()[3].path;
    std::vector<asf::AsfSample> raw;
    ReadOurs(video, &raw);
    ASSERT_TRUE(raw.size() > 4 && raw[0].key && !raw[1].key && !raw[3].key);
    OpContext ctx;
    const std::string out = Files().dir + "/keyless.wmv";
    ASSERT_EQ(RunWmvExtract({video, out, raw[1].time, raw[3].time}, ctx).code, 0);
    asf::AsfReader r;
    ASSERT_EQ(r.Open(out), wm::hr::kOk);
    EXPECT_EQ(CountsOf(ReadOurs(out)), (Counts{{1, 3}}));
    EXPECT_TRUE(r.Index().simple.empty());
    EXPECT_EQ(r.Header().props.flags & 2, 0u);
}

// ---- Header figures ------------------------------------------------------------

// The figures an output's header gives, against its data: the play duration
// ends one frame after the latest sample (not later for a gap before it);
// the source's preroll is kept, 0 included; every stream has a bit rate
// near its bytes over its span, as ffprobe reads it too.
TEST(WmvForeignFilesTest, HeaderFiguresAgreeWithTheData) {
    struct Case {
        std::string what, source;
        int64_t frameMs;  // the latest stream's frame
        uint64_t prerollMs;
    };
    const Case cases[] = {
        // 10 fps with frames 12 to 18 missing: the last one follows a 0.8 s gap.
        {"gap before the last frame",
         MakeMedia(
             "asf_gap",
             "-f lavfi -i testsrc=size=64x48:rate=10 -t 2 -vf select=not(between(n\\,12\\,18)) "
             "-fps_mode passthrough -c:v wmv2",
             "wmv"),
         100, 3100},
        // Its video, stamped at 1000 h, is placed on its first time: the
        // sound (frames of 1024 at 22,050 Hz) ends last.
        {"asfmux, preroll 0", Files().gst, 46, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpContext ctx;
        const std::string out = Files().dir + "/figures.wmv";
        ASSERT_EQ(RunWmvLink({{c.source}, out}, ctx).code, 0);
        std::vector<asf::AsfSample> raw;
        ReadOurs(out, &raw);
        asf::AsfReader r;
        ASSERT_EQ(r.Open(out), wm::hr::kOk);
        EXPECT_EQ(r.Header().props.prerollMs, c.prerollMs);
        std::map<uint16_t, uint64_t> bytes, first, last;
        for (const asf::AsfSample& x : raw) {
            bytes[x.stream] += x.data.size();
            first.try_emplace(x.stream, x.time);
            last[x.stream] = std::max(last[x.stream], x.time);
        }
        const uint64_t latest = std::max_element(last.begin(), last.end(), [](auto& a, auto& b) {
                                    return a.second < b.second;
                                })->second;
        EXPECT_NEAR(static_cast<double>(r.Duration()), static_cast<double>(latest + c.frameMs * 10000),
                    10000.0);
        const CommandResult p = RunCommand({"ffprobe", "-v", "error", "-show_entries",
                                            "stream=bit_rate", "-of", "csv=p=0", out});
        std::istringstream rates(p.out);
        for (const asf::StreamInfo& s : r.Header().streams) {
            std::string probed;
            std::getline(rates, probed);
            const double span = static_cast<double>(last[s.number] - first[s.number]) / 1e7 + 0.1;
            const double measured = static_cast<double>(bytes[s.number]) * 8 / span;
            EXPECT_GT(s.bitrate, 0.5 * measured) << "stream " << s.number;
            EXPECT_LT(s.bitrate, 2 * measured) << "stream " << s.number;
            EXPECT_EQ(probed, std::to_string(s.bitrate)) << "ffprobe, stream " << s.number;
        }
    }
}

// ---- Reading -----------------------------------------------------------------

// asfmux writes its last packet's length without the padding: every sample
// of it is read, as GStreamer reads them.
TEST(WmvForeignFilesTest, PaddingBeyondThePacketLengthIsReadAsTheWriterMeantIt) {
    const std::string& src = Files().gst;
    const SampleMap ours = ReadOurs(src);
    EXPECT_EQ(ours.at(1).size(), 20u);
    const SampleMap gst = ReadGstreamer(src, HeaderOf(src));
    ExpectSameSamples(ours, gst, "GStreamer", {1}, false);
}

// ffmpeg writes Extended Stream Properties (before the Stream Properties)
// only for streams with a language: streams are still listed in the order
// stored, so the separate's "last audio stream" is the last one stored.
TEST(WmvForeignFilesTest, StreamsAreListedInTheOrderStored) {
    const std::string src = MakeMedia(
        "asf_second_audio_language",
        "-f lavfi -i testsrc=size=64x48:rate=10 -f lavfi -i sine=sample_rate=22050 -f lavfi -i "
        "sine=sample_rate=16000 -t 1 -map 0:v -map 1:a -map 2:a -c:v wmv2 -c:a wmav1 "
        "-metadata:s:a:1 language=fre",
        "wmv");
    EXPECT_EQ(Numbers(src), (std::vector<uint16_t>{1, 2, 3}));
    OpContext ctx;
    const WmvOpResult r =
        RunWmvSeparate({src, Files().dir + "/second.wma", WmvStreamKind::Audio}, ctx);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(ReadOurs(r.output).at(1).size(), ReadOurs(src).at(3).size());
}

// ---- Languages ---------------------------------------------------------------

// A file with an English and a French audio stream, one excluding the other
// (ffmpeg writes a Language List and a Group Mutual Exclusion by language):
// a copy keeps the list the streams name and the exclusion; a stream taken
// alone keeps its language, and no exclusion.
TEST(WmvForeignFilesTest, LanguagesAndExclusionsGoWithTheirStreams) {
    const std::string src = MakeMedia(
        "asf_two_languages",
        "-f lavfi -i testsrc=size=64x48:rate=10 -f lavfi -i sine=sample_rate=22050 -f lavfi -i "
        "sine=sample_rate=16000 -t 1 -map 0:v -map 1:a -map 2:a -c:v wmv2 -c:a wmav1 "
        "-metadata:s:a:0 language=eng -metadata:s:a:1 language=fre",
        "wmv");
    const asf::AsfHeader in = HeaderOf(src);
    ASSERT_EQ(in.exclusions.size(), 1u);
    auto languageOf = [](const asf::AsfHeader& h, uint16_t n) {
        const asf::StreamInfo* s = h.Stream(n);
        return s != nullptr && s->ext.languageIndex < h.languages.size() ? h.languages[s->ext.languageIndex]
                                                                       : std::string();
    };
    ASSERT_NE(languageOf(in, 3), "");
    // The audio streams' languages as ffprobe reads them.
    auto probedLanguages = [](const std::string& path) {
        return RunCommand({"ffprobe", "-v", "error", "-select_streams", "a", "-show_entries",
                           "stream_tags=language", "-of", "csv=p=0", path})
            .out;
    };
    OpContext ctx;
    const std::string copy = Files().dir + "/languages_link.wmv";
    ASSERT_EQ(RunWmvLink({{src}, copy}, ctx).code, 0);
    const asf::AsfHeader out = HeaderOf(copy);
    for (uint16_t n : {2, 3}) {
        EXPECT_EQ(languageOf(out, n), languageOf(in, n)) << "stream " << n;
    }
    ASSERT_EQ(out.exclusions.size(), 1u);
    EXPECT_EQ(out.exclusions[0].groups, in.exclusions[0].groups);
    EXPECT_EQ(out.exclusions[0].type, in.exclusions[0].type);
    EXPECT_EQ(probedLanguages(src), "eng\nfre\n");
    EXPECT_EQ(probedLanguages(copy), probedLanguages(src));

    const WmvOpResult alone = RunWmvSeparate({src, Files().dir + "/french.wma", WmvStreamKind::Audio}, ctx);
    ASSERT_EQ(alone.code, 0);
    const asf::AsfHeader one = HeaderOf(alone.output);
    EXPECT_EQ(languageOf(one, 1), languageOf(in, 3));
    EXPECT_TRUE(one.exclusions.empty());
}

}  // namespace
