#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "AsfHeader.h"

namespace trelvan::asf {

// Where the samples of a file end (100 ns): per stream the latest sample's
// time plus that sample's duration. Most files carry no sample durations,
// so a duration of 0 is estimated: an audio sample lasts its bytes at the
// stream's average byte rate, a video sample one frame interval (the
// stream's average time per frame, else the smallest step seen between two
// of its sample times). Samples are given in any order; only the latest
// time of each stream counts. Not shared between threads.
class AsfStreamEnds {
  public:
    AsfStreamEnds() = default;
    explicit AsfStreamEnds(const std::vector<StreamInfo>& streams) { SetStreams(streams); }

    // The streams measured, forgetting every sample seen so far.
    void SetStreams(const std::vector<StreamInfo>& streams);
    // Forgets the samples, keeps the streams.
    void Clear();
    // A sample of `stream` (unknown streams count with no estimate).
    void Add(uint16_t stream, uint64_t time, uint64_t duration, size_t bytes);
    // The latest end over all streams; 0 when no sample was added.
    uint64_t End() const;
    // The end of one stream's samples; 0 when it has none.
    uint64_t End(uint16_t stream) const;
    // The latest sample time over all streams (no duration added).
    uint64_t LatestTime() const { return m_latestTime; }
    // The duration a sample of `stream` of `bytes` without one of its own is
    // taken to last, as far as the samples seen so far tell.
    uint64_t Estimate(uint16_t stream, size_t bytes) const;
    // The length of a sample that nothing else tells (a video stream of one
    // sample without a frame time of its own); 0 until set. Kept by
    // SetStreams and Clear.
    void SetFallback(uint64_t duration) { m_fallback = duration; }

  private:
    struct Track {
        uint16_t number = 0;
        uint32_t byteRate = 0;   // audio: average bytes a second
        uint64_t frameTime = 0;  // video: the stream's own frame time
        bool audio = false;
        bool video = false;
        bool seen = false;
        uint64_t last = 0;  // the latest time
        uint64_t lastDuration = 0;
        size_t lastBytes = 0;
        uint64_t previous = 0;  // the time of the sample added before
        uint64_t minStep = 0;   // smallest positive step between times; 0: none yet
    };
    Track& TrackOf(uint16_t stream);
    const Track* Find(uint16_t stream) const;
    uint64_t EstimateOf(const Track& t, size_t bytes) const;
    uint64_t EndOf(const Track& t) const;

    std::vector<Track> m_tracks;
    uint8_t m_index[128] = {};  // stream number -> track + 1; 0: none
    uint64_t m_latestTime = 0;
    uint64_t m_fallback = 0;
};

}  // namespace trelvan::asf
