#include "CAVIExtract.h"

#include "AviExtract.h"
#include "AviFrameDecoder.h"
#include "CDecAVIAudio.h"
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

trelvan::AviExtractJob CAVIExtract::Job() const {
    trelvan::AviExtractJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.start = m_range.Get<trelvan::AviTime>(CRangeFields::kStart);
    job.end = m_range.Get<trelvan::AviTime>(CRangeFields::kEnd);
    job.rate = m_rate;
    return job;
}

void CAVIExtract::RunExtract() {
    DoDataExchange(false);
    const trelvan::AviExtractJob job = Job();
    // The check holds the output to the range asked for: no frame of it
    // left out at the end.
    NameRunFiles({job.source}, job.output);
    VerifyNextRun(job.output, [job] {
        return trelvan::verify::ExtractPlan(job.source, static_cast<double>(job.start.ToMs()) / 1000,
                                            static_cast<double>(job.end.ToMs()) / 1000);
    });
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

namespace {

// The time of a frame as the preview shows it, with the frame's number.
QString FrameText(int32_t frame, double rate) {
    return trelvan::shell::PreviewTime(trelvan::FrameTime(frame, rate).ToMs()) +
           trelvan::shell::Lang(" (frame %1)", "(フレーム%1)").arg(frame);
}

}  // namespace

bool CAVIExtract::MakePreview(CutPreview* preview) {
    using trelvan::shell::Lang;
    using trelvan::shell::PreviewTime;
    const trelvan::AviExtractJob job = Job();
    trelvan::AviExtractPlan plan;
    const int32_t code = trelvan::PlanAviExtract(job, &plan);
    if (code != 0) {
        NameRunFiles({job.source}, {});
        ShowError(code);  // as the run shows a source it cannot read
        return false;
    }
    // The pictures are a help, not a need: a frame that cannot be decoded
    // (an unknown codec, a damaged chunk) shows the "no picture" text.
    CDecAVIAudio reader;
    std::unique_ptr<trelvan::AviFrameDecoder> decoder;
    if (reader.Open(job.source) == 0 && reader.GetVideoStream() != nullptr) {
        decoder = trelvan::AviFrameDecoder::Open(*reader.GetVideoStream());
    }
    auto picture = [&decoder](int32_t frame) {
        const uint8_t* bytes = decoder ? decoder->GetFrame(frame) : nullptr;
        return bytes ? trelvan::shell::PackedPictureImage(bytes, decoder->PictureBytes())
                     : QImage();
    };
    const bool written = plan.endFrame >= plan.startFrame;
    if (written) {
        QString start = FrameText(plan.startFrame, plan.rate);
        if (plan.startFrame != plan.wantedFrame) {
            const QString from = FrameText(plan.wantedFrame, plan.rate);
            start += "\n" + (plan.keyFound
                                 ? Lang("moved from %1 to a key frame", "%1からキーフレームへ移動")
                                 : Lang("moved back from %1 to the key frame before it: "
                                        "no key frame in the range",
                                        "%1から前のキーフレームへ移動(範囲にキーフレームなし)"))
                                .arg(from);
        }
        preview->frames.append({Lang("First frame written", "最初に書き出すフレーム"), start,
                                picture(plan.startFrame)});
        preview->frames.append({Lang("Last frame written", "最後に書き出すフレーム"),
                                FrameText(plan.endFrame, plan.rate), picture(plan.endFrame)});
    }
    preview->facts.append(Lang("Range written: %1 - %2", "書き出す範囲: %1 - %2")
                              .arg(PreviewTime(plan.start.ToMs()), PreviewTime(plan.end.ToMs())));
    preview->facts.append(Lang("Duration: %1", "長さ: %1").arg(PreviewTime(plan.durationMs)));
    preview->facts.append(Lang("Frames: %1", "フレーム数: %1")
                              .arg(written ? int64_t{plan.endFrame} - plan.startFrame + 1 : 0));
    if (!plan.keyFound) {
        preview->warning = QString::fromStdString(trelvan::NoKeyFrameWarning(plan.start));
    }
    return true;
}

trelvan::ProgressInput CAVIExtract::ProgressNow() const {
    return trelvan::AviExtractProgress(m_ctx, trelvan::IsJapaneseSystem());
}
