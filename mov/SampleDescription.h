#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What a sample description entry tells a decoder, field by field: the
// codec, the coded frame size of video, the channels, sample size, rate and
// packet layout of sound, and the codec's configuration (the parameter sets
// of 'avcC'/'hvcC', the AudioSpecificConfig inside 'esds', 'alac', 'dOps'
// and the like, also inside a QuickTime 'wave'). Bit rates ('btrt', the
// rates inside 'esds'), compressor names, vendors, resolutions and other
// labels are left out: entries equal by these fields decode alike.
namespace trelvan::mov {

struct DescriptionField {
    std::string name;   // "codec", "frame size", "channels", ...
    std::string value;  // as a user reads it ("1280×720", "44100 Hz", ...)
    bool operator==(const DescriptionField&) const = default;
};

// The fields of `entry` (a whole entry, header included) of a track whose
// media type is `handler`, in the order a user knows them.
std::vector<DescriptionField> DecoderFields(uint32_t handler, std::span<const uint8_t> entry);

// What the 'esds' of a sound entry (directly, or inside its 'wave') sets a
// decoder up with: the object type (0x40: MPEG-4 audio, 0x6B: MPEG-1 audio,
// ...) and the decoder-specific info (for AAC its AudioSpecificConfig).
struct EsdsDecoderInfo {
    uint8_t objectType = 0;
    std::vector<uint8_t> config;
};
std::optional<EsdsDecoderInfo> EsdsDecoderInfoOf(std::span<const uint8_t> entry);

// Whether two entries decode alike.
bool SameForDecoders(uint32_t handler, std::span<const uint8_t> a, std::span<const uint8_t> b);

}  // namespace trelvan::mov
