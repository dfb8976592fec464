// Damaged movies: every one gets a clear result code, without a crash, a
// hang or a large allocation. Each case changes one thing of a small valid
// movie built here.
#include <gtest/gtest.h>

#include <memory>

#include "AtomWriter.h"
#include "Atoms.h"
#include "MovieReader.h"

namespace trelvan::mov {
namespace {

// What a case changes.
struct Damage {
    uint32_t movieScale = 600;
    uint32_t mediaScale = 600;
    bool mvhd = true;
    bool cmov = false;
    uint32_t drefFlags = 1;
    uint32_t stszCount = 3;
    uint32_t stszUniform = 0;  // 0: a size table of stszCount entries
    uint32_t stcoCount = 1;
    uint32_t chunkOffset = 0;  // 0: the media data's start
    uint32_t stscDesc = 1;
    uint32_t stscPerChunk = 3;
    uint32_t sttsCount = 1;
    bool fragment = false;
    uint32_t trunCount = 2;
};

std::vector<uint8_t> Build(const Damage& d) {
    AtomWriter w;
    {
        ScopedAtom a(w, atom::kFtyp);
        w.U32(atom::kQt);
        w.U32(0);
        w.U32(atom::kQt);
    }
    const auto mdatAt = static_cast<uint32_t>(w.Bytes().size() + 8);
    {
        ScopedAtom a(w, atom::kMdat);
        w.Zeros(30);
    }
    {
        ScopedAtom moov(w, atom::kMoov);
        if (d.mvhd) {
            ScopedAtom a(w, atom::kMvhd, 0, 0);
            w.Zeros(8);
            w.U32(d.movieScale);
            w.U32(30);
            w.U32(0x10000);
            w.U16(0x100);
            w.Zeros(10 + 36 + 24);
            w.U32(2);
        }
        if (d.cmov) {
            ScopedAtom a(w, atom::kCmov);
            w.Zeros(8);
        }
        ScopedAtom trak(w, atom::kTrak);
        {
            ScopedAtom a(w, atom::kTkhd, 0, 3);
            w.Zeros(8);
            w.U32(1);
            w.Zeros(4);
            w.U32(30);
            w.Zeros(8 + 8 + 36 + 8);
        }
        ScopedAtom mdia(w, atom::kMdia);
        {
            ScopedAtom a(w, atom::kMdhd, 0, 0);
            w.Zeros(8);
            w.U32(d.mediaScale);
            w.U32(30);
            w.Zeros(4);
        }
        {
            ScopedAtom a(w, atom::kHdlr, 0, 0);
            w.U32(0);
            w.U32(atom::kVide);
            w.Zeros(13);
        }
        ScopedAtom minf(w, atom::kMinf);
        {
            ScopedAtom dinf(w, atom::kDinf);
            ScopedAtom dref(w, atom::kDref, 0, 0);
            w.U32(1);
            ScopedAtom url(w, atom::kUrl, 0, d.drefFlags);
            if ((d.drefFlags & 1) == 0) {
                const char name[] = "file:///elsewhere.mov";
                w.Put({reinterpret_cast<const uint8_t*>(name), sizeof name});
            }
        }
        ScopedAtom stbl(w, atom::kStbl);
        {
            ScopedAtom a(w, atom::kStsd, 0, 0);
            w.U32(1);
            w.U32(86);
            w.U32(atom::Type("avc1"));
            w.Zeros(6);
            w.U16(1);
            w.Zeros(70);
        }
        {
            ScopedAtom a(w, atom::kStts, 0, 0);
            w.U32(d.sttsCount);
            w.U32(3);
            w.U32(10);
        }
        {
            ScopedAtom a(w, atom::kStsc, 0, 0);
            w.U32(1);
            w.U32(1);
            w.U32(d.stscPerChunk);
            w.U32(d.stscDesc);
        }
        {
            ScopedAtom a(w, atom::kStsz, 0, 0);
            w.U32(d.stszUniform);
            w.U32(d.stszCount);
            if (d.stszUniform == 0) {
                for (uint32_t i = 0; i < std::min<uint32_t>(d.stszCount, 3); ++i) {
                    w.U32(10);
                }
            }
        }
        {
            ScopedAtom a(w, atom::kStco, 0, 0);
            w.U32(d.stcoCount);
            w.U32(d.chunkOffset != 0 ? d.chunkOffset : mdatAt);
        }
    }
    if (d.fragment) {
        // A fragment whose run claims more samples than its atom holds.
        ScopedAtom moof(w, atom::kMoof);
        ScopedAtom traf(w, atom::Type("traf"));
        {
            ScopedAtom a(w, atom::Type("tfhd"), 0, 0);
            w.U32(1);
        }
        ScopedAtom trun(w, atom::Type("trun"), 0, 0x200);
        w.U32(d.trunCount);
        w.U32(10);
        w.U32(10);
    }
    return w.Bytes();
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
