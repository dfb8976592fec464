#pragma once

#include <string>
#include <vector>

#include "AsfProfile.h"
#include "IoFile.h"
#include "JoinCheck.h"

// The join check of the WMV link: each file against the first, on what the
// joined file needs to agree. The output is configured from the first file,
// and every later file's samples go to the streams of the same numbers:
//  - each stream number must be there with the same kind (a stream the
//    first lacks cannot be written; one a later file lacks leaves a gap);
//  - its media type must be the same: codec, then for video the frame size,
//    bit depth and codec data; for audio the format tag, channels, sample
//    rate, bits per sample, block alignment and codec bytes.
// Bit-rate fields are not compared: files of one kind differ there and
// still join.
namespace trelvan {

JoinReport CompareWmvProfiles(const std::vector<const wm::Profile*>& profiles,
                              const std::vector<std::string>& sources);

// Reads the files' headers and compares them; a file that cannot be read
// ends the check with the reader's code (8201) in report.code.
JoinReport CheckWmvJoin(const std::vector<std::string>& sources,
                        const FileOpener& opener = DiskFileOpener());

}  // namespace trelvan
