#include "CAVIExtract.h"

#include <QAbstractButton>

#include "AviExtract.h"
#include "Language.h"
#include "PageUtil.h"

using trelvan::shell::Lang;

namespace {

constexpr int kInputId = 1040;
constexpr int kOutputId = 1048;

}  // namespace

CAVIExtract::CAVIExtract(QWidget* owner) : CAVIBase(110, owner, QColor(0xBF, 0xFF, 0x80)) {}

bool CAVIExtract::OnInitDialog() {
    CAVIBase::OnInitDialog();
    SetItemText(1050, "Movie Src[AVI]");
    SetItemText(1053, "Output Dst[AVI]");
    if (trelvan::shell::Japanese()) {
        SetExtractCaptionsJapanese(this);
        SetItemText(1050, QString::fromUtf8("映像ソース[AVI]"));
        SetItemText(1053, QString::fromUtf8("出力ファイル名[AVI]"));
    }
    connect(Item<QAbstractButton>(1009), &QAbstractButton::clicked, this,
            &CAVIExtract::OnBrowseInput);
    connect(Item<QAbstractButton>(1051), &QAbstractButton::clicked, this,
            &CAVIExtract::OnBrowseOutput);
    connect(Item<QAbstractButton>(1029), &QAbstractButton::clicked, this, &CAVIExtract::OnStart);
    DoDataExchange(false);
    return true;
}

bool CAVIExtract::DoDataExchange(bool save) {
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

QString CAVIExtract::DefaultOutput() const {
    return trelvan::shell::DefaultOutputName(m_input, "_extr", ".avi");
}

void CAVIExtract::OnFileDropped(const QString& path) {
    DoDataExchange(true);
    if (!trelvan::shell::ExtensionIs(path, ".avi")) {
        return;  // another kind of file: ignored
    }
    m_input = path;
    m_output = DefaultOutput();
    LoadInputInfo();
}

void CAVIExtract::LoadInputInfo() {
    m_range.values.fill(0);
    trelvan::AviRange range;
    const int32_t code = trelvan::ReadAviRange(m_input.toStdString(), &range);
    if (code != 0) {
        m_input.clear();
        m_output.clear();
        m_rate = 0;
        DoDataExchange(false);
        ShowError(code);
        return;
    }
    m_rate = range.rate;
    m_range.Set(CRangeFields::kStart, range.start);
    m_range.Set(CRangeFields::kEnd, range.end);
    DoDataExchange(false);
}

void CAVIExtract::OnBrowseInput() {
    DoDataExchange(true);
    const QString chosen = BrowseOpen(
        "avi", m_input,
        QString("AVI (*.AVI)|*.avi|") + Lang("all (*.*)|*.*|", "すべてのファイル  (*.*)|*.*|"));
    if (chosen.isEmpty()) {
        return;
    }
    m_input = chosen;
    if (m_output.isEmpty()) {
        m_output = DefaultOutput();
    }
    LoadInputInfo();
}

void CAVIExtract::OnBrowseOutput() {
    DoDataExchange(true);
    const QString initial = m_output.isEmpty() ? DefaultOutput() : m_output;
    const QString chosen = BrowseSave("avi", initial, "AVI (*.AVI)|*.avi|");
    if (chosen.isEmpty()) {
        return;
    }
    m_output = chosen;
    DoDataExchange(false);
}

void CAVIExtract::OnStart() {
    if (!DoDataExchange(true)) {
        return;  // a range field was refused: the user corrects it first
    }
    if (m_output.isEmpty()) {
        m_output = DefaultOutput();
    }
    DoDataExchange(false);
    trelvan::AviExtractJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.start = m_range.Get<trelvan::AviTime>(CRangeFields::kStart);
    job.end = m_range.Get<trelvan::AviTime>(CRangeFields::kEnd);
    job.rate = m_rate;
    const trelvan::AviExtractResult result = trelvan::RunAviExtract(
        job, m_ctx, [this] { BeginWork(500); },
        [this](const trelvan::AviTime& start) {
            // The user sees where the extract really begins.
            m_range.Set(CRangeFields::kStart, start);
            DoDataExchange(false);
        });
    if (result.started) {
        m_rate = result.rate;
    }
    if (result.code != 0) {
        ShowError(result.code);
    }
    if (result.started) {
        EndWork();
    }
}

trelvan::ProgressInput CAVIExtract::ProgressNow() const {
    return trelvan::AviExtractProgress(m_ctx, trelvan::IsJapaneseSystem());
}
