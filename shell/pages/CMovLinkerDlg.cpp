#include "CMovLinkerDlg.h"

#include <QAbstractButton>

#include "CDragListBoxEx.h"
#include "Language.h"
#include "PageUtil.h"

namespace {

constexpr int kOutputId = 1048;
constexpr int kLinkId = 1029;
const char* const kMovFilter = "MOV (*.MOV)|*.mov|";

}  // namespace

CMovLinkerDlg::CMovLinkerDlg(QWidget* owner) : CAVIBase(107, owner, QColor(255, 128, 192)) {}

bool CMovLinkerDlg::OnInitDialog() {
    CAVIBase::OnInitDialog();
    if (trelvan::shell::Japanese()) {
        SetItemText(1049,
                    QString::fromUtf8("連結するソースを指定してください(ドラッグ&&ドロップ可)"));
        SetItemText(1053, QString::fromUtf8("出力ファイル名[MOV]"));
        SetItemText(1055, QString::fromUtf8("進行状況"));
        SetItemText(
            1034, QString::fromUtf8("ソースと出力ファイル名を入れて、連結ボタンを押してください"));
        SetItemText(1042, QString::fromUtf8("停止"));
        SetItemText(kLinkId, QString::fromUtf8("連結"));
        SetItemText(1007, QString::fromUtf8("削除"));
        SetItemText(1032, QString::fromUtf8("リセット"));
        SetItemText(1066, QString::fromUtf8("追加"));
    } else {
        // The template's caption says AVI; this page writes MOV.
        SetItemText(1053, QString::fromUtf8("Output Dst[MOV]"));
    }
    connect(Item<QAbstractButton>(1066), &QAbstractButton::clicked, this, &CMovLinkerDlg::OnAdd);
    connect(Item<QAbstractButton>(1007), &QAbstractButton::clicked, this, &CMovLinkerDlg::OnDel);
    connect(Item<QAbstractButton>(1032), &QAbstractButton::clicked, this,
            &CMovLinkerDlg::OnReset);
    connect(Item<QAbstractButton>(1051), &QAbstractButton::clicked, this,
            &CMovLinkerDlg::OnBrowseOutput);
    connect(Item<QAbstractButton>(kLinkId), &QAbstractButton::clicked, this,
            &CMovLinkerDlg::OnLink);
    DoDataExchange(false);
    return true;
}

void CMovLinkerDlg::DoDataExchange(bool save) {
    if (save) {
        m_output = ItemText(kOutputId);
    } else {
        SetItemText(kOutputId, m_output);
    }
}

void CMovLinkerDlg::OnFileDropped(const QString& path) {
    DoDataExchange(true);
    if (ListFileDropped(path, {".mov"}, ".mov", &m_output)) {
        DoDataExchange(false);
    }
}

void CMovLinkerDlg::OnAdd() { OnListAdd(kMovFilter); }

void CMovLinkerDlg::OnDel() { OnListDel(); }

void CMovLinkerDlg::OnReset() {
    OnListReset(&m_output);
    DoDataExchange(false);
}

void CMovLinkerDlg::OnBrowseOutput() {
    DoDataExchange(true);
    const QString chosen = BrowseSave("mov", m_output, kMovFilter);
    if (chosen.isEmpty()) {
        return;
    }
    m_output = chosen;
    DoDataExchange(false);
}

void CMovLinkerDlg::OnStop() {
    CAVIBase::OnStop();
    if (auto* link = Item<QAbstractButton>(kLinkId)) {
        link->setEnabled(true);
    }
}

trelvan::ProgressInput CMovLinkerDlg::ProgressNow() const {
    return trelvan::MovLinkProgress(m_ctx, trelvan::IsJapaneseSystem());
}

// Through the framework's box (so that tests can capture it); the box
// request carries no stop or question icon.
void CMovLinkerDlg::ShowMessage(const trelvan::MovLinkResult& result) {
    trelvan::shell::MessageBoxRequest request;
    request.owner = this;
    request.caption = QStringLiteral("Trelvan+");
    request.text = QString::fromStdString(result.message);
    trelvan::shell::ShowMessageBox(request);
}

void CMovLinkerDlg::OnLink() {
    if (m_linking) {
        return;  // the stopped link is still unwinding
    }
    DoDataExchange(true);
    const QStringList paths = SourceList()->Paths();
    if (m_output.isEmpty()) {
        if (paths.isEmpty()) {
            return;  // nothing to link and nowhere to: nothing happens
        }
        m_output = trelvan::shell::DefaultOutputName(paths.front(), "_link", ".mov");
        DoDataExchange(false);
    }
    trelvan::MovLinkJob job;
    for (const QString& p : paths) {
        job.sources.push_back(p.toStdString());
    }
    job.output = m_output.toStdString();
    m_linking = true;
    const trelvan::MovLinkResult result =
        trelvan::RunMovLink(job, m_ctx, [this] { BeginWork(500); });
    if (!result.message.empty()) {
        ShowMessage(result);
    } else if (result.code != 0) {
        ShowError(result.code);
    }
    if (result.started) {
        EndWork();
    }
    m_linking = false;
}
