// Joins through the movie layer (open, select all, copy, go to the end,
// paste, go to the start, flatten), read back by ffmpeg and by GStreamer's
// qtdemux: per output track the samples of the sources it takes, in order,
// byte for byte with their sync flags, decode times running on across each
// join, and a clean decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "Fixtures.h"
#include "MovFixtures.h"
#include "Atoms.h"
#include "MovProbe.h"
#include "MovieEditor.h"
#include "MovieReader.h"
#include "MovieWriter.h"
#include "IoFile.h"
#include "Probe.h"

namespace trelvan::mov {
namespace {

using test::Frame;

Movie Read(const std::string& path) {
    Movie m;
    EXPECT_EQ(ReadMovieFile(path, m, DiskFileOpener()), kNoErr) << path;
    return m;
}

// The layer's join of `sources` into `out`, step by step as the link does.
void JoinWithLayer(const std::vector<std::string>& sources, const std::string& out) {
    MovieEditor main(Read(sources.front()));
    for (size_t i = 1; i < sources.size(); ++i) {
        MovieEditor added(Read(sources[i]));
        added.SelectAll();
        Movie scrap;
        ASSERT_EQ(added.CopySelection(scrap), kNoErr);
        main.GoToEnd();
        ASSERT_EQ(main.Paste(scrap), kNoErr);
    }
    main.GoToStart();
    auto file = OpenDiskFile(out, OpenMode::CreateTruncate);
    ASSERT_TRUE(file);
    ASSERT_EQ(FlattenMovie(main.GetMovie(), *file), kNoErr);
    ASSERT_TRUE(file->Close());
}

// Which source tracks an output track holds, in order.
struct Part {
    size_t source;
    size_t track;
};
using Layout = std::vector<std::vector<Part>>;

// The layout of joining each source's tracks into the same tracks.
Layout SameTracks(size_t sources, size_t tracks) {
    Layout l(tracks);
    for (size_t t = 0; t < tracks; ++t) {
        for (size_t s = 0; s < sources; ++s) {
            l[t].push_back({s, t});
        }
    }
    return l;
}

void ExpectJoined(const std::vector<std::string>& sources, const std::string& out,
                  const Layout& layout, bool decodeCheck = true) {
    std::vector<Movie> movies;
    for (const std::string& s : sources) {
        movies.push_back(Read(s));
    }
    const Movie joined = Read(out);
    const std::string plain = test::WithoutEdits(out);
    ASSERT_EQ(joined.tracks.size(), layout.size());
    std::map<uint32_t, int> padNumber;  // per media type
    struct Expected {
        std::vector<Frame> frames;
        std::vector<uint8_t> bytes;
        bool frameRuns = false;
    };
    std::map<std::string, Expected> expected;
    std::vector<std::string> pads;
    for (size_t t = 0; t < layout.size(); ++t) {
        SCOPED_TRACE("output track " + std::to_string(t));
        const Track& track = joined.tracks[t];
        const int index = static_cast<int>(t);
        const std::vector<Frame> got =
            track.frameRuns ? std::vector<Frame>{} : test::FfmpegFrames(out, index);
        std::vector<Frame> want;
        std::vector<uint8_t> wantBytes;
        int64_t base = 0;
        for (size_t part = 0; part < layout[t].size(); ++part) {
            const Part& p = layout[t][part];
            const Movie& m = movies[p.source];
            std::vector<Frame> frames = test::ModelFrames(m, p.track);
            std::vector<uint8_t> b = test::ModelBytes(m, p.track);
            // Sound joined end to end leaves out a later entry's leading
            // packets (priming its own edit skipped): at most a few.
            size_t skip = 0;
            if (part > 0 && track.handler == atom::kSoun && !track.frameRuns &&
                want.size() < got.size()) {
                while (skip < 4 && skip < frames.size() &&
                       frames[skip].crc != got[want.size()].crc) {
                    ++skip;
                }
                skip = skip < 4 && skip < frames.size() ? skip : 0;
            }
            for (size_t k = 0; k < skip; ++k) {
                base -= frames[k].duration;
                b.erase(b.begin(), b.begin() + frames[k].size);
            }
            for (size_t k = skip; k < frames.size(); ++k) {
                Frame f = frames[k];
                f.dts += base;
                f.pts += base;
                want.push_back(f);
            }
            wantBytes.insert(wantBytes.end(), b.begin(), b.end());
            base += static_cast<int64_t>(m.tracks[p.track].MediaDuration());
        }
        if (track.frameRuns) {
            EXPECT_EQ(test::FfmpegBytes(out, index), wantBytes);
        } else {
            ASSERT_EQ(got.size(), want.size());
            // A track whose samples take no time (timed metadata) gets a
            // duration for its last sample before another is appended; its
            // times are left out.
            const bool timeless = track.MediaDuration() <= got.size();
            for (size_t k = 0; k < got.size(); ++k) {
                Frame w = want[k], g = got[k];
                w.duration = g.duration = 0;
                if (timeless) {
                    w.dts = g.dts = w.pts = g.pts = 0;
                }
                w.dts += got[0].dts - want[0].dts;
                w.pts += got[0].pts - want[0].pts;
                ASSERT_EQ(g, w) << "sample " << k << " dts " << g.dts << "/" << w.dts << " key "
                                << g.key << "/" << w.key;
            }
        }
        // GStreamer's reading of the same track's samples (edit lists set
        // aside: the times are ffmpeg's part above and the sync test's).
        const char* kind = track.handler == atom::kVide   ? "video_"
                           : track.handler == atom::kSoun ? "audio_"
                                                          : nullptr;
        if (kind != nullptr) {
            const std::string pad = kind + std::to_string(padNumber[track.handler]++);
            pads.push_back(pad);
            expected[pad] = {std::move(want), std::move(wantBytes), track.frameRuns};
        }
    }
    const auto streams = test::GstFrames(plain, pads);
    for (const std::string& pad : pads) {
        SCOPED_TRACE(pad);
        const test::GstStream& g = streams.at(pad);
        const Expected& e = expected[pad];
        ASSERT_TRUE(g.ok) << g.errors;
        EXPECT_EQ(g.bytes, e.bytes);
        if (!e.frameRuns) {
            std::vector<uint32_t> sizes;
            std::vector<bool> keys;
            for (const Frame& f : e.frames) {
                sizes.push_back(f.size);
                keys.push_back(f.key);
            }
            EXPECT_EQ(g.sizes, sizes);
            EXPECT_EQ(g.keys, keys);
        }
    }
    std::string errors;
    if (!decodeCheck || trelvan::test::DecodesCleanly(out, &errors)) {
        return;
    }
    // ffmpeg plays an empty edit only at the start of a list; one further on
    // (a delayed track's second movie) gives it repeated decode times. Such
    // a movie must decode cleanly sample by sample.
    bool laterEmptyEdit = false;
    for (const Track& t : joined.tracks) {
        for (size_t i = 1; i < t.edits.size(); ++i) {
            laterEmptyEdit = laterEmptyEdit || t.edits[i].mediaTime < 0;
        }
    }
    EXPECT_TRUE(laterEmptyEdit) << errors;
    EXPECT_TRUE(test::DecodesCleanlyIgnoringEdits(out, &errors)) << errors;
}

struct JoinCase {
    const char* name;
    std::vector<test::Recipe> recipes;
    Layout layout;
};

class MovJoin : public ::testing::TestWithParam<JoinCase> {};

TEST_P(MovJoin, SourcesFollowEachOther) {
    std::vector<std::string> sources;
    for (const test::Recipe& r : GetParam().recipes) {
        sources.push_back(test::Make(r));
    }
    const std::string out = trelvan::test::ScratchDir() + "/joined.mov";
    JoinWithLayer(sources, out);
    ExpectJoined(sources, out, GetParam().layout);
}

INSTANTIATE_TEST_SUITE_P(
    Generated, MovJoin,
    ::testing::Values(
        JoinCase{"H264Aac", {test::kH264Aac, test::kH264Aac}, SameTracks(2, 2)},
        JoinCase{"ThreeH264Aac", {test::kH264Aac, test::kH264Aac, test::kH264Aac},
                 SameTracks(3, 2)},
        JoinCase{"Mpeg4Pcm", {test::kMpeg4Pcm, test::kMpeg4Pcm}, SameTracks(2, 2)},
        JoinCase{"MjpegRaw", {test::kMjpegRaw, test::kMjpegRaw}, SameTracks(2, 2)},
        JoinCase{"AudioOnly", {test::kAudioOnly, test::kAudioOnly}, SameTracks(2, 1)},
        JoinCase{"VideoOnly", {test::kVideoOnly, test::kVideoOnly}, SameTracks(2, 1)},
        JoinCase{"Fragmented", {test::kFragmented, test::kFragmented}, SameTracks(2, 2)},
        JoinCase{"FragmentedPcm", {test::kFragmentedPcm, test::kFragmentedPcm}, SameTracks(2, 1)},
        // Other media time scales: new tracks for the second movie.
        JoinCase{"OtherTimeScales",
                 {test::kH264Aac, test::kOtherScales},
                 {{{0, 0}}, {{0, 1}}, {{1, 0}}, {{1, 1}}}},
        // Another H.264 description in the same track.
        JoinCase{"OtherDescription", {test::kH264Aac, test::kOtherLevel}, SameTracks(2, 2)}),
    [](const auto& info) { return std::string(info.param.name); });

// Every third-party movie joined with itself: tracks with samples take the
// second copy's samples after the first's; a track without samples stays
// as it was. The output decodes cleanly wherever the source does.
class MovJoinSamples : public ::testing::TestWithParam<std::string> {};

TEST_P(MovJoinSamples, JoinsWithItself) {
    const std::string src = trelvan::test::SamplePath("mov/" + GetParam());
    Movie movie;
    std::vector<std::string> warnings;
    const MovResult rc = ReadMovieFile(src, movie, DiskFileOpener(),
                                       [&](const std::string& w) { warnings.push_back(w); });
    ASSERT_EQ(rc, kNoErr);
    const std::string out = trelvan::test::ScratchDir() + "/self.mov";
    JoinWithLayer({src, src}, out);
    if (GetParam() == "mutagen_truncated-64bit.mp4") {
        // Cut short in its media data: what lies in the file is joined (the
        // other readers choke on the cut samples themselves), nothing more.
        ASSERT_FALSE(warnings.empty());
        const Movie joined = Read(out);
        for (size_t t = 0; t < movie.tracks.size(); ++t) {
            EXPECT_EQ(joined.tracks[t].samples.size(), 2 * movie.tracks[t].samples.size());
            std::vector<uint8_t> twice = test::ModelBytes(movie, t);
            twice.insert(twice.end(), twice.begin(), twice.end());
            EXPECT_EQ(test::ModelBytes(joined, t), twice);
        }
        return;
    }
    Layout layout;
    for (size_t t = 0; t < movie.tracks.size(); ++t) {
        layout.push_back(movie.tracks[t].samples.empty() ? std::vector<Part>{{0, t}}
                                                         : std::vector<Part>{{0, t}, {1, t}});
    }
    ExpectJoined({src, src}, out, layout, trelvan::test::DecodesCleanly(src));
}

INSTANTIATE_TEST_SUITE_P(Shared, MovJoinSamples,
                         ::testing::ValuesIn([] {
                             std::vector<std::string> names;
                             for (const std::string& p : trelvan::test::SamplesIn("mov")) {
                                 names.push_back(p.substr(p.find_last_of('/') + 1));
                             }
                             return names;
                         }()),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return n;
                         });

// Sync through GStreamer's reading of the edit lists: each source's video
// and audio start where the sources before it end, as they did in the
// source (within one audio frame: a later source's sound priming is left
// out, and its sound may move by less than a packet).
struct SyncCase {
    const char* name;
    test::Recipe recipe;
    size_t copies;
    double audioFrame;  // seconds
};

class MovJoinSync : public ::testing::TestWithParam<SyncCase> {};

TEST_P(MovJoinSync, EverySourceKeepsItsOffset) {
    const std::string src = test::Make(GetParam().recipe);
    const std::vector<std::string> sources(GetParam().copies, src);
    const std::string out = trelvan::test::ScratchDir() + "/sync.mov";
    JoinWithLayer(sources, out);
    const Movie movie = Read(src);
    ASSERT_EQ(movie.tracks.size(), 2u);
    const auto source = test::GstEditSegments(src);
    const auto joined = test::GstEditSegments(out);
    ASSERT_EQ(source.size(), 2u);
    ASSERT_EQ(joined.size(), 2u);
    const double length = test::ProbeDuration(src);
    const double tol = GetParam().audioFrame;
    const Movie joinedMovie = Read(out);
    const auto copies = static_cast<double>(GetParam().copies);
    // When each source's first presented media plays, per track.
    std::vector<std::vector<double>> plays(2);
    double sourceLead[2] = {};
    for (size_t t = 0; t < 2; ++t) {
        SCOPED_TRACE("track " + std::to_string(t));
        const Track& track = movie.tracks[t];
        const double media = static_cast<double>(track.MediaDuration()) / track.timescale;
        // Sound leaves out each later entry's priming: the same for each.
        const double joinedMedia =
            static_cast<double>(joinedMovie.tracks[t].MediaDuration()) / track.timescale;
        const double skipped = (copies * media - joinedMedia) / (copies - 1);
        EXPECT_LE(skipped, tol + 1e-6);
        const test::EditSegment first = source[t].empty() ? test::EditSegment{} : source[t].front();
        sourceLead[t] = first.time;
        for (size_t k = 0; k < GetParam().copies; ++k) {
            // The media position where source k starts to play, and the
            // joined segment that plays it.
            const double pos = static_cast<double>(k) * (media - skipped) + first.mediaStart;
            const test::EditSegment* seg = nullptr;
            for (const test::EditSegment& s : joined[t]) {
                if (s.mediaStart <= pos + 1e-6) {
                    seg = &s;
                }
            }
            ASSERT_NE(seg, nullptr);
            plays[t].push_back(seg->time + pos - seg->mediaStart);
        }
    }
    EXPECT_NEAR(plays[0][0], sourceLead[0], 1e-3);
    EXPECT_NEAR(plays[1][0], sourceLead[1], 1e-3);
    for (size_t k = 1; k < GetParam().copies; ++k) {
        SCOPED_TRACE("source " + std::to_string(k));
        // Each later source starts after the one before it ends and keeps
        // the distance between its tracks.
        EXPECT_GE(plays[0][k], plays[0][k - 1] + length * 0.9);
        // (Video without an edit list joins its media end to end, so that
        // no frame shows twice: its composition delay moves it.)
        const Track& video = movie.tracks[0];
        const double delay = video.hasEdits || video.samples.empty()
                                 ? 0
                                 : static_cast<double>(video.samples.front().cts) / video.timescale;
        EXPECT_NEAR(plays[0][k] - plays[1][k], sourceLead[0] - sourceLead[1], tol + delay);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Generated, MovJoinSync,
    ::testing::Values(SyncCase{"H264Aac", test::kH264Aac, 3, 1024.0 / 44100},
                      SyncCase{"Mpeg4Pcm", test::kMpeg4Pcm, 2, 1024.0 / 22050},
                      SyncCase{"MjpegRaw", test::kMjpegRaw, 2, 1024.0 / 8000},
                      SyncCase{"Fragmented", test::kFragmented, 2, 1024.0 / 44100}),
    [](const auto& info) { return std::string(info.param.name); });

// Offsets past the 32-bit limit take 'co64', and media data past it the
// 64-bit 'mdat' header written over 'wide' (limits lowered to cross them
// with a small movie): ffmpeg and our reader find every sample.
TEST(MovFlatten, WideOffsetsAndMediaData) {
    const std::string src = test::Make(test::kH264Aac);
    const Movie movie = Read(src);
    const std::string out = trelvan::test::ScratchDir() + "/wide.mov";
    FlattenLimits limits;
    limits.wideOffsets = 1000;
    limits.wideMediaData = 1000;
    {
        auto file = OpenDiskFile(out, OpenMode::CreateTruncate);
        ASSERT_EQ(FlattenMovie(movie, *file, limits), kNoErr);
        ASSERT_TRUE(file->Close());
    }
    const std::vector<uint8_t> bytes = trelvan::test::ReadBytes(out);
    // ftyp (20 bytes), then the 16-byte header where 'wide' was.
    ASSERT_GT(bytes.size(), 40u);
    EXPECT_EQ(std::string(bytes.begin() + 24, bytes.begin() + 28), "mdat");
    EXPECT_EQ(bytes[23], 1);
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), std::begin("co64"), std::end("co64") - 1),
              bytes.end());
    const Movie back = Read(out);
    for (size_t t = 0; t < movie.tracks.size(); ++t) {
        EXPECT_EQ(test::ModelFrames(back, t), test::ModelFrames(movie, t));
        const std::vector<Frame> ff = test::FfmpegFrames(out, static_cast<int>(t));
        ASSERT_EQ(ff.size(), movie.tracks[t].samples.size());
    }
}

// Two different descriptions of one kind end up in one track, the second
// one added for the second movie's samples.
TEST(MovJoinDescriptions, SecondDescriptionIsAddedNotMerged) {
    const std::string out = trelvan::test::ScratchDir() + "/descs.mov";
    JoinWithLayer({test::Make(test::kH264Aac), test::Make(test::kOtherLevel)}, out);
    const Movie joined = Read(out);
    ASSERT_EQ(joined.tracks.size(), 2u);
    EXPECT_EQ(joined.tracks[0].descriptions.size(), 2u);
    EXPECT_EQ(joined.tracks[0].samples.front().desc, 1);
    EXPECT_EQ(joined.tracks[0].samples.back().desc, 2);
    // The same movie twice shares its descriptions.
    JoinWithLayer({test::Make(test::kH264Aac), test::Make(test::kH264Aac)}, out);
    EXPECT_EQ(Read(out).tracks[0].descriptions.size(), 1u);
}

}  // namespace
}  // namespace trelvan::mov
