#include "CAVILinkerDlg.h"

#include "AviLink.h"
#include "Language.h"

CAVILinkerDlg::CAVILinkerDlg(QWidget* owner)
    : CBaseLinkPage(owner, QColor(255, 255, 128),
                    {
                        .sourceGroupJapanese =
                            "連結するソースを指定してください(ドラッグ&&ドロップ可)",
                        .outputLabel = {"Output Dst[AVI]", "出力ファイル名[AVI]"},
                        .defaultExtension = "avi",
                        .outputExtension = ".avi",
                        .addFilter = "AVI (*.AVI)|*.avi|",
                        .outputFilter = "AVI (*.AVI)|*.avi|",
                        .dropExtensions = {".avi"},
                        .dropOutputExtension = ".avi",
                    }) {}

trelvan::ProgressInput CAVILinkerDlg::ProgressNow() const {
    return trelvan::AviLinkProgress(m_ctx, trelvan::IsJapaneseSystem());
}

void CAVILinkerDlg::RunLink(const QStringList& sources) {
    trelvan::AviLinkJob job;
    for (const QString& p : sources) {
        job.sources.push_back(p.toStdString());
    }
    job.output = m_output.toStdString();
    // Entries that differ from the first are asked about before anything is
    // deleted (OK joins as before, Cancel ends here).
    job.checkJoin = true;
    NameRunFiles(job.sources, job.output);
    VerifyNextRun(job.output, [job] { return trelvan::verify::LinkPlan(job.sources); });
    m_linking = true;
    const trelvan::AviLinkResult result =
        trelvan::RunAviLink(job, m_ctx, [this] { BeginWork(500); });
    if (result.code != 0) {
        ShowError(result.code);
    }
    if (result.started) {
        EndWork();
    }
    m_linking = false;
}
