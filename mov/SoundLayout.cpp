#include "SoundLayout.h"

#include "Atoms.h"
#include "ByteOrder.h"

namespace trelvan::mov {
namespace {

struct ImplicitPacking {
    uint32_t format;
    uint32_t framesPerPacket;
    uint32_t bytesPerChannel;  // bytes of one packet per channel; 0: from the sample size
    uint32_t bytesFixed;       // bytes of one packet regardless of channels
};

// Version 0 entries carry no packing fields; these formats have fixed ones.
constexpr ImplicitPacking kImplicit[] = {
    {atom::kUlaw, 1, 1, 0}, {atom::kAlaw, 1, 1, 0}, {atom::kIma4, 64, 34, 0},
    {atom::kMac3, 6, 2, 0}, {atom::kMac6, 6, 1, 0}, {atom::kAgsm, 160, 0, 33},
};

constexpr size_t kSoundFixedV0 = 36;
constexpr size_t kSoundFixedV1 = 52;

}  // namespace

bool UsesFrameTables(std::span<const uint8_t> entry, uint32_t uniformSize, uint32_t delta) {
    if (entry.size() < kSoundFixedV0 || uniformSize == 0 || delta == 0) {
        return false;
    }
    const uint16_t version = bytes::GetBE16(entry.data() + 16);
    const auto compression = static_cast<int16_t>(bytes::GetBE16(entry.data() + 28));
    if (version == 2) {
        return true;  // packets of one size and one duration
    }
    return version <= 1 && compression != -2 && delta == 1;
}

FramePacking FramePackingOf(std::span<const uint8_t> entry) {
    FramePacking packing;
    if (entry.size() < kSoundFixedV0) {
        return packing;
    }
    const uint8_t* p = entry.data();
    const uint32_t format = bytes::GetBE32(p + 4);
    const uint16_t version = bytes::GetBE16(p + 16);
    const uint32_t channels = bytes::GetBE16(p + 24);
    const uint32_t bits = bytes::GetBE16(p + 26);
    if (version == 2) {
        return packing;  // a table sample is a packet of the table's size
    }
    if (version == 1 && entry.size() >= kSoundFixedV1) {
        const uint32_t frames = bytes::GetBE32(p + 36);
        const uint32_t perFrame = bytes::GetBE32(p + 44);
        if (frames != 0 && perFrame != 0) {
            packing.framesPerPacket = frames;
            packing.bytesPerPacket = perFrame;
            return packing;
        }
    }
    for (const ImplicitPacking& k : kImplicit) {
        if (k.format == format) {
            packing.framesPerPacket = k.framesPerPacket;
            packing.bytesPerPacket = k.bytesFixed != 0 ? k.bytesFixed : k.bytesPerChannel * channels;
            return packing;
        }
    }
    packing.bytesPerPacket = channels * ((bits + 7) / 8);  // linear PCM
    return packing;
}

uint64_t FrameBytes(const FramePacking& packing, uint64_t frames, uint32_t tableSize) {
    if (packing.bytesPerPacket == 0 || packing.framesPerPacket == 0) {
        return frames * tableSize;
    }
    const uint64_t packets = (frames + packing.framesPerPacket - 1) / packing.framesPerPacket;
    return packets * packing.bytesPerPacket;
}

}  // namespace trelvan::mov
