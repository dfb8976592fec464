#include "MovOpSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "MovOperations.h"
#include "MovieReader.h"
#include "MovieWriter.h"
#include "OutputNames.h"
#include "QtErrorNames.h"
#include "StagedOutput.h"

namespace trelvan {

namespace movop {

mov::MovResult ReadSource(const std::string& path, OpContext& ctx, mov::Movie& movie) {
    const auto warn = [&ctx, &path](const std::string& text) { ctx.Warn(path + ": " + text); };
    const mov::MovResult rc = mov::ReadMovieFile(path, movie, ctx.opener, warn);
    ctx.Pump();
    return rc;
}

bool NamesASource(const std::string& output, const std::vector<std::string>& sources) {
    return std::any_of(sources.begin(), sources.end(),
                       [&output](const std::string& s) { return SameFile(s, output); });
}

mov::MovResult SaveMovie(const mov::Movie& movie, const std::string& output, OpContext& ctx) {
    // Written beside the output and put in place once whole: a failure or
    // a stop leaves an existing output as it was.
    StagedOutput staged(output);
    std::unique_ptr<IoFile> out =
        staged.Ready() ? ctx.opener(staged.Path(), OpenMode::CreateTruncate) : nullptr;
    if (!out) {
        return mov::kCantCreateSingleForkFile;
    }
    mov::FlattenLimits limits;
    limits.progress = [&ctx](uint64_t done, uint64_t total) {
        ctx.current = static_cast<int64_t>(std::min<uint64_t>(done, INT64_MAX));
        ctx.last = static_cast<int64_t>(std::min<uint64_t>(total, INT64_MAX));
        ctx.timer.AddLap();
        ctx.Pump();
        ctx.timer.Start();
        return !ctx.StopRequested();
    };
    mov::MovResult rc = mov::FlattenMovie(movie, *out, limits, output);
    if (!out->Close() && rc == mov::kNoErr) {
        rc = mov::kDataNotOpenForWrite;
    }
    out.reset();
    if (rc == mov::kNoErr && !staged.Commit()) {
        rc = mov::kCantCreateSingleForkFile;
    }
    return rc;  // a temporary file not put in place is deleted here
}

}  // namespace movop

std::string MovOpErrorText(const MovOpResult& result, const std::string& file, bool japanese) {
    std::string name = mov::QtErrorName(result.code);
    name = name.substr(0, name.find('\n'));
    char code[32];
    std::snprintf(code, sizeof code, "%d", result.code);
    std::string what;
    switch (result.code) {
        case mov::kCantCreateSingleForkFile:
            what = japanese ? "出力ファイルを作成できません" : "the output cannot be created";
            break;
        case mov::kDataNotOpenForWrite:
            what = japanese ? "出力ファイルに書き込めません" : "the output cannot be written";
            break;
        case mov::kInvalidTrack:
            what = japanese ? "必要なトラックがありません" : "the movie has no such track";
            break;
        case mov::kInvalidDuration:
            what = japanese ? "範囲がムービーの外です" : "the range lies outside the movie";
            break;
        case mov::kProgressProcAborted:
            what = japanese ? "中止しました" : "stopped";
            break;
        default:
            // A source that is not there at all is not a damaged movie.
            if (file.empty()) {
                what = japanese ? "ソースを選んでください" : "choose a source";
            } else if (::access(file.c_str(), F_OK) != 0 && errno == ENOENT) {
                what = japanese ? "ファイルがありません" : "the file is missing";
            } else {
                what = japanese ? "ムービーを読めません" : "the movie cannot be read";
            }
            break;
    }
    std::string text = file.empty() ? what : file + ": " + what;
    text += japanese ? "（エラー " : " (error ";
    text += code;
    if (!name.empty()) {
        text += " " + name;
    }
    text += japanese ? "）" : ")";
    return text;
}

ProgressInput MovRangeProgress(const OpContext& ctx, bool japanese) {
    // Byte positions; the work adds a lap before each pump, so the total is
    // its working time.
    return WideRangeProgress(ctx.first.load(), ctx.current.load(), ctx.last.load(),
                             ctx.timer.GetTotal(), japanese);
}

}  // namespace trelvan
