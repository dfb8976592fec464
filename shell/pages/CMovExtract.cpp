#include "CMovExtract.h"

#include "OutputPlan.h"

CMovExtract::CMovExtract(QWidget* owner)
    : CMovPage(owner, QColor(224, 192, 255),
               {
                   .sourceLabel = {"Movie Src[MOV]", "映像ソース[MOV]"},
                   .outputLabel = {"Output Dst[MOV]", "出力ファイル名[MOV]"},
                   .defaultExtension = "mov",
                   .outputExtension = ".mov",
                   .sourceFilter = {trelvan::shell::kMovieFilter, trelvan::shell::kMovieFilter},
                   .outputFilter = trelvan::shell::kMovieFilter,
                   // A dropped movie proposes an output of its own kind.
                   .drops = {{".mov"}, {".mp4"}, {".m4v"}, {".m4a"}, {".3gp"}},
               }) {}

int32_t CMovExtract::ReadSourceRange() {
    uint64_t duration = 0;
    const int32_t code = trelvan::MovSourceDuration(m_input.toStdString(), &duration, m_ctx.opener);
    if (code != 0) {
        return code;
    }
    m_range.SetUnitsRoundedUp(CRangeFields::kEnd, duration);
    return 0;
}

void CMovExtract::ShowSourceError(int32_t code, const QString& source) {
    trelvan::MovOpResult failed;
    failed.code = code;
    ShowMovError(failed, source.toStdString());
}

trelvan::MovExtractJob CMovExtract::Job() const {
    trelvan::MovExtractJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.start = m_range.Units(CRangeFields::kStart);
    job.end = m_range.Units(CRangeFields::kEnd);
    return job;
}

void CMovExtract::RunExtract() {
    if (Running()) {
        return;
    }
    const trelvan::MovExtractJob job = Job();
    RunMovie(
        [job](trelvan::OpContext& ctx, const std::function<void()>& onBegin) {
            return trelvan::RunMovExtract(job, ctx, onBegin);
        },
        job.output,
        [job] { return trelvan::verify::MovieExtractPlan(job.source, job.start, job.end); },
        [job](const trelvan::MovOpResult& r) {
            return trelvan::shell::MovOutputFailed(r.code) ? job.output : job.source;
        });
}

bool CMovExtract::MakePreview(CutPreview* preview) {
    using trelvan::shell::Lang;
    using trelvan::shell::PreviewTime;
    const trelvan::MovExtractJob job = Job();
    trelvan::MovExtractPlan plan;
    const int32_t code = trelvan::PlanMovExtract(job, &plan, m_ctx.opener, m_ctx.warn);
    if (code != 0) {
        ShowSourceError(code, m_input);
        return false;
    }
    // The pictures are a help, not a need: when they cannot be decoded the
    // times stand without them.
    trelvan::MovRangePictures pictures;
    if (!plan.hasVideo || trelvan::DecodeMovRangePictures(job.source, job.start, job.end, &pictures,
                                                          m_ctx.opener) != 0) {
        pictures = trelvan::MovRangePictures();
    }
    auto image = [](const std::vector<uint8_t>& packed) {
        return trelvan::shell::PackedPictureImage(packed.data(), packed.size());
    };
    auto ms = [](int64_t hundredNs) { return hundredNs / 10000; };
    if (plan.hasVideo) {
        const int64_t first = pictures.firstTime >= 0 ? pictures.firstTime
                                                      : static_cast<int64_t>(plan.firstPresented);
        preview->frames.append({Lang("First frame shown", "最初に表示するフレーム"),
                                PreviewTime(ms(first)), image(pictures.first)});
    }
    if (pictures.lastTime >= 0) {
        preview->frames.append({Lang("Last frame shown", "最後に表示するフレーム"),
                                PreviewTime(ms(pictures.lastTime)), image(pictures.last)});
    }
    // The facts in the words and form of the other previews ("Bytes: 1234").
    if (plan.hasVideo) {
        preview->facts.append(Lang("First sample stored (key frame): %1",
                                   "最初に格納するサンプル（キーフレーム）: %1")
                                  .arg(PreviewTime(ms(static_cast<int64_t>(plan.firstStored)))));
    }
    preview->facts.append(
        Lang("Duration: %1", "長さ: %1").arg(PreviewTime(ms(static_cast<int64_t>(plan.duration)))));
    preview->facts.append(Lang("Samples: %1", "サンプル数: %1").arg(plan.samples));
    preview->facts.append(Lang("Bytes: %1", "バイト数: %1").arg(plan.bytes));
    return true;
}
