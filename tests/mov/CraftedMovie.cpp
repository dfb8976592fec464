#include "CraftedMovie.h"

#include <algorithm>

#include "AtomWriter.h"
#include "Atoms.h"

namespace trelvan::mov::test {

namespace {

// A version 2 sound description: 16-bit mono PCM at 96 kHz.
void PcmDescription(AtomWriter& w) {
    w.U32(72);
    w.U32(atom::Type("lpcm"));
    w.Zeros(6);
    w.U16(1);
    w.U16(2);  // version
    w.Zeros(6);
    w.U16(3);
    w.U16(16);
    w.U16(0xFFFE);
    w.U16(0);
    w.U32(0x10000);
    w.U32(72);
    w.U64(0x40F7700000000000ull);  // 96000.0
    w.U32(1);
    w.U32(0x7F000000u);
    w.U32(16);
    w.U32(0xC);  // signed integers, packed
    w.U32(2);    // bytes per packet
    w.U32(1);    // frames per packet
}

void Track(AtomWriter& w, const Damage& d, uint32_t id, uint32_t mdatAt) {
    ScopedAtom trak(w, atom::kTrak);
    {
        ScopedAtom a(w, atom::kTkhd, 0, 3);
        w.Zeros(8);
        w.U32(id);
        w.Zeros(4);
        w.U32(30);
        w.Zeros(8 + 8 + 36 + 8);
    }
    if (d.elstCount != 0) {
        // One edit written, however many are claimed.
        ScopedAtom edts(w, atom::kEdts);
        ScopedAtom a(w, atom::kElst, 0, 0);
        w.U32(d.elstCount);
        w.U32(30);
        w.U32(0);
        w.U32(0x10000);
    }
    ScopedAtom mdia(w, atom::kMdia);
    {
        ScopedAtom a(w, atom::kMdhd, 0, 0);
        w.Zeros(8);
        w.U32(d.pcm96k ? 96000 : d.mediaScale);
        w.U32(30);
        w.Zeros(4);
    }
    {
        ScopedAtom a(w, atom::kHdlr, 0, 0);
        w.U32(0);
        w.U32(d.pcm96k ? atom::Type("soun") : atom::kVide);
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
        w.U32(d.stsdCount);
        if (d.pcm96k) {
            PcmDescription(w);
        } else {
            w.U32(86);
            w.U32(atom::Type("avc1"));
            w.Zeros(6);
            w.U16(1);
            w.Zeros(70);
        }
    }
    {
        ScopedAtom a(w, atom::kStts, 0, 0);
        w.U32(d.sttsCount);
        w.U32(d.pcm96k ? d.stszCount : 3);
        w.U32(d.pcm96k ? 1 : 10);
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

}  // namespace

std::vector<uint8_t> BuildMovie(const Damage& d) {
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
        w.Zeros(d.mediaBytes);
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
            w.U32(d.tracks + 1);
        }
        if (d.cmov) {
            ScopedAtom a(w, atom::kCmov);
            w.Zeros(8);
        }
        for (uint32_t id = 1; id <= d.tracks; ++id) {
            Track(w, d, id, mdatAt);
        }
    }
    if (d.fragment) {
        // Fragments whose runs claim more samples than their atoms (or the
        // file) hold.
        ScopedAtom moof(w, atom::kMoof);
        for (uint32_t id = 1; id <= d.tracks; ++id) {
            ScopedAtom traf(w, atom::Type("traf"));
            {
                ScopedAtom a(w, atom::Type("tfhd"), 0, d.fragmentSize != 0 ? 0x18 : 0);
                w.U32(id);
                if (d.fragmentSize != 0) {
                    w.U32(1);  // duration
                    w.U32(d.fragmentSize);
                }
            }
            ScopedAtom trun(w, atom::Type("trun"), 0, d.fragmentSize != 0 ? 0 : 0x200);
            w.U32(d.trunCount);
            if (d.fragmentSize == 0) {
                w.U32(10);
                w.U32(10);
            }
        }
    }
    return w.Bytes();
}

}  // namespace trelvan::mov::test
