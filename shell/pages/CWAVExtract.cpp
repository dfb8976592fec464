#include "CWAVExtract.h"

#include <QAbstractButton>
#include <QLineEdit>

#include "AudioExtract.h"
#include "PageUtil.h"

using trelvan::shell::FieldValue;
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
        SetItemText(1049, QString::fromUtf8("ソースを指定してください(ドラッグ&&ドロップ可)"));
        SetItemText(1050, QString::fromUtf8("音声ソース[WAV]"));
        SetItemText(1053, QString::fromUtf8("出力ファイル名[WAV]"));
        SetItemText(1059, QString::fromUtf8("進行状況"));
        SetItemText(
            1034, QString::fromUtf8("ソースと出力ファイル名を入れて、抽出ボタンを押してください"));
        SetItemText(1042, QString::fromUtf8("停止"));
        SetItemText(1029, QString::fromUtf8("抽出"));
        SetItemText(1058, QString::fromUtf8("抽出範囲指定"));
        SetItemText(1060, QString::fromUtf8("時"));
        SetItemText(1061, QString::fromUtf8("時"));
        SetItemText(1062, QString::fromUtf8("分"));
        SetItemText(1063, QString::fromUtf8("分"));
        SetItemText(1064, QString::fromUtf8("秒"));
        SetItemText(1065, QString::fromUtf8("秒"));
    }
    connect(Item<QAbstractButton>(1009), &QAbstractButton::clicked, this,
            &CWAVExtract::OnBrowseInput);
    connect(Item<QAbstractButton>(1051), &QAbstractButton::clicked, this,
            &CWAVExtract::OnBrowseOutput);
    connect(Item<QAbstractButton>(1029), &QAbstractButton::clicked, this, &CWAVExtract::OnStart);
    DoDataExchange(false);
    return true;
}

void CWAVExtract::DoDataExchange(bool save) {
    if (save) {
        m_input = ItemText(kInputId);
        m_output = ItemText(kOutputId);
        for (size_t i = 0; i < kRangeIds.size(); ++i) {
            m_range[i] = FieldValue(ItemText(kRangeIds[i]));
        }
    } else {
        SetItemText(kInputId, m_input);
        SetItemText(kOutputId, m_output);
        for (size_t i = 0; i < kRangeIds.size(); ++i) {
            SetItemText(kRangeIds[i], QString::number(m_range[i]));
        }
    }
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
    for (size_t i = 0; i < 4; ++i) {
        m_range[i] = 0;
    }
    trelvan::AudioTime length;
    const int32_t code = trelvan::ReadAudioDuration(m_input.toStdString(), &length);
    if (code != 0) {
        for (size_t i = 4; i < 8; ++i) {
            m_range[i] = 0;
        }
        m_input.clear();
        m_output.clear();
        DoDataExchange(false);
        ShowError(code);
        return;
    }
    m_range[4] = length.hours;
    m_range[5] = length.minutes;
    m_range[6] = length.seconds;
    m_range[7] = length.milliseconds;
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
    DoDataExchange(true);
    if (m_output.isEmpty()) {
        m_output = DefaultOutput();
        DoDataExchange(false);
    }
    trelvan::AudioExtractJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.start = {m_range[0], m_range[1], m_range[2], m_range[3]};
    job.end = {m_range[4], m_range[5], m_range[6], m_range[7]};
    const trelvan::AudioExtractResult result =
        trelvan::RunAudioExtract(job, m_ctx, [this] { BeginWork(500); });
    if (result.code != 0) {
        ShowError(result.code, result.sourceInDetail ? job.source : std::string());
    }
    if (result.started) {
        EndWork();
    }
}
