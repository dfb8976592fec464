#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "WaveFormatEx.h"

namespace trelvan {

// One conversion between two audio formats, one of them PCM: the codec layer
// behind the wave file. Formats are given as their bytes (the 18-byte record
// and its tail).
//
// Opening needs only that the layer can do the size arithmetic of the
// compressed side (see AudioFrameMath.h) or that FFmpeg has a codec for it;
// the codec itself is opened on the first Convert. So a conversion opened
// only to answer size questions (raw copies into a WAV file) works for every
// format whose frames the layer can count, even without an encoder.
class AudioConversion {
  public:
    enum class SizeFrom {
        Source,       // given source bytes, how many destination bytes
        Destination,  // given destination bytes, how many source bytes
    };

    // The PCM format that decoding `format` gives (and that encoding to it
    // takes): same channels and rate, 16 bits, no extra bytes. For PCM the
    // format itself. False for a format the layer knows neither way.
    static bool SuggestPcm(std::span<const uint8_t> format, WAVEFORMATEX* pcm);

    // Null when the pair cannot be converted or sized.
    static std::unique_ptr<AudioConversion> Open(std::span<const uint8_t> source,
                                                 std::span<const uint8_t> destination);

    ~AudioConversion();
    AudioConversion(const AudioConversion&) = delete;
    AudioConversion& operator=(const AudioConversion&) = delete;

    // The matching byte count on the other side; false (and *out untouched)
    // when it cannot be given (e.g. less than one block). For MPEG audio the
    // count of all bytes passed to Observe is answered from their frame
    // headers, exactly even at variable bit rates; other counts from the
    // format's average byte rate.
    bool Size(uint32_t bytes, SizeFrom from, uint32_t* out) const;

    // Shows the conversion the bytes of its compressed side in stream order
    // (the wave file passes every byte of its data chunk), so that Size can
    // count MPEG audio frames.
    void Observe(const uint8_t* p, size_t n);

    // Converts from `src` into `dst`. Without `end` only whole blocks of the
    // source are taken and the rest is left to the caller (*src_used tells
    // how much was taken); with `end` everything is taken and the codec's
    // tail is flushed. Output that does not fit into `dst` is kept and
    // delivered first by the next call (see HasPendingOutput). False on a
    // codec failure or when no codec exists for the pair.
    bool Convert(const uint8_t* src, uint32_t src_len, uint32_t* src_used, uint8_t* dst,
                 uint32_t dst_len, uint32_t* dst_used, bool end);

    // Opens the codecs now (Convert does so itself when needed): false when
    // the pair has no decoder and encoder, so a converting write can fail
    // before it takes any bytes.
    bool Prepare();

    // True while the codec holds input taken without the end mark (partial
    // frames) that only a conversion with the end mark turns into output.
    bool HoldsInput() const;
    // True while converted bytes wait for room in a destination.
    bool HasPendingOutput() const;

    struct Impl;

  private:
    explicit AudioConversion(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

}  // namespace trelvan
