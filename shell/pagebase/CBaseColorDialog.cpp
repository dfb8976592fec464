#include "CBaseColorDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

CBaseColorDialog::CBaseColorDialog(int templateId, QWidget* owner, QColor background, QColor text,
                                   bool sysMenu, bool child)
    : CBaseDialog(templateId, owner, sysMenu, child), m_background(background), m_text(text) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, m_background);
    pal.setColor(QPalette::WindowText, m_text);
    setPalette(pal);
    setAutoFillBackground(true);
}

bool CBaseColorDialog::OnInitDialog() {
    CBaseDialog::OnInitDialog();
    ApplyColours();
    return true;
}

void CBaseColorDialog::ApplyColours() {
    for (QWidget* w : findChildren<QWidget*>()) {
        const auto* edit = qobject_cast<QLineEdit*>(w);
        const bool statical =
            qobject_cast<QLabel*>(w) || qobject_cast<QGroupBox*>(w) || (edit && edit->isReadOnly());
        if (!statical) {
            continue;
        }
        QPalette pal = w->palette();
        pal.setColor(QPalette::WindowText, m_text);
        pal.setColor(QPalette::Text, m_text);
        pal.setColor(QPalette::Window, m_background);
        if (edit) {
            pal.setColor(QPalette::Base, m_background);
        }
        w->setPalette(pal);
    }
}
