#include "CWAVExtract.h"

#include <QAbstractButton>
#include <QLineEdit>

#include "AudioExtract.h"
#include "PageUtil.h"

using trelvan::shell::Lang;

namespace {

constexpr int kInputId = 1040;
constexpr int kOutputId = 1048;

}  // namespace

CWAVExtract::CWAVExtract(QWidget* owner) : CAVIBase(110, owner, QColor(0x80, 0xFF, 0xBF)) {}

bool CWAVExtract::OnInitDialog() {
    CAVIBase::OnInitDialog();
    SetItemText(1050, "Audio Src[WAV]");
    SetItemText(1053, "Output Dst[WAV]");
    if (trelvan::shell::Japanese()) {
        SetExtractCaptionsJapanese(this);
        SetItemText(1050, QString::fromUtf8("音声ソース[WAV]"));
        SetItemText(1053, QString::fromUtf8("出力ファイル名[WAV]"));
    }
    connect(Item<QAbstractButton>(1009), &QAbstractButton::clicked, this,
            &CWAVExtract::OnBrowseInput);
    connect(Item<QAbstractButton>(1051), &QAbstractButton::clicked, this,
            &CWAVExtract::OnBrowseOutput);
    connect(Item<QAbstractButton>(1029), &QAbstractButton::clicked, this, &CWAVExtract::OnStart);
    DoDataExchange(false);
    return true;
}

bool CWAVExtract::DoDataExchange(bool save) {
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

QString CWAVExtract::DefaultOutput() const {
    return trelvan::shell::DefaultOutputName(m_input, "_extr", ".wav");
}

void CWAVExtract::OnFileDropped(const QString& path) {
    DoDataExchange(true);
    if (!trelvan::shell::ExtensionIs(path, ".wav") && !trelvan::shell::ExtensionIs(path, ".avi")) {
        return;  // another kind of file: ignored
    }
    m_input = path;
    m_output = DefaultOutput();
    LoadInputInfo();
}

void CWAVExtract::LoadInputInfo() {
    m_range.ClearHalf(CRangeFields::kStart);
    trelvan::AudioTime length;
    const int32_t code = trelvan::ReadAudioDuration(m_input.toStdString(), &length);
    if (code != 0) {
        m_range.ClearHalf(CRangeFields::kEnd);
        m_input.clear();
        m_output.clear();
        DoDataExchange(false);
        ShowError(code);
        return;
    }
    m_range.Set(CRangeFields::kEnd, length);
    DoDataExchange(false);
}

void CWAVExtract::OnBrowseInput() {
    DoDataExchange(true);
    const QString chosen = BrowseOpen("wav", m_input,
                                      Lang("WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|",
                                           "音声ソースWAVファイル  (*.wav;*.avi)|*.wav; *.avi|") +
                                          Lang("all (*.*)|*.*|", "すべてのファイル  (*.*)|*.*|"));
    if (chosen.isEmpty()) {
        return;
    }
    m_input = chosen;
    if (m_output.isEmpty()) {
        m_output = DefaultOutput();
    }
    LoadInputInfo();
}

void CWAVExtract::OnBrowseOutput() {
    DoDataExchange(true);
    const QString initial = m_output.isEmpty() ? DefaultOutput() : m_output;
    const QString chosen = BrowseSave("wav", initial, "WAV (*.WAV)|*.wav|");
    if (chosen.isEmpty()) {
        return;
    }
    m_output = chosen;
    DoDataExchange(false);
}

void CWAVExtract::OnStart() {
    if (!DoDataExchange(true)) {
        return;  // a range field was refused: the user corrects it first
    }
    if (m_output.isEmpty()) {
        m_output = DefaultOutput();
        DoDataExchange(false);
    }
    trelvan::AudioExtractJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.start = m_range.Get<trelvan::AudioTime>(CRangeFields::kStart);
    job.end = m_range.Get<trelvan::AudioTime>(CRangeFields::kEnd);
    const trelvan::AudioExtractResult result =
        trelvan::RunAudioExtract(job, m_ctx, [this] { BeginWork(500); });
    if (result.code != 0) {
        ShowError(result.code, result.sourceInDetail ? job.source : std::string());
    }
    if (result.started) {
        EndWork();
    }
}
