#include "AviSaveRun.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "ErrorCodes.h"
#include "OutputNames.h"

namespace trelvan {

AVICOMPRESSOPTIONS SaveOptionsForVideo(const AviStream& stream) {
    AVICOMPRESSOPTIONS o;
    o.fccType = stream.Info().fccType;
    o.fccHandler = 0;
    o.dwKeyFrameEvery = 0xFFFFFFFFu;  // the source's key frames
    o.dwQuality = 0xFFFFFFFFu;
    o.dwBytesPerSecond = 0;
    o.dwFlags = AVICOMPRESSF_VALID | AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_DATARATE;
    o.dwInterleaveEvery = 1;
    return o;
}

AVICOMPRESSOPTIONS SaveOptionsForAudio(const AviStream& stream) {
    AVICOMPRESSOPTIONS o;
    o.fccType = stream.Info().fccType;
    o.dwFlags = AVICOMPRESSF_VALID;
    o.dwInterleaveEvery = 1;
    o.format = stream.Format();
    return o;
}

ProgressInput SavePercentProgress(const OpContext& ctx, bool japanese) {
    ProgressInput in;
    in.form = ProgressForm::Percent;
    in.elapsedMs = ctx.timer.GetTotal();
    in.percent = ctx.percent.load();
    in.japanese = japanese;
    return in;
}

int MoveOverFile(const std::string& from, const std::string& to) {
    if (from.empty() || from == to || ::access(from.c_str(), F_OK) != 0) {
        return 0;
    }
    // One step: an existing `to` is replaced only when the move works.
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : 1;
}

AviSaveRunResult SaveAndMoveOver(const std::string& output, const std::string& saveAs,
                                 const std::vector<AviSaveStream>& streams, OpContext& ctx,
                                 const std::function<void()>& onBegin,
                                 const std::vector<RiffChunkBytes>& kept) {
    AviSaveRunResult result;
    // The old output stays until the save is kept (moved over it below).
    ctx.percent = 0;
    ctx.BeginWork();
    result.started = true;
    if (onBegin) {
        onBegin();
    }

    const AviSaveProgress progress = [&ctx](int32_t percent) -> int32_t {
        ctx.timer.AddLap();
        ctx.percent = std::min(percent, 99);
        ctx.Pump();
        ctx.timer.Start();
        return ctx.StopRequested() ? 1 : 0;
    };
    std::string written;
    const int32_t rc = SaveStreams(saveAs, streams, progress, &written, ctx.opener, kept);
    if (rc == kAviErrFileOpen) {
        result.code = err::kOutputCannotBeMade;
    } else if (rc != 0) {
        result.code = err::kSaveFailed;  // a stop included
    }

    // What was saved goes to the output name when the save went to its end
    // or was stopped (the stopped output is kept, as far as it was saved);
    // after a failure it is deleted and an old output stays as it was.
    if (rc != 0 && rc != kAviErrUserAbort) {
        RemoveExistingFile(written);
    } else if (MoveOverFile(written, output) != 0) {
        // The output name cannot take the file (a folder of that name, say):
        // a run reported as done would have left no output, and the saved
        // file would stay behind under its hidden name.
        RemoveExistingFile(written);
        if (result.code == 0) {
            result.code = err::kOutputCannotBeMade;
        }
    }
    if (result.code != 0) {
        ctx.stop = 1;
    }
    return result;
}

}  // namespace trelvan
