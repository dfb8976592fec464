#include "CBaseSeparatePage.h"

#include <QAbstractButton>

namespace {

constexpr int kInputId = 1003;
constexpr int kOutputId = 1053;

}  // namespace

CBaseSeparatePage::CBaseSeparatePage(QWidget* owner, QColor background, Traits traits)
    : CAVIBase(106, owner, background), m_traits(std::move(traits)) {}

bool CBaseSeparatePage::OnInitDialog() {
    CAVIBase::OnInitDialog();
    SetItemText(1050, QString::fromUtf8(m_traits.sourceLabel.english));
    SetItemText(1057, QString::fromUtf8(m_traits.outputLabel.english));
    if (trelvan::shell::Japanese()) {
        SetItemText(1049, QString::fromUtf8("ソースを指定してください(ドラッグ&&ドロップ可)"));
        SetItemText(1050, QString::fromUtf8(m_traits.sourceLabel.japanese));
        SetItemText(1057, QString::fromUtf8(m_traits.outputLabel.japanese));
        SetItemText(1055, QString::fromUtf8("進行状況"));
        SetItemText(
            1034, QString::fromUtf8("ソースと出力ファイル名を入れて、切出ボタンを押してください"));
        SetItemText(1042, QString::fromUtf8("停止"));
        SetItemText(1030, QString::fromUtf8("映像切り出し"));
        SetItemText(1036, QString::fromUtf8("音声切り出し"));
    }
    connect(Item<QAbstractButton>(1011), &QAbstractButton::clicked, this,
            &CBaseSeparatePage::OnBrowseInput);
    connect(Item<QAbstractButton>(1056), &QAbstractButton::clicked, this,
            &CBaseSeparatePage::OnBrowseOutput);
    connect(Item<QAbstractButton>(1030), &QAbstractButton::clicked, this,
            &CBaseSeparatePage::OnVideoCut);
    connect(Item<QAbstractButton>(1036), &QAbstractButton::clicked, this,
            &CBaseSeparatePage::OnAudioCut);
    DoDataExchange(false);
    return true;
}

void CBaseSeparatePage::DoDataExchange(bool save) {
    if (save) {
        m_input = ItemText(kInputId);
        m_output = ItemText(kOutputId);
    } else {
        SetItemText(kInputId, m_input);
        SetItemText(kOutputId, m_output);
    }
}

QString CBaseSeparatePage::DefaultOutput(const QString& extension) const {
    return trelvan::shell::DefaultOutputName(m_input, "_cut", extension);
}

bool CBaseSeparatePage::Takes(const QString& path) const {
    QString extension;
    return trelvan::shell::MatchDrop(m_traits.drops, path, &extension);
}

void CBaseSeparatePage::OnFileDropped(const QString& path) {
    DoDataExchange(true);
    QString extension;
    if (!trelvan::shell::MatchDrop(m_traits.drops, path, &extension)) {
        return;  // another kind of file: ignored
    }
    m_input = path;
    m_output = DefaultOutput(extension);
    DoDataExchange(false);
}

void CBaseSeparatePage::OnBrowseInput() {
    DoDataExchange(true);
    const QString chosen =
        BrowseOpen(m_traits.defaultExtension, m_input,
                   m_traits.sourceFilter.Get() + trelvan::shell::AllFilesFilter());
    if (chosen.isEmpty()) {
        return;
    }
    m_input = chosen;
    if (m_output.isEmpty() || m_traits.browseReplacesOutput) {
        m_output = DefaultOutput(m_traits.outputExtension);
    }
    DoDataExchange(false);
}

void CBaseSeparatePage::OnBrowseOutput() {
    DoDataExchange(true);
    // Without a source there is no name to propose (not a bare "_cut").
    const QString initial = m_output.isEmpty() && !m_input.isEmpty()
                                ? DefaultOutput(m_traits.outputExtension)
                                : m_output;
    const QString chosen = BrowseSave(m_traits.defaultExtension, initial, m_traits.outputFilter);
    if (chosen.isEmpty()) {
        return;
    }
    m_output = chosen;
    DoDataExchange(false);
}
