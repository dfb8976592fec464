#include "CAVIExtract.h"

#include "AviExtract.h"
#include "Language.h"

CAVIExtract::CAVIExtract(QWidget* owner)
    : CBaseExtractPage(owner, QColor(0xBF, 0xFF, 0x80),
                       {
                           .sourceLabel = {"Movie Src[AVI]", "映像ソース[AVI]"},
                           .outputLabel = {"Output Dst[AVI]", "出力ファイル名[AVI]"},
                           .defaultExtension = "avi",
                           .outputExtension = ".avi",
                           .sourceFilter = {"AVI (*.AVI)|*.avi|", "AVI (*.AVI)|*.avi|"},
                           .outputFilter = "AVI (*.AVI)|*.avi|",
                           .drops = {{".avi", ".avi"}},
                       }) {}

int32_t CAVIExtract::ReadSourceRange() {
    m_rate = 0;
    trelvan::AviRange range;
    const int32_t code = trelvan::ReadAviRange(m_input.toStdString(), &range);
    if (code != 0) {
        return code;
    }
    m_rate = range.rate;
    m_range.Set(CRangeFields::kStart, range.start);
    m_range.Set(CRangeFields::kEnd, range.end);
    return 0;
}

void CAVIExtract::RunExtract() {
    DoDataExchange(false);
    trelvan::AviExtractJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.start = m_range.Get<trelvan::AviTime>(CRangeFields::kStart);
    job.end = m_range.Get<trelvan::AviTime>(CRangeFields::kEnd);
    job.rate = m_rate;
    const trelvan::AviExtractResult result = trelvan::RunAviExtract(
        job, m_ctx, [this] { BeginWork(500); },
        [this](const trelvan::AviTime& start) {
            // The user sees where the extract really begins.
            m_range.Set(CRangeFields::kStart, start);
            DoDataExchange(false);
        });
    if (result.started) {
        m_rate = result.rate;
    }
    if (result.code != 0) {
        ShowError(result.code);
    }
    if (result.started) {
        EndWork();
    }
}

trelvan::ProgressInput CAVIExtract::ProgressNow() const {
    return trelvan::AviExtractProgress(m_ctx, trelvan::IsJapaneseSystem());
}
