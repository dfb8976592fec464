// Damaged movies: every one gets a clear result code, without a crash, a
// hang or a large allocation. Each case changes one thing of a small valid
// movie built here.
#include <gtest/gtest.h>

#include <memory>

#include "CraftedMovie.h"
#include "MovieReader.h"

namespace trelvan::mov {
namespace {

using test::Damage;

std::vector<uint8_t> Build(const Damage& d) {
    return test::BuildMovie(d);
}

struct Case {
    const char* name;
    Damage damage;
    MovResult expected;
};

std::vector<Case> Cases() {
    std::vector<Case> c;
    c.push_back({"Sound", {}, kNoErr});
    Damage d;
    d.mvhd = false;
    c.push_back({"NoMovieHeader", d, kInvalidMovie});
    d = {};
    d.movieScale = 0;
    c.push_back({"MovieScaleZero", d, kInvalidMovie});
    d = {};
    d.mediaScale = 0;
    c.push_back({"MediaScaleZero", d, kInvalidMedia});
    d = {};
    d.cmov = true;
    c.push_back({"CompressedMovie", d, kFeatureUnsupported});
    d = {};
    d.drefFlags = 0;
    c.push_back({"DataElsewhere", d, kCouldNotResolveDataRef});
    d = {};
    d.stszCount = 0xFFFFFFF0;
    c.push_back({"SizeTableCountBeyondAtom", d, kInvalidSampleTable});
    d = {};
    d.stszUniform = 1;
    d.stszCount = 0xFFFFFFF0;
    d.stscPerChunk = 0xFFFFFFF0;
    c.push_back({"UniformSizeHugeCount", d, kNoErr});
    d = {};
    d.stcoCount = 0x40000000;
    c.push_back({"ChunkCountBeyondAtom", d, kInvalidSampleTable});
    d = {};
    d.chunkOffset = 0x7FFFFFF0;
    c.push_back({"ChunkBeyondEndOfFile", d, kEndOfDataReached});
    d = {};
    d.stscDesc = 0;
    c.push_back({"DescriptionIndexZero", d, kInvalidSampleTable});
    d = {};
    d.stscDesc = 7;
    c.push_back({"DescriptionIndexTooLarge", d, kInvalidSampleTable});
    d = {};
    d.sttsCount = 0xFFFFFFFF;
    c.push_back({"DurationCountBeyondAtom", d, kNoErr});
    d = {};
    d.fragment = true;
    d.trunCount = 0x20000000;
    c.push_back({"FragmentRunBeyondAtom", d, kInvalidSampleTable});
    return c;
}

class MovCorrupt : public ::testing::TestWithParam<Case> {};

TEST_P(MovCorrupt, GivesItsResult) {
    auto file = std::make_shared<MemFile>(Build(GetParam().damage));
    Movie movie;
    EXPECT_EQ(ReadMovie(file, "crafted.mov", movie), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Crafted, MovCorrupt, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Structural damage at the top level, and every cut of a sound movie: a
// clear code (or a sound prefix), never a crash.
TEST(MovCorruptFile, TopLevelDamage) {
    Movie movie;
    auto read = [&](std::vector<uint8_t> bytes) {
        return ReadMovie(std::make_shared<MemFile>(std::move(bytes)), "x.mov", movie);
    };
    EXPECT_EQ(read({}), kNoMovieFound);
    EXPECT_EQ(read({0, 0, 0, 5, 'f', 't', 'y', 'p'}), kBadPublicMovieAtom);
    EXPECT_EQ(read({0, 0, 0, 0, 'm', 'd', 'a', 't', 1, 2, 3}), kNoMovieFound);
    EXPECT_EQ(read({'R', 'I', 'F', 'F', 0, 0, 0, 4, 'A', 'V', 'I', ' '}), kNoMovieFound);
    const std::vector<uint8_t> whole = Build({});
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const MovResult rc = read({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)});
        EXPECT_NE(rc, kNoErr) << "cut at " << cut;
    }
    // Every single byte flipped: whatever the result, the reader returns.
    for (size_t at = 0; at < whole.size(); ++at) {
        std::vector<uint8_t> bytes = whole;
        bytes[at] ^= 0xFF;
        read(bytes);
    }
}

}  // namespace
}  // namespace trelvan::mov
