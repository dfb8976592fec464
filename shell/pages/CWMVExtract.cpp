#include "CWMVExtract.h"

#include <memory>

#include "Language.h"
#include "WmvOperations.h"

CWMVExtract::CWMVExtract(QWidget* owner)
    : CBaseExtractPage(owner, QColor(192, 128, 255),
                       {
                           .sourceLabel = {"Movie Src[WMV]", "映像ソース[WMV]"},
                           .outputLabel = {"Output Dst[WMV]", "出力ファイル名[WMV]"},
                           .defaultExtension = "wmv",
                           .outputExtension = ".wmv",
                           .sourceFilter = {"WMV (*.WMV)|*.wmv|WMA (*.wma)|*.wma|",
                                            "WMV (*.WMV)|*.wmv|WMA (*.wma)|*.wma|"},
                           .outputFilter = "WMV (*.WMV)|*.wmv|WMA (*.wma)|*.wma|",
                           // A dropped file proposes an output of its own kind.
                           .drops = {{".wmv"}, {".wma"}},
                       }) {}

int32_t CWMVExtract::ReadSourceRange() {
    uint64_t duration = 0;
    const int32_t code = trelvan::WmvSourceDuration(m_input.toStdString(), &duration, m_ctx.opener);
    if (code != 0) {
        return code;
    }
    const uint64_t seconds = duration / 10000000;
    m_range.values[CRangeFields::kEnd] = static_cast<int64_t>(seconds / 3600);
    m_range.values[CRangeFields::kEnd + 1] = static_cast<int64_t>(seconds % 3600 / 60);
    m_range.values[CRangeFields::kEnd + 2] = static_cast<int64_t>(seconds % 60);
    m_range.values[CRangeFields::kEnd + 3] = static_cast<int64_t>(duration / 10000 % 1000);
    return 0;
}

void CWMVExtract::RunExtract() {
    if (WorkerBusy()) {
        return;
    }
    auto timeOf = [this](size_t half) {
        const auto& v = m_range.values;
        return trelvan::WmvRangeTime(static_cast<uint32_t>(v[half]), static_cast<uint32_t>(v[half + 1]),
                                     static_cast<uint32_t>(v[half + 2]),
                                     static_cast<uint32_t>(v[half + 3]));
    };
    trelvan::WmvExtractJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.start = timeOf(CRangeFields::kStart);
    job.end = timeOf(CRangeFields::kEnd);
    // A range without a video key frame gives a file whose picture players
    // may not show: the user is told so after the run. The warning comes
    // on the worker, before its outcome.
    auto note = std::make_shared<std::string>();
    m_ctx.warn = [note](const std::string& text) {
        if (text == trelvan::WmvNoKeyFrameWarning()) {
            *note = text;
        }
    };
    RunOnWorker(1000, QThread::LowPriority,
                [job, note, ctx = &m_ctx](const std::function<void()>& onBegin) {
                    const trelvan::WmvOpResult r = trelvan::RunWmvExtract(job, *ctx, onBegin);
                    return WorkerOutcome{r.code, r.started && !r.stopped, *note};
                });
}

trelvan::ProgressInput CWMVExtract::ProgressNow() const {
    return trelvan::WmvRangeProgress(m_ctx, trelvan::IsJapaneseSystem());
}
