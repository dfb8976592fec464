#pragma once

#include <cstdint>
#include <map>
#include <span>

#include "MovResult.h"
#include "MovieModel.h"
#include "SampleTableAtoms.h"

// The fragment family ('mvex/trex', 'moof', 'traf', 'tfhd', 'tfdt', 'trun'):
// the samples of a fragmented movie appended to the sample lists of its
// tracks, defaults resolved run → fragment header → track extends.
namespace trelvan::mov {

// A track's sample defaults in fragments ('trex', overridden by 'tfhd').
struct FragmentDefaults {
    uint32_t desc = 1;
    uint32_t duration = 0;
    uint32_t size = 0;
    uint32_t flags = 0;
};

class FragmentAtoms {
public:
    // Reads the 'trex' defaults of an 'mvex' payload.
    void ReadExtends(std::span<const uint8_t> mvexPayload);

    // Appends the samples of one 'moof' (payload in memory, the atom at
    // `moofOffset` of the file) to the movie's tracks, their entries taken
    // out of `budget`.
    MovResult ReadFragment(std::span<const uint8_t> moofPayload, uint64_t moofOffset,
                           uint64_t fileSize, SampleBudget& budget, Movie& movie);

private:
    using Defaults = FragmentDefaults;
    MovResult ReadTrackFragment(std::span<const uint8_t> traf, uint64_t moofOffset,
                                uint64_t& dataEnd, bool first, uint64_t fileSize,
                                SampleBudget& budget, Movie& movie);
    static MovResult ReadRun(std::span<const uint8_t> trun, uint64_t base, uint64_t& dataEnd,
                             const Defaults& d, uint64_t fileSize, SampleBudget& budget,
                             Track& track);

    std::map<uint32_t, Defaults> m_extends;
};

}  // namespace trelvan::mov
