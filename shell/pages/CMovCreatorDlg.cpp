#include "CMovCreatorDlg.h"

#include <algorithm>

#include "Atoms.h"
#include "MovieReader.h"
#include "OutputPlan.h"

CMovCreatorDlg::CMovCreatorDlg(QWidget* owner)
    : CMovPage(owner, QColor(255, 192, 224),
               {
                   .videoLabel = {"Video Src[MOV]", "映像ソース[MOV]"},
                   .audioLabel = {"Audio Src[MOV or M4A]", "音声ソース[MOV or M4A]"},
                   .outputLabel = {"Output Dst[MOV]", "出力ファイル名[MOV]"},
                   .videoExtension = "mov",
                   .outputExtension = ".mov",
                   .videoFilter = trelvan::shell::kMovieFilter,
                   .audioExtension = "m4a",
                   .audioFilter = {trelvan::shell::kMovieFilter, trelvan::shell::kMovieFilter},
                   .audioDropExtension = ".m4a",
               }) {}

namespace {
// Movie kinds besides the layout's .mov that become the video source.
bool OtherMovieKind(const QString& path) {
    for (const char* ext : {".mp4", ".m4v", ".3gp"}) {
        if (trelvan::shell::ExtensionIs(path, ext)) {
            return true;
        }
    }
    return false;
}
}  // namespace

bool CMovCreatorDlg::Takes(const QString& path) const {
    return OtherMovieKind(path) || CMovPage::Takes(path);
}

void CMovCreatorDlg::OnFileDropped(const QString& path) {
    if (OtherMovieKind(path)) {
        DoDataExchange(true);
        m_video = path;
        m_output = QString::fromStdString(trelvan::MovUniteDefaultOutput(path.toStdString()));
        DoDataExchange(false);
        return;
    }
    CMovPage::OnFileDropped(path);  // .mov and .m4a, as the layout's base takes them
}

void CMovCreatorDlg::OnUnite() {
    if (Running()) {
        return;
    }
    DoDataExchange(true);
    if (m_output.isEmpty()) {
        m_output = QString::fromStdString(trelvan::MovUniteDefaultOutput(m_video.toStdString()));
        DoDataExchange(false);
    }
    trelvan::MovUniteJob job;
    job.video = m_video.toStdString();
    job.audio = m_audio.toStdString();
    job.output = m_output.toStdString();
    RunMovie(
        [job](trelvan::OpContext& ctx, const std::function<void()>& onBegin) {
            return trelvan::RunMovUnite(job, ctx, onBegin);
        },
        job.output, [job] { return trelvan::verify::UnitePlan(job.video, job.audio); },
        [this, job](const trelvan::MovOpResult& r) { return FailedFile(job, r); });
}

std::string CMovCreatorDlg::FailedFile(const trelvan::MovUniteJob& job,
                                       const trelvan::MovOpResult& r) const {
    if (trelvan::shell::MovOutputFailed(r.code)) {
        return job.output;
    }
    // The result does not say which source it is about: each is read again
    // (its tables, not its samples) and the first that fails, or lacks its
    // track, is named.
    const struct {
        const std::string& path;
        uint32_t handler;
    } sources[] = {{job.video, trelvan::mov::atom::kVide}, {job.audio, trelvan::mov::atom::kSoun}};
    for (const auto& s : sources) {
        trelvan::mov::Movie movie;
        if (trelvan::mov::ReadMovieFile(s.path, movie, m_ctx.opener) != 0) {
            return s.path;
        }
        const bool has = std::any_of(movie.tracks.begin(), movie.tracks.end(),
                                     [&s](const auto& t) { return t.handler == s.handler; });
        if (r.code == trelvan::mov::kInvalidTrack && !has) {
            return s.path;
        }
    }
    return job.video;
}
