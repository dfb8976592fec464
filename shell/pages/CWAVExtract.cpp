#include "CWAVExtract.h"

#include "AudioExtract.h"

CWAVExtract::CWAVExtract(QWidget* owner)
    : CBaseExtractPage(owner, QColor(0x80, 0xFF, 0xBF),
                       {
                           .sourceLabel = {"Audio Src[WAV]", "音声ソース[WAV]"},
                           .outputLabel = {"Output Dst[WAV]", "出力ファイル名[WAV]"},
                           .defaultExtension = "wav",
                           .outputExtension = ".wav",
                           .sourceFilter = {"WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|",
                                            "音声ソースWAVファイル  (*.wav;*.avi)|*.wav; *.avi|"},
                           .outputFilter = "WAV (*.WAV)|*.wav|",
                           .drops = {{".wav", ".wav"}, {".avi", ".wav"}},
                       }) {}

int32_t CWAVExtract::ReadSourceRange() {
    trelvan::AudioTime length;
    const int32_t code = trelvan::ReadAudioDuration(m_input.toStdString(), &length);
    if (code == 0) {
        m_range.Set(CRangeFields::kEnd, length);
    }
    return code;
}

void CWAVExtract::RunExtract() {
    trelvan::AudioExtractJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.start = m_range.Get<trelvan::AudioTime>(CRangeFields::kStart);
    job.end = m_range.Get<trelvan::AudioTime>(CRangeFields::kEnd);
    const trelvan::AudioExtractResult result =
        trelvan::RunAudioExtract(job, m_ctx, [this] { BeginWork(500); });
    if (result.code != 0) {
        ShowError(result.code, result.sourceInDetail ? job.source : std::string());
    }
    if (result.started) {
        EndWork();
    }
}
