#pragma once

#include <cstdint>
#include <vector>

#include "AviFile.h"

// Audio stream headers that do not count in the format's own blocks.
//
// An AVI audio stream of fixed-size samples is cut, timed and counted in
// units of its header's sample size, at its header's rate and scale. Some
// writers store PCM, A-law and µ-law with a sample size of 1 or 2 bytes
// under a block alignment of 2 or 4 (counting the length in those small
// units while the rate counts whole blocks, or the other way round), and
// some leave rate and scale 0. Taken at their word, such streams are cut
// inside a block (every later sample then has its channels or bytes
// swapped), timed at half or a quarter of their length, or not timed at all.
// The AVI layer therefore re-expresses the stream in whole blocks before
// anything reads it: sample size = block alignment, with the rate and scale
// that agree with the format's byte rate. Streams whose header already
// agrees with the format are left as they are.
namespace trelvan {

// Whether a stream of this format tag is made of fixed blocks of
// nBlockAlign bytes that can be cut between any two of them (PCM, floats,
// G.711, ADPCM, GSM), as opposed to frames of their own (MPEG, AC-3, AAC).
bool IsBlockCodedAudio(uint16_t tag);

// Makes `info` count in whole blocks of the audio format `format` (which
// may gain the block alignment its tail implies, when it stores 0). Does
// nothing for other streams or when the format says too little.
void NormalizeAudioUnits(AviStreamInfo& info, std::vector<uint8_t>& format);

// Where a cut of an audio stream at sample `pos` (the first sample kept, or
// the first one left out) must fall: for MPEG audio or AC-3 stored as bytes,
// the first frame boundary at or after it, so that a piece starts with a
// whole frame and ends with the frame that holds its end; for every other
// stream `pos` itself.
int32_t AudioCutPosition(AviStream& stream, int32_t pos);

// The byte rate of MPEG audio stored as bytes, from the frames in the first
// 64 KiB of the stream: their bytes over their play time. For formats that
// give no byte rate of their own (ffmpeg writes MP3 in WAV files so). 0 for
// other streams or when no frame is found there.
uint32_t MpegStreamByteRate(AviStream& stream);

}  // namespace trelvan
