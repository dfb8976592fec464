#include "CComingPage.h"

#include <QAbstractButton>

#include "PageUtil.h"

CComingPage::CComingPage(int templateId, QWidget* owner, QColor background)
    : CAVIBase(templateId, owner, background) {}

QString CComingPage::ComingText() {
    return trelvan::shell::Lang("This page is coming in a later version.",
                                "このページは今後のバージョンで追加されます。");
}

bool CComingPage::OnInitDialog() {
    CAVIBase::OnInitDialog();
    for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
        b->setEnabled(false);
    }
    SetInfo(ComingText());
    return true;
}
