#pragma once

#include <cstdint>

// Results of the ASF layer, in the HRESULT shape the copy engine works with:
// negative values are failures. The general ones carry their usual values;
// the ones naming ASF faults are this layer's own.
namespace trelvan::wm {

using HRESULT = int32_t;

constexpr HRESULT Hr(uint32_t v) { return static_cast<HRESULT>(v); }
constexpr bool Failed(HRESULT hr) { return hr < 0; }
constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }

namespace hr {
inline constexpr HRESULT kOk = 0;
inline constexpr HRESULT kFalse = 1;  // success, nothing more (end of samples)
inline constexpr HRESULT kNotImpl = Hr(0x80004001);
inline constexpr HRESULT kNoInterface = Hr(0x80004002);
inline constexpr HRESULT kPointer = Hr(0x80004003);
inline constexpr HRESULT kFail = Hr(0x80004005);
inline constexpr HRESULT kUnexpected = Hr(0x8000FFFF);
inline constexpr HRESULT kOutOfMemory = Hr(0x8007000E);
inline constexpr HRESULT kInvalidArg = Hr(0x80070057);
// The file could not be opened, read or written.
inline constexpr HRESULT kFileOpen = Hr(0xC00DA001);
inline constexpr HRESULT kFileRead = Hr(0xC00DA002);
inline constexpr HRESULT kFileWrite = Hr(0xC00DA003);
// Not an ASF file: no Header Object at the start.
inline constexpr HRESULT kNotAsf = Hr(0xC00DA010);
// A header object that contradicts its own sizes or counts, a missing File
// Properties or Data Object, a packet size the layer cannot read.
inline constexpr HRESULT kBadHeader = Hr(0xC00DA011);
// Protected content (an encryption object, an encrypted stream, an
// encryption payload extension): refused, never read as garbage.
inline constexpr HRESULT kProtected = Hr(0xC00DA012);
// A declared size beyond what this layer reads (header, packet, object).
inline constexpr HRESULT kTooLarge = Hr(0xC00DA013);
// A call out of order (a sample before BeginWriting, a second Start).
inline constexpr HRESULT kWrongState = Hr(0xC00DA020);
// A sample the writer cannot carry (unknown stream number, empty, too big).
inline constexpr HRESULT kBadSample = Hr(0xC00DA021);
// A value a writer's header refuses with kInvalidArg is reported as such.
}  // namespace hr

}  // namespace trelvan::wm
