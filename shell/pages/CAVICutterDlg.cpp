#include "CAVICutterDlg.h"

#include "Language.h"

CAVICutterDlg::CAVICutterDlg(QWidget* owner)
    : CBaseSeparatePage(owner, QColor(255, 128, 128),
                        {
                            .sourceLabel = {"Movie Src[AVI]", "映像ソース[AVI]"},
                            .outputLabel = {"Output Dst[AVI or WAV]", "出力ファイル名[AVI or WAV]"},
                            .defaultExtension = "avi",
                            .outputExtension = ".avi",
                            .sourceFilter = {"AVI (*.AVI)|*.avi|WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|",
                                             "AVI (*.AVI)|*.avi|音声ソースWAVファイル  "
                                             "(*.wav;*.avi)|*.wav; *.avi|"},
                            .outputFilter = "AVI (*.AVI)|*.avi|WAV (*.WAV)|*.wav|",
                            .drops = {{".avi", ".avi"}, {".wav", ".wav"}},
                        }) {}

void CAVICutterDlg::RunCut(bool audio) {
    const trelvan::SeparateKind kind =
        audio ? trelvan::SeparateKind::Audio : trelvan::SeparateKind::Video;
    DoDataExchange(true);
    m_output = QString::fromStdString(
        trelvan::SeparateOutputName(m_input.toStdString(), m_output.toStdString(), kind));
    DoDataExchange(false);
    SetBar(0);
    SetInfo("  0 %");

    trelvan::AviSeparateJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.kind = kind;
    NameRunFiles({job.source}, job.output);
    VerifyNextRun(job.output, [job] {
        return trelvan::verify::SeparatePlan(job.source, job.kind == trelvan::SeparateKind::Video
                                                          ? trelvan::verify::MediaKind::Video
                                                          : trelvan::verify::MediaKind::Audio);
    });
    m_saving = true;
    const trelvan::AviSaveRunResult result =
        trelvan::RunAviSeparate(job, m_ctx, [this] { BeginWork(1000); });
    m_saving = false;
    // Idle again before the error box, as the separate page does it.
    if (result.started) {
        EndWork();
    }
    if (result.code != 0) {
        ShowError(result.code);
    }
}

trelvan::ProgressInput CAVICutterDlg::ProgressNow() const {
    return trelvan::SavePercentProgress(m_ctx, trelvan::IsJapaneseSystem());
}
