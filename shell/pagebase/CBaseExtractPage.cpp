#include "CBaseExtractPage.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QShortcut>

namespace {

constexpr int kInputId = 1040;
constexpr int kOutputId = 1048;

}  // namespace

CBaseExtractPage::CBaseExtractPage(QWidget* owner, QColor background, Traits traits)
    : CAVIBase(110, owner, background), m_traits(std::move(traits)) {}

bool CBaseExtractPage::OnInitDialog() {
    CAVIBase::OnInitDialog();
    SetItemText(1050, QString::fromUtf8(m_traits.sourceLabel.english));
    SetItemText(1053, QString::fromUtf8(m_traits.outputLabel.english));
    if (trelvan::shell::Japanese()) {
        SetExtractCaptionsJapanese(this);
        SetItemText(1050, QString::fromUtf8(m_traits.sourceLabel.japanese));
        SetItemText(1053, QString::fromUtf8(m_traits.outputLabel.japanese));
    }
    connect(Item<QAbstractButton>(1009), &QAbstractButton::clicked, this,
            &CBaseExtractPage::OnBrowseInput);
    connect(Item<QAbstractButton>(1051), &QAbstractButton::clicked, this,
            &CBaseExtractPage::OnBrowseOutput);
    connect(Item<QAbstractButton>(1029), &QAbstractButton::clicked, this,
            &CBaseExtractPage::OnStart);
    auto* preview = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this);
    preview->setObjectName("PreviewShortcut");
    connect(preview, &QShortcut::activated, this, &CBaseExtractPage::OnPreview);
    DoDataExchange(false);
    return true;
}

void CBaseExtractPage::AddMenuEntries(QMenu* menu) {
    QAction* preview = menu->addAction(trelvan::shell::PreviewMenuText());
    preview->setObjectName("PreviewAction");
    preview->setEnabled(IsIdle() != 0);
    connect(preview, &QAction::triggered, this, &CBaseExtractPage::OnPreview);
}

void CBaseExtractPage::OnPreview() {
    if (IsIdle() == 0 || !DoDataExchange(true)) {
        return;
    }
    CutPreview preview;
    if (!MakePreview(&preview)) {
        return;
    }
    CCutPreviewDlg dialog(this, preview);
    dialog.exec();
}

bool CBaseExtractPage::DoDataExchange(bool save) {
    if (save) {
        m_input = ItemText(kInputId);
        m_output = ItemText(kOutputId);
        return m_range.Read(this);
    }
    SetItemText(kInputId, m_input);
    SetItemText(kOutputId, m_output);
    m_range.Show(this);
    return true;
}

// The output name a source proposes, whether it was dropped or browsed: the
// extension its kind of drop gives (a .wma source stays .wma), else the
// page's own.
QString CBaseExtractPage::DefaultOutput() const {
    QString extension;
    if (!trelvan::shell::MatchDrop(m_traits.drops, m_input, &extension)) {
        extension = m_traits.outputExtension;
    }
    return trelvan::shell::DefaultOutputName(m_input, "_extr", extension);
}

bool CBaseExtractPage::Takes(const QString& path) const {
    QString extension;
    return trelvan::shell::MatchDrop(m_traits.drops, path, &extension);
}

void CBaseExtractPage::OnFileDropped(const QString& path) {
    DoDataExchange(true);
    QString extension;
    if (!trelvan::shell::MatchDrop(m_traits.drops, path, &extension)) {
        return;  // another kind of file: ignored
    }
    m_input = path;
    m_output = DefaultOutput();
    LoadInputInfo();
}

void CBaseExtractPage::LoadInputInfo() {
    m_range.ClearHalf(CRangeFields::kStart);
    const int32_t code = ReadSourceRange();
    if (code != 0) {
        const QString source = m_input;
        m_range.values.fill(0);
        m_input.clear();
        m_output.clear();
        DoDataExchange(false);
        ShowSourceError(code, source);
        return;
    }
    DoDataExchange(false);
}

void CBaseExtractPage::ShowSourceError(int32_t code, const QString& source) {
    NameRunFiles({source.toStdString()}, {});
    ShowError(code);
}

void CBaseExtractPage::OnBrowseInput() {
    DoDataExchange(true);
    const QString chosen =
        BrowseOpen(m_traits.defaultExtension, m_input,
                   m_traits.sourceFilter.Get() + trelvan::shell::AllFilesFilter());
    if (chosen.isEmpty()) {
        return;
    }
    m_input = chosen;
    if (m_output.isEmpty()) {
        m_output = DefaultOutput();
    }
    LoadInputInfo();
}

void CBaseExtractPage::OnBrowseOutput() {
    DoDataExchange(true);
    // Without a source there is no name to propose (not a bare "_extr").
    const QString initial = m_output.isEmpty() && !m_input.isEmpty() ? DefaultOutput() : m_output;
    const QString chosen = BrowseSave(m_traits.defaultExtension, initial, m_traits.outputFilter);
    if (chosen.isEmpty()) {
        return;
    }
    m_output = chosen;
    DoDataExchange(false);
}

void CBaseExtractPage::OnStart() {
    if (!DoDataExchange(true)) {
        return;  // a range field was refused: the user corrects it first
    }
    if (m_output.isEmpty()) {
        m_output = DefaultOutput();
        DoDataExchange(false);
    }
    RunExtract();
}
