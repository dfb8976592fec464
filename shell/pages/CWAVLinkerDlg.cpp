#include "CWAVLinkerDlg.h"

#include "AudioLink.h"
#include "Language.h"

CWAVLinkerDlg::CWAVLinkerDlg(QWidget* owner)
    : CBaseLinkPage(owner, QColor(0x80, 0xFF, 0x80),
                    {
                        .sourceGroupJapanese =
                            "連結するWAVソースを指定してください(ドラッグ&&ドロップ可)",
                        .outputLabel = {"Output Dst[WAV]", "出力ファイル名[WAV]"},
                        .defaultExtension = "wav",
                        .outputExtension = ".wav",
                        .addFilter = "WAV (*.WAV)|*.wav|",
                        .outputFilter = "WAV (*.WAV)|*.wav|",
                        .dropExtensions = {".wav", ".avi"},
                        .dropOutputExtension = ".wav",
                    }) {}

void CWAVLinkerDlg::RunLink(const QStringList& sources) {
    trelvan::AudioLinkJob job;
    for (const QString& path : sources) {
        job.sources.push_back(path.toStdString());
    }
    job.output = m_output.toStdString();
    // Entries that differ from the first are asked about before anything is
    // deleted (OK joins as before, Cancel ends here).
    job.checkJoin = true;
    NameRunFiles(job.sources, job.output);
    VerifyNextRun(job.output, [job] { return trelvan::verify::AudioLinkPlan(job.sources); });
    m_linking = true;
    const trelvan::AudioLinkResult result =
        trelvan::RunAudioLink(job, m_ctx, [this] { BeginWork(500); });
    m_linking = false;
    if (result.code != 0) {
        ShowError(result.code);
    }
    if (result.started) {
        EndWork();
    }
}

trelvan::ProgressInput CWAVLinkerDlg::ProgressNow() const {
    trelvan::ProgressInput in;
    in.form = trelvan::ProgressForm::LinkElapsedOnly;
    in.elapsedMs = m_ctx.timer.GetTotal();
    const int32_t item = m_ctx.item.load();
    const int32_t items = m_ctx.items.load();
    in.item = item + 1;
    in.items = items;
    in.done = item;
    in.total = items;
    in.japanese = trelvan::IsJapaneseSystem();
    return in;
}
