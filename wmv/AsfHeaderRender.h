#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "AsfHeader.h"
#include "AsfObjectBuilder.h"

// Rendering of the header objects a pass-through writer produces, one
// function per family of objects (the parsers' counterparts).
namespace trelvan::asf::render {

// What the writer knows of one stream when it renders the header.
struct StreamOut {
    StreamInfo info;             // type data, error correction, extended properties
    bool durationExt = false;    // payloads carry the sample duration extension
    uint32_t bufferWindow = 0;   // ms
    uint32_t bitrate = 0;
};

struct HeaderOut {
    FileProperties props;
    std::vector<StreamOut> streams;
    std::vector<Attribute> attributes;
    std::vector<CodecInfo> codecs;
    std::vector<Script> scripts;
    std::vector<std::string> languages;  // the Language List (none when empty)
    std::vector<MutualExclusion> exclusions;
    // Filled by HeaderObject: where the value of each stream's
    // "NumberOfFrames" (QWORD) lies in the header, for the count the writer
    // knows only at the end.
    mutable std::vector<std::pair<uint16_t, size_t>> frameCountAt;
    // Filled by HeaderObject: where the bit-rate fields (DWORD) of the
    // streams whose bit rate is not known in advance (0) lie, for the rate
    // the writer measures at the end.
    mutable std::vector<std::pair<uint16_t, size_t>> bitrateAt;
};

// The whole Header Object. `file_props_at` gets the offset of the File
// Properties Object within it, for the fields patched at the end.
std::vector<uint8_t> HeaderObject(const HeaderOut& h, size_t& file_props_at);

// Offsets inside the File Properties Object of the fields patched at the end.
inline constexpr size_t kFpFileSize = 40;
inline constexpr size_t kFpCreationDate = 48;
inline constexpr size_t kFpPacketCount = 56;
inline constexpr size_t kFpPlayDuration = 64;
inline constexpr size_t kFpSendDuration = 72;
inline constexpr size_t kFpFlags = 88;
inline constexpr size_t kFpMaxBitrate = 100;

}  // namespace trelvan::asf::render
