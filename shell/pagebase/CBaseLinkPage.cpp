#include "CBaseLinkPage.h"

#include <QAbstractButton>

#include "CDragListBoxEx.h"

namespace {

constexpr int kOutputId = 1048;
constexpr int kLinkId = 1029;

}  // namespace

CBaseLinkPage::CBaseLinkPage(QWidget* owner, QColor background, Traits traits)
    : CAVIBase(107, owner, background), m_traits(std::move(traits)) {}

bool CBaseLinkPage::OnInitDialog() {
    CAVIBase::OnInitDialog();
    SetItemText(1053, QString::fromUtf8(m_traits.outputLabel.english));
    if (trelvan::shell::Japanese()) {
        SetItemText(1049, QString::fromUtf8(m_traits.sourceGroupJapanese));
        SetItemText(1053, QString::fromUtf8(m_traits.outputLabel.japanese));
        SetItemText(1055, QString::fromUtf8("進行状況"));
        SetItemText(
            1034, QString::fromUtf8("ソースと出力ファイル名を入れて、連結ボタンを押してください"));
        SetItemText(1042, QString::fromUtf8("停止"));
        SetItemText(kLinkId, QString::fromUtf8("連結"));
        SetItemText(1007, QString::fromUtf8("削除"));
        SetItemText(1032, QString::fromUtf8("リセット"));
        SetItemText(1066, QString::fromUtf8("追加"));
    }
    connect(Item<QAbstractButton>(1066), &QAbstractButton::clicked, this, &CBaseLinkPage::OnAdd);
    connect(Item<QAbstractButton>(1007), &QAbstractButton::clicked, this, &CBaseLinkPage::OnDel);
    connect(Item<QAbstractButton>(1032), &QAbstractButton::clicked, this, &CBaseLinkPage::OnReset);
    connect(Item<QAbstractButton>(1051), &QAbstractButton::clicked, this,
            &CBaseLinkPage::OnBrowseOutput);
    connect(Item<QAbstractButton>(kLinkId), &QAbstractButton::clicked, this,
            &CBaseLinkPage::OnLink);
    DoDataExchange(false);
    return true;
}

void CBaseLinkPage::DoDataExchange(bool save) {
    if (save) {
        m_output = ItemText(kOutputId);
    } else {
        SetItemText(kOutputId, m_output);
    }
}

bool CBaseLinkPage::Takes(const QString& path) const {
    for (const QString& ext : m_traits.dropExtensions) {
        if (trelvan::shell::ExtensionIs(path, ext)) {
            return true;
        }
    }
    return false;
}

void CBaseLinkPage::OnFileDropped(const QString& path) {
    DoDataExchange(true);
    const QString outputExtension = m_traits.dropOutputExtension
                                        ? QString(m_traits.dropOutputExtension)
                                        : trelvan::shell::FileExtension(path);
    if (ListFileDropped(path, m_traits.dropExtensions, outputExtension, &m_output)) {
        DoDataExchange(false);
    }
}

void CBaseLinkPage::OnAdd() {
    OnListAdd(m_traits.addFilter);
}

void CBaseLinkPage::OnDel() {
    OnListDel();
}

void CBaseLinkPage::OnReset() {
    OnListReset(&m_output);
    DoDataExchange(false);
}

void CBaseLinkPage::OnBrowseOutput() {
    DoDataExchange(true);
    const QString chosen = BrowseSave(m_traits.defaultExtension, m_output, m_traits.outputFilter);
    if (chosen.isEmpty()) {
        return;
    }
    m_output = chosen;
    DoDataExchange(false);
}

void CBaseLinkPage::OnStop() {
    CAVIBase::OnStop();
    if (!m_traits.stopEnablesLink) {
        return;
    }
    if (auto* link = Item<QAbstractButton>(kLinkId)) {
        link->setEnabled(true);
    }
}

void CBaseLinkPage::OnLink() {
    // Stop may enable Link while the stopped run is still inside its event
    // pump (or on its worker): a second run would start nested in the
    // first, on the same context and perhaps the same output. It waits
    // until the first has returned.
    if (Linking()) {
        return;
    }
    DoDataExchange(true);
    const QStringList paths = SourceList() ? SourceList()->Paths() : QStringList();
    if (m_output.isEmpty()) {
        if (paths.isEmpty()) {
            return;  // nothing to link and nowhere to: nothing happens
        }
        m_output = trelvan::shell::DefaultOutputName(paths.front(), "_link",
                                                     m_traits.outputExtension);
        DoDataExchange(false);
    }
    // The run links the list as it stands now; edits during the run count
    // for the next one.
    RunLink(paths);
}
