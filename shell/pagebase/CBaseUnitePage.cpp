#include "CBaseUnitePage.h"

#include <QAbstractButton>

namespace {

constexpr int kVideoId = 1040;
constexpr int kAudioId = 1020;
constexpr int kOutputId = 1048;

}  // namespace

CBaseUnitePage::CBaseUnitePage(QWidget* owner, QColor background, Traits traits)
    : CAVIBase(105, owner, background), m_traits(std::move(traits)) {}

bool CBaseUnitePage::OnInitDialog() {
    CAVIBase::OnInitDialog();
    SetItemText(1050, QString::fromUtf8(m_traits.videoLabel.english));
    SetItemText(1052, QString::fromUtf8(m_traits.audioLabel.english));
    SetItemText(1053, QString::fromUtf8(m_traits.outputLabel.english));
    SetItemText(1029, "Comb");
    if (trelvan::shell::Japanese()) {
        SetItemText(1049, QString::fromUtf8("ソースを指定してください(ドラッグ&&ドロップ可)"));
        SetItemText(1050, QString::fromUtf8(m_traits.videoLabel.japanese));
        SetItemText(1052, QString::fromUtf8(m_traits.audioLabel.japanese));
        SetItemText(1053, QString::fromUtf8(m_traits.outputLabel.japanese));
        SetItemText(1055, QString::fromUtf8("進行状況"));
        SetItemText(
            1034, QString::fromUtf8("ソースと出力ファイル名を入れて、合体ボタンを押してください"));
        SetItemText(1042, QString::fromUtf8("停止"));
        SetItemText(1029, QString::fromUtf8("合体"));
    }
    connect(Item<QAbstractButton>(1009), &QAbstractButton::clicked, this,
            &CBaseUnitePage::OnBrowseVideo);
    connect(Item<QAbstractButton>(1026), &QAbstractButton::clicked, this,
            &CBaseUnitePage::OnBrowseAudio);
    connect(Item<QAbstractButton>(1051), &QAbstractButton::clicked, this,
            &CBaseUnitePage::OnBrowseOutput);
    connect(Item<QAbstractButton>(1029), &QAbstractButton::clicked, this,
            [this] { OnUnite(); });
    DoDataExchange(false);
    return true;
}

void CBaseUnitePage::DoDataExchange(bool save) {
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

QString CBaseUnitePage::DefaultOutput() const {
    return trelvan::shell::DefaultOutputName(m_video, "_comb", m_traits.outputExtension);
}

bool CBaseUnitePage::Takes(const QString& path) const {
    return trelvan::shell::ExtensionIs(path, m_traits.outputExtension) ||
           trelvan::shell::ExtensionIs(path, m_traits.audioDropExtension);
}

void CBaseUnitePage::OnFileDropped(const QString& path) {
    DoDataExchange(true);
    if (trelvan::shell::ExtensionIs(path, m_traits.outputExtension)) {
        // A file meant as the audio source is chosen with its button.
        m_video = path;
        m_output = DefaultOutput();
    } else if (trelvan::shell::ExtensionIs(path, m_traits.audioDropExtension)) {
        m_audio = path;
    } else {
        return;  // another kind of file: ignored
    }
    DoDataExchange(false);
}

void CBaseUnitePage::OnBrowseVideo() {
    DoDataExchange(true);
    const QString chosen =
        BrowseOpen(m_traits.videoExtension, m_video,
                   QString(m_traits.videoFilter) + trelvan::shell::AllFilesFilter());
    if (chosen.isEmpty()) {
        return;
    }
    m_video = chosen;
    if (m_output.isEmpty()) {
        m_output = DefaultOutput();
    }
    DoDataExchange(false);
}

void CBaseUnitePage::OnBrowseAudio() {
    DoDataExchange(true);
    const QString chosen =
        BrowseOpen(m_traits.audioExtension, m_audio,
                   m_traits.audioFilter.Get() + trelvan::shell::AllFilesFilter());
    if (chosen.isEmpty()) {
        return;
    }
    m_audio = chosen;
    DoDataExchange(false);
}

void CBaseUnitePage::OnBrowseOutput() {
    DoDataExchange(true);
    // Without a video source there is no name to propose (not a bare "_comb").
    const QString initial = m_output.isEmpty() && !m_video.isEmpty() ? DefaultOutput() : m_output;
    const QString chosen = BrowseSave(m_traits.videoExtension, initial, m_traits.videoFilter);
    if (chosen.isEmpty()) {
        return;
    }
    m_output = chosen;
    DoDataExchange(false);
}
