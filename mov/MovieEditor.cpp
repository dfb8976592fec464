#include "MovieEditor.h"

#include <algorithm>
#include <map>

#include "Atoms.h"
#include "EditList.h"
#include "SampleDescription.h"
#include "SoundLayout.h"

namespace trelvan::mov {

bool SameLanguage(uint16_t a, uint16_t b) {
    // "und" (undetermined) and 0x7FFF (unspecified) say the same.
    constexpr uint16_t kUnd = ('u' - 0x60) << 10 | ('n' - 0x60) << 5 | ('d' - 0x60);
    const auto open = [](uint16_t l) { return l == kUnd || l == 0x7FFF; };
    return a == b || (open(a) && open(b));
}

bool PastesInto(const Track& a, const Track& b) {
    // The size table only shapes sound whose tables count frames; video of
    // constant-size frames (a still scene, intra-only codecs) is not
    // another kind of track.
    const bool sameLayout = a.frameRuns == b.frameRuns &&
                            (!a.frameRuns || a.frameTableSize == b.frameTableSize);
    return a.handler == b.handler && a.timescale == b.timescale &&
           SameLanguage(a.language, b.language) && a.width == b.width && a.height == b.height &&
           a.matrix == b.matrix && a.alternateGroup == b.alternateGroup && sameLayout;
}

namespace {

// The index of `source` in `movie`, added when it is not there yet.
std::optional<uint16_t> SourceIndex(Movie& movie, const Source& source) {
    for (size_t i = 0; i < movie.sources.size(); ++i) {
        if (movie.sources[i].file == source.file) {
            return static_cast<uint16_t>(i);
        }
    }
    if (movie.sources.size() >= UINT16_MAX) {
        return std::nullopt;
    }
    movie.sources.push_back(source);
    return static_cast<uint16_t>(movie.sources.size() - 1);
}

}  // namespace

void MovieEditor::SetSelection(uint64_t start, uint64_t duration) {
    m_selStart = start;
    m_selDuration = duration;
    m_current = start;
}

void MovieEditor::SetCurrentTime(uint64_t time) {
    m_current = time;
    m_selStart = time;
    m_selDuration = 0;
}

void MovieEditor::Remember() {
    UndoState u;
    u.tracks = m_movie.tracks.size();
    u.sources = m_movie.sources.size();
    u.nextTrackId = m_movie.nextTrackId;
    for (const Track& t : m_movie.tracks) {
        u.states.push_back({t.samples.size(), t.descriptions.size(), t.hasEdits, t.edits});
    }
    u.selStart = m_selStart;
    u.selDuration = m_selDuration;
    u.current = m_current;
    m_undo = std::move(u);
}

MovResult MovieEditor::Undo() {
    if (!m_undo) {
        return kNoErr;  // nothing to take back
    }
    const UndoState& u = *m_undo;
    m_movie.tracks.resize(u.tracks);
    for (size_t i = 0; i < u.tracks; ++i) {
        Track& t = m_movie.tracks[i];
        const TrackState& s = u.states[i];
        t.samples.resize(s.samples);
        t.descriptions.resize(s.descriptions);
        t.hasEdits = s.hasEdits;
        t.edits = s.edits;
    }
    m_movie.sources.resize(u.sources);
    m_movie.nextTrackId = u.nextTrackId;
    m_selStart = u.selStart;
    m_selDuration = u.selDuration;
    m_current = u.current;
    m_undo.reset();
    return kNoErr;
}

MovResult MovieEditor::CopySelection(Movie& scrap) const {
    scrap = Movie{};
    scrap.brand = m_movie.brand;
    scrap.minorVersion = m_movie.minorVersion;
    scrap.compatibleBrands = m_movie.compatibleBrands;
    scrap.timescale = m_movie.timescale;
    scrap.rate = m_movie.rate;
    scrap.volume = m_movie.volume;
    scrap.matrix = m_movie.matrix;
    scrap.extras = m_movie.extras;
    scrap.sources = m_movie.sources;
    scrap.nextTrackId = m_movie.nextTrackId;
    if (m_selDuration == 0) {
        return kNoErr;  // an empty selection copies an empty movie
    }
    const bool whole = m_selStart == 0 && m_selDuration >= m_movie.Duration();
    for (const Track& t : m_movie.tracks) {
        Track copy = t;
        if (!whole) {
            copy.edits = TakeEdits(ExplicitEdits(t, m_movie.timescale), m_selStart, m_selDuration,
                                   m_movie.timescale, t.timescale);
            copy.hasEdits = true;
            if (copy.edits.empty()) {
                continue;
            }
        }
        scrap.tracks.push_back(std::move(copy));
    }
    return kNoErr;
}

void MovieEditor::ClearRange(uint64_t start, uint64_t duration) {
    for (Track& t : m_movie.tracks) {
        std::vector<Edit> edits = ExplicitEdits(t, m_movie.timescale);
        if (start >= EditsDuration(edits)) {
            continue;
        }
        RemoveEdits(edits, start, duration, m_movie.timescale, t.timescale);
        t.edits = std::move(edits);
        t.hasEdits = true;
    }
}

MovResult MovieEditor::ClearSelection() {
    if (m_selDuration == 0) {
        return kNoErr;
    }
    Remember();
    ClearRange(m_selStart, m_selDuration);
    SetCurrentTime(m_selStart);
    return kNoErr;
}

MovResult MovieEditor::CutSelection(Movie& scrap) {
    if (const MovResult rc = CopySelection(scrap); rc != kNoErr) {
        return rc;
    }
    return ClearSelection();
}

MovResult MovieEditor::Paste(const Movie& scrap) {
    if (scrap.timescale == 0) {
        return kParamErr;
    }
    Remember();
    uint64_t at = m_current;
    if (m_selDuration > 0) {
        ClearRange(m_selStart, m_selDuration);
        at = m_selStart;
    }
    const uint64_t pasted = Rescale(scrap.Duration(), scrap.timescale, m_movie.timescale);
    const size_t ownTracks = m_movie.tracks.size();
    std::vector<bool> taken(ownTracks, false);
    std::map<uint32_t, uint32_t> newIds;  // scrap track id → id here
    std::vector<size_t> added;

    for (const Track& b : scrap.tracks) {
        if (b.samples.empty()) {
            continue;  // empty tracks are not carried over
        }
        size_t ai = ownTracks;
        for (size_t i = 0; i < ownTracks; ++i) {
            if (!taken[i] && PastesInto(m_movie.tracks[i], b)) {
                ai = i;
                break;
            }
        }
        if (ai == ownTracks) {
            // A new track with the scrap track's settings and media kind.
            if (m_movie.nextTrackId == UINT32_MAX) {
                Undo();
                return kInvalidTrack;
            }
            Track fresh = b;
            fresh.id = m_movie.nextTrackId++;
            fresh.samples.clear();
            fresh.descriptions.clear();
            fresh.edits.clear();
            fresh.hasEdits = true;
            m_movie.tracks.push_back(std::move(fresh));
            ai = m_movie.tracks.size() - 1;
            added.push_back(ai);
            taken.push_back(true);
        } else {
            taken[ai] = true;
        }
        newIds[b.id] = m_movie.tracks[ai].id;
        Track& a = m_movie.tracks[ai];

        std::vector<Edit> edits = ExplicitEdits(a, m_movie.timescale);
        // A last sample without duration would share its time with the
        // first pasted one.
        if (!a.samples.empty() && a.samples.back().duration == 0) {
            a.samples.back().duration = a.samples.size() > 1 ? a.samples[a.samples.size() - 2].duration : 1;
        }
        // Sound whose tables count frames, ending in part of a packet (a
        // source's last chunk): the packet counts whole, so that the media
        // appended after it starts at a packet boundary; the track's edits
        // still end where its frames did.
        if (a.frameRuns && !a.samples.empty() && a.samples.back().desc >= 1 &&
            a.samples.back().desc <= a.descriptions.size()) {
            Sample& last = a.samples.back();
            const uint32_t perPacket = FramePackingOf(a.descriptions[last.desc - 1]).framesPerPacket;
            if (perPacket > 1 && last.count % perPacket != 0 && last.count > 0) {
                const uint32_t missing = perPacket - last.count % perPacket;
                last.duration += missing * (last.duration / last.count);
                last.count += missing;
            }
        }
        const auto media = static_cast<int64_t>(a.MediaDuration());
        // Its edits must not reach into the media about to be appended: they
        // end where its last frame shown ends (B-frame video shows frames
        // after its decode times end).
        ClampEditsToMedia(edits, a.PresentationEnd(), m_movie.timescale, a.timescale);
        // The scrap track's edits, in this movie's time scale.
        std::vector<Edit> inserted = ExplicitEdits(b, scrap.timescale);
        for (Edit& e : inserted) {
            e.duration = Rescale(e.duration, scrap.timescale, m_movie.timescale);
        }
        const JoinPlan join =
            a.samples.empty() ? JoinPlan{}
                              : PlanJoin(edits, at, static_cast<uint64_t>(media), inserted, b,
                                         b.handler == atom::kSoun, m_movie.timescale, a.timescale);

        // Descriptions: an entry that decodes alike (bit rates and labels
        // aside) is shared, another one added.
        std::vector<uint16_t> descMap(b.descriptions.size() + 1, 0);
        for (size_t d = 0; d < b.descriptions.size(); ++d) {
            const auto same =
                std::find_if(a.descriptions.begin(), a.descriptions.end(), [&](const auto& x) {
                    return SameForDecoders(a.handler, x, b.descriptions[d]);
                });
            if (same != a.descriptions.end()) {
                descMap[d + 1] = static_cast<uint16_t>(same - a.descriptions.begin() + 1);
            } else if (a.descriptions.size() < UINT16_MAX) {
                a.descriptions.push_back(b.descriptions[d]);
                descMap[d + 1] = static_cast<uint16_t>(a.descriptions.size());
            } else {
                Undo();
                return kInvalidSampleDescIndex;
            }
        }
        // Samples: appended to the media, their sources and descriptions
        // renumbered.
        std::vector<uint16_t> sourceMap(scrap.sources.size());
        for (size_t s = 0; s < scrap.sources.size(); ++s) {
            const std::optional<uint16_t> index = SourceIndex(m_movie, scrap.sources[s]);
            if (!index) {
                Undo();
                return kParamErr;
            }
            sourceMap[s] = *index;
        }
        a.samples.reserve(a.samples.size() + b.samples.size() - join.skip);
        for (size_t k = join.skip; k < b.samples.size(); ++k) {
            const Sample& s = b.samples[k];
            if (s.desc == 0 || s.desc > b.descriptions.size() || s.source >= sourceMap.size()) {
                Undo();
                return kInvalidSampleTable;
            }
            Sample copy = s;
            copy.desc = descMap[s.desc];
            copy.source = sourceMap[s.source];
            a.samples.push_back(copy);
        }
        // Edits: the scrap track's, pointing into the appended media. Media
        // that continues the track's last edit extends it (one edit where
        // the entries lie end to end), its movie time kept whole so that
        // the track keeps pace with the movie.
        for (Edit& e : inserted) {
            if (e.mediaTime >= 0) {
                e.mediaTime += media - static_cast<int64_t>(join.skipped);
            }
        }
        if (join.merge) {
            edits.back().duration += at - EditsDuration(edits) + inserted.front().duration;
            edits.insert(edits.end(), inserted.begin() + 1, inserted.end());
            TrimEdits(edits);
        } else {
            InsertEdits(edits, at, inserted, m_movie.timescale, a.timescale);
        }
        a.edits = std::move(edits);
        a.hasEdits = true;
    }
    // Tracks that got nothing receive empty time where the paste went in.
    for (size_t i = 0; i < ownTracks; ++i) {
        Track& t = m_movie.tracks[i];
        std::vector<Edit> edits = ExplicitEdits(t, m_movie.timescale);
        if (taken[i] || at >= EditsDuration(edits)) {
            continue;
        }
        InsertEdits(edits, at, {Edit{pasted, -1, 0x10000}}, m_movie.timescale, t.timescale);
        t.edits = std::move(edits);
        t.hasEdits = true;
    }
    // References inside new tracks follow the renumbering.
    for (size_t i : added) {
        for (TrackReference& r : m_movie.tracks[i].references) {
            for (uint32_t& id : r.ids) {
                const auto n = newIds.find(id);
                id = n != newIds.end() ? n->second : 0;
            }
            r.ids.erase(std::remove(r.ids.begin(), r.ids.end(), 0u), r.ids.end());
        }
        auto& refs = m_movie.tracks[i].references;
        refs.erase(std::remove_if(refs.begin(), refs.end(),
                                  [](const TrackReference& r) { return r.ids.empty(); }),
                   refs.end());
    }
    m_selStart = at;
    m_selDuration = pasted;
    m_current = at;
    return kNoErr;
}

}  // namespace trelvan::mov
