#include "MovLink.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "CQuickTime.h"
#include "ErrorCodes.h"
#include "MovJoinCheck.h"
#include "MovieToolbox.h"
#include "OutputNames.h"
#include "QtErrorNames.h"

namespace trelvan {

using mov::CQuickTime;

std::string MovLinkDefaultOutput(const std::string& firstSource) {
    return DefaultOutputName(firstSource, "_link", ".mov");
}

namespace {

// The page's texts (shown in Japanese in both languages).
constexpr const char* kLayerFailed =
    "QuickTime環境の初期化に失敗しました。\r\n\r\nシステムにQuickTimeがインストールされていない"
    "可能性があります。";
constexpr const char* kMoviesFailed = "QuickTimeの初期化に失敗しました。";
constexpr const char* kOpenFailed = "\nファイルOPENエラー";
constexpr const char* kSelectFailed = "のムービーを全て選択中にエラーが発生しました。\n\n詳細：\n";
constexpr const char* kCopyFailed = "のムービーをコピー中にエラーが発生しました。\n\n詳細：\n";
constexpr const char* kEndFailed = "ムービーの終端に移動中にエラーが発生しました。\n\n詳細：\n";
constexpr const char* kPasteFailed = "ムービーを貼り付け中にエラーが発生しました。\n\n詳細：\n";
constexpr const char* kStartFailed = "ムービーの先頭に移動中にエラーが発生しました。\n\n詳細：\n";
constexpr const char* kSaveFailed = "ムービーを保存中にエラーが発生しました。\n\n詳細：\n";
constexpr const char* kResFailed = "リソース(.#res)ファイルを削除中にエラーが発生しました。";

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// What each step's failure says on the command line: English, Japanese.
struct StepText {
    MovLinkStep step;
    const char* english;
    const char* japanese;
};
constexpr StepText kStepTexts[] = {
    {MovLinkStep::Layer, "the movie layer cannot start", "QuickTime環境の初期化に失敗しました"},
    {MovLinkStep::Movies, "the movie services cannot start", "QuickTimeの初期化に失敗しました"},
    {MovLinkStep::Open, "the file does not open as a movie", "ファイルOPENエラー"},
    {MovLinkStep::Select, "the whole movie cannot be selected",
     "ムービーを全て選択中にエラーが発生しました"},
    {MovLinkStep::Copy, "the movie cannot be copied", "ムービーをコピー中にエラーが発生しました"},
    {MovLinkStep::End, "the end of the joined movie cannot be reached",
     "ムービーの終端に移動中にエラーが発生しました"},
    {MovLinkStep::Paste, "the movie cannot be pasted",
     "ムービーを貼り付け中にエラーが発生しました"},
    {MovLinkStep::Start, "the start of the joined movie cannot be reached",
     "ムービーの先頭に移動中にエラーが発生しました"},
    {MovLinkStep::Save, "the joined movie cannot be saved",
     "ムービーを保存中にエラーが発生しました"},
    {MovLinkStep::Resource, "the resource file (.#res) cannot be deleted",
     "リソース(.#res)ファイルを削除中にエラーが発生しました"},
};

// Fails the run with a message; the stop flag is set so that no 100 % is
// shown.
void Fail(MovLinkResult& r, OpContext& ctx, MovLinkStep step, const std::string& file, int32_t code,
          std::string message, MovLinkIcon icon = MovLinkIcon::Stop) {
    r.step = step;
    r.file = file;
    r.code = code;
    r.message = std::move(message);
    r.icon = icon;
    ctx.stop = 1;
}

// After a movie step: its result, with the message when it failed.
bool StepFailed(MovLinkResult& r, OpContext& ctx, CQuickTime& movie, MovLinkStep step,
                const std::string& file, const std::string& head) {
    const int32_t rc = mov::toolbox::GetMoviesError();
    if (rc == 0) {
        return false;
    }
    std::string name;
    Fail(r, ctx, step, file, rc, head + movie.GetErrorName(name, rc));
    return true;
}

// The appending and saving, with both movie objects alive.
void Link(const MovLinkJob& job, OpContext& ctx, CQuickTime& main, CQuickTime& added,
          MovLinkResult& r) {
    // Two windows the movies are bound to; nothing is drawn, so any
    // distinct addresses serve.
    static int mainWindow = 9998, addWindow = 9997;
    main.AttachWindow(&mainWindow);
    added.AttachWindow(&addWindow);
    main.SetFileOpener(ctx.opener);
    added.SetFileOpener(ctx.opener);
    // Damage a source was read around (a file cut short) is said aloud.
    const auto warn = [&ctx](const std::string& text) { ctx.Warn(text); };
    main.SetWarnHook(warn);
    added.SetWarnHook(warn);

    ctx.item = 0;
    if (main.OpenMovie(job.sources[0]) == 0) {
        Fail(r, ctx, MovLinkStep::Open, job.sources[0], mov::toolbox::GetMoviesError(),
             job.sources[0] + kOpenFailed);
        return;
    }
    for (size_t i = 1; i < job.sources.size(); ++i) {
        ctx.item = static_cast<int32_t>(i);
        ctx.timer.AddLap();
        ctx.Pump();
        ctx.timer.Start();
        if (ctx.StopRequested()) {
            return;
        }
        const std::string& path = job.sources[i];
        if (added.OpenMovie(path) == 0) {
            Fail(r, ctx, MovLinkStep::Open, path, mov::toolbox::GetMoviesError(),
                 path + kOpenFailed);
            return;
        }
        added.SelectAll();
        if (StepFailed(r, ctx, added, MovLinkStep::Select, path, path + kSelectFailed)) {
            return;
        }
        added.CopySelection();
        if (StepFailed(r, ctx, added, MovLinkStep::Copy, path, path + kCopyFailed)) {
            return;
        }
        // The scrap holds what is pasted (its sources stay open through
        // it): the movie's own sample lists are not needed any more.
        added.CloseMovie();
        main.GoToEnd();
        if (StepFailed(r, ctx, main, MovLinkStep::End, {}, kEndFailed)) {
            return;
        }
        main.Paste();
        if (StepFailed(r, ctx, main, MovLinkStep::Paste, path, kPasteFailed)) {
            return;
        }
    }
    if (ctx.StopRequested()) {
        return;
    }
    ctx.item = static_cast<int32_t>(job.sources.size());
    main.GoToStart();
    if (StepFailed(r, ctx, main, MovLinkStep::Start, {}, kStartFailed)) {
        return;
    }
    main.SaveMovieAs(job.output);
    if (StepFailed(r, ctx, main, MovLinkStep::Save, job.output, kSaveFailed)) {
        return;
    }
    const std::string res = job.output + ".#res";
    if (Exists(res) && RemoveExistingFile(res) != 0) {
        Fail(r, ctx, MovLinkStep::Resource, res, 0, kResFailed);
    }
}

}  // namespace

MovLinkResult RunMovLink(const MovLinkJob& job, OpContext& ctx,
                         const std::function<void()>& onBegin) {
    MovLinkResult r;
    if (job.sources.empty()) {
        r.code = err::kNoFrame;
        return r;
    }
    // The output is deleted next: one that is a source would be lost.
    for (const std::string& source : job.sources) {
        if (SameFile(source, job.output)) {
            // What the layer says when asked to save over a source; nothing
            // has been deleted yet.
            r.code = mov::kCantCreateSingleForkFile;
            r.message = kSaveFailed + mov::QtErrorName(r.code);
            r.icon = MovLinkIcon::Stop;
            r.step = MovLinkStep::Save;
            r.file = job.output;
            return r;
        }
    }
    if (job.checkJoin) {
        // A movie that cannot be read is left to the link, which says so in
        // its own words.
        r.join = CheckMovieJoin(job.sources, ctx.opener);
        if (!r.join.differences.empty() && ctx.ask && !ctx.Ask("", r.join.Question())) {
            r.cancelled = true;
            return r;
        }
    }
    ctx.items = static_cast<int32_t>(job.sources.size());
    ctx.item = 0;
    ctx.BeginWork();
    r.started = true;
    if (onBegin) {
        onBegin();
    }

    {
        auto main = std::make_unique<CQuickTime>();
        auto added = std::make_unique<CQuickTime>();
        if (mov::toolbox::StartLayer() != 0) {
            Fail(r, ctx, MovLinkStep::Layer, {}, 0, kLayerFailed, MovLinkIcon::Question);
            return r;
        }
        if (mov::toolbox::EnterMovies() != 0) {
            Fail(r, ctx, MovLinkStep::Movies, {}, 0, kMoviesFailed);
        } else {
            Link(job, ctx, *main, *added, r);
            mov::toolbox::ExitMovies();
        }
        main->DetachWindow();
        added->DetachWindow();
        main.reset();
        added.reset();
        mov::toolbox::StopLayer();
    }
    return r;
}

std::string MovLinkErrorText(const MovLinkResult& result, bool japanese) {
    const char* what = japanese ? "連結に失敗しました" : "the link failed";
    for (const StepText& t : kStepTexts) {
        if (t.step == result.step) {
            what = japanese ? t.japanese : t.english;
        }
    }
    std::string text = result.file.empty() ? what : result.file + ": " + what;
    if (result.code != 0) {
        std::string name = mov::QtErrorName(result.code);
        name = name.substr(0, name.find('\n'));
        text += (japanese ? "（エラー " : " (error ") + std::to_string(result.code) + " " + name +
                (japanese ? "）" : ")");
    }
    return text;
}

ProgressInput MovLinkProgress(const OpContext& ctx, bool japanese) {
    ProgressInput in;
    in.form = ProgressForm::Link;
    in.elapsedMs = ctx.timer.GetTotal();
    const int32_t items = ctx.items.load();
    const int32_t item = std::min(ctx.item.load(), items);
    in.item = std::min(item + 1, items);
    in.items = items;
    in.done = item;
    in.total = items;
    in.japanese = japanese;
    return in;
}

}  // namespace trelvan
