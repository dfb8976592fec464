#include "CAVICreatorDlg.h"

#include <QAbstractButton>

#include "AviUnite.h"
#include "Language.h"
#include "PageUtil.h"

using trelvan::shell::Lang;

namespace {

constexpr int kVideoId = 1040;
constexpr int kAudioId = 1020;
constexpr int kOutputId = 1048;

}  // namespace

CAVICreatorDlg::CAVICreatorDlg(QWidget* owner) : CAVIBase(105, owner, QColor(255, 191, 128)) {}

bool CAVICreatorDlg::OnInitDialog() {
    CAVIBase::OnInitDialog();
    SetItemText(1050, "Video Src[AVI]");
    SetItemText(1052, "Audio Src[AVI or WAV]");
    SetItemText(1053, "Output Dst[AVI]");
    SetItemText(1029, "Comb");
    if (trelvan::shell::Japanese()) {
        SetItemText(1049, QString::fromUtf8("ソースを指定してください(ドラッグ&&ドロップ可)"));
        SetItemText(1050, QString::fromUtf8("映像ソース[AVI]"));
        SetItemText(1052, QString::fromUtf8("音声ソース[AVI or WAV]"));
        SetItemText(1053, QString::fromUtf8("出力ファイル名[AVI]"));
        SetItemText(1055, QString::fromUtf8("進行状況"));
        SetItemText(
            1034, QString::fromUtf8("ソースと出力ファイル名を入れて、合体ボタンを押してください"));
        SetItemText(1042, QString::fromUtf8("停止"));
        SetItemText(1029, QString::fromUtf8("合体"));
    }
    connect(Item<QAbstractButton>(1009), &QAbstractButton::clicked, this,
            &CAVICreatorDlg::OnBrowseVideo);
    connect(Item<QAbstractButton>(1026), &QAbstractButton::clicked, this,
            &CAVICreatorDlg::OnBrowseAudio);
    connect(Item<QAbstractButton>(1051), &QAbstractButton::clicked, this,
            &CAVICreatorDlg::OnBrowseOutput);
    connect(Item<QAbstractButton>(1029), &QAbstractButton::clicked, this, &CAVICreatorDlg::OnUnite);
    DoDataExchange(false);
    return true;
}

void CAVICreatorDlg::DoDataExchange(bool save) {
    if (save) {
        m_video = ItemText(kVideoId);
        m_audio = ItemText(kAudioId);
        m_output = ItemText(kOutputId);
    } else {
        SetItemText(kVideoId, m_video);
        SetItemText(kAudioId, m_audio);
        SetItemText(kOutputId, m_output);
    }
}

QString CAVICreatorDlg::DefaultOutput() const {
    return trelvan::shell::DefaultOutputName(m_video, "_comb", ".avi");
}

void CAVICreatorDlg::OnFileDropped(const QString& path) {
    DoDataExchange(true);
    if (trelvan::shell::ExtensionIs(path, ".avi")) {
        // An AVI file meant as the audio source is chosen with its button.
        m_video = path;
        m_output = DefaultOutput();
    } else if (trelvan::shell::ExtensionIs(path, ".wav")) {
        m_audio = path;
    } else {
        return;  // another kind of file: ignored
    }
    DoDataExchange(false);
}

void CAVICreatorDlg::OnBrowseVideo() {
    DoDataExchange(true);
    const QString chosen = BrowseOpen(
        "avi", m_video,
        QString("AVI (*.AVI)|*.avi|") + Lang("all (*.*)|*.*|", "すべてのファイル  (*.*)|*.*|"));
    if (chosen.isEmpty()) {
        return;
    }
    m_video = chosen;
    if (m_output.isEmpty()) {
        m_output = DefaultOutput();
    }
    DoDataExchange(false);
}

void CAVICreatorDlg::OnBrowseAudio() {
    DoDataExchange(true);
    const QString chosen = BrowseOpen("wav", m_audio,
                                      Lang("WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|",
                                           "音声ソースWAVファイル  (*.wav;*.avi)|*.wav; *.avi|") +
                                          Lang("all (*.*)|*.*|", "すべてのファイル  (*.*)|*.*|"));
    if (chosen.isEmpty()) {
        return;
    }
    m_audio = chosen;
    DoDataExchange(false);
}

void CAVICreatorDlg::OnBrowseOutput() {
    DoDataExchange(true);
    const QString initial = m_output.isEmpty() ? DefaultOutput() : m_output;
    const QString chosen = BrowseSave("avi", initial, "AVI (*.AVI)|*.avi|");
    if (chosen.isEmpty()) {
        return;
    }
    m_output = chosen;
    DoDataExchange(false);
}

void CAVICreatorDlg::OnUnite() {
    DoDataExchange(true);
    m_output = QString::fromStdString(
        trelvan::UniteOutputName(m_video.toStdString(), m_output.toStdString()));
    DoDataExchange(false);
    SetBar(0);
    SetInfo("  0 %");

    trelvan::AviUniteJob job;
    job.videoSource = m_video.toStdString();
    job.audioSource = m_audio.toStdString();
    job.output = m_output.toStdString();
    m_saving = true;
    const trelvan::AviSaveRunResult result =
        trelvan::RunAviUnite(job, m_ctx, [this] { BeginWork(1000); });
    m_saving = false;
    if (result.code != 0) {
        ShowError(result.code);
    }
    if (result.started) {
        EndWork();
    }
}

trelvan::ProgressInput CAVICreatorDlg::ProgressNow() const {
    return trelvan::SavePercentProgress(m_ctx, trelvan::IsJapaneseSystem());
}
