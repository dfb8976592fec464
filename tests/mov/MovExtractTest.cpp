// Movie extract: ranges of movies of several codecs and writers, judged by
// their stored bytes (a run of the source's), by what ffmpeg decodes and
// presents (the source's frames and sound of the range) and by GStreamer's
// demuxer; failures in one table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>

#include "Atoms.h"
#include "Fixtures.h"
#include "MovFixtures.h"
#include "MovOperations.h"
#include "MovProbe.h"
#include "MovResult.h"
#include "MovieReader.h"
#include "Probe.h"
#include "Process.h"

namespace trelvan {
namespace {

using mov::test::Recipe;
using test::RunCommand;

// 1.76 s of HEVC with B-frames (a key frame at 0 only) and AAC.
constexpr Recipe kHevc = mov::test::kHevcAac;
// Apple Lossless, a sound codec of packets with its own configuration.
constexpr Recipe kAlac = {
    "mov-mjpeg-alac",
    "-f lavfi -i testsrc=size=128x96:rate=25:duration=1 -f lavfi -i "
    "sine=frequency=440:sample_rate=44100:duration=1 -c:v mjpeg -c:a alac -shortest",
    "mov"};

// MP3 (whose frames take data from earlier frames) and Opus (whose decoder
// converges over 80 ms) in cuts.
constexpr Recipe kMp3 = {
    "mov-h264-mp3",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
    "sine=frequency=440:sample_rate=44100:duration=1 -c:v libx264 -bf 2 -g 12 -pix_fmt yuv420p "
    "-c:a libmp3lame -b:a 96k -shortest",
    "mov"};
constexpr Recipe kOpus = {
    "mp4-h264-opus",
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
    "sine=frequency=440:sample_rate=48000:duration=1 -c:v libx264 -bf 2 -g 12 -pix_fmt yuv420p "
    "-c:a libopus -b:a 64k -shortest",
    "mp4"};

struct FileCase {
    const Recipe* recipe;
    double key;  // a key frame after the first one (seconds)
    // ffmpeg presents the source from movie time 0 (a fragmented movie
    // without edits shows its B-frame delay and sound priming instead).
    bool sameTimeline = true;
    // How far the decoded sound may stray from the source's (Opus converges
    // over its pre-roll rather than matching at once: about 5 % of full
    // scale in the first 35 ms here, against 100 % without it).
    int soundTolerance = 2;
};

// Ranges of a file: [start, end) seconds; end < 0 runs to the movie's end.
struct Range {
    const char* name;
    double start;
    double end;
};

std::vector<Range> RangesOf(const FileCase& c, double duration) {
    return {{"start between key frames", 0.2, 0.64},
            {"start on a key frame, end mid-group", c.key, c.key + 0.36},
            {"whole movie", 0, -1},
            {"range at the end", std::round((duration - 0.2) * 25) / 25, -1}};
}

mov::Movie ReadMovie(const std::string& path) {
    mov::Movie m;
    EXPECT_EQ(mov::ReadMovieFile(path, m, DiskFileOpener()), mov::kNoErr) << path;
    return m;
}

// Seconds of sound the output stores before its first presented sample.
double SoundPreroll(const std::string& path) {
    for (const mov::Track& t : ReadMovie(path).tracks) {
        if (t.handler == mov::atom::kSoun && !t.edits.empty()) {
            return static_cast<double>(t.edits.front().mediaTime) / t.timescale;
        }
    }
    return 0;
}

uint64_t Units(double seconds) { return static_cast<uint64_t>(std::llround(seconds * 1e7)); }

// [start, end) seconds of the movie of `recipe` extracted into a scratch
// file; the job run (its output empty when the run failed).
MovExtractJob ExtractOf(const Recipe& recipe, double start, double end) {
    MovExtractJob job;
    job.source = mov::test::Make(recipe);
    job.output = test::ScratchDir() + "/" + recipe.name + "-extract." + recipe.ext;
    job.start = Units(start);
    job.end = Units(end);
    OpContext ctx;
    const MovOpResult r = RunMovExtract(job, ctx);
    EXPECT_EQ(r.code, 0);
    if (r.code != 0) {
        job.output.clear();
    }
    return job;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
    }
    return lines;
}

// The checksums of the frames ffmpeg presents (edits honoured), of the
// whole file or of [start, end) seconds of it.
std::vector<std::string> PresentedFrames(const std::string& path, double start = 0,
                                         double end = -1) {
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error"};
    if (start > 0) {
        argv.insert(argv.end(), {"-ss", std::to_string(start)});
    }
    if (end >= 0) {
        argv.insert(argv.end(), {"-to", std::to_string(end)});
    }
    argv.insert(argv.end(), {"-i", path, "-map", "0:v:0", "-f", "framemd5", "-"});
    const auto r = RunCommand(argv);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> sums;
    for (const std::string& line : Lines(r.out)) {
        sums.push_back(line.substr(line.rfind(',') + 1));
    }
    return sums;
}

// The sound ffmpeg presents (edits honoured), mono 16-bit at its own rate.
std::vector<int16_t> PresentedSound(const std::string& path) {
    const auto r = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a:0",
                               "-ac", "1", "-f", "s16le", "-"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<int16_t> pcm(r.out.size() / 2);
    std::memcpy(pcm.data(), r.out.data(), pcm.size() * 2);
    return pcm;
}

// A stream's stored samples (edits ignored) and its index, from ffmpeg.
struct Stored {
    int index = -1;
    std::vector<mov::test::Frame> frames;
    std::vector<uint8_t> bytes;
};

// `index`: the stream's index when known (-1: none), else looked up.
Stored StoredOf(const std::string& path, char kind, std::optional<int> index = std::nullopt) {
    Stored s;
    if (index ? *index < 0 : test::ProbeStreamCount(path, kind) == 0) {
        return s;
    }
    s.index = index ? *index
                    : std::stoi(test::ProbeStream(path, std::string(1, kind) + ":0",
                                                  {"index"})["index"]);
    if (kind == 'v') {
        s.frames = mov::test::FfmpegFrames(path, s.index);
    } else {
        s.bytes = mov::test::FfmpegBytes(path, s.index);
    }
    return s;
}

// The output's stored samples are one run of the source's: video sample by
// sample (sizes, bytes, sync flags) from a sync sample, sound as bytes (runs
// of frames may be chunked otherwise).
void ExpectStoredRun(const Stored& from, const Stored& got) {
    if (!from.frames.empty()) {
        ASSERT_FALSE(got.frames.empty());
        const auto same = [](const mov::test::Frame& a, const mov::test::Frame& b) {
            return a.size == b.size && a.crc == b.crc && a.key == b.key;
        };
        EXPECT_TRUE(got.frames.front().key) << "the first stored frame is no sync sample";
        EXPECT_NE(std::search(from.frames.begin(), from.frames.end(), got.frames.begin(),
                              got.frames.end(), same),
                  from.frames.end())
            << "the video is no run of the source's samples";
    }
    if (!from.bytes.empty()) {
        ASSERT_FALSE(got.bytes.empty());
        EXPECT_NE(std::search(from.bytes.begin(), from.bytes.end(), got.bytes.begin(),
                              got.bytes.end()),
                  from.bytes.end())
            << "the sound is no run of the source's bytes";
    }
}

class MovExtractRanges : public ::testing::TestWithParam<FileCase> {};

TEST_P(MovExtractRanges, PlaysTheRangeOfTheSource) {
    const FileCase& c = GetParam();
    const std::string src = mov::test::Make(*c.recipe);
    const Stored video = StoredOf(src, 'v'), sound = StoredOf(src, 'a');
    const int rate =
        sound.index >= 0
            ? std::stoi(test::ProbeStream(src, "a:0", {"sample_rate"})["sample_rate"])
            : 0;
    const std::vector<int16_t> sourceSound =
        sound.index >= 0 ? PresentedSound(src) : std::vector<int16_t>{};
    const std::string dir = test::ScratchDir();
    for (const Range& range : RangesOf(c, mov::test::ProbeDuration(src))) {
        SCOPED_TRACE(range.name);
        MovExtractJob job;
        job.source = src;
        job.output = dir + "/extract." + c.recipe->ext;
        job.start = Units(range.start);
        job.end = range.end < 0 ? UINT64_MAX : Units(range.end);
        MovExtractPlan plan;
        ASSERT_EQ(PlanMovExtract(job, &plan), 0);
        OpContext ctx;
        const MovOpResult r = RunMovExtract(job, ctx);
        ASSERT_EQ(r.code, 0);
        EXPECT_TRUE(r.started);
        EXPECT_EQ(r.samples, plan.samples);
        EXPECT_EQ(ctx.stop.load(), 1);
        const std::string& out = job.output;
        // Where the source's own presentation starts later (no edits), the
        // output starts at its first frame.
        const double start = static_cast<double>(plan.firstPresented) / 1e7;
        const double length = static_cast<double>(plan.end - plan.firstPresented) / 1e7;
        ExpectStoredRun(video, StoredOf(out, 'v', video.index));
        ExpectStoredRun(sound, StoredOf(out, 'a', sound.index));
        if (video.index >= 0 && c.sameTimeline) {
            // ffmpeg presents the source's frames of the range, picture by
            // picture.
            EXPECT_EQ(PresentedFrames(out), PresentedFrames(src, range.start, range.end));
        }
        if (sound.index >= 0 && c.sameTimeline) {
            // The first asked sample decodes as in the source (priming and
            // the packet before the start kept), and the sound lasts the
            // range: to the sample where the edit ends, or to the end of
            // its last whole packet where ffmpeg plays packets out.
            const std::vector<int16_t> got = PresentedSound(out);
            const auto from = static_cast<size_t>(std::llround(start * rate));
            const size_t asked = std::min<size_t>(std::llround(length * rate),
                                                  sourceSound.size() - from);
            ASSERT_GE(got.size() + 1, asked);
            EXPECT_LE(got.size(), asked + 4096);
            size_t differ = 0;
            for (size_t i = 0; i < std::min<size_t>(4096, asked); ++i) {
                differ += std::abs(got[i] - sourceSound[from + i]) > c.soundTolerance;
            }
            EXPECT_EQ(differ, 0u) << "the sound does not start with the source's at " << start;
        }
        // GStreamer's demuxer, pull mode, reads every stream, and plays the
        // movie for the range's length (within a sample of its sound), no
        // track longer.
        std::vector<std::string> pads;
        if (video.index >= 0) {
            pads.push_back("video_0");
        }
        if (sound.index >= 0) {
            pads.push_back("audio_0");
        }
        for (const auto& [pad, got] : mov::test::GstFrames(out, pads)) {
            EXPECT_TRUE(got.ok) << pad << ": " << got.errors;
        }
        double longest = 0;
        for (const auto& track : mov::test::GstEditSegments(out)) {
            double played = 0;
            for (const mov::test::EditSegment& s : track) {
                played += s.duration;
            }
            longest = std::max(longest, played);
            EXPECT_LE(played, length + 1e-6);
        }
        EXPECT_NEAR(longest, length, 1.0 / std::max(rate, 1000) + 1e-6);
        if (!c.sameTimeline) {
            continue;
        }
        // GStreamer presents the range's frames as it reads local files
        // (pull mode), and its sound: the range, but for the end, as far as
        // the stored pre-roll reaches (the demuxer ends a track where the
        // stored time reaches the movie's duration).
        const mov::test::Presented p = mov::test::GstPresented(out);
        EXPECT_TRUE(p.ok);
        if (video.index >= 0) {
            EXPECT_EQ(p.frames.size(), PresentedFrames(out).size());
        }
        if (sound.index >= 0) {
            EXPECT_LE(p.sound, length + 0.002);
            EXPECT_GE(p.sound, length - SoundPreroll(out) - 0.002);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Movies, MovExtractRanges,
    ::testing::Values(FileCase{&mov::test::kH264Aac, 0.48}, FileCase{&kHevc, 0.48},
                      FileCase{&mov::test::kMpeg4Pcm, 0.4}, FileCase{&mov::test::kMjpegRaw, 0.5},
                      FileCase{&kAlac, 0.48}, FileCase{&mov::test::kFragmented, 0.48, false},
                      FileCase{&mov::test::kQtmuxH264Aac, 0.48}, FileCase{&kMp3, 0.48},
                      FileCase{&kOpus, 0.48, true, 256}),
    [](const auto& info) {
        std::string name = info.param.recipe->name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

// A range that starts over a second after its key frame, played by a
// decoding pipeline of one queue per stream, as a player builds it: the
// lead-in video lasts a few units and the sound is stored from its pre-roll,
// so the tracks' stored times run side by side and the demuxer, which
// interleaves by stored time, never lets one queue run full while the other
// waits (the pipeline stalled when the sound was stored from the start).
// Read as a stream (qtdemux in push mode, which reads the file in order and
// ends a track at its first sample shown past the movie's end), every frame
// of the range is presented, and the sound to where its stored pre-roll
// reaches: the tracks' last chunks, shown past the end, come last in the
// file (a track ended earlier made the demuxer lose its place in the data
// of the others).
TEST(MovExtract, PlaysThroughAPipelineOfTwoQueuesAndAsAStream) {
    constexpr Recipe kLongGroup = {
        "mov-h264-g60-aac",
        "-f lavfi -i testsrc=size=160x120:rate=30:duration=3 -f lavfi -i "
        "sine=frequency=440:sample_rate=48000:duration=3 -c:v libx264 -bf 3 -g 60 "
        "-pix_fmt yuv420p -c:a aac -b:a 64k",
        "mp4"};
    const MovExtractJob job = ExtractOf(kLongGroup, 1.3, 2.7);
    ASSERT_FALSE(job.output.empty());
    const test::CommandResult played = RunCommand(
        {"gst-launch-1.0", "-q", "filesrc", "location=" + job.output, "!", "qtdemux", "name=d",
         "d.video_0", "!", "queue", "!", "decodebin", "!", "videoconvert", "!", "fakesink",
         "d.audio_0", "!", "queue", "!", "decodebin", "!", "audioconvert", "!", "fakesink"},
        30);
    EXPECT_EQ(played.exit_code, 0) << played.err;
    const mov::test::Presented p = mov::test::GstPresented(job.output, true);
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.frames.size(), PresentedFrames(job.source, 1.3, 2.7).size());
    EXPECT_GE(p.sound, 1.4 - SoundPreroll(job.output) - 0.002);
}

// The plan names the sync sample the video is stored from and the frame it
// is presented from; --keyframe-start presents from that sync sample; the
// preview decodes the range's first and last frames.
TEST(MovExtract, PlansAndPreviewsTheRange) {
    const std::string src = mov::test::Make(mov::test::kH264Aac);
    MovExtractJob job;
    job.source = src;
    job.start = Units(0.2);
    job.end = Units(0.64);
    MovExtractPlan plan;
    ASSERT_EQ(PlanMovExtract(job, &plan), 0);
    EXPECT_TRUE(plan.hasVideo);
    EXPECT_EQ(plan.firstStored, 0u);
    EXPECT_EQ(plan.firstPresented, Units(0.2));
    EXPECT_EQ(plan.end, Units(0.64));
    EXPECT_EQ(plan.duration, Units(0.44));
    EXPECT_NE(FormatMovExtractPlan(plan, false).find("first presented frame 0:00:00.200"),
              std::string::npos);
    EXPECT_NE(FormatMovExtractPlan(plan, true).find("最初に表示するフレーム 0:00:00.200"),
              std::string::npos);

    job.keyframeStart = true;
    job.output = test::ScratchDir() + "/keyframe.mov";
    OpContext ctx;
    ASSERT_EQ(RunMovExtract(job, ctx).code, 0);
    EXPECT_EQ(PresentedFrames(job.output), PresentedFrames(src, 0, 0.64));

    MovRangePictures pictures;
    ASSERT_EQ(DecodeMovRangePictures(src, Units(0.2), Units(0.64), &pictures), 0);
    EXPECT_EQ(pictures.firstTime, static_cast<int64_t>(Units(0.2)));
    EXPECT_EQ(pictures.lastTime, static_cast<int64_t>(Units(0.6)));
    const size_t packed = 40 + 160 * 3 * 120;
    EXPECT_EQ(pictures.first.size(), packed);
    EXPECT_EQ(pictures.last.size(), packed);
    EXPECT_NE(pictures.first, pictures.last);
    // The pictures are those of their times (with B-frames, not those
    // decoded then): nearer to ffmpeg's picture of that time than to the
    // frames beside it.
    const auto nearest = [](const std::string& movie, const std::vector<uint8_t>& picture,
                            double at) {
        double best = 0, least = 1e18;
        for (const double t : {at - 0.04, at, at + 0.04}) {
            const auto r = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-ss",
                                       std::to_string(t), "-i", movie, "-frames:v", "1", "-vf",
                                       "vflip", "-pix_fmt", "bgr24", "-f", "rawvideo", "-"});
            double differ = 0;
            for (size_t i = 0; i < r.out.size() && 40 + i < picture.size(); ++i) {
                differ += std::abs(static_cast<uint8_t>(r.out[i]) - picture[40 + i]);
            }
            if (differ < least) {
                least = differ;
                best = t;
            }
        }
        return best;
    };
    for (const auto& [from, to] : {std::pair{0.2, 0.6}, std::pair{0.28, 0.76}}) {
        SCOPED_TRACE(from);
        MovRangePictures p;
        ASSERT_EQ(DecodeMovRangePictures(src, Units(from), Units(to), &p), 0);
        EXPECT_DOUBLE_EQ(nearest(src, p.first, from), from);
        EXPECT_DOUBLE_EQ(nearest(src, p.last, to - 0.04), to - 0.04);
    }

    // The command line: the plan without writing, and --verify's check of
    // a frame-exact extract against its source.
    const std::string cli = test::BuiltProgram("trelvan-cli");
    const std::string out = test::ScratchDir() + "/cli.mov";
    const auto dry = RunCommand({cli, "mov-extract", src, "--start", "0.2", "--end", "0.64", "-o",
                                 out, "--dry-run", "--lang", "en"});
    EXPECT_EQ(dry.exit_code, 0) << dry.err;
    EXPECT_NE(dry.out.find("first stored sample (sync) 0:00:00.000\nfirst presented frame "
                           "0:00:00.200\n"),
              std::string::npos)
        << dry.out;
    EXPECT_FALSE(std::filesystem::exists(out));
    const auto verified = RunCommand(
        {cli, "mov-extract", src, "--start", "0.2", "--end", "0.64", "-o", out, "--verify"});
    EXPECT_EQ(verified.exit_code, 0) << verified.err;
    EXPECT_NE(verified.err.find(": ok ("), std::string::npos) << verified.err;

    uint64_t length = 0;
    EXPECT_EQ(MovSourceDuration(src, &length), 0);
    EXPECT_EQ(length, Units(1));
    EXPECT_EQ(MovExtractDefaultOutput("/m/clip.m4a"), "/m/clip_extr.m4a");
    EXPECT_EQ(MovExtractDefaultOutput("/m/clip.mp4"), "/m/clip_extr.mp4");
}

// A movie time scale coarser than the frames (15 units a second, 30 frames):
// the first frame is the one at or after the start (rounding the start to
// the movie's units began a frame late).
TEST(MovExtract, CoarseMovieTimeScaleStartsAtTheFrame) {
    constexpr Recipe kCoarse = {"mov-h264-movie15",
                                "-f lavfi -i testsrc=size=160x120:rate=30:duration=1 -c:v libx264 "
                                "-g 12 -bf 0 -pix_fmt yuv420p -movie_timescale 15",
                                "mov"};
    const MovExtractJob job = ExtractOf(kCoarse, 0.1, 0.5);
    ASSERT_FALSE(job.output.empty());
    EXPECT_EQ(PresentedFrames(job.output), PresentedFrames(job.source, 0.1, 0.5));
}

// Failures: the code, no output, the source untouched.
TEST(MovExtract, RefusesWhatItCannotDo) {
    const std::string dir = test::ScratchDir();
    const std::string src = test::CopyFile(mov::test::Make(mov::test::kMpeg4Pcm), dir);
    const std::string junk = dir + "/junk.mov";
    test::WriteBytes(junk, std::vector<uint8_t>(4096, 0x5A));
    const auto before = test::ReadBytes(src);
    struct Failure {
        const char* name;
        std::string source, output;
        double start, end;
        bool stop;
        int32_t code;
    };
    const std::string out = dir + "/failed.mov";
    const Failure failures[] = {
        {"range outside the movie", src, out, 5, 6, false, mov::kInvalidDuration},
        {"start at the end", src, out, 0.6, 0.6, false, mov::kInvalidDuration},
        {"output is the source", src, src, 0, 0.5, false, mov::kCantCreateSingleForkFile},
        {"unreadable source", junk, out, 0, 0.5, false, 0},
        {"stopped", src, out, 0, 0.5, true, mov::kProgressProcAborted},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.name);
        MovExtractJob job{f.source, f.output, Units(f.start), Units(f.end)};
        OpContext ctx;
        ctx.pump = [&ctx, &f] {
            if (f.stop) {
                ctx.stop = 1;
            }
        };
        const MovOpResult r = RunMovExtract(job, ctx);
        if (f.code != 0) {
            EXPECT_EQ(r.code, f.code);
        } else {
            EXPECT_NE(r.code, 0);
        }
        EXPECT_EQ(r.stopped, f.stop);
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_EQ(test::ReadBytes(src), before);
    }
    // The command line says so in one line naming the file.
    const auto r = RunCommand({test::BuiltProgram("trelvan-cli"), "mov-extract", src, "--start",
                               "5", "-o", out, "--lang", "en"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "trelvan-cli: " + src +
                         ": the range lies outside the movie (error -2014 invalidDuration)\n");
}

// The movies of other writers in the shared samples (a video track of one
// frame beside long sound, edits that point past their media, damaged
// files): every output the three commands write passes their own --verify,
// and every refusal is the movie's, not the check's.
TEST(MovOperationsOnSamples, EveryOutputWrittenVerifies) {
    const std::string dir = test::ScratchDir();
    int written = 0;
    for (const std::string& sample : test::SamplesIn("mov")) {
        mov::Movie m;
        if (mov::ReadMovieFile(sample, m, DiskFileOpener()) != mov::kNoErr || m.timescale == 0) {
            continue;
        }
        const double seconds = static_cast<double>(m.Duration()) / m.timescale;
        const auto at = [seconds](double part) {
            char text[32];
            std::snprintf(text, sizeof text, "%.3f", seconds * part);
            return std::string(text);
        };
        const std::vector<std::vector<std::string>> commands = {
            {"mov-extract", sample, "--start", at(0.3), "--end", at(0.8)},
            {"mov-separate", "--video", sample},
            {"mov-separate", "--audio", sample}};
        for (std::vector<std::string> argv : commands) {
            SCOPED_TRACE(sample + " " + argv[0] + " " + argv[1]);
            const std::string out = dir + "/out.mov";
            std::filesystem::remove(out);
            argv.insert(argv.begin(), test::BuiltProgram("trelvan-cli"));
            argv.insert(argv.end(), {"-o", out, "--verify", "--quiet"});
            const test::CommandResult r = RunCommand(argv, 60);
            EXPECT_EQ(r.err.find("verify:"), std::string::npos) << r.err;
            if (r.exit_code == 0) {
                ++written;
            } else {
                EXPECT_EQ(r.exit_code, 1) << r.err;
                EXPECT_FALSE(std::filesystem::exists(out));
            }
        }
    }
    EXPECT_GT(written, 20);
}

}  // namespace
}  // namespace trelvan
