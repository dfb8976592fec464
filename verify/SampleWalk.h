#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The one walk of a stream's samples that every container layer offers
// (AviSampleWalk.cpp, AsfSampleWalk.cpp, MovieSampleWalk.cpp): each sample
// with its stream, time, duration, key flag and bytes, in stream order.
// Nothing holds more than one sample in memory.
namespace trelvan::verify {

enum class MediaKind { Video, Audio };
const char* KindName(MediaKind k);

// Seconds of a tick: num / den (den 0: the file does not say).
struct TimeBase {
    uint64_t num = 1;
    uint64_t den = 0;
    double Seconds(int64_t ticks) const {
        return den == 0 ? 0.0 : static_cast<double>(ticks) * static_cast<double>(num) / static_cast<double>(den);
    }
};

struct MediaSample {
    // The stream's number in its file: an AVI stream's index, an ASF stream
    // number, a movie track's id.
    int stream = -1;
    // Decode time and duration in the walk's ticks (TimeBase()); where the
    // file does not say (an ASF payload without a duration extension), the
    // duration the operations take it to last (0 when they cannot tell).
    int64_t time = 0;
    int64_t duration = 0;
    bool key = true;
    // File offset of the first byte: of the chunk data (AVI, WAV), of the
    // sample (movies), of the data packet that holds the first byte (ASF,
    // whose samples may continue in later packets).
    int64_t position = -1;
    std::vector<uint8_t> data;
};

// The samples of one stream in stream order. The stream of a kind is the one
// the operations take: an AVI file's first video and last audio stream, an
// ASF file's last stream of the kind, a movie's first track of the kind.
class SampleWalk {
  public:
    virtual ~SampleWalk() = default;
    // 1: `out` holds the next sample; 0: no more samples; -1: the sample
    // could not be read (Error() says why).
    virtual int Next(MediaSample& out) = 0;
    // The size and key flag of the next sample without reading it; false
    // when the reader cannot tell (or there is none).
    virtual bool Peek(uint32_t* size, bool* key) const {
        (void)size;
        (void)key;
        return false;
    }
    // Bytes of all samples together; -1 when the reader cannot tell
    // without reading them.
    virtual int64_t TotalBytes() const { return -1; }
    // Samples a second (video) or bytes a second (audio); 0 when unknown.
    virtual double Rate() const { return 0; }
    // Passes over the next sample: 1, 0 at the end, -1 on a failure.
    virtual int Skip() {
        MediaSample s;
        return Next(s);
    }
    const std::string& Error() const { return m_error; }
    // Bytes of one audio block (an AVI or WAV format's block alignment, an
    // ASF stream's); 1 when the stream is not cut in blocks.
    uint32_t BlockAlign() const { return m_blockAlign; }
    // The stream walked, and what its ticks are.
    int Stream() const { return m_stream; }
    const TimeBase& Base() const { return m_base; }

  protected:
    std::string m_error;
    uint32_t m_blockAlign = 1;
    int m_stream = -1;
    TimeBase m_base;
};

// Block alignment of a WAVEFORMATEX; 1 when absent or zero, and for
// compressed audio made of frames (MPEG audio, AC-3, DTS, AAC), whose field
// counts something else and which is cut between frames, not in blocks.
uint32_t BlockAlignOf(const std::vector<uint8_t>& wave_format);

// The bytes of an audio stream as one run, whatever its chunking.
class ByteStream {
  public:
    explicit ByteStream(std::unique_ptr<SampleWalk> walk) : m_walk(std::move(walk)) {}
    // Copies up to n bytes; returns how many (fewer only at the end or on a
    // failure, see Failed()).
    size_t Read(uint8_t* out, size_t n);
    // Passes over n bytes (whole samples without reading them where the
    // reader can tell their sizes); returns how many.
    uint64_t Skip(uint64_t n);
    uint64_t Position() const { return m_position; }
    bool Failed() const { return m_failed; }
    const std::string& Error() const { return m_walk->Error(); }
    uint32_t BlockAlign() const { return m_walk->BlockAlign(); }
    int64_t TotalBytes() const { return m_walk->TotalBytes(); }

  private:
    std::unique_ptr<SampleWalk> m_walk;
    MediaSample m_sample;
    size_t m_at = 0;
    uint64_t m_position = 0;
    bool m_failed = false;
    bool m_ended = false;
};

}  // namespace trelvan::verify
