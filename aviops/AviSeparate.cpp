#include "AviSeparate.h"

#include <strings.h>

#include "CDecAVI.h"
#include "CDecWAV.h"
#include "ErrorCodes.h"
#include "KeptChunks.h"
#include "OutputNames.h"

namespace trelvan {

std::string SeparateOutputName(const std::string& source, const std::string& output,
                               SeparateKind kind) {
    const std::string ext = kind == SeparateKind::Video ? ".avi" : ".wav";
    const std::string named = FileStem(output) + ext;
    const bool empty = named == ext;
    const bool isSource =
        kind == SeparateKind::Audio && ::strcasecmp(named.c_str(), source.c_str()) == 0;
    if (empty || isSource) {
        return DefaultOutputName(source, "_cut", ext);
    }
    return named;
}

AviSaveRunResult RunAviSeparate(const AviSeparateJob& job, OpContext& ctx,
                                const std::function<void()>& onBegin) {
    AviSaveRunResult result;
    // Deleting the old output would delete the source.
    if (SameFile(job.source, job.output)) {
        result.code = err::kOutputCannotBeMade;
        return result;
    }
    if (job.kind == SeparateKind::Video) {
        CDecAVI reader;
        reader.SetFileOpener(ctx.opener);
        result.code = reader.Open(job.source);
        if (result.code != 0) {
            return result;
        }
        AviStream* video = reader.GetVideoStream();
        const AVICOMPRESSOPTIONS options = SaveOptionsForVideo(*video);
        return SaveAndMoveOver(job.output, job.output, {{video, &options}}, ctx, onBegin,
                               AviKeptChunks(reader));
    }
    CDecWAV reader;
    reader.SetFileOpener(ctx.opener);
    result.code = reader.Open(job.source);
    if (result.code != 0) {
        return result;
    }
    AviStream* audio = reader.GetAudioStream();
    const AVICOMPRESSOPTIONS options = SaveOptionsForAudio(*audio);
    return SaveAndMoveOver(job.output, job.output, {{audio, &options}}, ctx, onBegin,
                           WavKeptChunks(reader));
}

}  // namespace trelvan
