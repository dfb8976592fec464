#include "CAVILinkerDlg.h"

#include <QAbstractButton>

#include "AviLink.h"
#include "CDragListBoxEx.h"
#include "Language.h"
#include "PageUtil.h"

namespace {

constexpr int kOutputId = 1048;
constexpr int kLinkId = 1029;
const char* const kAviFilter = "AVI (*.AVI)|*.avi|";

}  // namespace

CAVILinkerDlg::CAVILinkerDlg(QWidget* owner) : CAVIBase(107, owner, QColor(255, 255, 128)) {}

bool CAVILinkerDlg::OnInitDialog() {
    CAVIBase::OnInitDialog();
    if (trelvan::shell::Japanese()) {
        SetItemText(1049,
                    QString::fromUtf8("連結するソースを指定してください(ドラッグ&&ドロップ可)"));
        SetItemText(1066, QString::fromUtf8("追加"));
        SetItemText(1007, QString::fromUtf8("削除"));
        SetItemText(1032, QString::fromUtf8("リセット"));
        SetItemText(1053, QString::fromUtf8("出力ファイル名[AVI]"));
        SetItemText(1055, QString::fromUtf8("進行状況"));
        SetItemText(
            1034, QString::fromUtf8("ソースと出力ファイル名を入れて、連結ボタンを押してください"));
        SetItemText(1042, QString::fromUtf8("停止"));
        SetItemText(kLinkId, QString::fromUtf8("連結"));
    }
    connect(Item<QAbstractButton>(1066), &QAbstractButton::clicked, this, &CAVILinkerDlg::OnAdd);
    connect(Item<QAbstractButton>(1007), &QAbstractButton::clicked, this, &CAVILinkerDlg::OnDel);
    connect(Item<QAbstractButton>(1032), &QAbstractButton::clicked, this, &CAVILinkerDlg::OnReset);
    connect(Item<QAbstractButton>(1051), &QAbstractButton::clicked, this,
            &CAVILinkerDlg::OnBrowseOutput);
    connect(Item<QAbstractButton>(kLinkId), &QAbstractButton::clicked, this,
            &CAVILinkerDlg::OnLink);
    DoDataExchange(false);
    return true;
}

void CAVILinkerDlg::DoDataExchange(bool save) {
    if (save) {
        m_output = ItemText(kOutputId);
    } else {
        SetItemText(kOutputId, m_output);
    }
}

void CAVILinkerDlg::OnFileDropped(const QString& path) {
    DoDataExchange(true);
    if (ListFileDropped(path, {".avi"}, ".avi", &m_output)) {
        DoDataExchange(false);
    }
}

void CAVILinkerDlg::OnAdd() {
    OnListAdd(kAviFilter);
}

void CAVILinkerDlg::OnDel() {
    OnListDel();
}

void CAVILinkerDlg::OnReset() {
    OnListReset(&m_output);
    DoDataExchange(false);
}

void CAVILinkerDlg::OnBrowseOutput() {
    DoDataExchange(true);
    const QString chosen = BrowseSave("avi", m_output, kAviFilter);
    if (chosen.isEmpty()) {
        return;
    }
    m_output = chosen;
    DoDataExchange(false);
}

void CAVILinkerDlg::OnStop() {
    CAVIBase::OnStop();
    if (auto* link = Item<QAbstractButton>(kLinkId)) {
        link->setEnabled(true);
    }
}

trelvan::ProgressInput CAVILinkerDlg::ProgressNow() const {
    return trelvan::AviLinkProgress(m_ctx, trelvan::IsJapaneseSystem());
}

void CAVILinkerDlg::OnLink() {
    if (m_linking) {
        return;  // the stopped link is still unwinding
    }
    DoDataExchange(true);
    const QStringList paths = SourceList()->Paths();
    if (m_output.isEmpty()) {
        if (paths.isEmpty()) {
            return;  // nothing to link and nowhere to: nothing happens
        }
        m_output = trelvan::shell::DefaultOutputName(paths.front(), "_link", ".avi");
        DoDataExchange(false);
    }
    // The run links the list as it stands now; edits during the run count
    // for the next one.
    trelvan::AviLinkJob job;
    for (const QString& p : paths) {
        job.sources.push_back(p.toStdString());
    }
    job.output = m_output.toStdString();
    // Entries that differ from the first are asked about before anything is
    // deleted (OK joins as before, Cancel ends here).
    job.checkJoin = true;
    m_linking = true;
    const trelvan::AviLinkResult result =
        trelvan::RunAviLink(job, m_ctx, [this] { BeginWork(500); });
    if (result.code != 0) {
        ShowError(result.code);
    }
    if (result.started) {
        EndWork();
    }
    m_linking = false;
}
