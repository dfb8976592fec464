// Movie separate and unite: every stored sample of the tracks taken, as
// ffmpeg reads them; the outputs played by ffmpeg and read by qtdemux; the
// failures (a missing kind, an output that is a source, an unreadable
// source, a stop) and what the command line prints for them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "Atoms.h"
#include "Fixtures.h"
#include "MovFixtures.h"
#include "MovOperations.h"
#include "MovProbe.h"
#include "MovieReader.h"
#include "OutputNames.h"
#include "OutputVerify.h"
#include "Process.h"

namespace trelvan {
namespace {

namespace mt = mov::test;
using mov::atom::kSoun;
using mov::atom::kVide;

bool Exists(const std::string& p) {
    return std::filesystem::exists(p);
}

mov::Movie Read(const std::string& path) {
    mov::Movie m;
    EXPECT_EQ(mov::ReadMovieFile(path, m, DiskFileOpener()), mov::kNoErr) << path;
    return m;
}

// The index of the first track of a handler (ffmpeg's stream index too:
// it makes one stream per track, in file order); -1 for none.
int TrackOf(const mov::Movie& m, uint32_t handler) {
    for (size_t i = 0; i < m.tracks.size(); ++i) {
        if (m.tracks[i].handler == handler) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// What the independent readers make of a file: ffmpeg's packets of every
// stream (raw times, from the first packet's decode time; durations left
// out, as a table without gaps stretches the sample before one), what
// ffmpeg presents, and qtdemux's buffers.
struct Views {
    std::map<int, std::vector<mt::Frame>> stored;
    mt::Presented presented;
    std::map<std::string, mt::GstStream> gst;
};

std::map<int, std::vector<mt::Frame>> StoredFrames(const std::string& path) {
    const auto r = test::RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-ignore_editlist", "1",
                                     "-i", path, "-map", "0", "-c", "copy", "-f", "framecrc", "-"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::map<int, std::vector<mt::Frame>> out;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        long long stream = 0, dts = 0, pts = 0, dur = 0;
        unsigned size = 0, crc = 0;
        if (line.empty() || line[0] == '#' ||
            std::sscanf(line.c_str(), "%lld, %lld, %lld, %lld, %u, 0x%x", &stream, &dts, &pts, &dur,
                        &size, &crc) != 6) {
            continue;
        }
        mt::Frame f;
        f.dts = dts;
        f.pts = pts;
        f.size = size;
        f.crc = crc;
        const size_t flags = line.find("F=0x");
        f.key = flags == std::string::npos || (std::stoul(line.substr(flags + 4), nullptr, 16) & 1);
        out[static_cast<int>(stream)].push_back(f);
    }
    for (auto& [stream, frames] : out) {
        const int64_t first = frames.front().dts;
        for (mt::Frame& f : frames) {
            f.dts -= first;
            f.pts -= first;
        }
    }
    return out;
}

Views ViewsOf(const std::string& path, bool present = true) {
    std::vector<std::string> pads;
    const mov::Movie m = Read(path);
    if (TrackOf(m, kVide) >= 0) {
        pads.push_back("video_0");
    }
    if (TrackOf(m, kSoun) >= 0) {
        pads.push_back("audio_0");
    }
    return {StoredFrames(path), present ? mt::FfmpegPresented(path) : mt::Presented{},
            mt::GstFrames(path, pads)};
}

// Sources are read once per test binary.
const Views& SourceViews(const std::string& path) {
    static std::map<std::string, Views> seen;
    auto it = seen.find(path);
    if (it == seen.end()) {
        it = seen.emplace(path, ViewsOf(path)).first;
    }
    return it->second;
}

// The output's first track of `handler` holds the source's stored samples
// (for sound held as frame runs, whose packets ffmpeg cuts by chunk, the
// same bytes), and qtdemux delivers the same buffers from both.
void ExpectSameTrack(const std::string& src, const std::string& out, const Views& got,
                     uint32_t handler) {
    const Views& want = SourceViews(src);
    const mov::Movie s = Read(src), o = Read(out);
    const int si = TrackOf(s, handler), oi = TrackOf(o, handler);
    ASSERT_GE(si, 0);
    ASSERT_GE(oi, 0) << out;
    if (s.tracks[si].frameRuns) {
        EXPECT_EQ(mt::FfmpegBytes(out, oi), mt::FfmpegBytes(src, si)) << out;
    } else {
        EXPECT_EQ(got.stored.at(oi), want.stored.at(si)) << out;
    }
    const std::string pad = handler == kVide ? "video_0" : "audio_0";
    const mt::GstStream& g = got.gst.at(pad);
    EXPECT_TRUE(g.ok) << out << ": " << g.errors;
    if (!s.tracks[si].frameRuns) {
        EXPECT_EQ(g.sizes, want.gst.at(pad).sizes) << out;
    }
    EXPECT_EQ(g.bytes, want.gst.at(pad).bytes) << out;
}

// ffmpeg presents the output's video as the video source's and its sound
// as long as the sound source's, to a sample (of the source's rate, or of
// half a tick of the output movie's time scale, which its edits count in).
void ExpectPlaysAs(const std::string& video, const std::string& sound, const std::string& out,
                   const Views& got) {
    EXPECT_TRUE(got.presented.ok) << out;
    if (!video.empty()) {
        const size_t frames = SourceViews(video).presented.frames.size();
        EXPECT_EQ(got.presented.frames.size(), frames) << out;
        // GStreamer, reading the file and as a stream, shows every frame
        // too (a composition delay without its edit lost the last ones).
        for (const bool push : {false, true}) {
            EXPECT_EQ(mt::GstPresented(out, push).frames.size(), frames) << out << " push " << push;
        }
    }
    if (!sound.empty()) {
        const mov::Movie s = Read(sound), o = Read(out);
        const double tolerance =
            std::max(1.0 / s.tracks[TrackOf(s, kSoun)].timescale, 0.5 / o.timescale) + 1.0 / 48000;
        EXPECT_NEAR(got.presented.sound, SourceViews(sound).presented.sound, tolerance) << out;
    } else {
        EXPECT_EQ(got.presented.sound, 0) << out;
    }
}

MovOpResult Separate(const std::string& src, MovTrackKind kind, const std::string& out) {
    OpContext ctx;
    return RunMovSeparate({src, out, kind}, ctx);
}

// Movies of every writer and kind of track the tests have; each row unites
// its video with the sound of the next row's movie.
const mt::Recipe kMovies[] = {mt::kH264Aac,   mt::kMpeg4Pcm,   mt::kMjpegRaw,     mt::kHevcAac,
                              mt::kProresPcm, mt::kFragmented, mt::kQtmuxH264Aac, mt::kLqtH264Twos};

class MovSeparateUnite : public ::testing::TestWithParam<size_t> {};

TEST_P(MovSeparateUnite, KeepsEveryStoredSampleAndPlays) {
    const size_t row = GetParam();
    const std::string dir = test::ScratchDir();
    const std::string src = mt::Make(kMovies[row]);
    const std::string other = mt::Make(kMovies[(row + 1) % std::size(kMovies)]);

    const std::string video = dir + "/video.mov", sound = dir + "/sound.mov",
                      united = dir + "/united.mov";
    ASSERT_EQ(Separate(src, MovTrackKind::Video, video).code, 0);
    ASSERT_EQ(Separate(src, MovTrackKind::Sound, sound).code, 0);
    OpContext ctx;
    const MovOpResult u = RunMovUnite({src, other, united}, ctx);
    ASSERT_EQ(u.code, 0);
    EXPECT_EQ(u.output, united);

    // The separated tracks are the ones the unites present (this row's
    // video here, this movie's sound in the row before).
    const Views v = ViewsOf(video, false);
    ExpectSameTrack(src, video, v, kVide);
    EXPECT_EQ(TrackOf(Read(video), kSoun), -1);

    const Views s = ViewsOf(sound, false);
    ExpectSameTrack(src, sound, s, kSoun);
    EXPECT_EQ(TrackOf(Read(sound), kVide), -1);

    const Views w = ViewsOf(united);
    ExpectSameTrack(src, united, w, kVide);
    ExpectSameTrack(other, united, w, kSoun);
    ExpectPlaysAs(src, other, united, w);
    EXPECT_EQ(Read(united).timescale, Read(src).timescale);
}

INSTANTIATE_TEST_SUITE_P(Writers, MovSeparateUnite, ::testing::Range<size_t>(0, std::size(kMovies)),
                         [](const auto& info) {
                             std::string name = kMovies[info.param].name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// Two video tracks with their timecode tracks, two sound tracks that refer
// to a chapter track, and movie metadata.
std::string ManyTracks() {
    const std::string chapters = test::ScratchDir() + "/chapters.txt";
    const std::string text =
        ";FFMETADATA1\ntitle=Many\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=500\ntitle=A\n";
    test::WriteBytes(chapters, {text.begin(), text.end()});
    return test::MakeMedia(
        "movsep-many-tracks",
        "-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -f lavfi -i "
        "sine=sample_rate=8000:duration=1 -f ffmetadata -i " +
            chapters +
            " -map 0:v -map 0:v -map 1:a -map 1:a -map_chapters 2 -map_metadata 2 -c:v mjpeg "
            "-c:a pcm_s16le -timecode 01:00:00:00",
        "mov");
}

TEST(MovSeparateUniteTracks, CompanionsReferencesIdsAndMetadata) {
    const std::string dir = test::ScratchDir();
    const std::string src = test::CopyFile(ManyTracks(), dir);
    const mov::Movie m = Read(src);

    // Sound: both sound tracks and the chapter track they refer to, the
    // references kept; PCM keeps the .mov name.
    const MovOpResult s = Separate(src, MovTrackKind::Sound, dir + "/sound.mov");
    ASSERT_EQ(s.code, 0);
    EXPECT_EQ(MovSeparateOutputName({src, {}, MovTrackKind::Sound}), FileStem(src) + "_cut.mov");
    const mov::Movie ms = Read(s.output);
    ASSERT_EQ(ms.tracks.size(), 3u);
    EXPECT_EQ(ms.tracks[2].handler, mov::atom::Type("text"));
    EXPECT_FALSE(ms.tracks[0].references.empty());

    // Video: both video tracks and the timecode tracks they refer to, the
    // references kept; the movie's metadata stays.
    const MovOpResult v = Separate(src, MovTrackKind::Video, {});
    ASSERT_EQ(v.code, 0);
    EXPECT_EQ(v.output, FileStem(src) + "_cut.mov");
    const mov::Movie mv = Read(v.output);
    std::vector<uint32_t> handlers;
    for (const mov::Track& t : mv.tracks) {
        handlers.push_back(t.handler);
    }
    const uint32_t tmcd = mov::atom::Type("tmcd");
    EXPECT_EQ(handlers, (std::vector<uint32_t>{kVide, kVide, tmcd, tmcd}));
    EXPECT_EQ(mv.tracks[0].references.size(), 1u);
    EXPECT_EQ(mv.extras.size(), m.extras.size());
    EXPECT_EQ(v.samples, 22u);

    // Unite with sound whose track id is a video track's: it is
    // renumbered past every id in use.
    const std::string aac = mt::Make(mt::kAudioOnly);
    OpContext ctx;
    const MovOpResult u = RunMovUnite({src, aac, dir + "/u.mov"}, ctx);
    ASSERT_EQ(u.code, 0);
    const mov::Movie mu = Read(u.output);
    ASSERT_EQ(mu.tracks.size(), 5u);
    EXPECT_EQ(mu.tracks[4].id, m.nextTrackId);
    EXPECT_EQ(mu.nextTrackId, m.nextTrackId + 1);
    EXPECT_EQ(mu.Duration(), std::max(m.Duration(), Read(aac).Duration()));

    // The read-back checks of both front ends accept the outputs.
    for (const auto& [out, plan] :
         {std::pair{v.output, verify::SeparatePlan(src, verify::MediaKind::Video)},
          std::pair{s.output, verify::SeparatePlan(src, verify::MediaKind::Audio)},
          std::pair{u.output, verify::UnitePlan(src, aac)}}) {
        const verify::VerifyReport report = verify::VerifyOutputPlan(out, plan);
        EXPECT_TRUE(report.Ok()) << out << ": " << report.Text();
    }
    // ... and see a changed byte in the second video track.
    std::vector<uint8_t> bytes = test::ReadBytes(v.output);
    bytes[mv.tracks[1].samples[3].offset + 20] ^= 0x40;
    test::WriteBytes(dir + "/altered.mov", bytes);
    const verify::VerifyReport altered = verify::VerifyOutputPlan(
        dir + "/altered.mov", verify::SeparatePlan(src, verify::MediaKind::Video));
    ASSERT_FALSE(altered.Ok());
    EXPECT_EQ(altered.difference->sample, 3);
    EXPECT_EQ(altered.difference->stream, "video track 2");
}

// MP3 sound in an ISO file, alone.
constexpr mt::Recipe kMp3Mp4 = {
    "mp4-h264-mp3",
    "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -f lavfi -i "
    "sine=sample_rate=44100:duration=1 -c:v libx264 -pix_fmt yuv420p -c:a libmp3lame -shortest",
    "mp4"};

TEST(MovSeparateUniteTracks, SoundAloneIsNamedAndBrandedByItsKind) {
    const std::string dir = test::ScratchDir();
    struct Case {
        const mt::Recipe* recipe;
        const char* ext;  // of the default output
        uint32_t brand;
    };
    // AAC makes an .m4a file; other sound stays in its source's family.
    for (const Case& c : {Case{&mt::kH264Aac, ".m4a", mov::atom::Type("M4A ")},
                          Case{&kMp3Mp4, ".mp4", mov::atom::Type("isom")}}) {
        SCOPED_TRACE(c.recipe->name);
        const std::string src = test::CopyFile(mt::Make(*c.recipe), dir);
        const MovSeparateJob job{src, {}, MovTrackKind::Sound};
        EXPECT_EQ(MovSeparateOutputName(job), FileStem(src) + "_cut" + c.ext);
        OpContext ctx;
        const MovOpResult r = RunMovSeparate(job, ctx);
        ASSERT_EQ(r.code, 0);
        EXPECT_EQ(r.output, FileStem(src) + "_cut" + c.ext);
        EXPECT_EQ(Read(r.output).brand, c.brand);
        // Both players read it as the source's sound.
        EXPECT_EQ(StoredFrames(r.output).at(0), StoredFrames(src).at(TrackOf(Read(src), kSoun)));
        EXPECT_EQ(mt::GstFrames(r.output, {"audio_0"}).at("audio_0").bytes,
                  SourceViews(src).gst.at("audio_0").bytes);
    }
    // Named by the user, the file is branded as its name says.
    const std::string src = mt::Make(mt::kH264Aac);
    for (const auto& [name, brand] :
         {std::pair{"s.mov", mov::atom::kQt}, std::pair{"s.3gp", mov::atom::Type("3gp4")},
          std::pair{"s.mp4", mov::atom::Type("isom")}}) {
        ASSERT_EQ(Separate(src, MovTrackKind::Sound, dir + "/" + name).code, 0);
        EXPECT_EQ(Read(dir + "/" + name).brand, brand) << name;
    }
}

// ---- Failures ---------------------------------------------------------------

struct Failure {
    const char* name;
    // What runs: a separate of `kind`, or a unite (video, audio).
    enum class Op { SeparateVideo, SeparateSound, Unite } op;
    // Sources, by role: "h264", "aac" (movies with only that), "text" (no
    // movie), "self" (the output is the first source).
    const char* first;
    const char* second;
    bool stop;
    int32_t code;
    bool started;
};

const Failure kFailures[] = {
    {"no video", Failure::Op::SeparateVideo, "aac", "", false, mov::kInvalidTrack, true},
    {"no sound", Failure::Op::SeparateSound, "h264", "", false, mov::kInvalidTrack, true},
    {"unite, no video", Failure::Op::Unite, "aac", "aac", false, mov::kInvalidTrack, true},
    {"unite, no sound", Failure::Op::Unite, "h264", "h264", false, mov::kInvalidTrack, true},
    {"output is the source", Failure::Op::SeparateSound, "self", "", false,
     mov::kCantCreateSingleForkFile, false},
    {"unite, output is a source", Failure::Op::Unite, "h264", "self", false,
     mov::kCantCreateSingleForkFile, false},
    {"not a movie", Failure::Op::SeparateVideo, "text", "", false, mov::kNoMovieFound, true},
    {"unite, not a movie", Failure::Op::Unite, "h264", "text", false, mov::kNoMovieFound, true},
    {"stopped", Failure::Op::SeparateVideo, "h264", "", true, mov::kProgressProcAborted, true},
    {"unite stopped", Failure::Op::Unite, "h264", "aac", true, mov::kProgressProcAborted, true},
};

TEST(MovSeparateUniteFailures, EndWithTheirCodeAndLeaveFilesAlone) {
    const std::string dir = test::ScratchDir();
    const std::string out = dir + "/out.mov";
    const std::map<std::string, std::string> sources = {
        {"h264", test::CopyFile(mt::Make(mt::kVideoOnly), dir)},
        {"aac", test::CopyFile(mt::Make(mt::kAudioOnly), dir)},
        {"text", dir + "/notes.mov"},
        {"self", out},
    };
    test::WriteBytes(sources.at("text"), {'n', 'o', 't', 'e', 's'});
    for (const Failure& f : kFailures) {
        SCOPED_TRACE(f.name);
        // An old output that the failure must leave (or, as a source, keep).
        const std::vector<uint8_t> old = test::ReadBytes(sources.at("h264"));
        test::WriteBytes(out, old);
        OpContext ctx;
        int pumps = 0;
        ctx.pump = [&] {
            if (f.stop && ++pumps == 1) {
                ctx.stop = 1;
            }
        };
        bool begun = false;
        const auto onBegin = [&begun] { begun = true; };
        MovOpResult r;
        if (f.op == Failure::Op::Unite) {
            r = RunMovUnite({sources.at(f.first), sources.at(f.second), out}, ctx, onBegin);
        } else {
            const auto kind =
                f.op == Failure::Op::SeparateVideo ? MovTrackKind::Video : MovTrackKind::Sound;
            // The source given under another spelling of its name.
            const std::string src =
                f.first == std::string("self") ? dir + "/./out.mov" : sources.at(f.first);
            r = RunMovSeparate({src, out, kind}, ctx, onBegin);
        }
        EXPECT_EQ(r.code, f.code);
        EXPECT_EQ(r.started, f.started);
        EXPECT_EQ(begun, f.started);
        EXPECT_EQ(r.stopped, f.stop);
        EXPECT_EQ(r.samples, 0u);
        EXPECT_TRUE(ctx.StopRequested());
        // The sources were read and the run ended before the save began:
        // the old output is as it was.
        EXPECT_EQ(test::ReadBytes(out), old);
    }
}

TEST(MovSeparateUniteFailures, StopDuringTheSaveLeavesNoOutput) {
    const std::string dir = test::ScratchDir();
    const std::string out = dir + "/out.mov";
    OpContext ctx;
    int64_t last = 0;
    ctx.pump = [&] {
        last = ctx.last;
        if (ctx.current > 0) {
            ctx.stop = 1;
        }
    };
    const MovOpResult r = RunMovUnite({mt::Make(mt::kMpeg4Pcm), mt::Make(mt::kH264Aac), out}, ctx);
    EXPECT_EQ(r.code, mov::kProgressProcAborted);
    EXPECT_TRUE(r.stopped);
    EXPECT_GT(last, 0);
    EXPECT_FALSE(Exists(out));
}

TEST(MovSeparateUniteFailures, WarningsOfADamagedSourceReachTheContext) {
    const std::string dir = test::ScratchDir();
    // A movie cut short in its media data (the movie atom first).
    const std::string whole = test::MakeMedia(
        "movsep-faststart", std::string(mt::kH264Aac.args) + " -movflags faststart", "mov");
    std::vector<uint8_t> bytes = test::ReadBytes(whole);
    bytes.resize(bytes.size() * 2 / 3);
    const std::string src = dir + "/cut-short.mov";
    test::WriteBytes(src, bytes);
    OpContext ctx;
    std::vector<std::string> warnings;
    ctx.warn = [&](const std::string& w) { warnings.push_back(w); };
    const MovOpResult r = RunMovUnite({src, src, dir + "/u.mov"}, ctx);
    EXPECT_EQ(r.code, 0);
    ASSERT_FALSE(warnings.empty());
    EXPECT_EQ(warnings.front().rfind(src + ": ", 0), 0u) << warnings.front();
}

// What the command line prints and returns.
TEST(MovSeparateUniteFailures, CommandLineNamesTheFileAndCode) {
    const std::string dir = test::ScratchDir();
    const std::string video = test::CopyFile(mt::Make(mt::kVideoOnly), dir);
    const std::string cli = test::BuiltProgram("trelvan-cli");
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string line;  // expected in standard error
    } cases[] = {
        {{"mov-separate", "--audio", video},
         1,
         "trelvan-cli: " + video + ": the movie has no such track (error -2009 invalidTrack)\n"},
        {{"mov-separate", "--audio", video, "--lang", "ja"},
         1,
         video + ": 必要なトラックがありません（エラー -2009"},
        {{"mov-unite", mt::Make(mt::kAudioOnly), video},
         1,
         mt::Make(mt::kAudioOnly) + ": the movie has no such track"},
        {{"mov-separate", "--video", video, "-o", video},
         1,
         video + ": the output cannot be created (error -2022"},
        {{"mov-separate", video}, 2, "one of --video and --audio"},
        {{"mov-unite", video, mt::Make(mt::kAudioOnly), "-o", dir + "/u.mov", "--verify",
          "--quiet"},
         0,
         ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {cli};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const auto r = test::RunCommand(argv);
        EXPECT_EQ(r.exit_code, c.exit) << c.args[0] << ": " << r.err;
        EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
    }
    EXPECT_TRUE(Exists(dir + "/u.mov"));
}

}  // namespace
}  // namespace trelvan
