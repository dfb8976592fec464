#pragma once

#include <array>
#include <cstdint>
#include <string>

// GUIDs as ASF stores them: Data1 as u32 LE, Data2 and Data3 as u16 LE, then
// the last eight bytes as written in the canonical text. Every constant is
// built byte by byte at compile time from the canonical parts.
namespace trelvan::asf {

struct Guid {
    std::array<uint8_t, 16> b{};
    constexpr bool operator==(const Guid&) const = default;
};

constexpr Guid MakeGuid(uint32_t d1, uint16_t d2, uint16_t d3, uint16_t d4, uint64_t d5) {
    Guid g;
    for (int i = 0; i < 4; ++i) {
        g.b[i] = static_cast<uint8_t>(d1 >> (8 * i));
    }
    g.b[4] = static_cast<uint8_t>(d2);
    g.b[5] = static_cast<uint8_t>(d2 >> 8);
    g.b[6] = static_cast<uint8_t>(d3);
    g.b[7] = static_cast<uint8_t>(d3 >> 8);
    g.b[8] = static_cast<uint8_t>(d4 >> 8);
    g.b[9] = static_cast<uint8_t>(d4);
    for (int i = 0; i < 6; ++i) {
        g.b[10 + i] = static_cast<uint8_t>(d5 >> (8 * (5 - i)));
    }
    return g;
}

// Canonical text "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE" (upper case).
std::string GuidText(const Guid& g);

namespace guid {
// Top-level objects.
inline constexpr Guid kHeader = MakeGuid(0x75B22630, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
inline constexpr Guid kData = MakeGuid(0x75B22636, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
inline constexpr Guid kSimpleIndex = MakeGuid(0x33000890, 0xE5B1, 0x11CF, 0x89F4, 0x00A0C90349CB);
inline constexpr Guid kIndex = MakeGuid(0xD6E229D3, 0x35DA, 0x11D1, 0x9034, 0x00A0C90349BE);

// Objects of the Header Object.
inline constexpr Guid kFileProperties = MakeGuid(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE4, 0x00C00C205365);
inline constexpr Guid kStreamProperties = MakeGuid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8EE6, 0x00C00C205365);
inline constexpr Guid kHeaderExtension = MakeGuid(0x5FBF03B5, 0xA92E, 0x11CF, 0x8EE3, 0x00C00C205365);
inline constexpr Guid kCodecList = MakeGuid(0x86D15240, 0x311D, 0x11D0, 0xA3A4, 0x00A0C90348F6);
inline constexpr Guid kScriptCommand = MakeGuid(0x1EFB1A30, 0x0B62, 0x11D0, 0xA39B, 0x00A0C90348F6);
inline constexpr Guid kMarker = MakeGuid(0xF487CD01, 0xA951, 0x11CF, 0x8EE6, 0x00C00C205365);
inline constexpr Guid kContentDescription = MakeGuid(0x75B22633, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
inline constexpr Guid kExtendedContentDescription =
    MakeGuid(0xD2D0A440, 0xE307, 0x11D2, 0x97F0, 0x00A0C95EA850);
inline constexpr Guid kStreamBitrateProperties =
    MakeGuid(0x7BF875CE, 0x468D, 0x11D1, 0x8D82, 0x006097C9A2B2);
inline constexpr Guid kContentEncryption = MakeGuid(0x2211B3FB, 0xBD23, 0x11D2, 0xB4B7, 0x00A0C955FC6E);
inline constexpr Guid kExtendedContentEncryption =
    MakeGuid(0x298AE614, 0x2622, 0x4C17, 0xB935, 0xDAE07EE9289C);
inline constexpr Guid kDigitalSignature = MakeGuid(0x2211B3FC, 0xBD23, 0x11D2, 0xB4B7, 0x00A0C955FC6E);
inline constexpr Guid kPadding = MakeGuid(0x1806D474, 0xCADF, 0x4509, 0xA4BA, 0x9AABCB96AAE8);

// Objects of the Header Extension.
inline constexpr Guid kExtendedStreamProperties =
    MakeGuid(0x14E6A5CB, 0xC672, 0x4332, 0x8399, 0xA96952065B5A);
inline constexpr Guid kLanguageList = MakeGuid(0x7C4346A9, 0xEFE0, 0x4BFC, 0xB229, 0x393EDE415C85);
inline constexpr Guid kGroupMutualExclusion =
    MakeGuid(0xD1465A40, 0x5A79, 0x4338, 0xB71B, 0xE36B8FD6C249);
inline constexpr Guid kMetadata = MakeGuid(0xC5F8CBEA, 0x5BAF, 0x4877, 0x8467, 0xAA8C44FA4CCA);
inline constexpr Guid kMetadataLibrary = MakeGuid(0x44231C94, 0x9498, 0x49D1, 0xA141, 0x1D134E457054);
inline constexpr Guid kIndexParameters = MakeGuid(0xD6E229DF, 0x35DA, 0x11D1, 0x9034, 0x00A0C90349BE);
inline constexpr Guid kCompatibility = MakeGuid(0x26F18B5D, 0x4584, 0x47EC, 0x9F5F, 0x0E651F0452C9);
inline constexpr Guid kAdvancedContentEncryption =
    MakeGuid(0x43058533, 0x6981, 0x49E6, 0x9B74, 0xAD12CB86D58C);
inline constexpr Guid kPlayReadyHeader = MakeGuid(0x9A04F079, 0x9840, 0x4286, 0xAB92, 0xE65BE0885F95);

// Stream types.
inline constexpr Guid kAudioMedia = MakeGuid(0xF8699E40, 0x5B4D, 0x11CF, 0xA8FD, 0x00805F5C442B);
inline constexpr Guid kVideoMedia = MakeGuid(0xBC19EFC0, 0x5B4D, 0x11CF, 0xA8FD, 0x00805F5C442B);
inline constexpr Guid kCommandMedia = MakeGuid(0x59DACFC0, 0x59E6, 0x11D0, 0xA3AC, 0x00A0C90348F6);
inline constexpr Guid kJfifMedia = MakeGuid(0xB61BE100, 0x5B4E, 0x11CF, 0xA8FD, 0x00805F5C442B);

// Error correction types.
inline constexpr Guid kNoErrorCorrection = MakeGuid(0x20FB5700, 0x5B55, 0x11CF, 0xA8FD, 0x00805F5C442B);
inline constexpr Guid kAudioSpread = MakeGuid(0xBFC3CD50, 0x618F, 0x11CF, 0x8BB2, 0x00AA00B4E220);

// Reserved values that some objects carry.
inline constexpr Guid kReserved1 = MakeGuid(0xABD3D211, 0xA9BA, 0x11CF, 0x8EE6, 0x00C00C205365);
inline constexpr Guid kReserved2 = MakeGuid(0x86D15241, 0x311D, 0x11D0, 0xA3A4, 0x00A0C90348F6);
inline constexpr Guid kReserved3 = MakeGuid(0x4B1ACBE3, 0x100B, 0x11D0, 0xA39B, 0x00A0C90348F6);
inline constexpr Guid kReserved4 = MakeGuid(0x4CFEDB20, 0x75F6, 0x11CF, 0x9C0F, 0x00A0C90349CB);

// Payload extension systems.
inline constexpr Guid kExtSampleDuration = MakeGuid(0xC6BD9450, 0x867F, 0x4907, 0x83A3, 0xC77921B733AD);
inline constexpr Guid kExtEncryptionSampleId =
    MakeGuid(0x6698B84E, 0x0AFA, 0x4330, 0xAEB2, 0x1C0A98D7A44D);

// Media types of the profile (DirectShow-style): subtypes derive from a
// FourCC or a WAVE format tag in Data1.
inline constexpr Guid kFormatVideoInfo = MakeGuid(0x05589F80, 0xC356, 0x11CE, 0xBF01, 0x00AA0055595A);
inline constexpr Guid kFormatWaveFormatEx = MakeGuid(0x05589F81, 0xC356, 0x11CE, 0xBF01, 0x00AA0055595A);
inline constexpr Guid kFormatScript = MakeGuid(0x5C8510F2, 0xDEBE, 0x4CA7, 0xBBA5, 0xF07A104F8DFF);
inline constexpr Guid kFormatNone = MakeGuid(0x0F6417D6, 0xC318, 0x11D0, 0xA43F, 0x00A0C9223196);
constexpr Guid SubtypeFromTag(uint32_t tag) {
    return MakeGuid(tag, 0x0000, 0x0010, 0x8000, 0x00AA00389B71);
}
}  // namespace guid

}  // namespace trelvan::asf
