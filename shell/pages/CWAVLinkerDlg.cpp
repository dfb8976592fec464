#include "CWAVLinkerDlg.h"

#include <QAbstractButton>

#include "AudioLink.h"
#include "CDragListBoxEx.h"
#include "Language.h"
#include "PageUtil.h"

namespace {

constexpr int kOutputId = 1048;
constexpr int kLinkId = 1029;

const char kListFilter[] = "WAV (*.WAV)|*.wav|";

}  // namespace

CWAVLinkerDlg::CWAVLinkerDlg(QWidget* owner) : CAVIBase(107, owner, QColor(0x80, 0xFF, 0x80)) {}

bool CWAVLinkerDlg::OnInitDialog() {
    CAVIBase::OnInitDialog();
    SetItemText(1053, "Output Dst[WAV]");
    if (trelvan::shell::Japanese()) {
        SetItemText(1049,
                    QString::fromUtf8("連結するWAVソースを指定してください(ドラッグ&&ドロップ可)"));
        SetItemText(1053, QString::fromUtf8("出力ファイル名[WAV]"));
        SetItemText(1055, QString::fromUtf8("進行状況"));
        SetItemText(
            1034, QString::fromUtf8("ソースと出力ファイル名を入れて、連結ボタンを押してください"));
        SetItemText(1042, QString::fromUtf8("停止"));
        SetItemText(1029, QString::fromUtf8("連結"));
        SetItemText(1007, QString::fromUtf8("削除"));
        SetItemText(1032, QString::fromUtf8("リセット"));
        SetItemText(1066, QString::fromUtf8("追加"));
    }
    connect(Item<QAbstractButton>(1066), &QAbstractButton::clicked, this, &CWAVLinkerDlg::OnAdd);
    connect(Item<QAbstractButton>(1007), &QAbstractButton::clicked, this, &CWAVLinkerDlg::OnDel);
    connect(Item<QAbstractButton>(1032), &QAbstractButton::clicked, this, &CWAVLinkerDlg::OnReset);
    connect(Item<QAbstractButton>(1051), &QAbstractButton::clicked, this,
            &CWAVLinkerDlg::OnBrowseOutput);
    connect(Item<QAbstractButton>(kLinkId), &QAbstractButton::clicked, this,
            &CWAVLinkerDlg::OnLink);
    DoDataExchange(false);
    return true;
}

void CWAVLinkerDlg::DoDataExchange(bool save) {
    if (save) {
        m_output = ItemText(kOutputId);
    } else {
        SetItemText(kOutputId, m_output);
    }
}

void CWAVLinkerDlg::OnFileDropped(const QString& path) {
    DoDataExchange(true);
    ListFileDropped(path, {".wav", ".avi"}, ".wav", &m_output);
    DoDataExchange(false);
}

void CWAVLinkerDlg::OnAdd() {
    OnListAdd(kListFilter);
}

void CWAVLinkerDlg::OnDel() {
    OnListDel();
}

void CWAVLinkerDlg::OnReset() {
    OnListReset(&m_output);
    DoDataExchange(false);
}

void CWAVLinkerDlg::OnBrowseOutput() {
    DoDataExchange(true);
    const QString chosen = BrowseSave("wav", m_output, kListFilter);
    if (chosen.isEmpty()) {
        return;
    }
    m_output = chosen;
    DoDataExchange(false);
}

void CWAVLinkerDlg::OnStop() {
    CAVIBase::OnStop();
    if (auto* link = Item<QAbstractButton>(kLinkId)) {
        link->setEnabled(true);
    }
}

void CWAVLinkerDlg::OnLink() {
    // Stop enables Link at once, while the stopped run may still be inside
    // its event pump: a second run would start nested in the first, on the
    // same context and perhaps the same output. It waits until the first
    // has returned.
    if (m_linking) {
        return;
    }
    DoDataExchange(true);
    const QStringList paths = SourceList() ? SourceList()->Paths() : QStringList();
    if (m_output.isEmpty()) {
        if (paths.isEmpty()) {
            return;
        }
        m_output = trelvan::shell::DefaultOutputName(paths.first(), "_link", ".wav");
    }
    DoDataExchange(false);

    // The run links the list as it stands now; entries added or deleted
    // during the run count from the next run on.
    trelvan::AudioLinkJob job;
    for (const QString& path : paths) {
        job.sources.push_back(path.toStdString());
    }
    job.output = m_output.toStdString();
    // Entries that differ from the first are asked about before anything is
    // deleted (OK joins as before, Cancel ends here).
    job.checkJoin = true;
    m_linking = true;
    const trelvan::AudioLinkResult result =
        trelvan::RunAudioLink(job, m_ctx, [this] { BeginWork(500); });
    m_linking = false;
    if (result.code != 0) {
        ShowError(result.code);
    }
    if (result.started) {
        EndWork();
    }
}

trelvan::ProgressInput CWAVLinkerDlg::ProgressNow() const {
    trelvan::ProgressInput in;
    in.form = trelvan::ProgressForm::LinkElapsedOnly;
    in.elapsedMs = m_ctx.timer.GetTotal();
    const int32_t item = m_ctx.item.load();
    const int32_t items = m_ctx.items.load();
    in.item = item + 1;
    in.items = items;
    in.done = item;
    in.total = items;
    in.japanese = trelvan::IsJapaneseSystem();
    return in;
}
