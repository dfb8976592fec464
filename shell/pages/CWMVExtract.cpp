#include "CWMVExtract.h"

#include <memory>

#include "Language.h"
#include "WmvFrameDecoder.h"
#include "WmvOperations.h"

CWMVExtract::CWMVExtract(QWidget* owner)
    : CBaseExtractPage(owner, QColor(192, 128, 255),
                       {
                           .sourceLabel = {"Movie Src[WMV]", "映像ソース[WMV]"},
                           .outputLabel = {"Output Dst[WMV]", "出力ファイル名[WMV]"},
                           .defaultExtension = "wmv",
                           .outputExtension = ".wmv",
                           .sourceFilter = {"WMV (*.WMV)|*.wmv|WMA (*.wma)|*.wma|",
                                            "WMV (*.WMV)|*.wmv|WMA (*.wma)|*.wma|"},
                           .outputFilter = "WMV (*.WMV)|*.wmv|WMA (*.wma)|*.wma|",
                           // A dropped file proposes an output of its own kind.
                           .drops = {{".wmv"}, {".wma"}},
                       }) {}

int32_t CWMVExtract::ReadSourceRange() {
    // The end of the data, not the header's duration alone, which files
    // from other writers often give shorter: the range as filled in keeps
    // every sample.
    uint64_t end = 0;
    const int32_t code = trelvan::WmvSourceEnd(m_input.toStdString(), &end, m_ctx.opener);
    if (code != 0) {
        return code;
    }
    m_range.SetUnitsRoundedUp(CRangeFields::kEnd, end);
    return 0;
}

trelvan::WmvExtractJob CWMVExtract::Job() const {
    trelvan::WmvExtractJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.start = m_range.Units(CRangeFields::kStart);
    job.end = m_range.Units(CRangeFields::kEnd);
    return job;
}

void CWMVExtract::RunExtract() {
    if (WorkerBusy()) {
        return;
    }
    const trelvan::WmvExtractJob job = Job();
    // A range without a video key frame gives a file whose picture players
    // may not show: the user is told so after the run. The warning comes
    // on the worker, before its outcome.
    auto note = std::make_shared<std::string>();
    m_runWarn = [note](const std::string& text) {
        if (text == trelvan::WmvNoKeyFrameWarning()) {
            *note = text;
        }
    };
    // The check holds the output to the range asked for (from its start: an
    // ASF extract is not moved to a key frame).
    NameRunFiles({job.source}, job.output);
    VerifyNextRun(job.output, [job] {
        constexpr double kUnitsPerSecond = 1e7;
        return trelvan::verify::ExtractPlan(
            job.source, static_cast<double>(job.start) / kUnitsPerSecond,
            job.end == UINT64_MAX ? -1 : static_cast<double>(job.end) / kUnitsPerSecond);
    });
    RunOnWorker(1000, QThread::LowPriority,
                [job, note, ctx = &m_ctx](const std::function<void()>& onBegin) {
                    const trelvan::WmvOpResult r = trelvan::RunWmvExtract(job, *ctx, onBegin);
                    return WorkerOutcome{r.code, r.started && !r.stopped, *note, r.output};
                });
}

namespace {

// 100-ns units as the preview's milliseconds (truncated).
int64_t Ms(uint64_t hundredNs) {
    return static_cast<int64_t>(hundredNs / 10000);
}

}  // namespace

bool CWMVExtract::MakePreview(CutPreview* preview) {
    using trelvan::shell::Lang;
    using trelvan::shell::PreviewTime;
    const trelvan::WmvExtractJob job = Job();
    trelvan::WmvExtractPlan plan;
    const int32_t code = trelvan::PlanWmvExtract(job, &plan);
    if (code != 0) {
        NameRunFiles({job.source}, {});
        ShowError(code);
        return false;
    }
    // The pictures come from a second reading of the range; when it fails
    // (or a codec is missing) the times stand without them.
    trelvan::WmvRangePictures pictures;
    const bool read = plan.hasVideo && trelvan::DecodeWmvRangePictures(job.source, job.start,
                                                                       job.end, &pictures) == 0;
    if (!read) {
        pictures = trelvan::WmvRangePictures();
    }
    auto image = [](const std::vector<uint8_t>& packed) {
        return trelvan::shell::PackedPictureImage(packed.data(), packed.size());
    };
    if (plan.firstKeyTime >= 0) {
        // The plan's time is the output's; the source's is the start later.
        const uint64_t at = job.start + static_cast<uint64_t>(plan.firstKeyTime);
        preview->frames.append({Lang("First key frame written", "最初に書き出すキーフレーム"),
                                PreviewTime(Ms(at)), image(pictures.firstKey)});
    }
    if (pictures.lastTime >= 0) {
        preview->frames.append({Lang("Last frame written", "最後に書き出すフレーム"),
                                PreviewTime(Ms(static_cast<uint64_t>(pictures.lastTime))),
                                image(pictures.last)});
    }
    preview->facts.append(Lang("Duration: %1", "長さ: %1").arg(PreviewTime(Ms(plan.duration))));
    preview->facts.append(Lang("Samples: %1", "サンプル数: %1").arg(plan.samples));
    preview->facts.append(Lang("Bytes: %1", "バイト数: %1").arg(plan.bytes));
    // As the extract warns: video written, none of it a key frame (without
    // the second reading, any sample may be video).
    const bool videoWritten = read ? pictures.lastTime >= 0 : plan.samples > 0;
    if (plan.hasVideo && videoWritten && plan.firstKeyTime < 0) {
        preview->warning = QString::fromStdString(trelvan::WmvNoKeyFrameWarning());
    }
    return true;
}

trelvan::ProgressInput CWMVExtract::ProgressNow() const {
    return trelvan::WmvRangeProgress(m_ctx, trelvan::IsJapaneseSystem());
}
