// libFuzzer target for the codec layer's format handling. Input layout:
//
//   u8 n | n bytes: format record and tail | u8 flags | the rest: audio bytes
//
// The format is asked for its PCM pair, opened both ways (decode and encode
// direction), asked size questions with counts taken from the input, shown
// the audio bytes, and, when flags bit 0 is set, the audio is decoded. The
// frame arithmetic of the format record is exercised as well.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "AudioConversion.h"
#include "AudioFrameMath.h"
#include "ByteOrder.h"
#include "WaveFormatEx.h"

namespace {

using trelvan::AudioConversion;

void AskSizes(const AudioConversion& c, std::span<const uint8_t> audio) {
    static constexpr uint32_t kCounts[] = {0,     1,        2,          17,        4096,
                                           65536, 1u << 20, 0x7FFFFFFF, 0xFFFFFFFF};
    uint32_t out = 0;
    for (uint32_t n : kCounts) {
        (void)c.Size(n, AudioConversion::SizeFrom::Source, &out);
        (void)c.Size(n, AudioConversion::SizeFrom::Destination, &out);
    }
    if (audio.size() >= 4) {
        const uint32_t n = trelvan::bytes::GetLE32(audio.data());
        (void)c.Size(n, AudioConversion::SizeFrom::Source, &out);
        (void)c.Size(n, AudioConversion::SizeFrom::Destination, &out);
    }
}

void FrameMath(std::span<const uint8_t> format, std::span<const uint8_t> audio) {
    trelvan::audio::FrameMath m;
    if (!trelvan::audio::DescribeFormat(format, &m) &&
        !trelvan::audio::DescribeByAverageRate(format, &m)) {
        return;
    }
    uint64_t n = audio.size();
    if (audio.size() >= 8) {
        n = trelvan::bytes::GetLE64(audio.data());
    }
    (void)trelvan::audio::FramesInBytes(m, n);
    (void)trelvan::audio::FramesInBytes(m, audio.size());
    (void)trelvan::audio::BytesForFrames(m, n >> 20);
    (void)trelvan::audio::BytesForFrames(m, audio.size());
}

// Decodes as the wave file does: whole blocks first, then the rest with the
// end mark, then whatever output is still pending.
void Decode(AudioConversion& c, std::span<const uint8_t> audio) {
    std::vector<uint8_t> dst(1 << 16);
    const auto size = static_cast<uint32_t>(audio.size());
    uint32_t used = 0;
    uint32_t made = 0;
    if (!c.Convert(audio.data(), size, &used, dst.data(), static_cast<uint32_t>(dst.size()), &made,
                   false) ||
        used > size || made > dst.size()) {
        return;
    }
    uint32_t rest_used = 0;
    if (!c.Convert(audio.data() + used, size - used, &rest_used, dst.data(),
                   static_cast<uint32_t>(dst.size()), &made, true) ||
        made > dst.size()) {
        return;
    }
    for (int round = 0; round < 4096 && c.HasPendingOutput(); ++round) {
        uint32_t none = 0;
        if (!c.Convert(nullptr, 0, &none, dst.data(), static_cast<uint32_t>(dst.size()), &made,
                       false) ||
            made > dst.size()) {
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const size_t n = std::min<size_t>(data[0], size - 1);
    const std::span<const uint8_t> format(data + 1, n);
    const uint8_t flags = 1 + n < size ? data[1 + n] : 0;
    const std::span<const uint8_t> audio =
        1 + n < size ? std::span<const uint8_t>(data + 2 + n, size - 2 - n)
                     : std::span<const uint8_t>();

    FrameMath(format, audio);
    WAVEFORMATEX pcm{};
    if (!AudioConversion::SuggestPcm(format, &pcm)) {
        return 0;
    }
    uint8_t pcm_bytes[trelvan::kWaveFormatExSize];
    trelvan::WriteWaveFormat(pcm, pcm_bytes);
    const std::span<const uint8_t> pcm_span(pcm_bytes, sizeof pcm_bytes);

    if (auto enc = AudioConversion::Open(pcm_span, format)) {
        AskSizes(*enc, audio);
    }
    auto dec = AudioConversion::Open(format, pcm_span);
    if (!dec) {
        return 0;
    }
    AskSizes(*dec, audio);
    dec->Observe(audio.data(), audio.size());
    AskSizes(*dec, audio);
    if ((flags & 1) != 0) {
        Decode(*dec, audio);
    }
    return 0;
}
