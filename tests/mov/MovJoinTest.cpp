// Joins through the movie layer (open, select all, copy, go to the end,
// paste, go to the start, flatten), read back by ffmpeg and by GStreamer's
// qtdemux: per output track the samples of the sources it takes, in order,
// byte for byte with their sync flags and times (a join may leave out sound
// packets at its ends and close a gap with packets of its own), the same
// samples in both readers, and a clean decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "Atoms.h"
#include "Fixtures.h"
#include "IoFile.h"
#include "MovFixtures.h"
#include "MovProbe.h"
#include "MovieEditor.h"
#include "MovieReader.h"
#include "MovieWriter.h"
#include "Probe.h"
#include "Process.h"
#include "TrackSilence.h"

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

// Where the packets of one source track lie among an output track's packets
// (ffmpeg's, edits ignored), from `from` on: a run of the source's packets,
// in order, byte for byte with their sync flags and their times relative to
// each other. Sound may leave out up to eight leading packets (priming its
// edit skipped) and trailing ones (sound past its entry's end); packets
// that are not the source's (silence, an empty text sample) may lie before
// the run. Returns the end of the run.
size_t ExpectRun(const std::vector<Frame>& got, size_t from, const std::vector<Frame>& src,
                 bool sound, bool fillers, bool last, bool timeless) {
    const auto same = [](const Frame& g, const Frame& w) {
        return g.crc == w.crc && g.size == w.size && g.key == w.key;
    };
    size_t at = got.size(), lead = 0;
    for (size_t i = from; i < got.size() && at == got.size(); ++i) {
        for (size_t k = 0; k < std::min<size_t>(sound ? 9 : 1, src.size()); ++k) {
            if (same(got[i], src[k])) {
                at = i;
                lead = k;
                break;
            }
        }
        if (!fillers) {
            break;
        }
    }
    EXPECT_LT(at, got.size()) << "the source's packets are not there";
    if (at == got.size()) {
        return got.size();
    }
    size_t k = lead, i = at;
    for (; i < got.size() && k < src.size() && same(got[i], src[k]); ++i, ++k) {
        if (!timeless) {
            EXPECT_EQ(got[i].dts - got[at].dts, src[k].dts - src[lead].dts) << "packet " << k;
            EXPECT_EQ(got[i].pts - got[at].pts, src[k].pts - src[lead].pts) << "packet " << k;
        }
    }
    if (!sound || last) {
        EXPECT_EQ(k, src.size()) << "packets left out at the end";
    }
    EXPECT_GT(k, lead) << "none of the source's packets";
    return i;
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
    std::map<std::string, int> pads;    // GStreamer's pad → output track
    for (size_t t = 0; t < layout.size(); ++t) {
        SCOPED_TRACE("output track " + std::to_string(t));
        const Track& track = joined.tracks[t];
        const int index = static_cast<int>(t);
        const bool sound = track.handler == atom::kSoun;
        if (track.frameRuns) {
            // Frames: each source's bytes in order (silence may lie
            // between them; sound past an entry's end may be left out).
            const std::vector<uint8_t> got = test::FfmpegBytes(out, index);
            auto at = got.begin();
            for (const Part& p : layout[t]) {
                const std::vector<uint8_t> b = test::ModelBytes(movies[p.source], p.track);
                const size_t head = std::min<size_t>(b.size(), 4096);
                at = std::search(at, got.end(), b.begin(),
                                 b.begin() + static_cast<std::ptrdiff_t>(head));
                ASSERT_NE(at, got.end()) << "source " << p.source;
                at += static_cast<std::ptrdiff_t>(head);
            }
        } else {
            const std::vector<Frame> got = test::FfmpegFrames(out, index);
            // A track whose samples take no time (timed metadata) gets a
            // duration for its last sample before another is appended; its
            // times are left out.
            const bool timeless = track.MediaDuration() <= got.size();
            size_t at = 0;
            for (size_t part = 0; part < layout[t].size(); ++part) {
                SCOPED_TRACE("part " + std::to_string(part));
                const Part& p = layout[t][part];
                at = ExpectRun(got, at, test::ModelFrames(movies[p.source], p.track), sound,
                               part > 0 && track.handler != atom::kVide,
                               part + 1 == layout[t].size(), timeless);
            }
            EXPECT_EQ(at, got.size()) << "packets after the last source's";
        }
        // GStreamer's reading of the same track's samples (edit lists set
        // aside): the same packets as ffmpeg's.
        const char* kind = track.handler == atom::kVide ? "video_" : sound ? "audio_" : nullptr;
        if (kind != nullptr) {
            pads[kind + std::to_string(padNumber[track.handler]++)] = index;
        }
    }
    std::vector<std::string> names;
    for (const auto& [pad, index] : pads) {
        names.push_back(pad);
    }
    const auto streams = test::GstFrames(plain, names);
    for (const auto& [pad, index] : pads) {
        SCOPED_TRACE(pad);
        const test::GstStream& g = streams.at(pad);
        ASSERT_TRUE(g.ok) << g.errors;
        EXPECT_EQ(g.bytes, test::FfmpegBytes(out, index));
        if (!joined.tracks[static_cast<size_t>(index)].frameRuns) {
            std::vector<uint32_t> sizes;
            std::vector<bool> keys;
            for (const Frame& f : test::FfmpegFrames(out, index)) {
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
        // (The second copy goes where the first one's movie ends; the time
        // its samples do not fill is closed.)
        for (size_t t = 0; t < movie.tracks.size(); ++t) {
            EXPECT_GE(joined.tracks[t].samples.size(), 2 * movie.tracks[t].samples.size());
            const std::vector<uint8_t> once = test::ModelBytes(movie, t);
            const std::vector<uint8_t> both = test::ModelBytes(joined, t);
            ASSERT_GE(both.size(), 2 * once.size());
            EXPECT_TRUE(std::equal(once.begin(), once.end(), both.begin()));
            EXPECT_TRUE(std::equal(once.begin(), once.end(),
                                   both.end() - static_cast<std::ptrdiff_t>(once.size())));
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

// Sync through GStreamer's reading of the edit lists: each later entry's
// sound plays against its picture, as qtdemux's edit segments place them,
// within one sound packet of where it played in its source, at every join
// (never adding up). A video packet is found by its bytes, sound by its
// eighth packet's bytes (past any priming) or, stored as frames, by a
// stretch of its bytes from 0.1 s on; the n-th time, for the n-th entry.
struct SyncCase {
    const char* name;
    test::Recipe recipe;
    size_t copies;
    double audioFrame;  // seconds
};

// The media time (seconds) of the n-th copy of a source's packet or
// stretch of frames in a track.
double MediaTimeOf(const Track& track, const Movie& movie, size_t index,
                   const std::vector<uint8_t>& stretch, int n) {
    if (track.frameRuns) {
        const std::vector<uint8_t> bytes = test::ModelBytes(movie, index);
        auto at = bytes.begin();
        for (int k = 0; k <= n && at != bytes.end(); ++k) {
            at = std::search(k == 0 ? bytes.begin() : at + 1, bytes.end(), stretch.begin(),
                             stretch.end());
        }
        if (at == bytes.end()) {
            return -1e9;
        }
        auto offset = static_cast<uint64_t>(at - bytes.begin());
        uint64_t dts = 0;
        for (const Sample& s : track.samples) {
            if (offset < s.size) {
                const uint64_t frames = offset * s.count / s.size;
                return static_cast<double>(dts + frames * (s.duration / s.count)) / track.timescale;
            }
            offset -= s.size;
            dts += s.duration;
        }
        return -1e9;
    }
    const std::vector<Frame> frames = test::ModelFrames(movie, index);
    const uint32_t crc = test::Adler(stretch.data(), stretch.size());
    for (const Frame& f : frames) {
        if (f.crc == crc && f.size == stretch.size() && n-- == 0) {
            return static_cast<double>(f.pts) / track.timescale;
        }
    }
    return -1e9;
}

// When media time `media` plays, as the segments say (a track without an
// edit list plays its media as it is).
double PlaysAt(const std::vector<test::EditSegment>& segments, double media) {
    double at = segments.empty() ? media : -1e9;
    for (const test::EditSegment& s : segments) {
        if (s.mediaStart >= 0 && s.mediaStart < 1e5 && s.mediaStart <= media + 1e-6 &&
            media < s.mediaStart + s.duration + 1e-6) {
            at = s.time + media - s.mediaStart;
        }
    }
    return at;
}

class MovJoinSync : public ::testing::TestWithParam<SyncCase> {};

TEST_P(MovJoinSync, EverySourceKeepsItsOffset) {
    const std::string src = test::Make(GetParam().recipe);
    const std::vector<std::string> sources(GetParam().copies, src);
    const std::string out = trelvan::test::ScratchDir() + "/sync.mov";
    JoinWithLayer(sources, out);
    const Movie movie = Read(src), joined = Read(out);
    ASSERT_EQ(movie.tracks.size(), 2u);
    ASSERT_EQ(joined.tracks.size(), 2u);
    const auto ownSegments = test::GstEditSegments(src);
    const auto segments = test::GstEditSegments(out);
    ASSERT_EQ(segments.size(), 2u);
    // What identifies each track's entry: its first video packet, its
    // eighth sound packet or a stretch of frames from 0.1 s on.
    std::vector<uint8_t> marks[2];
    for (size_t t = 0; t < 2; ++t) {
        const Track& track = movie.tracks[t];
        const std::vector<uint8_t> bytes = test::ModelBytes(movie, t);
        size_t from = 0, size = 0;
        if (track.frameRuns) {
            from =
                static_cast<size_t>(bytes.size() * 0.1 /
                                    (track.MediaDuration() / static_cast<double>(track.timescale)));
            size = 1024;
        } else {
            const size_t k = track.handler == atom::kSoun ? 7 : 0;
            for (size_t i = 0; i < k; ++i) {
                from += track.samples[i].size;
            }
            size = track.samples[k].size;
        }
        ASSERT_LE(from + size, bytes.size());
        marks[t].assign(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                        bytes.begin() + static_cast<std::ptrdiff_t>(from + size));
    }
    const auto lead = [&](const Movie& m, const std::vector<std::vector<test::EditSegment>>& segs,
                          int n) {
        const double video = PlaysAt(segs[0], MediaTimeOf(m.tracks[0], m, 0, marks[0], n));
        const double sound = PlaysAt(segs[1], MediaTimeOf(m.tracks[1], m, 1, marks[1], n));
        return sound - video;
    };
    const double own = lead(movie, ownSegments, 0);
    for (size_t k = 1; k < GetParam().copies; ++k) {
        EXPECT_NEAR(lead(joined, segments, static_cast<int>(k)), own, GetParam().audioFrame)
            << "join " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Generated, MovJoinSync,
    ::testing::Values(SyncCase{"H264Aac", test::kH264Aac, 3, 1024.0 / 44100},
                      SyncCase{"SoundLonger", test::kPhoneLongSound, 5, 1024.0 / 44100},
                      SyncCase{"SoundShorterPcm", test::kPhonePcm, 5, 1.0 / 8000},
                      SyncCase{"Fragmented", test::kFragmented, 2, 1024.0 / 44100},
                      SyncCase{"Mp4muxFragmented", test::kMp4muxFragmented, 2, 1024.0 / 44100}),
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

// The silent AAC packet that closes gaps decodes to zeros, without an
// error, in every channel layout (here mono, stereo and 5.1, framed as ADTS
// for ffmpeg's decoder); HE-AAC gets none.
TEST(MovTrackSilence, AacPacketsDecodeToZeros) {
    for (const uint8_t channels : {1, 2, 6}) {
        SCOPED_TRACE(static_cast<int>(channels));
        // AAC LC, 44.1 kHz, the channel layout; 1024-frame packets.
        const uint8_t config[2] = {static_cast<uint8_t>(2 << 3 | 4 >> 1),
                                   static_cast<uint8_t>((4 & 1) << 7 | channels << 3)};
        const std::vector<uint8_t> packet = AacSilentPacket(config);
        ASSERT_FALSE(packet.empty());
        std::vector<uint8_t> adts;
        for (int i = 0; i < 10; ++i) {
            const size_t length = packet.size() + 7;
            const uint8_t head[7] = {0xFF,
                                     0xF1,
                                     static_cast<uint8_t>(1 << 6 | 4 << 2 | channels >> 2),
                                     static_cast<uint8_t>((channels & 3) << 6 | length >> 11),
                                     static_cast<uint8_t>(length >> 3),
                                     static_cast<uint8_t>((length & 7) << 5 | 0x1F),
                                     0xFC};
            adts.insert(adts.end(), head, head + 7);
            adts.insert(adts.end(), packet.begin(), packet.end());
        }
        const std::string path = trelvan::test::ScratchDir() + "/silence.aac";
        trelvan::test::WriteBytes(path, adts);
        const auto r = trelvan::test::RunCommand(
            {"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "s16le", "-"});
        EXPECT_TRUE(r.err.empty()) << r.err;
        EXPECT_GE(r.out.size(), 9u * 1024 * 2 * channels);
        EXPECT_EQ(r.out.find_first_not_of('\0'), std::string::npos);
    }
    const uint8_t heAac[2] = {5 << 3 | 4 >> 1, (4 & 1) << 7 | 2 << 3};
    EXPECT_TRUE(AacSilentPacket(heAac).empty());
}

}  // namespace
}  // namespace trelvan::mov
