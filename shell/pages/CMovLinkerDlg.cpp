#include "CMovLinkerDlg.h"

#include <memory>
#include <string>

#include "CMovPage.h"
#include "ErrorCodes.h"
#include "Language.h"
#include "PageUtil.h"

CMovLinkerDlg::CMovLinkerDlg(QWidget* owner)
    : CBaseLinkPage(owner, QColor(255, 128, 192),
                    {
                        .sourceGroupJapanese =
                            "連結するソースを指定してください(ドラッグ&&ドロップ可)",
                        // The template's caption says AVI; this page writes MOV.
                        .outputLabel = {"Output Dst[MOV]", "出力ファイル名[MOV]"},
                        .defaultExtension = "mov",
                        .outputExtension = ".mov",
                        .addFilter = trelvan::shell::kMovieFilter,
                        .outputFilter = trelvan::shell::kMovieFilter,
                        .dropExtensions = {".mov", ".mp4", ".m4v", ".m4a", ".3gp"},
                        .dropOutputExtension = ".mov",
                    }) {}

trelvan::ProgressInput CMovLinkerDlg::ProgressNow() const {
    return trelvan::MovLinkProgress(m_ctx, trelvan::IsJapaneseSystem());
}

// Through the framework's box (so that tests can capture it), with the
// icon the message names.
void CMovLinkerDlg::ShowMessage(const trelvan::MovLinkResult& result) {
    trelvan::shell::MessageBoxRequest request;
    request.owner = this;
    request.caption = QStringLiteral("Trelvan+");
    request.text = QString::fromStdString(result.message);
    // Below the message: the entry it names (or the output of a save that
    // failed) and the system's reason where there is one.
    trelvan::verify::RunFiles files = RunFilesNamed();
    int32_t about = 0;
    for (size_t i = 0; i < files.sources.size(); ++i) {
        if (result.message.rfind(files.sources[i], 0) == 0) {
            files.failedSource = static_cast<int32_t>(i);
            about = trelvan::err::kFileOpen;
        }
    }
    if (about == 0 && result.message.rfind("ムービーを保存中", 0) == 0) {
        about = trelvan::err::kOutputCannotBeMade;
    }
    const std::string place = about == 0 ? std::string()
                                         : trelvan::verify::ErrorPlaceText(
                                               about, files, true, trelvan::IsJapaneseSystem());
    if (!place.empty()) {
        request.text += "\n\n" + QString::fromStdString(place);
    }
    request.stop = result.icon == trelvan::MovLinkIcon::Stop;
    request.question = result.icon == trelvan::MovLinkIcon::Question;
    trelvan::shell::ShowMessageBox(request);
}

void CMovLinkerDlg::RunLink(const QStringList& sources) {
    trelvan::MovLinkJob job;
    for (const QString& p : sources) {
        job.sources.push_back(p.toStdString());
    }
    job.output = m_output.toStdString();
    // Movies that would not join into one track each, or would switch
    // descriptions midway, are asked about before anything is deleted (OK
    // joins as before, Cancel ends here).
    job.checkJoin = true;
    NameRunFiles(job.sources, job.output);
    VerifyNextRun(job.output, [job] { return trelvan::verify::LinkPlan(job.sources); });
    m_linking = true;
    // Damage a source was read around (the context prints it on standard
    // output) stays on the Info line after the run.
    auto warned = std::make_shared<std::string>();
    m_runWarn = [warned](const std::string& line) { *warned = line; };
    const trelvan::MovLinkResult result =
        trelvan::RunMovLink(job, m_ctx, [this] { BeginWork(500); });
    m_runWarn = nullptr;
    if (!result.message.empty()) {
        ShowMessage(result);
    } else if (result.code != 0) {
        ShowError(result.code);
    }
    if (result.started) {
        EndWork();
    }
    if (!warned->empty()) {
        SetInfo(QString::fromStdString(*warned));
    }
    m_linking = false;
}
