#include "CWMVLinkerDlg.h"

#include "Language.h"
#include "WmvOperations.h"

CWMVLinkerDlg::CWMVLinkerDlg(QWidget* owner)
    : CBaseLinkPage(owner, QColor(128, 128, 255),
                    {
                        .sourceGroupJapanese =
                            "連結するソースを指定してください(ドラッグ&&ドロップ可)",
                        .outputLabel = {"Output Dst[WMV]", "出力ファイル名[WMV]"},
                        .defaultExtension = "wmv",
                        .outputExtension = ".wmv",
                        .addFilter = "WMV (*.WMV)|*.wmv|",
                        .outputFilter = "WMV (*.WMV)|*.wmv|WMA (*.wma)|*.wma|",
                        .dropExtensions = {".wmv", ".wma"},
                        .dropOutputExtension = nullptr,  // a WMA list proposes a WMA output
                        .stopEnablesLink = false,
                    }) {}

void CWMVLinkerDlg::RunLink(const QStringList& sources) {
    trelvan::WmvLinkJob job;
    for (const QString& p : sources) {
        job.sources.push_back(p.toStdString());
    }
    job.output = m_output.toStdString();
    // Entries that differ from the first are asked about before anything is
    // deleted (OK joins as before, Cancel ends here).
    job.checkJoin = true;
    NameRunFiles(job.sources, job.output);
    VerifyNextRun(job.output, [job] { return trelvan::verify::LinkPlan(job.sources); });
    RunOnWorker(1000, QThread::LowestPriority,
                [job, ctx = &m_ctx](const std::function<void()>& onBegin) {
                    const trelvan::WmvOpResult r = trelvan::RunWmvLink(job, *ctx, onBegin);
                    return WorkerOutcome{r.code, r.started && !r.stopped, {}, r.output};
                });
}

trelvan::ProgressInput CWMVLinkerDlg::ProgressNow() const {
    return trelvan::WmvLinkProgress(m_ctx, trelvan::IsJapaneseSystem());
}
