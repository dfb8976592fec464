#include "CMovCutterDlg.h"

#include "OutputPlan.h"

CMovCutterDlg::CMovCutterDlg(QWidget* owner)
    : CMovPage(owner, QColor(255, 128, 255),
               {
                   .sourceLabel = {"Movie Src[MOV]", "映像ソース[MOV]"},
                   .outputLabel = {"Output Dst[MOV or M4A]", "出力ファイル名[MOV or M4A]"},
                   .defaultExtension = "mov",
                   .outputExtension = ".mov",
                   .sourceFilter = {trelvan::shell::kMovieFilter, trelvan::shell::kMovieFilter},
                   .outputFilter = trelvan::shell::kMovieFilter,
                   // Video Cut's name is proposed; Audio Cut proposes its own.
                   .drops = {{".mov", ".mov"},
                             {".mp4", ".mov"},
                             {".m4v", ".mov"},
                             {".m4a", ".mov"},
                             {".3gp", ".mov"}},
                   .browseReplacesOutput = true,
               }) {}

void CMovCutterDlg::RunCut(bool audio) {
    if (Running()) {
        return;
    }
    DoDataExchange(true);
    trelvan::MovSeparateJob job;
    job.source = m_input.toStdString();
    job.kind = audio ? trelvan::MovTrackKind::Sound : trelvan::MovTrackKind::Video;
    // A name the page proposed (for either command) follows the command
    // pressed: sound gets ".m4a" when the operation would choose it. A name
    // the user gave is kept as it is.
    auto proposed = [this, &job](trelvan::MovTrackKind kind) {
        trelvan::MovSeparateJob blank = job;
        blank.kind = kind;
        return trelvan::MovSeparateOutputName(blank, m_ctx.opener);
    };
    const std::string given = m_output.toStdString();
    const bool proposal = given.empty() || given == proposed(trelvan::MovTrackKind::Video) ||
                          given == proposed(trelvan::MovTrackKind::Sound);
    job.output = proposal ? proposed(job.kind) : given;
    m_output = QString::fromStdString(job.output);
    DoDataExchange(false);
    const trelvan::verify::MediaKind kind =
        audio ? trelvan::verify::MediaKind::Audio : trelvan::verify::MediaKind::Video;
    RunMovie(
        [job](trelvan::OpContext& ctx, const std::function<void()>& onBegin) {
            return trelvan::RunMovSeparate(job, ctx, onBegin);
        },
        job.output, [job, kind] { return trelvan::verify::SeparatePlan(job.source, kind); },
        [job](const trelvan::MovOpResult& r) {
            return trelvan::shell::MovOutputFailed(r.code) ? job.output : job.source;
        });
}
