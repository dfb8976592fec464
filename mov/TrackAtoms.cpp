#include "TrackAtoms.h"

#include <algorithm>

#include "AtomIterator.h"
#include "Atoms.h"
#include "ByteCursor.h"

namespace trelvan::mov {

MovResult TrackAtoms::Walk(std::span<const uint8_t> payload, const Entry* table, size_t n,
                           Track& track, std::vector<RawAtom>* unknown) {
    AtomIterator it(payload);
    AtomView child;
    while (it.Next(child)) {
        const Entry* e = std::find_if(table, table + n,
                                      [&](const Entry& x) { return x.type == child.type; });
        if (e != table + n) {
            if (const MovResult rc = (this->*e->handler)(child.whole, child.payload, track);
                rc != kNoErr) {
                return rc;
            }
        } else if (unknown != nullptr) {
            unknown->push_back({child.type, {child.whole.begin(), child.whole.end()}});
        }
    }
    return it.Broken() ? kBadPublicMovieAtom : kNoErr;
}

MovResult TrackAtoms::Read(std::span<const uint8_t> trakPayload, Track& track) {
    static const Entry kTrak[] = {
        {atom::kTkhd, &TrackAtoms::Tkhd},
        {atom::kEdts, &TrackAtoms::Edts},
        {atom::kTref, &TrackAtoms::Tref},
        {atom::kMdia, &TrackAtoms::Mdia},
    };
    if (const MovResult rc = Walk(trakPayload, kTrak, std::size(kTrak), track, &track.extras);
        rc != kNoErr) {
        return rc;
    }
    if (!m_hasTkhd || !m_hasMdhd || track.id == 0) {
        return kInvalidTrack;
    }
    if (track.timescale == 0 || track.mediaHandler.empty()) {
        return kInvalidMedia;
    }
    if (!m_hasStbl) {
        return kInvalidSampleTable;
    }
    if (m_selfRefs.empty()) {
        m_selfRefs.push_back(true);  // no data references: nothing lies elsewhere
    }
    return m_tables.Build(track, m_selfRefs, m_fileSize, m_budget, m_warn);
}

MovResult TrackAtoms::Tkhd(const std::span<const uint8_t>&, const std::span<const uint8_t>& p,
                           Track& t) {
    ByteCursor c(p);
    const bool wide = c.U8() == 1;
    t.flags = c.U24();
    t.created = c.Sized(wide);
    t.modified = c.Sized(wide);
    t.id = c.U32();
    c.Skip(4);
    t.duration = c.Sized(wide);
    c.Skip(8);
    t.layer = static_cast<int16_t>(c.U16());
    t.alternateGroup = static_cast<int16_t>(c.U16());
    t.volume = c.U16();
    c.Skip(2);
    const std::span<const uint8_t> m = c.Take(36);
    t.width = c.U32();
    t.height = c.U32();
    if (!c.Ok()) {
        return kInvalidTrack;
    }
    std::copy(m.begin(), m.end(), t.matrix.begin());
    m_hasTkhd = true;
    return kNoErr;
}

MovResult TrackAtoms::Edts(const std::span<const uint8_t>&, const std::span<const uint8_t>& p,
                           Track& t) {
    AtomIterator it(p);
    AtomView child;
    while (it.Next(child)) {
        if (child.type != atom::kElst || t.hasEdits) {
            continue;
        }
        ByteCursor c(child.payload);
        const bool wide = c.U8() == 1;
        c.Skip(3);
        const uint32_t count = c.U32();
        if (!c.Ok() || !c.Holds(count, wide ? 20 : 12)) {
            return kInvalidTrack;
        }
        t.edits.resize(count);
        for (Edit& e : t.edits) {
            e.duration = c.Sized(wide);
            e.mediaTime = wide ? static_cast<int64_t>(c.U64())
                               : static_cast<int64_t>(static_cast<int32_t>(c.U32()));
            e.rate = c.S32();
        }
        t.hasEdits = true;
    }
    return kNoErr;
}

MovResult TrackAtoms::Tref(const std::span<const uint8_t>&, const std::span<const uint8_t>& p,
                           Track& t) {
    AtomIterator it(p);
    AtomView child;
    while (it.Next(child)) {
        TrackReference ref;
        ref.type = child.type;
        ByteCursor c(child.payload);
        while (c.Remaining() >= 4) {
            ref.ids.push_back(c.U32());
        }
        t.references.push_back(std::move(ref));
    }
    return kNoErr;
}

MovResult TrackAtoms::Mdia(const std::span<const uint8_t>&, const std::span<const uint8_t>& p,
                           Track& t) {
    static const Entry kMdia[] = {
        {atom::kMdhd, &TrackAtoms::Mdhd},
        {atom::kHdlr, &TrackAtoms::MediaHdlr},
        {atom::kMinf, &TrackAtoms::Minf},
    };
    return Walk(p, kMdia, std::size(kMdia), t, nullptr);
}

MovResult TrackAtoms::Mdhd(const std::span<const uint8_t>&, const std::span<const uint8_t>& p,
                           Track& t) {
    ByteCursor c(p);
    const bool wide = c.U8() == 1;
    c.Skip(3);
    t.mediaCreated = c.Sized(wide);
    t.mediaModified = c.Sized(wide);
    t.timescale = c.U32();
    c.Sized(wide);  // the duration follows from the samples
    t.language = c.U16();
    t.quality = c.U16();
    if (!c.Ok()) {
        return kInvalidMedia;
    }
    m_hasMdhd = true;
    return kNoErr;
}

MovResult TrackAtoms::MediaHdlr(const std::span<const uint8_t>& whole,
                                const std::span<const uint8_t>& p, Track& t) {
    ByteCursor c(p);
    c.Skip(8);
    t.handler = c.U32();
    if (!c.Ok()) {
        return kInvalidMedia;
    }
    t.mediaHandler.assign(whole.begin(), whole.end());
    return kNoErr;
}

MovResult TrackAtoms::Minf(const std::span<const uint8_t>&, const std::span<const uint8_t>& p,
                           Track& t) {
    static const Entry kMinf[] = {
        {atom::kVmhd, &TrackAtoms::MediaHeader}, {atom::kSmhd, &TrackAtoms::MediaHeader},
        {atom::kGmhd, &TrackAtoms::MediaHeader}, {atom::kNmhd, &TrackAtoms::MediaHeader},
        {atom::kHmhd, &TrackAtoms::MediaHeader}, {atom::kSthd, &TrackAtoms::MediaHeader},
        {atom::kHdlr, &TrackAtoms::DataHdlr},    {atom::kDinf, &TrackAtoms::Dinf},
        {atom::kStbl, &TrackAtoms::Stbl},
    };
    return Walk(p, kMinf, std::size(kMinf), t, nullptr);
}

MovResult TrackAtoms::MediaHeader(const std::span<const uint8_t>& whole,
                                  const std::span<const uint8_t>&, Track& t) {
    if (t.mediaHeader.empty()) {
        t.mediaHeader.assign(whole.begin(), whole.end());
    }
    return kNoErr;
}

MovResult TrackAtoms::DataHdlr(const std::span<const uint8_t>& whole,
                               const std::span<const uint8_t>&, Track& t) {
    t.dataHandler.assign(whole.begin(), whole.end());
    return kNoErr;
}

// The data references: which entries are the movie's own file (flag 1).
MovResult TrackAtoms::Dinf(const std::span<const uint8_t>&, const std::span<const uint8_t>& p,
                           Track&) {
    AtomIterator it(p);
    AtomView child;
    while (it.Next(child)) {
        if (child.type != atom::kDref) {
            continue;
        }
        ByteCursor c(child.payload);
        c.Skip(4);
        const uint32_t count = c.U32();
        if (!c.Ok() || !c.Holds(count, 12)) {
            return kBadPublicMovieAtom;
        }
        const std::span<const uint8_t> entries = c.Take(c.Remaining());
        AtomIterator refs(entries);
        AtomView ref;
        m_selfRefs.clear();
        while (m_selfRefs.size() < count && refs.Next(ref)) {
            m_selfRefs.push_back(ref.payload.size() >= 4 && (ref.payload[3] & 1) != 0);
        }
    }
    return kNoErr;
}

MovResult TrackAtoms::Stbl(const std::span<const uint8_t>&, const std::span<const uint8_t>& p,
                           Track&) {
    m_tables.Collect(p);
    m_hasStbl = true;
    return kNoErr;
}

}  // namespace trelvan::mov
