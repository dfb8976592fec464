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

// A cut from frame 2 (not a key frame) with the sound of the same span.
std::string AviCutOffKey() {
    std::vector<uint8_t> audio = AudioBytes(Src().avi);
    audio.erase(audio.begin(), audio.begin() + 2 * 22050 / 25 * 4);
    return WriteAvi("off-key.avi", Src().avi, 2, audio);
}

// Two copies of the WMV source, the second starting at the first's last
// video frame (a naive join that overlaps it).
std::string WmvOverlap() {
    const std::string path = In("overlap.wmv");
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
    for (const uint64_t shift : {uint64_t{0}, last_video - first_video}) {
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

// The movie link's output changed through the movie layer and flattened
// again.
std::string AlteredMovie(const std::string& name, const std::string& from,
                         const std::function<void(mov::Movie&, const mov::Movie& source)>& alter) {
    mov::Movie m, source;
    EXPECT_EQ(mov::ReadMovieFile(from, m, DiskFileOpener()), mov::kNoErr);
    EXPECT_EQ(
        mov::ReadMovieFile(from == ImaLink() ? Src().ima : Src().mov, source, DiskFileOpener()),
        mov::kNoErr);
    alter(m, source);
    const std::string path = In(name);
    const auto out = OpenDiskFile(path, OpenMode::CreateTruncate);
    EXPECT_EQ(mov::FlattenMovie(m, *out), mov::kNoErr);
    return path;
}

mov::Track& Video(mov::Movie& m) {
    return *std::find_if(m.tracks.begin(), m.tracks.end(),
                         [](const mov::Track& t) { return t.handler == mov::atom::kVide; });
}

// The two entries' video edits as the source has them, entry 2's media
// after entry 1's, with `between` put between them and entry 1's shortened
// by `shorter` movie units.
void VideoEdits(mov::Movie& m, const mov::Movie& source, std::vector<mov::Edit> between,
                uint64_t shorter) {
    const mov::Track& s = Video(const_cast<mov::Movie&>(source));
    const mov::Edit e = mov::ExplicitEdits(s, source.timescale).front();
    mov::Track& t = Video(m);
    t.edits = {{e.duration - shorter, e.mediaTime, e.rate}};
    t.edits.insert(t.edits.end(), between.begin(), between.end());
    t.edits.push_back({e.duration, e.mediaTime + static_cast<int64_t>(s.MediaDuration()), e.rate});
    t.hasEdits = true;
    t.duration = mov::EditsDuration(t.edits);
}

std::string MovEmptyEdit() {
    return AlteredMovie("empty-edit.mov", MovLink(), [](mov::Movie& m, const mov::Movie& s) {
        VideoEdits(m, s, {{1, -1, 0x10000}}, 0);
    });
}

std::string MovEditShort() {
    return AlteredMovie("edit-short.mov", MovLink(), [](mov::Movie& m, const mov::Movie& s) {
        VideoEdits(m, s, {}, 2 * s.timescale / 25);
    });
}

// Entry 2's video moved into a track of its own.
std::string MovSecondTrack() {
    return AlteredMovie("second-track.mov", MovLink(), [](mov::Movie& m, const mov::Movie& s) {
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

// Half a packet moved from the first IMA4 chunk to the next: the first one
// ends inside a packet.
std::string ImaSplitPacket() {
    return AlteredMovie("split-packet.mov", ImaLink(), [](mov::Movie& m, const mov::Movie&) {
        mov::Track& t = *std::find_if(m.tracks.begin(), m.tracks.end(), [](const mov::Track& x) {
            return x.handler == mov::atom::kSoun;
        });
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
    });
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
        {"mov-link", MovLink, link(s.mov), 0, 0, ""},
        {"mov-link-ima4", ImaLink, link(s.ima), 0, 0, ""},

        {"avi-link-audio-late", AviLateAudio, link(s.avi), 2, 1.0, "start (with its video"},
        {"avi-extract-off-key", AviCutOffKey, [&s] { return verify::ExtractPlan(s.avi, 0.08, -1); },
         1, 0, "video sample 0: first frame decodable"},
        {"wmv-link-overlap", WmvOverlap, link(s.wmv), 2, 1.0,
         "start (after the previous entry's last sample"},
        {"wmv-extract-short", wmv_cut("0.5"), wmv_range, 1, 0.3,
         "samples of the range (to 0.900 s)"},
        {"mov-link-empty-edit", MovEmptyEdit, link(s.mov), 2, 1.0, "an empty edit between entries"},
        {"mov-link-edit-short", MovEditShort, link(s.mov), 1, 0.92,
         "at 0.920 s): expected shown by an edit"},
        {"mov-link-second-track", MovSecondTrack, link(s.mov), 2, 1.0,
         "video: samples (to the end of"},
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
        ASSERT_FALSE(r.Ok());
        EXPECT_EQ(r.place.entry, c.entry) << r.Text();
        EXPECT_NE(r.place.source, "") << r.Text();
        EXPECT_NEAR(r.place.time, c.time, 0.05) << r.Text();
        EXPECT_NE(r.Text().find(c.says), std::string::npos) << r.Text();
        EXPECT_NE(r.Json().find("\"entry\": " + std::to_string(c.entry)), std::string::npos)
            << r.Json();
    }
}

}  // namespace
}  // namespace trelvan
