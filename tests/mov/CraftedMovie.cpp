#include "CraftedMovie.h"

#include <algorithm>

#include "AtomWriter.h"
#include "Atoms.h"

namespace trelvan::mov::test {

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
            w.U32(d.stsdCount);
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

}  // namespace trelvan::mov::test
