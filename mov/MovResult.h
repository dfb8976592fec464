#pragma once

#include <cstdint>

// Result codes of the movie layer. They are the movie toolbox's own codes
// (negative 16-bit values), so that the binding can name any of them through
// its table; 0 is success. Only the codes this layer raises are listed.
namespace trelvan::mov {

using MovResult = int32_t;

inline constexpr MovResult kNoErr = 0;
// A data reference names another file: the movie is not self-contained.
inline constexpr MovResult kCouldNotResolveDataRef = -2000;
// The atom structure is broken (a size that does not fit its parent, ...).
inline constexpr MovResult kBadPublicMovieAtom = -2002;
inline constexpr MovResult kInvalidMedia = -2008;
inline constexpr MovResult kInvalidTrack = -2009;
inline constexpr MovResult kInvalidMovie = -2010;
// A sample table that contradicts itself or declares more than the file holds.
inline constexpr MovResult kInvalidSampleTable = -2011;
inline constexpr MovResult kInvalidDuration = -2014;
// The work was stopped through the operation's stop flag.
inline constexpr MovResult kProgressProcAborted = -2019;
// The output file could not be created.
inline constexpr MovResult kCantCreateSingleForkFile = -2022;
inline constexpr MovResult kInvalidSampleDescIndex = -2039;
// Reading a source failed.
inline constexpr MovResult kDataNotOpenForRead = -2042;
// Writing the output failed (a full disk, an I/O error).
inline constexpr MovResult kDataNotOpenForWrite = -2043;
// Samples lie beyond the end of the file and none before them could be kept.
inline constexpr MovResult kEndOfDataReached = -2046;
// No movie atom in the file.
inline constexpr MovResult kNoMovieFound = -2048;
// A compressed movie atom ('cmov'): not read by this layer.
inline constexpr MovResult kFeatureUnsupported = -2053;
// A sample table larger than the layer accepts.
inline constexpr MovResult kFileOffsetTooBig = -2125;
// An edit before a movie or scrap exists, or arguments that make no sense.
inline constexpr MovResult kParamErr = -2202;

}  // namespace trelvan::mov
