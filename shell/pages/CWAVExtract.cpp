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

trelvan::AudioExtractJob CWAVExtract::Job() const {
    trelvan::AudioExtractJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.start = m_range.Get<trelvan::AudioTime>(CRangeFields::kStart);
    job.end = m_range.Get<trelvan::AudioTime>(CRangeFields::kEnd);
    return job;
}

void CWAVExtract::RunExtract() {
    const trelvan::AudioExtractJob job = Job();
    NameRunFiles({job.source}, job.output);
    VerifyNextRun(job.output, [job] { return trelvan::verify::AudioExtractPlan(job.source); });
    const trelvan::AudioExtractResult result =
        trelvan::RunAudioExtract(job, m_ctx, [this] { BeginWork(500); });
    if (result.code != 0) {
        ShowError(result.code, result.sourceInDetail ? job.source : std::string());
    }
    if (result.started) {
        EndWork();
    }
}

namespace {

int64_t Ms(const trelvan::AudioTime& t) {
    return ((t.hours * 60 + t.minutes) * 60 + t.seconds) * 1000 + t.milliseconds;
}

}  // namespace

bool CWAVExtract::MakePreview(CutPreview* preview) {
    using trelvan::shell::Lang;
    using trelvan::shell::PreviewTime;
    const trelvan::AudioExtractJob job = Job();
    trelvan::AudioExtractPlan plan;
    const int32_t code = trelvan::PlanAudioExtract(job, &plan);
    if (code != 0) {
        NameRunFiles({job.source}, {});
        ShowError(code, job.source);  // as the run shows its source's codes
        return false;
    }
    preview->facts.append(Lang("Start: %1", "開始: %1").arg(PreviewTime(Ms(plan.start))));
    preview->facts.append(Lang("End: %1", "終了: %1").arg(PreviewTime(Ms(plan.end))));
    preview->facts.append(Lang("Duration: %1", "長さ: %1").arg(PreviewTime(Ms(plan.duration))));
    preview->facts.append(Lang("Samples: %1", "サンプル数: %1").arg(plan.samples));
    return true;
}
