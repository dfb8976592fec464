#include "MovieModel.h"

#include <algorithm>
#include <limits>

#include "ByteOrder.h"

namespace trelvan::mov {

uint64_t Track::MediaDuration() const {
    uint64_t sum = 0;
    for (const Sample& s : samples) {
        sum += s.duration;
    }
    return sum;
}

uint64_t Track::PresentationEnd() const {
    uint64_t dts = 0, end = 0;
    for (const Sample& s : samples) {
        const int64_t shown = static_cast<int64_t>(dts) + s.cts + static_cast<int64_t>(s.duration);
        end = std::max<uint64_t>(end, shown > 0 ? static_cast<uint64_t>(shown) : 0);
        dts += s.duration;
    }
    return std::max(end, dts);
}

uint64_t Track::MovieDuration(uint32_t movieScale) const {
    if (!hasEdits) {
        return Rescale(MediaDuration(), timescale, movieScale);
    }
    uint64_t sum = 0;
    for (const Edit& e : edits) {
        sum += e.duration;
    }
    return sum;
}

uint64_t Movie::Duration() const {
    uint64_t longest = 0;
    for (const Track& t : tracks) {
        longest = std::max(longest, t.MovieDuration(timescale));
    }
    return longest;
}

std::array<uint8_t, 36> IdentityMatrix() {
    std::array<uint8_t, 36> m{};
    bytes::PutBE32(m.data() + 0, 0x10000);
    bytes::PutBE32(m.data() + 16, 0x10000);
    bytes::PutBE32(m.data() + 32, 0x40000000);
    return m;
}

uint64_t Rescale(uint64_t value, uint32_t from, uint32_t to) {
    if (from == 0 || from == to) {
        return value;
    }
    const unsigned __int128 scaled =
        (static_cast<unsigned __int128>(value) * to + from / 2) / from;
    return scaled > std::numeric_limits<uint64_t>::max() ? std::numeric_limits<uint64_t>::max()
                                                         : static_cast<uint64_t>(scaled);
}

}  // namespace trelvan::mov
