#include "CBaseDialogList.h"

void CBaseDialogList::CreateAll(const QRect& rect, QWidget* parent) {
    for (int i = 0; i < Size(); ++i) {
        CBaseDialog* page = At(i);
        page->CreatePage(parent);
        page->setVisible(i == 0);
    }
    MoveAll(rect);
}

void CBaseDialogList::MoveAll(const QRect& rect) {
    for (int i = 0; i < Size(); ++i) {
        At(i)->setGeometry(rect);
    }
}

void CBaseDialogList::ShowOnly(int index) {
    for (int i = 0; i < Size(); ++i) {
        if (i != index) {
            At(i)->hide();
        }
    }
    if (CBaseDialog* page = At(index)) {
        page->show();
    }
}

void CBaseDialogList::ShowOnlyPage(CBaseDialog* page) {
    HideAll();
    if (page) {
        page->show();
    }
}

void CBaseDialogList::HideAll() {
    for (int i = 0; i < Size(); ++i) {
        At(i)->hide();
    }
}
