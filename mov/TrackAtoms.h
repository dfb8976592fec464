#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "MovResult.h"
#include "MovieModel.h"
#include "SampleTableAtoms.h"

// The track family: 'trak' and what lies under it down to the sample
// tables ('tkhd', 'edts/elst', 'tref', 'mdia', 'mdhd', 'hdlr', 'minf', the
// media headers, 'dinf/dref', 'stbl'), each child type handled by one entry
// of a table.
namespace trelvan::mov {

class TrackAtoms {
public:
    using Warn = SampleTableAtoms::Warn;

    // The track's sample entries come out of `budget` (the file's, shared by
    // its tracks).
    TrackAtoms(uint64_t fileSize, SampleBudget& budget, Warn warn)
        : m_fileSize(fileSize), m_budget(budget), m_warn(std::move(warn)) {}

    // Reads one 'trak' payload into `track` (samples from its tables, source 0).
    MovResult Read(std::span<const uint8_t> trakPayload, Track& track);

private:
    using Handler = MovResult (TrackAtoms::*)(const std::span<const uint8_t>& whole,
                                              const std::span<const uint8_t>& payload,
                                              Track& track);
    struct Entry {
        uint32_t type;
        Handler handler;
    };
    // Children of one container through its table; unknown children go to
    // `unknown` when given, else are skipped.
    MovResult Walk(std::span<const uint8_t> payload, const Entry* table, size_t n, Track& track,
                   std::vector<RawAtom>* unknown);

    MovResult Tkhd(const std::span<const uint8_t>&, const std::span<const uint8_t>&, Track&);
    MovResult Edts(const std::span<const uint8_t>&, const std::span<const uint8_t>&, Track&);
    MovResult Tref(const std::span<const uint8_t>&, const std::span<const uint8_t>&, Track&);
    MovResult Mdia(const std::span<const uint8_t>&, const std::span<const uint8_t>&, Track&);
    MovResult Mdhd(const std::span<const uint8_t>&, const std::span<const uint8_t>&, Track&);
    MovResult MediaHdlr(const std::span<const uint8_t>&, const std::span<const uint8_t>&, Track&);
    MovResult Minf(const std::span<const uint8_t>&, const std::span<const uint8_t>&, Track&);
    MovResult MediaHeader(const std::span<const uint8_t>&, const std::span<const uint8_t>&,
                          Track&);
    MovResult DataHdlr(const std::span<const uint8_t>&, const std::span<const uint8_t>&, Track&);
    MovResult Dinf(const std::span<const uint8_t>&, const std::span<const uint8_t>&, Track&);
    MovResult Stbl(const std::span<const uint8_t>&, const std::span<const uint8_t>&, Track&);

    uint64_t m_fileSize;
    SampleBudget& m_budget;
    Warn m_warn;
    std::vector<bool> m_selfRefs;
    SampleTableAtoms m_tables;
    bool m_hasTkhd = false, m_hasMdhd = false, m_hasStbl = false;
};

}  // namespace trelvan::mov
