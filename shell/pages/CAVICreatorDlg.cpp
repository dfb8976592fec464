#include "CAVICreatorDlg.h"

#include "AviUnite.h"
#include "Language.h"

CAVICreatorDlg::CAVICreatorDlg(QWidget* owner)
    : CBaseUnitePage(owner, QColor(255, 191, 128),
                     {
                         .videoLabel = {"Video Src[AVI]", "映像ソース[AVI]"},
                         .audioLabel = {"Audio Src[AVI or WAV]", "音声ソース[AVI or WAV]"},
                         .outputLabel = {"Output Dst[AVI]", "出力ファイル名[AVI]"},
                         .videoExtension = "avi",
                         .outputExtension = ".avi",
                         .videoFilter = "AVI (*.AVI)|*.avi|",
                         .audioExtension = "wav",
                         .audioFilter = {"WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|",
                                         "音声ソースWAVファイル  (*.wav;*.avi)|*.wav; *.avi|"},
                         .audioDropExtension = ".wav",
                     }) {}

void CAVICreatorDlg::OnUnite() {
    DoDataExchange(true);
    m_output = QString::fromStdString(
        trelvan::UniteOutputName(m_video.toStdString(), m_output.toStdString()));
    DoDataExchange(false);
    SetBar(0);
    SetInfo("  0 %");

    trelvan::AviUniteJob job;
    job.videoSource = m_video.toStdString();
    job.audioSource = m_audio.toStdString();
    job.output = m_output.toStdString();
    NameRunFiles({job.videoSource, job.audioSource}, job.output);
    VerifyNextRun(job.output, [job] { return trelvan::verify::UnitePlan(job.videoSource, job.audioSource); });
    m_saving = true;
    const trelvan::AviSaveRunResult result =
        trelvan::RunAviUnite(job, m_ctx, [this] { BeginWork(1000); });
    m_saving = false;
    if (result.code != 0) {
        ShowError(result.code);
    }
    if (result.started) {
        EndWork();
    }
}

trelvan::ProgressInput CAVICreatorDlg::ProgressNow() const {
    return trelvan::SavePercentProgress(m_ctx, trelvan::IsJapaneseSystem());
}
