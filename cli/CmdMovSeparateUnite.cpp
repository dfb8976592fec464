#include <algorithm>
#include <cstdio>
#include <set>

#include "Atoms.h"
#include "CliCommon.h"
#include "Commands.h"
#include "Language.h"
#include "MovOperations.h"
#include "MovResult.h"
#include "MovieReader.h"
#include "VerifyWritten.h"

namespace trelvan::cli {
namespace {

// The source of a unite that an error is about: the first that does not
// read as a movie or lacks the kind it is taken for (the video source when
// both are fine).
std::string UniteSourceOfError(const MovUniteJob& job) {
    for (const auto& [path, handler] :
         {std::pair{job.video, mov::atom::kVide}, std::pair{job.audio, mov::atom::kSoun}}) {
        mov::Movie movie;
        if (mov::ReadMovieFile(path, movie, DiskFileOpener()) != mov::kNoErr ||
            std::none_of(movie.tracks.begin(), movie.tracks.end(),
                         [h = handler](const mov::Track& t) { return t.handler == h; })) {
            return path;
        }
    }
    return job.video;
}

bool IsOutputCode(int32_t code) {
    return code == mov::kCantCreateSingleForkFile || code == mov::kDataNotOpenForWrite;
}

// Runs a separate or unite against a command-line context: the reader's
// warnings on standard error once each, the progress line, Ctrl-C stops.
// Prints the error of a failed run as one line naming the file it concerns
// (the output, or `sourceOfError()`), and returns the exit status.
int RunMovCommand(const ParsedArgs& args, const std::function<MovOpResult(OpContext&)>& op,
                  const std::function<std::string()>& sourceOfError, MovOpResult* result) {
    OpContext ctx;
    std::set<std::string> warned;
    ctx.warn = [&warned](const std::string& text) {
        if (warned.insert(text).second) {
            std::fprintf(stderr, "trelvan-cli: %s\n", text.c_str());
        }
    };
    CliRun run(ctx, args);
    run.SetProgressText(
        [&ctx] { return FormatProgress(MovRangeProgress(ctx, IsJapaneseSystem())).text; });
    *result = op(ctx);
    run.FinishProgress();
    if (result->stopped || run.Interrupted()) {
        return kExitStopped;
    }
    if (result->code != 0) {
        const std::string file = IsOutputCode(result->code) ? result->output : sourceOfError();
        std::fprintf(stderr, "trelvan-cli: %s\n",
                     MovOpErrorText(*result, file, IsJapaneseSystem()).c_str());
        return kExitOperationError;
    }
    return kExitOk;
}

}  // namespace

// trelvan-cli mov-separate --video|--audio SRC [-o OUT] [--verify]: the
// movie's video tracks (with their timecode and chapter tracks) or its
// sound tracks alone in a movie of their own.
int RunMovSeparate(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{"--video", "--audio", kVerify}, {"-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli mov-separate --video|--audio SRC [-o OUT] [--verify]\n"
                "Copies the video tracks of a QuickTime/MP4 movie (with the timecode and\n"
                "chapter tracks they refer to), or its sound tracks, into a movie of their\n"
                "own without re-encoding: edits, descriptions and metadata kept.\n"
                "Default output: the source's name with _cut.mov, or _cut.m4a for sound\n"
                "that is all AAC or ALAC.\n"
                "--verify reads the output back and checks it against the source (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Has("--video") == args.Has("--audio")) {
            return UsageFailure("mov-separate takes one of --video and --audio");
        }
        if (args.Positional().size() != 1) {
            return UsageFailure("mov-separate takes exactly one SRC");
        }
        ApplyCommonOptions(args);
        MovSeparateJob job;
        job.source = args.Positional()[0];
        job.output = args.Value("-o").value_or("");
        job.kind = args.Has("--video") ? MovTrackKind::Video : MovTrackKind::Sound;
        MovOpResult result;
        const int status = RunMovCommand(
            args, [&job](OpContext& ctx) { return trelvan::RunMovSeparate(job, ctx); },
            [&job] { return job.source; }, &result);
        return VerifyIfAsked(
            args, status, result.output,
            SeparatePlan(job.source, job.kind == MovTrackKind::Video ? verify::MediaKind::Video
                                                                     : verify::MediaKind::Audio));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

// trelvan-cli mov-unite VIDEO AUDIO [-o OUT] [--verify]: the video tracks of
// one movie and the sound tracks of another, side by side from time 0.
int RunMovUnite(const std::vector<std::string>& words) {
    try {
        const ParsedArgs args = ParseArgs(words, {{kVerify}, {"-o"}});
        if (args.Has("--help") || args.Has("-h")) {
            std::printf(
                "usage: trelvan-cli mov-unite VIDEO AUDIO [-o OUT] [--verify]\n"
                "Puts the video tracks of the movie VIDEO and the sound tracks of the movie\n"
                "AUDIO into one MOV file without re-encoding, both from the start; the\n"
                "movie lasts as long as the longer and keeps VIDEO's time scale and\n"
                "metadata. Default output: the video source's name with _comb.mov.\n"
                "--verify reads the output back and checks it against the sources (exit 1 and\n"
                "the first difference on standard error when they differ).\n");
            return kExitOk;
        }
        if (args.Positional().size() != 2) {
            return UsageFailure("mov-unite takes exactly VIDEO and AUDIO");
        }
        ApplyCommonOptions(args);
        MovUniteJob job;
        job.video = args.Positional()[0];
        job.audio = args.Positional()[1];
        job.output = args.Value("-o").value_or("");
        MovOpResult result;
        const int status = RunMovCommand(
            args, [&job](OpContext& ctx) { return trelvan::RunMovUnite(job, ctx); },
            [&job] { return UniteSourceOfError(job); }, &result);
        return VerifyIfAsked(args, status, result.output, UnitePlan(job.video, job.audio));
    } catch (const UsageError& e) {
        return UsageFailure(e.what());
    }
}

}  // namespace trelvan::cli
