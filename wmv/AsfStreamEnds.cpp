#include "AsfStreamEnds.h"

#include <algorithm>

#include "ByteOrder.h"

namespace trelvan::asf {

namespace {
constexpr uint64_t kSecond = 10000000;
constexpr size_t kWaveAvgBytesAt = 8;  // WAVEFORMATEX.nAvgBytesPerSec
}  // namespace

void AsfStreamEnds::SetStreams(const std::vector<StreamInfo>& streams) {
    m_tracks.clear();
    std::fill(std::begin(m_index), std::end(m_index), 0);
    for (const StreamInfo& s : streams) {
        Track& t = TrackOf(s.number);
        t.audio = s.IsAudio();
        t.video = s.IsVideo();
        if (t.audio && s.typeData.size() >= kWaveAvgBytesAt + 4) {
            t.byteRate = bytes::GetLE32(s.typeData.data() + kWaveAvgBytesAt);
        }
        t.frameTime = t.video ? s.ext.avgTimePerFrame : 0;
    }
    m_latestTime = 0;
}

void AsfStreamEnds::Clear() {
    for (Track& t : m_tracks) {
        t.seen = false;
        t.last = t.lastDuration = t.previous = t.minStep = 0;
        t.lastBytes = 0;
    }
    m_latestTime = 0;
}

AsfStreamEnds::Track& AsfStreamEnds::TrackOf(uint16_t stream) {
    uint8_t& at = m_index[stream & 0x7F];
    if (at == 0) {
        m_tracks.emplace_back();
        m_tracks.back().number = stream & 0x7F;
        at = static_cast<uint8_t>(m_tracks.size());
    }
    return m_tracks[at - 1];
}

const AsfStreamEnds::Track* AsfStreamEnds::Find(uint16_t stream) const {
    const uint8_t at = m_index[stream & 0x7F];
    return at != 0 ? &m_tracks[at - 1] : nullptr;
}

void AsfStreamEnds::Add(uint16_t stream, uint64_t time, uint64_t duration, size_t bytes) {
    Track& t = TrackOf(stream);
    if (t.seen && time != t.previous) {
        const uint64_t step = time > t.previous ? time - t.previous : t.previous - time;
        t.minStep = t.minStep == 0 ? step : std::min(t.minStep, step);
    }
    t.previous = time;
    if (!t.seen || time >= t.last) {
        t.last = time;
        t.lastDuration = duration;
        t.lastBytes = bytes;
    }
    t.seen = true;
    m_latestTime = std::max(m_latestTime, time);
}

uint64_t AsfStreamEnds::EstimateOf(const Track& t, size_t bytes) const {
    if (t.audio && t.byteRate != 0) {
        return static_cast<uint64_t>(bytes) * kSecond / t.byteRate;
    }
    if (t.video && t.frameTime != 0) {
        return t.frameTime;
    }
    return t.minStep != 0 ? t.minStep : m_fallback;
}

uint64_t AsfStreamEnds::Estimate(uint16_t stream, size_t bytes) const {
    const Track* t = Find(stream);
    return t != nullptr ? EstimateOf(*t, bytes) : 0;
}

uint64_t AsfStreamEnds::EndOf(const Track& t) const {
    if (!t.seen) {
        return 0;
    }
    return t.last + (t.lastDuration != 0 ? t.lastDuration : EstimateOf(t, t.lastBytes));
}

uint64_t AsfStreamEnds::End() const {
    uint64_t end = 0;
    for (const Track& t : m_tracks) {
        end = std::max(end, EndOf(t));
    }
    return end;
}

uint64_t AsfStreamEnds::End(uint16_t stream) const {
    const Track* t = Find(stream);
    return t != nullptr ? EndOf(*t) : 0;
}

}  // namespace trelvan::asf
