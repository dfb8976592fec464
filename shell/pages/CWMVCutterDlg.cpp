#include "CWMVCutterDlg.h"

#include "Language.h"
#include "WmvOperations.h"

CWMVCutterDlg::CWMVCutterDlg(QWidget* owner)
    : CBaseSeparatePage(owner, QColor(128, 255, 255),
                        {
                            .sourceLabel = {"Movie Src[WMV]", "映像ソース[WMV]"},
                            .outputLabel = {"Output Dst[WMV or WMA]", "出力ファイル名[WMV or WMA]"},
                            .defaultExtension = "wmv",
                            .outputExtension = ".wmv",
                            .sourceFilter = {"WMV (*.WMV)|*.wmv|WMA (*.wma)|*.wma|",
                                             "WMV (*.WMV)|*.wmv|WMA (*.wma)|*.wma|"},
                            .outputFilter = "WMV (*.WMV)|*.wmv|WMA (*.wma)|*.wma|",
                            .drops = {{".wmv", ".wmv"}, {".wma", ".wmv"}},
                            .browseReplacesOutput = true,
                        }) {}

void CWMVCutterDlg::RunCut(bool audio) {
    if (WorkerBusy()) {
        return;
    }
    DoDataExchange(true);
    trelvan::WmvSeparateJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.kind = audio ? trelvan::WmvStreamKind::Audio : trelvan::WmvStreamKind::Video;
    // The output always gets the extension of the command.
    job.output = trelvan::WmvSeparateOutputName(job);
    m_output = QString::fromStdString(job.output);
    DoDataExchange(false);
    NameRunFiles({job.source}, job.output);
    VerifyNextRun(job.output, [job] {
        return trelvan::verify::SeparatePlan(job.source, job.kind == trelvan::WmvStreamKind::Video
                                                          ? trelvan::verify::MediaKind::Video
                                                          : trelvan::verify::MediaKind::Audio);
    });
    RunOnWorker(1000, QThread::LowestPriority,
                [job, ctx = &m_ctx](const std::function<void()>& onBegin) {
                    const trelvan::WmvOpResult r = trelvan::RunWmvSeparate(job, *ctx, onBegin);
                    return WorkerOutcome{r.code, r.started && !r.stopped, {}, r.output};
                });
}

trelvan::ProgressInput CWMVCutterDlg::ProgressNow() const {
    return trelvan::WmvRangeProgress(m_ctx, trelvan::IsJapaneseSystem());
}
