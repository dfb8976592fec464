#include "CWMVCreatorDlg.h"

#include "Language.h"
#include "WmvOperations.h"

CWMVCreatorDlg::CWMVCreatorDlg(QWidget* owner)
    : CBaseUnitePage(owner, QColor(128, 191, 255),
                     {
                         .videoLabel = {"Video Src[WMV]", "映像ソース[WMV]"},
                         .audioLabel = {"Audio Src[WMA]", "音声ソース[WMA]"},
                         .outputLabel = {"Output Dst[WMV]", "出力ファイル名[WMV]"},
                         .videoExtension = "wmv",
                         .outputExtension = ".wmv",
                         .videoFilter = "WMV (*.WMV)|*.wmv|",
                         .audioExtension = "wma",
                         .audioFilter = {"WMA-Audio  (*.wma;*.wmv)|*.wma; *.wmv|",
                                         "音声ソースWMAファイル  (*.wma;*.wmv)|*.wma; *.wmv|"},
                         .audioDropExtension = ".wma",
                     }) {}

void CWMVCreatorDlg::OnUnite() {
    if (WorkerBusy()) {
        return;
    }
    DoDataExchange(true);
    if (m_output.isEmpty()) {
        m_output = DefaultOutput();
        DoDataExchange(false);
    }
    trelvan::WmvUniteJob job;
    job.video = m_video.toStdString();
    job.audio = m_audio.toStdString();
    job.output = m_output.toStdString();
    NameRunFiles({job.video, job.audio}, job.output);
    VerifyNextRun(job.output, [job] { return trelvan::verify::UnitePlan(job.video, job.audio); });
    RunOnWorker(500, QThread::LowestPriority,
                [job, ctx = &m_ctx](const std::function<void()>& onBegin) {
                    const trelvan::WmvOpResult r = trelvan::RunWmvUnite(job, *ctx, onBegin);
                    return WorkerOutcome{r.code, r.started && !r.stopped, {}, r.output};
                });
}

trelvan::ProgressInput CWMVCreatorDlg::ProgressNow() const {
    return trelvan::WmvRangeProgress(m_ctx, trelvan::IsJapaneseSystem());
}
