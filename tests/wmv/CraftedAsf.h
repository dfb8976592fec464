#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "AsfGuid.h"

// ASF files built byte by byte for tests of damaged and unusual input: a
// header of chosen objects, data packets of chosen field widths, trailing
// objects.
namespace trelvan::test::crafted {

using Bytes = std::vector<uint8_t>;

// The parts one after the other.
Bytes Cat(std::initializer_list<Bytes> parts);
void Put16(Bytes& b, uint16_t v);
void Put32(Bytes& b, uint32_t v);
void Put64(Bytes& b, uint64_t v);
void PutGuid(Bytes& b, const asf::Guid& g);
// GUID + size (24 + body) + body; `size_override` replaces the size field.
Bytes Object(const asf::Guid& id, const Bytes& body, uint64_t size_override = 0);

Bytes FileProperties(uint32_t packet_size, uint64_t packets, uint64_t play_100ns, uint64_t preroll_ms);
// An audio stream (WAVEFORMATEX tag 0x161, 8 kHz mono) or a video stream
// (WMV2 16x16). `ec` gives audio spread parameters (span, packet, chunk);
// span 0 writes no error correction.
Bytes AudioStream(uint16_t number, uint8_t span = 0, uint16_t vpl = 0, uint16_t vcl = 0,
                  bool encrypted = false);
Bytes VideoStream(uint16_t number);
Bytes HeaderExtension(const Bytes& children);
// The whole Header Object holding `children`.
Bytes Header(const Bytes& children, uint64_t size_override = 0);

// One payload of a data packet.
struct PayloadLayout {
    uint8_t stream = 1;
    bool key = true;
    uint32_t objectNumber = 0;
    uint32_t offset = 0;  // or the presentation time of compressed payloads
    Bytes replicated;     // 8 bytes: object size + time; 1 byte: compressed
    Bytes data;
    int64_t lengthOverride = -1;  // multiple payloads: the length field written
};

// Field widths of a packet (2-bit length types: 0 absent, 1 byte, 2 word,
// 3 dword).
struct PacketLayout {
    bool errorCorrection = true;
    unsigned packetLengthType = 0;
    unsigned sequenceType = 0;
    unsigned paddingType = 2;
    unsigned replicatedType = 1, offsetType = 3, objectType = 1;
    unsigned payloadLengthType = 2;
    bool multiple = true;
    uint32_t sendTimeMs = 0;
    int64_t paddingOverride = -1;
    int64_t packetLengthOverride = -1;
};

// Replicated data of a normal payload: object size and time (ms, preroll included).
Bytes Replicated(uint32_t object_size, uint32_t time_ms);
Bytes Packet(uint32_t size, const std::vector<PayloadLayout>& payloads, const PacketLayout& layout = {});
// Header, Data Object with the packets (its size as they add up unless
// overridden), then `trailing` objects.
Bytes File(const Bytes& header, const std::vector<Bytes>& packets, const Bytes& trailing = {},
           uint64_t data_size_override = 0);

// A small valid file: one audio stream, packet size 200, a few samples.
Bytes SmallValidFile();

}  // namespace trelvan::test::crafted
