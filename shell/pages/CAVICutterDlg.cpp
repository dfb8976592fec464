#include "CAVICutterDlg.h"

#include <QAbstractButton>

#include "Language.h"
#include "PageUtil.h"

using trelvan::shell::Lang;

namespace {

constexpr int kInputId = 1003;
constexpr int kOutputId = 1053;

}  // namespace

CAVICutterDlg::CAVICutterDlg(QWidget* owner) : CAVIBase(106, owner, QColor(255, 128, 128)) {}

bool CAVICutterDlg::OnInitDialog() {
    CAVIBase::OnInitDialog();
    SetItemText(1050, "Movie Src[AVI]");
    SetItemText(1057, "Output Dst[AVI or WAV]");
    if (trelvan::shell::Japanese()) {
        SetItemText(1049, QString::fromUtf8("ソースを指定してください(ドラッグ&&ドロップ可)"));
        SetItemText(1050, QString::fromUtf8("映像ソース[AVI]"));
        SetItemText(1057, QString::fromUtf8("出力ファイル名[AVI or WAV]"));
        SetItemText(1055, QString::fromUtf8("進行状況"));
        SetItemText(
            1034, QString::fromUtf8("ソースと出力ファイル名を入れて、切出ボタンを押してください"));
        SetItemText(1042, QString::fromUtf8("停止"));
        SetItemText(1030, QString::fromUtf8("映像切り出し"));
        SetItemText(1036, QString::fromUtf8("音声切り出し"));
    }
    connect(Item<QAbstractButton>(1011), &QAbstractButton::clicked, this,
            &CAVICutterDlg::OnBrowseInput);
    connect(Item<QAbstractButton>(1056), &QAbstractButton::clicked, this,
            &CAVICutterDlg::OnBrowseOutput);
    connect(Item<QAbstractButton>(1030), &QAbstractButton::clicked, this,
            &CAVICutterDlg::OnVideoCut);
    connect(Item<QAbstractButton>(1036), &QAbstractButton::clicked, this,
            &CAVICutterDlg::OnAudioCut);
    DoDataExchange(false);
    return true;
}

void CAVICutterDlg::DoDataExchange(bool save) {
    if (save) {
        m_input = ItemText(kInputId);
        m_output = ItemText(kOutputId);
    } else {
        SetItemText(kInputId, m_input);
        SetItemText(kOutputId, m_output);
    }
}

void CAVICutterDlg::OnFileDropped(const QString& path) {
    DoDataExchange(true);
    QString ext;
    if (trelvan::shell::ExtensionIs(path, ".avi")) {
        ext = ".avi";
    } else if (trelvan::shell::ExtensionIs(path, ".wav")) {
        ext = ".wav";
    } else {
        return;  // another kind of file: ignored
    }
    m_input = path;
    m_output = trelvan::shell::DefaultOutputName(path, "_cut", ext);
    DoDataExchange(false);
}

void CAVICutterDlg::OnBrowseInput() {
    DoDataExchange(true);
    const QString chosen =
        BrowseOpen("avi", m_input,
                   QString("AVI (*.AVI)|*.avi|") +
                       Lang("WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|",
                            "音声ソースWAVファイル  (*.wav;*.avi)|*.wav; *.avi|") +
                       Lang("all (*.*)|*.*|", "すべてのファイル  (*.*)|*.*|"));
    if (chosen.isEmpty()) {
        return;
    }
    m_input = chosen;
    if (m_output.isEmpty()) {
        m_output = trelvan::shell::DefaultOutputName(m_input, "_cut", ".avi");
    }
    DoDataExchange(false);
}

void CAVICutterDlg::OnBrowseOutput() {
    DoDataExchange(true);
    const QString initial =
        m_output.isEmpty() ? trelvan::shell::DefaultOutputName(m_input, "_cut", ".avi") : m_output;
    const QString chosen = BrowseSave("avi", initial, "AVI (*.AVI)|*.avi|WAV (*.WAV)|*.wav|");
    if (chosen.isEmpty()) {
        return;
    }
    m_output = chosen;
    DoDataExchange(false);
}

void CAVICutterDlg::OnVideoCut() {
    RunCommand(trelvan::SeparateKind::Video);
}

void CAVICutterDlg::OnAudioCut() {
    RunCommand(trelvan::SeparateKind::Audio);
}

void CAVICutterDlg::RunCommand(trelvan::SeparateKind kind) {
    DoDataExchange(true);
    m_output = QString::fromStdString(
        trelvan::SeparateOutputName(m_input.toStdString(), m_output.toStdString(), kind));
    DoDataExchange(false);
    SetBar(0);
    SetInfo("  0 %");

    trelvan::AviSeparateJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.kind = kind;
    m_saving = true;
    const trelvan::AviSaveRunResult result =
        trelvan::RunAviSeparate(job, m_ctx, [this] { BeginWork(1000); });
    m_saving = false;
    // Idle again before the error box, as the separate page does it.
    if (result.started) {
        EndWork();
    }
    if (result.code != 0) {
        ShowError(result.code);
    }
}

trelvan::ProgressInput CAVICutterDlg::ProgressNow() const {
    return trelvan::SavePercentProgress(m_ctx, trelvan::IsJapaneseSystem());
}
