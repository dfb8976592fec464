// The movie reader against ffmpeg's reading of the same files: every
// sample's bytes, size, decode and composition time, duration and sync flag,
// track by track, for generated movies and for every third-party sample.
#include <gtest/gtest.h>

#include "Atoms.h"
#include "Fixtures.h"
#include "MovFixtures.h"
#include "MovProbe.h"
#include "MovieReader.h"

namespace trelvan::mov {
namespace {

using test::Frame;

// The model's tracks against ffmpeg's streams (same order). Frame-run sound
// is packetised differently by each reader: its bytes are compared whole.
// ffmpeg moves a stream's times by a constant (decode times before 0 for
// composition delays, negative offsets): times agree up to one shift each.
void ExpectSameAsFfmpeg(const std::string& path, const Movie& movie) {
    for (size_t i = 0; i < movie.tracks.size(); ++i) {
        SCOPED_TRACE("track " + std::to_string(i));
        const Track& t = movie.tracks[i];
        if (t.frameRuns) {
            EXPECT_EQ(test::ModelBytes(movie, i), test::FfmpegBytes(path, static_cast<int>(i)));
            continue;
        }
        const std::vector<Frame> want = test::FfmpegFrames(path, static_cast<int>(i));
        const std::vector<Frame> got = test::ModelFrames(movie, i);
        if (want.empty() && t.handler == atom::kText) {
            continue;  // a chapter track: ffmpeg turns it into chapters
        }
        ASSERT_EQ(got.size(), want.size());
        for (size_t k = 0; k < got.size(); ++k) {
            // Durations are left out: ffmpeg derives some from the next
            // sample. Sizes, bytes, shifted times and flags must agree.
            Frame w = want[k], g = got[k];
            w.duration = g.duration = 0;
            w.dts += got[0].dts - want[0].dts;
            w.pts += got[0].pts - want[0].pts;
            ASSERT_EQ(g, w) << "sample " << k << ": size " << g.size << "/" << w.size << " dts "
                            << g.dts << "/" << w.dts << " pts " << g.pts << "/" << w.pts
                            << " key " << g.key << "/" << w.key;
        }
    }
}

struct GeneratedCase {
    test::Recipe recipe;
    size_t tracks;
    bool fragmented;
};

class MovReaderGenerated : public ::testing::TestWithParam<GeneratedCase> {};

TEST_P(MovReaderGenerated, SamplesMatchFfmpeg) {
    const std::string path = test::Make(GetParam().recipe);
    Movie movie;
    ASSERT_EQ(ReadMovieFile(path, movie, DiskFileOpener()), kNoErr);
    EXPECT_EQ(movie.tracks.size(), GetParam().tracks);
    EXPECT_EQ(movie.fragmented, GetParam().fragmented);
    for (const Track& t : movie.tracks) {
        EXPECT_FALSE(t.samples.empty());
    }
    ExpectSameAsFfmpeg(path, movie);
}

INSTANTIATE_TEST_SUITE_P(
    Movies, MovReaderGenerated,
    ::testing::Values(GeneratedCase{test::kH264Aac, 2, false},
                      GeneratedCase{test::kMpeg4Pcm, 2, false},
                      GeneratedCase{test::kMjpegRaw, 2, false},
                      GeneratedCase{test::kAudioOnly, 1, false},
                      GeneratedCase{test::kVideoOnly, 1, false},
                      GeneratedCase{test::kOtherScales, 2, false},
                      GeneratedCase{test::kFragmented, 2, true}),
    [](const auto& info) {
        std::string n = info.param.recipe.name;
        for (char& c : n) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return n;
    });

class MovReaderSamples : public ::testing::TestWithParam<std::string> {};

// Every third-party movie reads, and agrees with ffmpeg; the one cut short
// in its media data keeps only what lies in the file.
TEST_P(MovReaderSamples, ReadsLikeFfmpeg) {
    const std::string path = trelvan::test::SamplePath("mov/" + GetParam());
    Movie movie;
    std::vector<std::string> warnings;
    const MovResult rc = ReadMovieFile(path, movie, DiskFileOpener(),
                                       [&](const std::string& w) { warnings.push_back(w); });
    if (GetParam() == "mutagen_truncated-64bit.mp4") {
        EXPECT_TRUE(rc == kEndOfDataReached || (rc == kNoErr && !warnings.empty())) << rc;
        return;
    }
    ASSERT_EQ(rc, kNoErr);
    // One real file's chunk table describes fewer samples than its size
    // table; ffmpeg keeps the same prefix.
    if (GetParam() == "jcodec_37.mp4") {
        EXPECT_EQ(warnings.size(), 1u);
    } else {
        EXPECT_TRUE(warnings.empty()) << warnings.front();
    }
    ExpectSameAsFfmpeg(path, movie);
}

std::vector<std::string> MovSamples() {
    std::vector<std::string> names;
    for (const std::string& p : trelvan::test::SamplesIn("mov")) {
        names.push_back(p.substr(p.find_last_of('/') + 1));
    }
    return names;
}

INSTANTIATE_TEST_SUITE_P(Shared, MovReaderSamples, ::testing::ValuesIn(MovSamples()),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return n;
                         });

}  // namespace
}  // namespace trelvan::mov
