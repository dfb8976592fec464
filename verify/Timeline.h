#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "MediaFile.h"

// A stream's samples in time, without their bytes: what the presentation
// checks place entries and cuts with. Internal to the verify library.
namespace trelvan::verify {

struct TimedSample {
    double time = 0;      // seconds: decode time (movies), presentation time (ASF)
    double duration = 0;  // seconds; 0 where the file does not say (ASF)
    uint64_t byte = 0;    // bytes of the stream before it
    uint32_t size = 0;
    bool key = true;
};

class Timeline {
  public:
    void Add(const TimedSample& s) { m_samples.push_back(s); }
    size_t size() const { return m_samples.size(); }
    bool empty() const { return m_samples.empty(); }
    const TimedSample& operator[](size_t i) const { return m_samples[i]; }
    // Where the last sample ends.
    double End() const;
    // The sample that holds stream byte `byte`; size() past the end.
    size_t SampleAtByte(uint64_t byte) const;
    // The time of a sample; End() past the last.
    double TimeOfSample(uint64_t i) const;
    // The time of stream byte `byte`, within its sample in proportion to
    // its bytes; End() past the end.
    double TimeOfByte(uint64_t byte) const;

  private:
    std::vector<TimedSample> m_samples;
};

// The stream of `kind` that the checks compare (MediaFile::Walk's): AVI
// chunks and movie table entries from their indexes, ASF samples by reading
// the packets. Empty when there is none (`*error` says why when it cannot be
// read).
Timeline TimelineOf(MediaFile& file, MediaKind kind, std::string* error);

}  // namespace trelvan::verify
