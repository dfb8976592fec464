#pragma once

#include <vector>

#include "RiffChunkBytes.h"

class CDecAVI;

// What an output keeps of what its (first) source says about itself, as
// stored: WAV outputs its INFO list and broadcast extension ("bext"), written
// after the data so that the fixed layout before it stays as it is; AVI
// outputs its INFO list and recording date ("IDIT"), written between the
// header list and the samples.
namespace trelvan {

std::vector<RiffChunkBytes> WavKeptChunks(const CDecAVI& source);
std::vector<RiffChunkBytes> AviKeptChunks(const CDecAVI& source);

}  // namespace trelvan
