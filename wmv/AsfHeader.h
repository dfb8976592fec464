#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "AsfGuid.h"

// What the Header Object of an ASF file says, as plain values. Filled by the
// header objects' parsers (AsfHeaderObjects.h) and rendered back by the
// writer. Times keep the units of the file (see each field).
namespace trelvan::asf {

struct FileProperties {
    Guid fileId;
    uint64_t fileSize = 0;
    uint64_t creationDate = 0;  // FILETIME
    uint64_t packetCount = 0;
    uint64_t playDuration = 0;  // 100 ns, preroll included
    uint64_t sendDuration = 0;  // 100 ns
    uint64_t prerollMs = 0;
    uint32_t flags = 0;  // bit 0 broadcast, bit 1 seekable
    uint32_t minPacketSize = 0;
    uint32_t maxPacketSize = 0;
    uint32_t maxBitrate = 0;
};

struct ExtensionSystem {
    Guid id;
    uint16_t dataSize = 0;  // bytes in every payload's replicated data; 0xFFFF: variable
    std::vector<uint8_t> info;
};

struct StreamName {
    uint16_t languageIndex = 0;
    std::string name;
};

// Extended Stream Properties (from the Header Extension).
struct ExtendedStreamProps {
    bool present = false;
    uint64_t startTimeMs = 0;
    uint64_t endTimeMs = 0;
    uint32_t dataBitrate = 0;
    uint32_t bufferSize = 0;  // ms
    uint32_t initialFullness = 0;
    uint32_t altDataBitrate = 0;
    uint32_t altBufferSize = 0;
    uint32_t altInitialFullness = 0;
    uint32_t maxObjectSize = 0;
    uint32_t flags = 0;
    uint16_t languageIndex = 0;
    uint64_t avgTimePerFrame = 0;  // 100 ns
    std::vector<StreamName> names;
    std::vector<ExtensionSystem> extensions;
};

struct StreamInfo {
    uint16_t number = 0;  // 1..127
    Guid type;            // guid::kAudioMedia, kVideoMedia, ...
    Guid errorCorrection;
    uint64_t timeOffset = 0;  // 100 ns
    std::vector<uint8_t> typeData;   // WAVEFORMATEX, or the video record
    std::vector<uint8_t> errorData;  // audio spread parameters
    bool encrypted = false;
    uint32_t bitrate = 0;  // Stream Bitrate Properties, bits/s (0 when absent)
    ExtendedStreamProps ext;

    bool IsAudio() const { return type == guid::kAudioMedia; }
    bool IsVideo() const { return type == guid::kVideoMedia; }
};

// Attribute value types, as the Windows Media API numbers them (not the
// on-disk codes, which differ for the first four).
enum AttrType : uint16_t {
    kAttrDword = 0,
    kAttrString = 1,  // UTF-16LE with its NUL
    kAttrBinary = 2,
    kAttrBool = 3,  // 4 bytes
    kAttrQword = 4,
    kAttrWord = 5,
    kAttrGuid = 6,
};

struct Attribute {
    uint16_t stream = 0;  // 0: the file
    uint16_t language = 0;
    std::string name;  // UTF-8
    uint16_t type = kAttrString;
    std::vector<uint8_t> value;
};

// Codec types as the Windows Media API numbers them: 0 audio, 1 video.
inline constexpr uint32_t kCodecAudio = 0;
inline constexpr uint32_t kCodecVideo = 1;
inline constexpr uint32_t kCodecUnknown = 0xFFFFFFFF;

struct CodecInfo {
    uint32_t type = kCodecUnknown;
    std::string name;
    std::string description;
    std::vector<uint8_t> info;
};

struct Script {
    std::string type;
    std::string command;
    uint64_t time = 0;  // 100 ns
};

struct Marker {
    uint64_t offset = 0;
    uint64_t time = 0;  // 100 ns, preroll included
    uint32_t sendTimeMs = 0;
    std::string description;
};

// Group Mutual Exclusion: groups of streams of which a player takes one
// group at a time (the same content in several languages or bit rates).
struct MutualExclusion {
    Guid type;
    std::vector<std::vector<uint16_t>> groups;  // stream numbers per group
};

struct AsfHeader {
    bool hasFileProperties = false;
    FileProperties props;
    std::vector<StreamInfo> streams;     // in order of appearance
    std::vector<Attribute> attributes;   // CD, ECD (stream 0), Metadata, Metadata Library
    std::vector<CodecInfo> codecs;
    std::vector<Script> scripts;
    std::vector<Marker> markers;
    std::vector<std::string> languages;  // Language List; streams name an index into it
    std::vector<MutualExclusion> exclusions;
    bool isProtected = false;
    std::vector<std::pair<uint16_t, uint32_t>> bitrates;  // Stream Bitrate Properties records

    StreamInfo* Stream(uint16_t number);
    const StreamInfo* Stream(uint16_t number) const;
};

}  // namespace trelvan::asf
