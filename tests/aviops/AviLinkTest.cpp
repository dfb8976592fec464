// AVI link: outputs compared with their sources through ffprobe/ffmpeg
// (every video packet's bytes and key flag in order, the audio bytes, the
// counts and the stream headers), and the failures and stops that matter.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "AviLink.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "IoFile.h"
#include "Probe.h"

namespace trelvan {
namespace {

using test::ProbedPacket;

std::vector<uint8_t> Concat(const std::vector<ProbedPacket>& packets) {
    std::vector<uint8_t> out;
    for (const auto& p : packets) {
        out.insert(out.end(), p.data.begin(), p.data.end());
    }
    return out;
}

// The output's audio bytes against the sources' in order: each source's
// audio from its first byte, every source but the last possibly cut short
// where its video ends, and between them nothing but what fills a source's
// audio out to its video's length (silence; where it lies is measured by
// AviLinkSyncTest). The last source keeps all of its audio.
void ExpectAudioInOrder(const std::vector<uint8_t>& got,
                        const std::vector<std::vector<uint8_t>>& parts) {
    if (parts.empty()) {
        EXPECT_TRUE(got.empty());
        return;
    }
    // The last part's whole audio ends the stream.
    const std::vector<uint8_t>& last = parts.back();
    ASSERT_GE(got.size(), last.size());
    const size_t end = got.size() - last.size();
    EXPECT_TRUE(std::equal(last.begin(), last.end(), got.begin() + static_cast<std::ptrdiff_t>(end)))
        << "the last part keeps all of its audio, at the end";
    size_t at = 0;
    for (size_t k = 0; k + 1 < parts.size(); ++k) {
        const std::vector<uint8_t>& a = parts[k];
        if (k > 0 && !a.empty()) {
            const auto probe = a.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(a.size(), 64));
            const auto found = std::search(got.begin() + static_cast<std::ptrdiff_t>(at),
                                           got.begin() + static_cast<std::ptrdiff_t>(end), a.begin(), probe);
            if (found == got.begin() + static_cast<std::ptrdiff_t>(end)) {
                continue;  // cut to nothing: its video is shorter than one block
            }
            at = static_cast<size_t>(found - got.begin());
        }
        size_t same = 0;
        while (same < a.size() && at + same < end && got[at + same] == a[same]) {
            ++same;
        }
        at += same;
    }
}

// What a source contributes: its video packets (up to `frames` of them, all
// when negative) and its audio bytes (none when `audio` is false).
struct Part {
    std::string path;
    int frames = -1;
    bool audio = true;
};

// Checks the output against the parts in order: every video packet's bytes
// and key flag, the video count in the stream header, the audio bytes (or no
// audio stream), and the stream headers against the first source's.
void ExpectLinked(const std::string& out, const std::vector<Part>& parts, bool audioStream,
                  const std::string& what) {
    SCOPED_TRACE(what);
    std::vector<ProbedPacket> want;
    std::vector<std::vector<uint8_t>> wantAudio;
    // Each source is probed once, however often it stands in the list.
    std::map<std::string, std::vector<ProbedPacket>> probed;
    auto packets = [&probed](const std::string& path, const std::string& stream) {
        const std::string key = stream + " " + path;
        if (probed.count(key) == 0) {
            probed[key] = test::ProbePackets(path, stream);
        }
        return probed[key];
    };
    for (const Part& p : parts) {
        std::vector<ProbedPacket> v = packets(p.path, "v:0");
        if (p.frames >= 0 && static_cast<size_t>(p.frames) < v.size()) {
            v.resize(static_cast<size_t>(p.frames));
        }
        want.insert(want.end(), v.begin(), v.end());
        if (audioStream && p.audio) {
            wantAudio.push_back(Concat(packets(p.path, "a:0")));
        }
    }
    const std::vector<ProbedPacket> got = test::ProbePackets(out, "v:0");
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].key, want[i].key) << "video packet " << i;
        ASSERT_TRUE(got[i].data == want[i].data) << "video packet " << i;
    }
    const std::vector<std::string> videoFields = {"codec_name", "codec_tag_string", "width",
                                                  "height", "r_frame_rate"};
    const auto head = test::ProbeStream(parts.front().path, "v:0", videoFields);
    const auto mine = test::ProbeStream(out, "v:0", videoFields);
    EXPECT_EQ(mine, head);
    // The header's count includes empty chunks (dropped frames), which
    // ffmpeg does not hand out as packets: it is the sum of the sources'.
    int64_t headerFrames = 0;
    std::map<std::string, int64_t> counted;
    for (const Part& p : parts) {
        if (counted.count(p.path) == 0) {
            counted[p.path] =
                std::stoll(test::ProbeStream(p.path, "v:0", {"nb_frames"}).at("nb_frames"));
        }
        const int64_t all = counted[p.path];
        headerFrames += p.frames >= 0 ? std::min<int64_t>(p.frames, all) : all;
    }
    EXPECT_EQ(test::ProbeStream(out, "v:0", {"nb_frames"}).at("nb_frames"),
              std::to_string(headerFrames));
    ASSERT_EQ(test::ProbeStreamCount(out, 'a'), audioStream ? 1 : 0);
    if (audioStream) {
        ExpectAudioInOrder(Concat(test::ProbePackets(out, "a:0")), wantAudio);
        const std::vector<std::string> audioFields = {"codec_name", "codec_tag_string",
                                                      "sample_rate", "channels", "bits_per_sample"};
        EXPECT_EQ(test::ProbeStream(out, "a:0", audioFields),
                  test::ProbeStream(parts.front().path, "a:0", audioFields));
    }
}

// Three sources of one kind, each different in picture, tone and length
// (1 s, 2 s, 1.5 s at 10 frames a second).
struct Kind {
    const char* name;
    const char* codecs;  // ffmpeg's codec arguments
};

std::string MakeSource(const std::string& name, const std::string& codecs, int index) {
    static const char* const kPictures[] = {"testsrc", "testsrc2", "smptebars"};
    static const char* const kSeconds[] = {"1", "2", "1.5"};
    static const char* const kTones[] = {"300", "500", "700"};
    const std::string d = kSeconds[index % 3];
    return test::MakeMedia(name + "-" + std::to_string(index),
                           std::string("-f lavfi -i ") + kPictures[index % 3] + "=d=" + d +
                               ":s=64x48:r=10 -f lavfi -i sine=f=" + kTones[index % 3] + ":d=" + d +
                               ":r=44100 " + codecs + " -f avi",
                           "avi");
}

class AviLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = test::ScratchDir();
        ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    }
    AviLinkResult Run(const std::vector<std::string>& sources, const std::string& out) {
        AviLinkJob job;
        job.sources = sources;
        job.output = out;
        job.limits = limits;
        began = 0;
        return RunAviLink(job, ctx, [this] { ++began; });
    }
    std::string dir;
    OpContext ctx;
    AviWriterLimits limits;
    int began = 0;
};

TEST_F(AviLinkTest, EveryKindOfSourceIsJoinedSampleForSample) {
    const Kind kinds[] = {
        {"link-mpeg4-bframes-pcm16", "-c:v mpeg4 -bf 2 -g 12 -c:a pcm_s16le"},
        {"link-h264-mp3cbr",
         "-c:v libx264 -preset veryfast -bf 2 -g 10 -pix_fmt yuv420p -c:a libmp3lame -b:a 128k"},
        {"link-mjpeg-mp3vbr", "-c:v mjpeg -c:a libmp3lame -q:a 4"},
        {"link-raw-ac3", "-c:v rawvideo -pix_fmt bgr24 -c:a ac3"},
        // Frames of 57,600 bytes: copied from file to file inside the kernel.
        {"link-raw-large-frames", "-c:v rawvideo -pix_fmt bgr24 -s 160x120 -c:a pcm_s16le"},
        {"link-mpeg4-imaadpcm", "-c:v mpeg4 -c:a adpcm_ima_wav"},
        {"link-mjpeg-msadpcm-pcm8", "-c:v mjpeg -c:a adpcm_ms"},
        {"link-mjpeg-pcm8", "-c:v mjpeg -c:a pcm_u8 -ac 2"},
    };
    for (const Kind& k : kinds) {
        std::vector<std::string> sources;
        std::vector<Part> parts;
        for (int i = 0; i < 3; ++i) {
            sources.push_back(MakeSource(k.name, k.codecs, i));
            parts.push_back({sources.back()});
        }
        const std::string out = dir + "/" + k.name + "_link.avi";
        const AviLinkResult r = Run(sources, out);
        ASSERT_EQ(r.code, 0) << k.name;
        EXPECT_TRUE(r.started);
        EXPECT_EQ(began, 1);
        EXPECT_EQ(ctx.stop.load(), 0) << k.name;  // neither stopped nor failed
        EXPECT_EQ(ctx.item.load(), 2);
        EXPECT_EQ(ctx.items.load(), 3);
        ExpectLinked(out, parts, true, k.name);
        EXPECT_TRUE(test::DecodesCleanly(out)) << k.name;
    }
}

// The Part's two-source case: 100 frames and 50 frames, both with audio.
TEST_F(AviLinkTest, HundredAndFiftyFrames) {
    const std::string a = test::MakeMedia(
        "link-a100",
        "-f lavfi -i testsrc=d=4:s=64x48:r=25 -f lavfi -i sine=f=300:d=4:r=22050 -c:v mpeg4 "
        "-g 20 -c:a pcm_s16le -f avi",
        "avi");
    const std::string b = test::MakeMedia(
        "link-b50",
        "-f lavfi -i testsrc2=d=2:s=64x48:r=25 -f lavfi -i sine=f=600:d=2:r=22050 -c:v mpeg4 "
        "-g 20 -c:a pcm_s16le -f avi",
        "avi");
    const std::string out = dir + "/ab.avi";
    ASSERT_EQ(Run({a, b}, out).code, 0);
    EXPECT_EQ(test::ProbeStream(out, "v:0", {"nb_frames"}).at("nb_frames"), "150");
    ExpectLinked(out, {{a}, {b}}, true, "a + b");
    // PCM: 4 s + 2 s of 22,050 Hz 16-bit mono, as long as the video.
    EXPECT_EQ(Concat(test::ProbePackets(out, "a:0")).size(), 6u * 22050 * 2);
}

// Which sources have audio decides what the output holds: the first source's
// audio stream is the output's; without one no later audio goes in.
TEST_F(AviLinkTest, SourcesWithAndWithoutAudio) {
    const std::string with0 = MakeSource("link-mix", "-c:v mjpeg -c:a pcm_s16le", 0);
    const std::string with1 = MakeSource("link-mix", "-c:v mjpeg -c:a pcm_s16le", 1);
    const std::string none0 = MakeSource("link-mix-silent", "-c:v mjpeg -an", 0);
    const std::string none2 = MakeSource("link-mix-silent", "-c:v mjpeg -an", 2);
    struct Case {
        const char* name;
        std::vector<Part> parts;
        bool audioStream;
    };
    const Case cases[] = {
        {"all without audio", {{none0}, {none2}}, false},
        {"first without audio, later with", {{none0}, {with1}, {with0}}, false},
        {"first with audio, middle without", {{with0}, {none2}, {with1}}, true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> sources;
        std::vector<Part> parts = c.parts;
        for (Part& p : parts) {
            sources.push_back(p.path);
            p.audio = p.path == with0 || p.path == with1;
        }
        const std::string out = dir + "/mix.avi";
        const AviLinkResult r = Run(sources, out);
        ASSERT_EQ(r.code, 0) << c.name;
        EXPECT_EQ(ctx.stop.load(), 0) << c.name;
        ExpectLinked(out, parts, c.audioStream, c.name);
    }
}

// An output past the first RIFF goes on in the OpenDML form (the RIFF size
// is lowered so that small sources reach it): every sample still in place.
TEST_F(AviLinkTest, OutputInSeveralRiffs) {
    const std::string codecs = "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le";
    std::vector<std::string> sources;
    std::vector<Part> parts;
    for (int i = 0; i < 3; ++i) {
        sources.push_back(MakeSource("link-riffs", codecs, i));
        parts.push_back({sources.back()});
    }
    limits.riffBytes = 150000;
    const std::string out = dir + "/riffs.avi";
    ASSERT_EQ(Run(sources, out).code, 0);
    const std::vector<uint8_t> b = test::ReadBytes(out);
    int avix = 0;
    for (size_t i = 0; i + 12 <= b.size(); ++i) {
        avix += std::memcmp(&b[i], "RIFF", 4) == 0 && std::memcmp(&b[i + 8], "AVIX", 4) == 0;
    }
    EXPECT_GE(avix, 2);
    ExpectLinked(out, parts, true, "OpenDML");
}

// More sources than the 25 readers the page once had: one reader each.
TEST_F(AviLinkTest, ThirtySources) {
    const std::string a = MakeSource("link-many", "-c:v mjpeg -c:a pcm_s16le", 0);
    const std::string b = MakeSource("link-many", "-c:v mjpeg -c:a pcm_s16le", 1);
    std::vector<std::string> sources;
    std::vector<Part> parts;
    for (int i = 0; i < 30; ++i) {
        sources.push_back(i % 2 == 0 ? a : b);
        parts.push_back({sources.back()});
    }
    const std::string out = dir + "/thirty.avi";
    ASSERT_EQ(Run(sources, out).code, 0);
    EXPECT_EQ(ctx.items.load(), 30);
    EXPECT_EQ(ctx.item.load(), 29);
    ExpectLinked(out, parts, true, "thirty");
}

// The shared third-party samples that can be linked (with themselves).
TEST_F(AviLinkTest, ThirdPartySamples) {
    const std::string h264aac = test::SamplePath("avi/jcodec_test.avi");
    const std::string oneFrame = test::SamplePath("avi/filetype_fixture.avi");
    struct Case {
        const char* name;
        std::vector<std::string> sources;
    };
    const Case cases[] = {
        {"H.264 and AAC, twice", {h264aac, h264aac}},
        {"one MS-MPEG-4 frame with MS ADPCM, three times", {oneFrame, oneFrame, oneFrame}},
    };
    for (const Case& c : cases) {
        const std::string out = dir + "/sample.avi";
        const AviLinkResult r = Run(c.sources, out);
        ASSERT_EQ(r.code, 0) << c.name;
        std::vector<Part> parts;
        for (const std::string& s : c.sources) {
            parts.push_back({s});
        }
        ExpectLinked(out, parts, true, c.name);
    }
    // Header-only camera files (their media stripped): their frames cannot be
    // read, which is a code, and what was written is a file ffprobe reads.
    for (const char* stripped : {"avi/exiftool_Pentax.avi", "avi/exiftool_RIFF.avi"}) {
        const std::string out = dir + "/stripped.avi";
        const AviLinkResult r = Run({test::SamplePath(stripped), h264aac}, out);
        EXPECT_TRUE(r.code == err::kStreamRead || r.code == 0) << stripped << " " << r.code;
        if (r.started) {
            EXPECT_EQ(test::ProbeStreamCount(out, 'v'), 1) << stripped;
        }
    }
}

// The display's arithmetic on its own: within the source being copied, the
// frame reached times 100 over the last frame's number, and the remaining
// time from the pace so far (elapsed x (last - current) / current).
TEST(AviLinkProgressText, CurrentOverLastFrame) {
    struct Case {
        const char* name;
        int64_t first, current, last;
        uint32_t elapsedMs;
        const char* text;
        int bar;
    };
    const Case cases[] = {
        {"frame 4 of 0..9", 0, 4, 9, 8000, " 2/ 3  44 % (00:00:08/00:00:10)", 44},
        {"not begun", 0, 0, 9, 1500, " 2/ 3   0 % (00:00:01/00:00:00)", 0},
        {"a third", 0, 1, 3, 10000, " 2/ 3  33 % (00:00:10/00:00:20)", 33},
        {"half, bar rounds up", 0, 5, 8, 1000, " 2/ 3  62 % (00:00:01/00:00:00)", 63},
        {"at the last frame", 0, 9, 9, 9000, " 2/ 3 100 % (00:00:09/00:00:00)", 100},
        {"past it, copying audio", 0, 10, 9, 9500, " 2/ 3 100 % (00:00:09/00:00:00)", 100},
        {"one frame, before it", 0, 0, 0, 0, " 2/ 3   0 % (00:00:00/00:00:00)", 0},
        {"one frame, after it", 0, 1, 0, 700, " 2/ 3 100 % (00:00:00/00:00:00)", 100},
        {"no frames", 0, 0, -1, 0, " 2/ 3 100 % (00:00:00/00:00:00)", 100},
    };
    for (const Case& c : cases) {
        OpContext ctx;
        uint32_t now = 0;
        ctx.timer = CTimeMmanager([&now] { return now; });
        ctx.timer.ClearTotal();
        ctx.timer.Start();
        now = c.elapsedMs;
        ctx.timer.AddLap();
        ctx.item = 1;
        ctx.items = 3;
        ctx.first = c.first;
        ctx.current = c.current;
        ctx.last = c.last;
        const ProgressDisplay d = FormatProgress(AviLinkProgress(ctx, false));
        EXPECT_EQ(d.text, c.text) << c.name;
        EXPECT_EQ(d.bar, c.bar) << c.name;
    }
}

// The progress display: source number of how many, the percent of the
// source being copied; a source of one frame shows 100 %, not a division by
// zero.
TEST_F(AviLinkTest, ProgressPerSource) {
    const std::string a = MakeSource("link-progress", "-c:v mjpeg -c:a pcm_s16le", 0);
    const std::string oneFrame = test::SamplePath("avi/filetype_fixture.avi");
    std::vector<std::string> seen;
    std::vector<int> bars;
    ctx.pump = [&] {
        const ProgressDisplay d = FormatProgress(AviLinkProgress(ctx, false));
        seen.push_back(d.text);
        bars.push_back(d.bar);
    };
    ASSERT_EQ(Run({a, a, a}, dir + "/p.avi").code, 0);
    // The second source (10 frames) after its fourth frame.
    bool found = false;
    for (const std::string& s : seen) {
        // Frame 4 of the frames 0..9: 4 x 100 / 9.
        found = found || s.rfind(" 2/ 3  44 % (", 0) == 0;
    }
    EXPECT_TRUE(found);
    for (int b : bars) {
        EXPECT_GE(b, 0);
        EXPECT_LE(b, 100);
    }

    seen.clear();
    bars.clear();
    ASSERT_EQ(Run({oneFrame, oneFrame}, dir + "/one.avi").code, 0);
    ASSERT_FALSE(seen.empty());
    // After the single frame of each source (the audio copy pumps too).
    EXPECT_EQ(seen.front().substr(0, 12), " 1/ 2 100 % ");
    EXPECT_EQ(bars.front(), 100);
    for (const std::string& s : seen) {
        EXPECT_EQ(s.find("nan"), std::string::npos) << s;
        EXPECT_EQ(s.find("inf"), std::string::npos) << s;
    }
    // Before any frame of a one-frame source: 0 %, and nothing divided by 0.
    ctx.item = 0;
    ctx.items = 1;
    ctx.first = 0;
    ctx.current = 0;
    ctx.last = 0;
    EXPECT_EQ(FormatProgress(AviLinkProgress(ctx, false)).text.substr(0, 12), " 1/ 1   0 % ");
    ctx.last = -1;  // no frames at all: done
    EXPECT_EQ(FormatProgress(AviLinkProgress(ctx, true)).text.substr(0, 14),
              " 1\xEF\xBC\x8F 1 100 % ");
}

// Stop during the second of three sources: all of the first, part of the
// second's video, none of its audio and nothing of the third; no failure.
TEST_F(AviLinkTest, StopDuringSecondOfThree) {
    const std::string codecs = "-c:v mpeg4 -bf 2 -g 5 -c:a pcm_s16le";
    const std::string s0 = MakeSource("link-stop", codecs, 0);
    const std::string s1 = MakeSource("link-stop", codecs, 1);
    const std::string s2 = MakeSource("link-stop", codecs, 2);
    ctx.pump = [&] {
        if (ctx.item.load() == 1 && ctx.current.load() == 7) {
            ctx.stop = 1;
        }
    };
    const std::string out = dir + "/stopped.avi";
    const AviLinkResult r = Run({s0, s1, s2}, out);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(ctx.stop.load(), 1);
    EXPECT_EQ(ctx.item.load(), 1);
    ExpectLinked(out, {{s0}, {s1, 7, false}}, true, "stopped in the second");
    EXPECT_TRUE(test::DecodesCleanly(out));

    // A stop that comes while the first source's audio is copied: the audio
    // is finished, and nothing of the second source is written.
    int audioBlocks = 0;
    ctx.pump = [&] {
        if (ctx.item.load() == 0 && ctx.current.load() == 10 && ++audioBlocks == 2) {
            ctx.stop = 1;
        }
    };
    ASSERT_EQ(Run({s0, s1, s2}, out).code, 0);
    EXPECT_EQ(ctx.stop.load(), 1);
    ExpectLinked(out, {{s0}}, true, "stopped in the first one's audio");
}

// What cannot be linked is refused with a code before anything is written,
// and no source is ever touched.
TEST_F(AviLinkTest, RefusalsWriteNothing) {
    const std::string s0 = MakeSource("link-refuse", "-c:v mjpeg -c:a pcm_s16le", 0);
    const std::string s1 = MakeSource("link-refuse", "-c:v mjpeg -c:a pcm_s16le", 1);
    const std::string a = test::CopyFile(s0, dir);
    const std::string b = test::CopyFile(s1, dir);
    const std::vector<uint8_t> beforeA = test::ReadBytes(a);
    const std::vector<uint8_t> beforeB = test::ReadBytes(b);
    ASSERT_EQ(::symlink(b.c_str(), (dir + "/link.avi").c_str()), 0);
    ASSERT_EQ(::link(a.c_str(), (dir + "/hard.avi").c_str()), 0);
    ::mkdir((dir + "/sub").c_str(), 0755);
    test::WriteBytes(dir + "/junk.avi", std::vector<uint8_t>(300, 'x'));
    const std::string wav =
        test::MakeMedia("link-tone", "-f lavfi -i sine=f=300:d=1:r=8000 -c:a pcm_s16le", "wav");
    const std::string bName = b.substr(b.rfind('/') + 1);

    struct Case {
        const char* name;
        std::vector<std::string> sources;
        std::string out;
        int32_t code;
    };
    const std::string old = dir + "/old.avi";
    const Case cases[] = {
        {"empty list", {}, old, err::kNoFrame},
        {"missing third entry", {a, b, dir + "/missing.avi"}, old, err::kFileOpen},
        {"not an AVI file", {a, dir + "/junk.avi"}, old, err::kFileOpen},
        {"no video", {a, wav}, old, err::kNoVideo},
        {"output is the first source", {a, b}, a, err::kOutputCannotBeMade},
        {"output is the second source", {a, b}, b, err::kOutputCannotBeMade},
        {"output reaches a source through a link",
         {a, b},
         dir + "/link.avi",
         err::kOutputCannotBeMade},
        {"output is a hard link of a source", {a, b}, dir + "/hard.avi", err::kOutputCannotBeMade},
        {"output spells a source otherwise",
         {a, b},
         dir + "/./sub/../" + bName,
         err::kOutputCannotBeMade},
    };
    for (const Case& c : cases) {
        test::WriteBytes(old, {7, 8, 9});
        const AviLinkResult r = Run(c.sources, c.out);
        EXPECT_EQ(r.code, c.code) << c.name;
        EXPECT_FALSE(r.started) << c.name;
        EXPECT_EQ(began, 0) << c.name;
        EXPECT_EQ(test::ReadBytes(old), (std::vector<uint8_t>{7, 8, 9})) << c.name;
        EXPECT_EQ(test::ReadBytes(a), beforeA) << c.name;
        EXPECT_EQ(test::ReadBytes(b), beforeB) << c.name;
    }
    struct stat st {};
    EXPECT_EQ(::lstat((dir + "/link.avi").c_str(), &st), 0);  // the link stays too

    // An output that cannot be created.
    const AviLinkResult r = Run({a, b}, dir + "/no/such/folder/o.avi");
    EXPECT_EQ(r.code, err::kSaveCreate);
    EXPECT_FALSE(r.started);
}

// A write that fails (a full disk) ends the run with 2006 and no "100 %";
// the output is closed as far as it can be.
TEST_F(AviLinkTest, FullDiskGives2006) {
    const std::string s0 =
        MakeSource("link-full", "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le", 0);
    const std::string s1 =
        MakeSource("link-full", "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le", 1);
    for (uint64_t limit : {60000u, 150000u, 400000u}) {
        ctx.opener = [limit](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
            auto inner = DiskFileOpener()(path, mode);
            if (!inner || mode == OpenMode::Read) {
                return inner;
            }
            return std::make_unique<FaultyFile>(std::move(inner), limit);
        };
        const AviLinkResult r = Run({s0, s1}, dir + "/full.avi");
        EXPECT_EQ(r.code, err::kStreamWrite) << limit;
        EXPECT_TRUE(r.started) << limit;
        EXPECT_EQ(ctx.stop.load(), 1) << limit;
    }
}

// Sources whose reads start failing at some point (a disk that goes away):
// the run ends with a code or, for an audio block, asks whether to go on;
// never a crash or a hang, and the output is closed.
TEST_F(AviLinkTest, ReadFailuresEndWithACode) {
    // Frames of 57,600 bytes: each is read from the file on its own.
    const std::string s0 = test::MakeMedia(
        "link-readfail",
        "-f lavfi -i testsrc=d=1:s=160x120:r=10 -f lavfi -i sine=f=300:d=1:r=8000 -c:v rawvideo "
        "-pix_fmt bgr24 -c:a pcm_s16le -f avi",
        "avi");
    const std::string s1 = s0;
    int asked = 0;
    ctx.ask = [&](const std::string&, const std::string& text) {
        ++asked;
        EXPECT_EQ(text, "The Audio was failed in reading. \nDo you discontinue it?");
        return asked % 2 == 0;  // Cancel (skip a sample) once, then OK (end)
    };
    std::set<int32_t> codes;
    for (uint64_t reads = 0; reads < 30; reads += 2) {
        ctx.opener = [reads](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
            auto inner = DiskFileOpener()(path, mode);
            if (!inner || mode != OpenMode::Read) {
                return inner;
            }
            return std::make_unique<FaultyFile>(std::move(inner), FaultyFile::kNoLimit, reads);
        };
        const AviLinkResult r = Run({s0, s1}, dir + "/readfail.avi");
        codes.insert(r.code);
        EXPECT_TRUE(r.code == 0 || r.code == err::kFileOpen || r.code == err::kStreamRead)
            << reads << ": " << r.code;
        if (r.code != 0 && r.started) {
            EXPECT_EQ(ctx.stop.load(), 1) << reads;
        }
        if (r.started) {
            EXPECT_EQ(test::ProbeStreamCount(dir + "/readfail.avi", 'v'), 1) << reads;
        }
    }
    EXPECT_TRUE(codes.count(err::kFileOpen));
    EXPECT_TRUE(codes.count(err::kStreamRead));
    EXPECT_GT(asked, 0);
}

}  // namespace
}  // namespace trelvan
