// Joins and cuts judged as players present them: outputs that a player
// would show wrongly (sound late at a join, entries overlapping, a hole or
// lost frames in a movie's edits, a cut that starts on a frame that does
// not decode, a range cut short, sound chunks that split a packet) fail and
// name the entry and the time; the clean outputs of the same operations pass.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "AsfProfile.h"
#include "AsfReader.h"
#include "AsfWriter.h"
#include "Atoms.h"
#include "AviFile.h"
#include "AviWriter.h"
#include "EditList.h"
#include "Fixtures.h"
#include "MovFixtures.h"
#include "MovieReader.h"
#include "MovieWriter.h"
#include "OutputVerify.h"
#include "Process.h"
#include "SoundLayout.h"

namespace trelvan {
namespace {

using verify::OutputPlan;

// A second of 25 fps video (a key frame every 5) with sound, per family.
struct Sources {
    std::string dir = test::ScratchDir();
    std::string avi = Clip("verify-play-avi", "-c:v mpeg4 -g 5 -c:a pcm_s16le -f avi", "avi");
    std::string avi2 = test::MakeMedia(
        "verify-play-avi2",
        "-f lavfi -i testsrc2=d=1:s=64x48:r=25 -f lavfi -i sine=f=660:d=1:r=22050 -ac 2 "
        "-c:v mpeg4 -g 5 -c:a pcm_s16le -f avi",
        "avi");
    std::string wmv = Clip("verify-play-wmv", "-c:v wmv2 -g 5 -c:a wmav2 -b:a 32k", "wmv");
    std::string mov = Movie(mov::test::kH264Aac);                // B-frames
    std::string ima = mov::test::Make(mov::test::kLqtJpegIma4);  // tables of frames

    static std::string Clip(const char* name, const std::string& codecs, const char* ext) {
        return test::MakeMedia(
            name,
            "-f lavfi -i testsrc=d=1:s=64x48:r=25 -f lavfi -i sine=f=440:d=1:r=22050 -ac 2 " +
                codecs,
            ext);
    }
    static std::string Movie(const mov::test::Recipe& r) {
        return test::MakeMedia(r.name, r.args, r.ext);
    }
};

const Sources& Src() {
    static const Sources s;
    return s;
}

std::string In(const std::string& name) {
    return Src().dir + "/" + name;
}

// The output of a command of the program, made once.
std::string Made(const std::string& name, std::vector<std::string> args) {
    const std::string out = In(name);
    if (std::filesystem::exists(out)) {
        return out;
    }
    args.insert(args.begin(), test::BuiltProgram("trelvan-cli"));
    args.insert(args.end(), {"-o", out, "--quiet"});
    const test::CommandResult r = test::RunCommand(args);
    EXPECT_EQ(r.exit_code, 0) << name << ": " << r.err;
    return out;
}

std::string AviLink() {
    return Made("link.avi", {"avi-link", Src().avi, Src().avi});
}
std::string WmvLink() {
    return Made("link.wmv", {"wmv-link", Src().wmv, Src().wmv});
}
std::string MovLink() {
    return Made("link.mov", {"mov-link", Src().mov, Src().mov, "--force"});
}
std::string ImaLink() {
    return Made("link-ima.mov", {"mov-link", Src().ima, Src().ima, "--force"});
}

std::vector<uint8_t> AudioBytes(const std::string& path) {
    verify::MediaFile file(path);
    std::string error;
    verify::ByteStream s(file.Walk(verify::MediaKind::Audio, &error));
    std::vector<uint8_t> all(1u << 20);
    all.resize(s.Read(all.data(), all.size()));
    return all;
}

// An AVI file with the streams of `like` (video, then audio): `like`'s video
// chunks from `first` on, and `audio`, interleaved.
std::string WriteAvi(const std::string& name, const std::string& like, int64_t first,
                     const std::vector<uint8_t>& audio) {
    int32_t error = 0;
    const auto from = AviFile::Open(like, &error);
    AviWriter w;
    const std::string path = In(name);
    EXPECT_EQ(w.Create(path), 0);
    for (int i = 0; from && i < from->StreamCount(); ++i) {
        const AviStreamInfo& s = from->Stream(i).Info();
        AviWriterStreamInfo info{s.fccType,         s.fccHandler, s.dwFlags,      s.wPriority,
                                 s.wLanguage,       s.dwScale,    s.dwRate,       s.dwStart,
                                 s.dwInitialFrames, s.dwQuality,  s.dwSampleSize, s.rcLeft,
                                 s.rcTop,           s.rcRight,    s.rcBottom,     s.name};
        int index = 0;
        EXPECT_EQ(w.AddStream(info, from->Stream(i).Format(), &index), 0);
    }
    const AviStream& v = from->Stream(0);
    const size_t piece = audio.size() / static_cast<size_t>(v.ChunkCount() - first) / 4 * 4;
    size_t at = 0;
    std::vector<uint8_t> chunk;
    for (int64_t c = first; c < v.ChunkCount(); ++c) {
        chunk.resize(v.ChunkSize(c));
        EXPECT_EQ(from->Stream(0).ReadChunk(c, chunk.data(), static_cast<int64_t>(chunk.size())),
                  0);
        EXPECT_EQ(
            w.WriteChunk(0, chunk.data(), static_cast<uint32_t>(chunk.size()), v.ChunkIsKey(c)), 0);
        const size_t n = c + 1 == v.ChunkCount() ? audio.size() - at : piece;
        EXPECT_EQ(w.WriteChunk(1, audio.data() + at, static_cast<uint32_t>(n), true), 0);
        at += n;
    }
    EXPECT_EQ(w.Close(), 0);
    return path;
}

// Entry 2's sound 200 ms after its video: silence put before it.
std::string AviLateAudio() {
    std::vector<uint8_t> audio = AudioBytes(Src().avi);
    const size_t one = audio.size();
    audio.insert(audio.end(), 22050 / 5 * 4, 0);
    audio.insert(audio.end(), audio.begin(), audio.begin() + static_cast<std::ptrdiff_t>(one));
    return WriteAvi("late-audio.avi", AviLink(), 0, audio);
}

// A link of three entries whose middle one's sound was left out: the
// first's and the third's follow each other.
std::string AviEntryAudioRemoved() {
    const std::string link = Made("link3.avi", {"avi-link", Src().avi, Src().avi2, Src().avi});
    std::vector<uint8_t> audio = AudioBytes(Src().avi);
    audio.insert(audio.end(), audio.begin(), audio.end());
    return WriteAvi("entry-audio-removed.avi", link, 0, audio);
}

// A cut from frame 2 (not a key frame) with the sound of the same span.
std::string AviCutOffKey() {
    std::vector<uint8_t> audio = AudioBytes(Src().avi);
    audio.erase(audio.begin(), audio.begin() + 2 * 22050 / 25 * 4);
    return WriteAvi("off-key.avi", Src().avi, 2, audio);
}

// The WMV source's samples written again, once per shift of `shifts` (100
// ns; given the first and the last video sample time) added to every time.
std::string RewrittenWmv(const std::string& name,
                         const std::function<std::vector<uint64_t>(uint64_t, uint64_t)>& shifts) {
    const std::string path = In(name);
    asf::AsfReader reader;
    EXPECT_EQ(reader.Open(Src().wmv), wm::hr::kOk);
    const std::shared_ptr<wm::Profile> profile = wm::Profile::FromHeader(reader.Header());
    std::vector<asf::AsfSample> samples;
    uint64_t first_video = UINT64_MAX, last_video = 0;
    for (asf::AsfSample s; reader.Next(s) == wm::hr::kOk;) {
        if (const asf::StreamInfo* info = reader.Header().Stream(s.stream);
            info && info->IsVideo()) {
            first_video = std::min(first_video, s.time);
            last_video = std::max(last_video, s.time);
        }
        samples.push_back(s);
    }
    wm::AsfWriter w;
    EXPECT_EQ(w.Open(OpenDiskFile(path, OpenMode::CreateTruncate), *profile), wm::hr::kOk);
    EXPECT_EQ(w.BeginWriting(), wm::hr::kOk);
    for (const uint64_t shift : shifts(first_video, last_video)) {
        for (const asf::AsfSample& s : samples) {
            EXPECT_EQ(
                w.WriteSample(s.stream, s.time + shift, s.duration,
                              s.key ? wm::kSampleCleanPoint : 0, s.data.data(), s.data.size()),
                wm::hr::kOk);
        }
    }
    EXPECT_EQ(w.EndWriting(), wm::hr::kOk);
    return path;
}

// Two copies of the WMV source, the second starting at the first's last
// video frame (a naive join that overlaps it).
std::string WmvOverlap() {
    return RewrittenWmv("overlap.wmv", [](uint64_t first, uint64_t last) {
        return std::vector<uint64_t>{0, last - first};
    });
}

// The WMV source stamped 1000 hours from zero (as some writers stamp
// theirs), and the link of two of them: entry 2 follows entry 1.
std::string WmvFarStamped() {
    return RewrittenWmv("far-stamped.wmv", [](uint64_t, uint64_t) {
        return std::vector<uint64_t>{1000ull * 3600 * 10'000'000};
    });
}
std::string WmvFarStampedLink() {
    return Made("link-far-stamped.wmv", {"wmv-link", WmvFarStamped(), WmvFarStamped()});
}

// A movie changed through the movie layer and flattened again; `source`
// is the movie its first entry comes from.
std::string AlteredMovie(const std::string& name, const std::string& from,
                         const std::function<void(mov::Movie&, const mov::Movie& source)>& alter,
                         const std::string& source_path = Src().mov) {
    mov::Movie m, source;
    EXPECT_EQ(mov::ReadMovieFile(from, m, DiskFileOpener()), mov::kNoErr);
    EXPECT_EQ(mov::ReadMovieFile(source_path, source, DiskFileOpener()), mov::kNoErr);
    alter(m, source);
    const std::string path = In(name);
    const auto out = OpenDiskFile(path, OpenMode::CreateTruncate);
    EXPECT_EQ(mov::FlattenMovie(m, *out), mov::kNoErr);
    return path;
}

mov::Track& TrackOf(mov::Movie& m, uint32_t handler) {
    return *std::find_if(m.tracks.begin(), m.tracks.end(),
                         [handler](const mov::Track& t) { return t.handler == handler; });
}
mov::Track& Video(mov::Movie& m) {
    return TrackOf(m, mov::atom::kVide);
}
mov::Track& Sound(mov::Movie& m) {
    return TrackOf(m, mov::atom::kSoun);
}

// A track's edit (after a leading empty one, if any) made to show its media
// from the edit's media time to the end of its presentation: nothing of it
// lies past its edit.
void FitEdit(mov::Track& t, uint32_t movie_scale) {
    std::vector<mov::Edit> e = mov::ExplicitEdits(t, movie_scale);
    const size_t lead = e.size() > 1 && e.front().mediaTime < 0 ? 1 : 0;
    mov::Edit one = e[lead];
    one.duration = mov::Rescale(t.PresentationEnd() - static_cast<uint64_t>(one.mediaTime),
                                t.timescale, movie_scale);
    e.resize(lead);
    e.push_back(one);
    t.edits = e;
    t.hasEdits = true;
    t.duration = mov::EditsDuration(t.edits);
}

// A join laid out as players need it: each track's edits, which show its
// entries' media one after the other, made one. The good output the damages
// below start from.
void OneEdit(mov::Movie& m) {
    for (mov::Track& t : m.tracks) {
        FitEdit(t, m.timescale);
    }
}

std::string Joined(const std::string& link, const std::string& source) {
    const std::string name = "one-edit-" + std::filesystem::path(link).filename().string();
    return AlteredMovie(
        name, link, [](mov::Movie& m, const mov::Movie&) { OneEdit(m); }, source);
}
std::string MovJoined() {
    return Joined(MovLink(), Src().mov);
}
std::string ImaJoined() {
    return Joined(ImaLink(), Src().ima);
}

// The joined movie of `from` damaged by `alter`.
std::string Damaged(const char* name, const std::function<std::string()>& from,
                    const std::function<void(mov::Movie&, const mov::Movie& source)>& alter,
                    const std::string& source = Src().mov) {
    return AlteredMovie(name, from(), alter, source);
}

// Entry 2's video edit after one of nothing.
std::string MovEmptyEdit() {
    return Damaged("empty-edit.mov", MovJoined, [](mov::Movie& m, const mov::Movie& s) {
        mov::Track& t = Video(m);
        const uint64_t first = Video(const_cast<mov::Movie&>(s)).MovieDuration(s.timescale);
        mov::SplitEditsAt(t.edits, first, m.timescale, t.timescale);
        t.edits.insert(t.edits.begin() + 1, {1, -1, 0x10000});
    });
}

// The video's edit cut in two where entry 2 begins.
std::string MovSecondEdit() {
    return Damaged("second-edit.mov", MovJoined, [](mov::Movie& m, const mov::Movie& s) {
        mov::Track& t = Video(m);
        mov::SplitEditsAt(t.edits, Video(const_cast<mov::Movie&>(s)).MovieDuration(s.timescale),
                          m.timescale, t.timescale);
    });
}

// The video's edit two frames short: entry 2's last frames are not shown.
std::string MovEditShort() {
    return Damaged("edit-short.mov", MovJoined, [](mov::Movie& m, const mov::Movie& s) {
        Video(m).edits.front().duration -= 2 * s.timescale / 25;
    });
}

// Entry 2's sound late at the join: a sound packet near the end of entry 1
// stored three packets long.
std::string MovSoundLate() {
    return Damaged("sound-late.mov", MovJoined, [](mov::Movie& m, const mov::Movie&) {
        mov::Track& t = Sound(m);
        t.samples[t.samples.size() / 2 - 4].duration *= 3;
        FitEdit(t, m.timescale);
    });
}

// The sound's edit moved on by three packets: every entry's sound early.
std::string MovSoundEditShifted() {
    return Damaged("sound-edit-shifted.mov", MovJoined, [](mov::Movie& m, const mov::Movie&) {
        mov::Track& t = Sound(m);
        t.edits.front().mediaTime += 3 * t.samples.front().duration;
        FitEdit(t, m.timescale);
    });
}

// One sound packet of entry 1 (at about 0.5 s) dropped.
std::string MovDroppedPacket() {
    return Damaged("dropped-packet.mov", MovJoined, [](mov::Movie& m, const mov::Movie&) {
        mov::Track& t = Sound(m);
        t.samples.erase(t.samples.begin() + static_cast<std::ptrdiff_t>(t.timescale / 2048));
        FitEdit(t, m.timescale);
    });
}

// Entry 2's video moved into a track of its own.
std::string MovSecondTrack() {
    return Damaged("second-track.mov", MovJoined, [](mov::Movie& m, const mov::Movie& s) {
        const mov::Track& st = Video(const_cast<mov::Movie&>(s));
        const mov::Edit e = mov::ExplicitEdits(st, s.timescale).front();
        mov::Track second = Video(m);
        second.id = m.nextTrackId++;
        second.samples.erase(
            second.samples.begin(),
            second.samples.begin() + static_cast<std::ptrdiff_t>(st.samples.size()));
        second.edits = {{e.duration, -1, e.rate}, e};
        second.hasEdits = true;
        mov::Track& first = Video(m);
        first.samples.resize(st.samples.size());
        first.edits = {e};
        first.hasEdits = true;
        m.tracks.push_back(second);
    });
}

// Entry 2's first frame at entry 1's last frame's time (that frame stored
// with no duration).
std::string ImaSharedTime() {
    return Damaged(
        "shared-time.mov", ImaJoined,
        [](mov::Movie& m, const mov::Movie& s) {
            Video(m).samples[Video(const_cast<mov::Movie&>(s)).samples.size() - 1].duration = 0;
            FitEdit(Video(m), m.timescale);
        },
        Src().ima);
}

// Sound put 0.3 s late by a leading empty edit and ending with the video.
// (The writer stores whatever lies past the movie's end last, so a damaged
// model cannot put chunks out of order.)
std::string ImaSoundLate() {
    return Damaged(
        "sound-late.mov", ImaJoined,
        [](mov::Movie& m, const mov::Movie&) {
            const uint64_t late = m.timescale * 3 / 10;
            const uint64_t video = Video(m).MovieDuration(m.timescale);
            mov::Track& a = Sound(m);
            a.edits = {{late, -1, 0x10000}, {video - late, 0, 0x10000}};
            a.hasEdits = true;
        },
        Src().ima);
}

// Half a packet moved from the first IMA4 chunk to the next: the first one
// ends inside a packet.
std::string ImaSplitPacket() {
    return Damaged(
        "split-packet.mov", ImaJoined,
        [](mov::Movie& m, const mov::Movie&) {
            mov::Track& t = Sound(m);
            const mov::FramePacking p = mov::FramePackingOf(t.descriptions.front());
            ASSERT_TRUE(t.frameRuns && t.samples.size() > 2);
            const uint32_t half = p.framesPerPacket / 2;
            t.samples[0].count -= half;
            t.samples[0].duration -= half;
            t.samples[1].count += half;
            t.samples[1].duration += half;
            for (const int i : {0, 1}) {
                t.samples[i].size =
                    static_cast<uint32_t>(mov::FrameBytes(p, t.samples[i].count, t.frameTableSize));
            }
        },
        Src().ima);
}

struct Case {
    const char* name;
    std::function<std::string()> output;
    std::function<OutputPlan()> plan;
    int entry;         // 0: the output passes
    double time;       // where the fault shows, seconds
    const char* says;  // in the report's line
};

std::vector<Case> Cases() {
    const Sources& s = Src();
    const auto link = [](const std::string& a) { return [a] { return verify::LinkPlan({a, a}); }; };
    const auto wmv_cut = [&s](const char* end) {
        return [&s, end] {
            return Made(
                std::string("cut-") + end + ".wmv",
                {"wmv-extract", s.wmv, "--start", "0:0:0.2", "--end", std::string("0:0:") + end});
        };
    };
    const auto wmv_range = [&s] { return verify::ExtractPlan(s.wmv, 0.2, 0.9); };
    return {
        {"avi-link", AviLink, link(s.avi), 0, 0, ""},
        {"avi-extract",
         [&s] {
             return Made("cut.avi",
                         {"avi-extract", s.avi, "--start", "0:0:0.3", "--end", "0:0:0.7"});
         },
         [&s] { return verify::ExtractPlan(s.avi, 0.3, 0.7); }, 0, 0, ""},
        {"wmv-link", WmvLink, link(s.wmv), 0, 0, ""},
        {"wmv-extract", wmv_cut("0.9"), wmv_range, 0, 0, ""},
        {"wmv-link-far-stamped", WmvFarStampedLink,
         [] {
             return verify::LinkPlan({WmvFarStamped(), WmvFarStamped()});
         },
         0, 0, ""},
        {"mov-link-one-edit", MovJoined, link(s.mov), 0, 0, ""},
        {"mov-link-ima4-one-edit", ImaJoined, link(s.ima), 0, 0, ""},

        {"avi-link-audio-late", AviLateAudio, link(s.avi), 2, 1.0, "start (with its video"},
        {"avi-extract-off-key", AviCutOffKey, [&s] { return verify::ExtractPlan(s.avi, 0.08, -1); },
         1, 0, "video sample 0: first frame decodable"},
        {"wmv-link-overlap", WmvOverlap, link(s.wmv), 2, 1.0,
         "start (after the previous entry's last sample"},
        {"wmv-extract-short", wmv_cut("0.5"), wmv_range, 1, 0.3,
         "samples of the range (to 0.900 s)"},
        {"avi-link-entry-audio-removed", AviEntryAudioRemoved,
         [&s] {
             return verify::LinkPlan({s.avi, s.avi2, s.avi});
         },
         2, 1.0, "the entry's audio (1.000 s of video): expected present, found missing"},
        {"mov-link-empty-edit", MovEmptyEdit, link(s.mov), 2, 1.0,
         "a second edit inside the track"},
        {"mov-link-second-edit", MovSecondEdit, link(s.mov), 2, 1.0,
         "edit 2 (a second edit inside the track): expected one edit, found 2 edits"},
        {"mov-link-edit-short", MovEditShort, link(s.mov), 2, 1.92,
         "at 0.920 s): expected shown by an edit"},
        {"mov-link-sound-late", MovSoundLate, link(s.mov), 2, 1.0, "sound start (with its video"},
        {"mov-link-sound-edit-shifted", MovSoundEditShifted, link(s.mov), 1, 0,
         "sound start (with its video"},
        {"mov-link-dropped-packet", MovDroppedPacket, link(s.mov), 1, 0.49, "audio byte"},
        {"mov-link-second-track", MovSecondTrack, link(s.mov), 2, 1.0,
         "video: samples (to the end of"},
        {"mov-ima4-shared-time", ImaSharedTime, link(s.ima), 2, 1.0,
         "presentation time (one frame at a time)"},
        {"mov-ima4-sound-late", ImaSoundLate, link(s.ima), 1, 0.0, "sound start"},
        {"mov-ima4-split-packet", ImaSplitPacket, link(s.ima), 1, 1.0,
         "frames of the chunk (whole packets of 64)"},
    };
}

TEST(Presented, FaultsAreNamedAtTheirEntryAndTime) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const verify::VerifyReport r = verify::VerifyOutputPlan(c.output(), c.plan());
        if (c.entry == 0) {
            EXPECT_TRUE(r.Ok()) << r.Text();
            continue;
        }
        ASSERT_FALSE(r.Ok()) << r.Text();
        EXPECT_EQ(r.place.entry, c.entry) << r.Text();
        EXPECT_NE(r.place.source, "") << r.Text();
        EXPECT_NEAR(r.place.time, c.time, 0.05) << r.Text();
        EXPECT_NE(r.Text().find(c.says), std::string::npos) << r.Text();
        EXPECT_NE(r.Json().find("\"entry\": " + std::to_string(c.entry)), std::string::npos)
            << r.Json();
    }
}

// A one-frame WMV file's extract has its frame's length and a bit rate, and
// opens again: its own extract is written and verifies.
TEST(Presented, OneFrameWmvExtractOpensAgain) {
    const std::string one = test::MakeMedia(
        "verify-one-frame", "-f lavfi -i testsrc=s=64x48:r=25 -frames:v 1 -c:v wmv2", "wmv");
    const std::string cut = Made("one-frame-cut.wmv", {"wmv-extract", one});
    const std::string again = Made("one-frame-again.wmv", {"wmv-extract", cut});
    asf::AsfReader reader;
    ASSERT_EQ(reader.Open(cut), wm::hr::kOk);
    EXPECT_NEAR(static_cast<double>(reader.Duration()), 400'000, 1);
    EXPECT_GT(reader.Header().props.maxBitrate, 0u);
    EXPECT_TRUE(verify::VerifyOutputPlan(again, verify::ExtractPlan(cut)).Ok());
}

// The movie operations' own outputs held to the rules above: one edit per
// track, every entry's sound with its video within a packet, no two frames at
// one time, chunks in an order that streaming readers take to the end, cuts
// that start on a frame that decodes. Joins of clips from several writers
// (one whose sound runs 83 ms longer than its video, as phones write them,
// joined 2 and 5 times; two sizes, the second in a track of its own) and of
// the shared samples; cuts in mid-GOP; a separate.
TEST(PresentedMovOperations, OutputsFollowTheMovieLayoutRules) {
    const Sources& s = Src();
    const std::string longer = test::MakeMedia(
        "verify-sound-longer",
        "-f lavfi -i testsrc=d=1:s=160x120:r=30 -f lavfi -i sine=f=440:d=1.083:r=48000 "
        "-c:v libx264 -g 15 -pix_fmt yuv420p -c:a aac -b:a 64k",
        "mp4");
    // Another size: a forced join puts it in a video track of its own.
    const std::string larger = test::MakeMedia(
        "verify-larger",
        "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi -i "
        "sine=sample_rate=44100:duration=1 -c:v libx264 -bf 2 -g 12 -pix_fmt yuv420p -c:a aac "
        "-b:a 64k -shortest",
        "mov");
    const std::string qtmux = mov::test::Make(mov::test::kQtmuxH264Aac);
    const std::string fragmented = mov::test::Make(mov::test::kFragmented);
    std::string jcodec, three_g2;
    for (const std::string& p : test::SamplesIn("mov")) {
        jcodec = p.ends_with("jcodec_1.mp4") ? p : jcodec;
        three_g2 = p.ends_with("taglib_no-tags.3g2") ? p : three_g2;
    }
    struct Op {
        std::string name;
        std::vector<std::string> args;
        OutputPlan plan;
    };
    const auto join = [](const std::string& name, const std::vector<std::string>& sources) {
        std::vector<std::string> args{"mov-link"};
        args.insert(args.end(), sources.begin(), sources.end());
        args.push_back("--force");
        return Op{name, args, verify::LinkPlan(sources)};
    };
    std::vector<Op> ops = {
        join("link-h264-aac.mov", {s.mov, s.mov}),
        join("link-ima4.mov", {s.ima, s.ima}),
        join("link-two-sizes.mov", {s.mov, larger}),
        join("link-qtmux.mov", {qtmux, qtmux}),
        join("link-fragmented.mov", {fragmented, fragmented}),
        join("link-longer-2.mov", {longer, longer}),
        join("link-longer-5.mov", {longer, longer, longer, longer, longer}),
        {"cut-mid-gop.mov",
         {"mov-extract", s.mov, "--start", "0.3", "--end", "0.7"},
         verify::MovieExtractPlan(s.mov, 3'000'000, 7'000'000)},
        {"cut-fragmented.mov",
         {"mov-extract", fragmented, "--start", "0.3", "--end", "0.7"},
         verify::MovieExtractPlan(fragmented, 3'000'000, 7'000'000)},
        {"separate-fragmented.mov",
         {"mov-separate", "--video", fragmented},
         verify::SeparatePlan(fragmented, verify::MediaKind::Video)},
    };
    if (!jcodec.empty()) {
        ops.push_back(join("link-jcodec.mp4", {jcodec, jcodec, jcodec}));
    }
    if (!three_g2.empty()) {
        ops.push_back(join("link-3g2.mov", {three_g2, three_g2}));
    }
    for (const Op& op : ops) {
        SCOPED_TRACE(op.name);
        const verify::VerifyReport r = verify::VerifyOutputPlan(Made(op.name, op.args), op.plan);
        EXPECT_TRUE(r.Ok()) << r.Text();
    }
}

}  // namespace
}  // namespace trelvan
