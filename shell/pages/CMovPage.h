#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "ErrorText.h"
#include "Language.h"
#include "MovOperations.h"
#include "MovResult.h"
#include "PageUtil.h"
#include "RunFiles.h"

namespace trelvan::shell {

// The movie kinds the movie pages' file dialogs offer.
inline constexpr const char* kMovieFilter =
    "MOV/MP4 (*.mov;*.mp4;*.m4v;*.m4a;*.3gp)|*.mov; *.mp4; *.m4v; *.m4a; *.3gp|";

// Whether a result's failure concerns the output rather than a source.
inline bool MovOutputFailed(int32_t code) {
    return code == mov::kCantCreateSingleForkFile || code == mov::kDataNotOpenForWrite;
}

}  // namespace trelvan::shell

// What the movie pages (separate, unite, extract) add to the base of their
// layout: the run of a movie operation on the window thread, its progress
// and its messages. The operation pumps events after every unit, so Stop,
// the timer and repainting reach the page during the run; the page is not
// idle until the call has returned (the window will not close under it, and
// a second start is refused). A failure is shown in the error box with the
// movie layer's message, which names the file it concerns; a stop shows
// none. The reader's warnings about a source go to standard output, and
// the last one stays on the Info line after the run.
template <class Layout>
class CMovPage : public Layout {
  public:
    using Layout::Layout;

    int IsIdle() const override { return m_running ? 0 : Layout::IsIdle(); }
    // Whether a run has not yet returned.
    bool Running() const { return m_running; }

  protected:
    using Operation = std::function<trelvan::MovOpResult(trelvan::OpContext& ctx,
                                                         const std::function<void()>& onBegin)>;
    // The file a failed run's message names.
    using FailedFile = std::function<std::string(const trelvan::MovOpResult& result)>;

    // Runs `run` against the page's context. A run that went to its end is
    // checked (when Verify is ticked) against `plan` under the name it
    // wrote (else `output`); one that failed shows its error box.
    trelvan::MovOpResult RunMovie(const Operation& run, const std::string& output,
                                  typename Layout::PlanBuilder plan, const FailedFile& failed) {
        m_running = true;
        this->NameRunFiles({}, output);
        auto warned = std::make_shared<std::string>();
        this->m_runWarn = [warned](const std::string& line) { *warned = line; };
        const trelvan::MovOpResult result = run(this->m_ctx, [this] { this->BeginWork(500); });
        this->m_runWarn = nullptr;
        if (result.started) {
            // The operation sets the stop flag when it ends; what EndWork
            // reads as success is the result.
            const bool completed = result.code == 0 && !result.stopped;
            if (completed) {
                this->VerifyNextRun(result.output.empty() ? output : result.output,
                                    std::move(plan));
            }
            this->m_ctx.stop.store(completed ? 0 : 1);
            this->EndWork();
        }
        if (result.code != 0 && !result.stopped) {
            ShowMovError(result, failed(result));
        }
        if (!warned->empty()) {
            this->SetInfo(QString::fromStdString(*warned));
        }
        m_running = false;
        return result;
    }

    // The error box of a movie result: the code in the caption as every
    // error box has it, the layer's one-line message naming `file`, and
    // below it the system's reason where there is one.
    void ShowMovError(const trelvan::MovOpResult& result, const std::string& file) {
        trelvan::shell::MessageBoxRequest box;
        box.owner = this;
        box.caption = QString::fromStdString(trelvan::FormatErrorCaption(result.code));
        const bool japanese = trelvan::IsJapaneseSystem();
        std::string text = trelvan::MovOpErrorText(result, file, japanese);
        const int reason = file.empty() ? 0
                                        : trelvan::verify::SystemReason(
                                              file, trelvan::shell::MovOutputFailed(result.code));
        if (reason != 0) {
            text += "\n\n" + trelvan::verify::SystemReasonText(reason, japanese);
        }
        box.text = QString::fromStdString(text);
        box.information = true;
        trelvan::shell::ShowMessageBox(box);
    }

    trelvan::ProgressInput ProgressNow() const override {
        return trelvan::MovRangeProgress(this->m_ctx, trelvan::IsJapaneseSystem());
    }

  private:
    bool m_running = false;
};
