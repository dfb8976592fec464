#include "CAVIExtract.h"

#include <QAbstractButton>

#include "AviExtract.h"
#include "Language.h"
#include "PageUtil.h"

using trelvan::shell::FieldValue;
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
        SetItemText(1049, QString::fromUtf8("ソースを指定してください(ドラッグ&&ドロップ可)"));
        SetItemText(1050, QString::fromUtf8("映像ソース[AVI]"));
        SetItemText(1053, QString::fromUtf8("出力ファイル名[AVI]"));
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
            &CAVIExtract::OnBrowseInput);
    connect(Item<QAbstractButton>(1051), &QAbstractButton::clicked, this,
            &CAVIExtract::OnBrowseOutput);
    connect(Item<QAbstractButton>(1029), &QAbstractButton::clicked, this, &CAVIExtract::OnStart);
    DoDataExchange(false);
    return true;
}

void CAVIExtract::DoDataExchange(bool save) {
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

QString CAVIExtract::DefaultOutput() const {
    return trelvan::shell::DefaultOutputName(m_input, "_extr", ".avi");
}

void CAVIExtract::SetRangeHalf(size_t first, int64_t h, int64_t m, int64_t s, int64_t ms) {
    m_range[first] = h;
    m_range[first + 1] = m;
    m_range[first + 2] = s;
    m_range[first + 3] = ms;
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
    m_range.fill(0);
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
    SetRangeHalf(0, range.start.hours, range.start.minutes, range.start.seconds,
                 range.start.milliseconds);
    SetRangeHalf(4, range.end.hours, range.end.minutes, range.end.seconds, range.end.milliseconds);
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
    DoDataExchange(true);
    if (m_output.isEmpty()) {
        m_output = DefaultOutput();
    }
    DoDataExchange(false);
    trelvan::AviExtractJob job;
    job.source = m_input.toStdString();
    job.output = m_output.toStdString();
    job.start = {m_range[0], m_range[1], m_range[2], m_range[3]};
    job.end = {m_range[4], m_range[5], m_range[6], m_range[7]};
    job.rate = m_rate;
    const trelvan::AviExtractResult result = trelvan::RunAviExtract(
        job, m_ctx, [this] { BeginWork(500); },
        [this](const trelvan::AviTime& start) {
            // The user sees where the extract really begins.
            SetRangeHalf(0, start.hours, start.minutes, start.seconds, start.milliseconds);
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
