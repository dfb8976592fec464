#pragma once

#include <string>
#include <vector>

#include "MovResult.h"
#include "MovieModel.h"
#include "OpContext.h"

// What the movie operations share: reading a source for a run, the output
// checks, and saving with progress, stop and no partial file left behind.
namespace trelvan::movop {

// Reads `path` through the context's opener; the reader's warnings go to
// the warn hook led by the path. The context is pumped afterwards.
mov::MovResult ReadSource(const std::string& path, OpContext& ctx, mov::Movie& movie);

// Whether `output` names one of `sources` (however spelled).
bool NamesASource(const std::string& output, const std::vector<std::string>& sources);

// Replaces `output` with `movie` flattened. Positions: current = media
// bytes written, last = their total; the context is pumped after every
// chunk and a stop request ends the save with kProgressProcAborted. A save
// that fails or is stopped removes what it began.
mov::MovResult SaveMovie(const mov::Movie& movie, const std::string& output, OpContext& ctx);

}  // namespace trelvan::movop
