#pragma once

#include <string>
#include <vector>

#include "IoFile.h"
#include "JoinCheck.h"

class CDecAVIAudio;

// The join check of the AVI and audio links: each entry against the first.
//  - AVI video: compression and handler, frame size, bit depth, frame rate
//    (rate/scale), the codec data of the format;
//  - audio (AVI link and audio link): whether there is any, format tag,
//    channels, sample rate, bits per sample, block alignment, codec bytes.
// Byte rates are not compared: variable-rate audio differs there and still
// joins.
namespace trelvan {

// Compares open readers (entry i is readers[i]; `sources` names them).
JoinReport CompareAviEntries(const std::vector<CDecAVIAudio*>& readers,
                             const std::vector<std::string>& sources);
JoinReport CompareAudioEntries(const std::vector<CDecAVIAudio*>& readers,
                               const std::vector<std::string>& sources);

// Opens the sources and compares them; an entry that cannot be opened ends
// the check with its code (report.unreadable, report.code).
JoinReport CheckAviJoin(const std::vector<std::string>& sources,
                        const FileOpener& opener = DiskFileOpener());
JoinReport CheckAudioJoin(const std::vector<std::string>& sources,
                          const FileOpener& opener = DiskFileOpener());

}  // namespace trelvan
