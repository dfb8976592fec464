#pragma once

#include <cstdint>

// The program's error codes. A code is a signed 32-bit value; 0 is success.
// Only the codes that components of this program raise are named here; every
// code of the message table has a text (see ErrorText.h).
namespace trelvan::err {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kUnsupportedFormat = -3;  // a stream format no operation can copy
inline constexpr int32_t kNoFrame = -1;         // link pages: empty source list
inline constexpr int32_t kFileDoesNotOpen = -5; // audio link/extract: output not created
inline constexpr int32_t kSaveFailed = 103;     // separate/unite: saving failed
inline constexpr int32_t kMemory = 501;
inline constexpr int32_t kOutput = 502;         // output reached a size limit or failed
inline constexpr int32_t kFileOpen = 1002;
inline constexpr int32_t kFileInfo = 1003;
inline constexpr int32_t kStreamGet = 1004;
inline constexpr int32_t kStreamInfo = 1005;
inline constexpr int32_t kNoVideo = 1006;
inline constexpr int32_t kStreamRead = 1007;
inline constexpr int32_t kStreamFormat = 1009;
inline constexpr int32_t kNoAudio = 1201;
inline constexpr int32_t kSaveCreate = 2001;
inline constexpr int32_t kCodecSelect = 2002;
inline constexpr int32_t kVideoStreamMake = 2003;
inline constexpr int32_t kFormatSet = 2005;
inline constexpr int32_t kStreamWrite = 2006;
inline constexpr int32_t kOutputCannotBeMade = 6006;
inline constexpr int32_t kWmvOpen = 8201;
inline constexpr int32_t kWmvCodecRead = 8202;
inline constexpr int32_t kWmvProcess = 8203;
inline constexpr int32_t kWmvInfoGet = 8204;
inline constexpr int32_t kWmvInfoSet = 8205;
inline constexpr int32_t kWmvEncInit = 8301;
inline constexpr int32_t kWmvOutputMake = 8302;

}  // namespace trelvan::err
