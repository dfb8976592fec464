#pragma once

#include <cstdint>

#include "CDecAVI.h"
#include "CEncAVI.h"

namespace trelvan {

// Copies the video sample at `pos` of an open reader into the writer, with
// its key-frame flag, byte for byte. `buffer` is the reader's realloc'd
// sample buffer (the caller frees it). Returns 0 or an error code
// (err::kStreamRead when the source failed, the writer's code otherwise);
// *samples gets how many samples the copy moved on.
int32_t CopyVideoSample(CDecAVI& reader, CEncAVI& writer, int32_t pos, uint32_t direct_copy_bytes,
                        void** buffer, int32_t* samples);

}  // namespace trelvan
