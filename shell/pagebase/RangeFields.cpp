#include "RangeFields.h"

#include <QLineEdit>
#include <QRegularExpression>

#include "CBaseDialog.h"
#include "PageUtil.h"
#include "ProgressText.h"

using trelvan::shell::Lang;

namespace {

enum class Parsed { Number, NotANumber, OutOfRange };

// A field's text as a whole number within 0..max (blanks around it allowed).
Parsed ParseField(const QString& text, int64_t max, int64_t* value) {
    static const QRegularExpression whole("^\\s*[+-]?[0-9]+\\s*$");
    if (!whole.match(text).hasMatch()) {
        return Parsed::NotANumber;
    }
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok || v < 0 || v > max) {
        return Parsed::OutOfRange;  // too many digits for any count is too large too
    }
    *value = v;
    return Parsed::Number;
}

}  // namespace

void CRangeFields::Show(CBaseDialog* page) const {
    for (size_t i = 0; i < kIds.size(); ++i) {
        // Milliseconds with their leading zeros: 5.046 s shows "046", not "46".
        const bool ms = i % 4 == 3;
        page->SetItemText(kIds[i], ms ? QString("%1").arg(values[i], 3, 10, QChar('0'))
                                      : QString::number(values[i]));
    }
}

bool CRangeFields::Read(CBaseDialog* page) {
    for (size_t i = 0; i < kIds.size(); ++i) {
        int64_t value = 0;
        const Parsed parsed = ParseField(page->ItemText(kIds[i]), kMax[i], &value);
        if (parsed == Parsed::Number) {
            values[i] = value;
            continue;
        }
        trelvan::shell::MessageBoxRequest box;
        box.owner = page;
        box.caption = trelvan::shell::kProgramName;
        box.warning = true;
        if (parsed == Parsed::NotANumber) {
            box.text = Lang("Please enter an integer.", "整数を入力してください。");
        } else {
            box.text = Lang("Please enter an integer between %1 and %2.",
                            "%1 から %2 までの整数を入力してください。")
                           .arg(0)
                           .arg(kMax[i]);
        }
        trelvan::shell::ShowMessageBox(box);
        if (auto* field = page->Item<QLineEdit>(kIds[i])) {
            field->setFocus(Qt::OtherFocusReason);
            field->selectAll();
        }
        return false;
    }
    return true;
}

void SetExtractCaptionsJapanese(CBaseDialog* page) {
    page->SetItemText(1049, QString::fromUtf8("ソースを指定してください(ドラッグ&&ドロップ可)"));
    page->SetItemText(1059, QString::fromUtf8("進行状況"));
    page->SetItemText(
        1034, QString::fromUtf8("ソースと出力ファイル名を入れて、抽出ボタンを押してください"));
    page->SetItemText(1042, QString::fromUtf8("停止"));
    page->SetItemText(1029, QString::fromUtf8("抽出"));
    page->SetItemText(1058, QString::fromUtf8("抽出範囲指定"));
    for (int id : {1060, 1061}) {
        page->SetItemText(id, QString::fromUtf8("時"));
    }
    for (int id : {1062, 1063}) {
        page->SetItemText(id, QString::fromUtf8("分"));
    }
    for (int id : {1064, 1065}) {
        page->SetItemText(id, QString::fromUtf8("秒"));
    }
}

uint64_t CRangeFields::Units(size_t half) const {
    return trelvan::RangeFieldsTime(
        static_cast<uint32_t>(values[half]), static_cast<uint32_t>(values[half + 1]),
        static_cast<uint32_t>(values[half + 2]), static_cast<uint32_t>(values[half + 3]));
}

void CRangeFields::SetUnitsRoundedUp(size_t half, uint64_t units) {
    const uint64_t ms = units / 10000 + (units % 10000 != 0 ? 1 : 0);
    const uint64_t seconds = ms / 1000;
    values[half] = static_cast<int64_t>(seconds / 3600);
    values[half + 1] = static_cast<int64_t>(seconds % 3600 / 60);
    values[half + 2] = static_cast<int64_t>(seconds % 60);
    values[half + 3] = static_cast<int64_t>(ms % 1000);
}
