#include "PageTemplates.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "CDragListBoxEx.h"
#include "CNumberEditBox.h"
#include "PageUtil.h"

namespace trelvan::shell {

namespace {

template <class T>
T* Place(T* w, int id, int x, int y, int width, int height) {
    if (id != 0) {
        w->setObjectName(QString::number(id));
    }
    w->setGeometry(DluRect(x, y, width, height));
    return w;
}

QGroupBox* Group(QWidget* page, int id, const char* text, int x, int y, int w, int h) {
    auto* g = Place(new QGroupBox(QString::fromUtf8(text), page), id, x, y, w, h);
    g->setAttribute(Qt::WA_TransparentForMouseEvents);  // the page below gets drags
    return g;
}

QLabel* Static(QWidget* page, int id, const char* text, int x, int y, int w, int h,
               Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* l = Place(new QLabel(QString::fromUtf8(text), page), id, x, y, w, h);
    l->setAlignment(align);
    l->setTextFormat(Qt::PlainText);
    l->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    return l;
}

QLineEdit* PathField(QWidget* page, int id, int x, int y, int w, int h) {
    auto* e = Place(new QLineEdit(page), id, x, y, w, h);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    return e;
}

QPushButton* Button(QWidget* page, int id, const char* text, int x, int y, int w, int h) {
    auto* b = Place(new QPushButton(QString::fromUtf8(text), page), id, x, y, w, h);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

CNumberEditBox* Number(QWidget* page, int id, int x, int y, int w, int h) {
    auto* e = Place(new CNumberEditBox(page), id, x, y, w, h);
    e->setAlignment(Qt::AlignRight);
    e->setText("0");
    return e;
}

// Info line, bar, the start commands and Stop inside the progress group.
void ProgressPart(QWidget* page, int groupId, int top, int height) {
    Group(page, groupId, "Progress", 7, top, 313, height);
    Static(page, 1034, "Info", 14, top + 12, 299, 10);
    auto* bar = Place(new QProgressBar(page), 1038, 14, top + 25, 299, 11);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
}

// Stop, and on the same row at the left the Verify check box (whether a
// successful run's output is read back and compared with its sources).
void StopButton(QWidget* page, int top) {
    Button(page, 1042, "Stop", 262, top, 51, 15)->setEnabled(false);
    Place(new QCheckBox("Verify", page), kVerifyBoxId, 14, top + 1, 80, 13);
}

}  // namespace

int PageWidth() {
    return DluX(327);
}
int PageHeight() {
    return DluY(194);
}

void BuildTemplate105(QWidget* page) {
    Group(page, 1049, "Input Src(Drag && Drop OK)", 7, 3, 313, 52);
    // The captions are wider than on the other layouts: the unite pages
    // name two kinds of file ("Audio Src[AVI or WAV]").
    Static(page, 1050, "Movie Src[AVI]", 14, 17, 96, 10);
    PathField(page, 1040, 112, 15, 178, 13);
    Button(page, 1009, "...", 293, 15, 20, 13);
    Static(page, 1052, "Audio Src[WAV]", 14, 35, 96, 10);
    PathField(page, 1020, 112, 33, 178, 13);
    Button(page, 1026, "...", 293, 33, 20, 13);
    Group(page, 1053, "Output Dst[AVI]", 7, 60, 313, 32);
    PathField(page, 1048, 14, 73, 276, 13);
    Button(page, 1051, "...", 293, 73, 20, 13);
    ProgressPart(page, 1055, 98, 88);
    Button(page, 1029, "Comb", 200, 163, 55, 15);
    StopButton(page, 163);
}

void BuildTemplate106(QWidget* page) {
    Group(page, 1049, "Input Src(Drag && Drop OK)", 7, 3, 313, 34);
    // The caption a little wider than the resource had it: "映像ソース[WMV]"
    // and "[MOV]" need it in Japanese.
    Static(page, 1050, "Movie Src[AVI]", 14, 17, 70, 10);
    PathField(page, 1003, 86, 15, 204, 13);
    Button(page, 1011, "...", 293, 15, 20, 13);
    Group(page, 1057, "Output Dst", 7, 42, 313, 32);
    PathField(page, 1053, 14, 55, 276, 13);
    Button(page, 1056, "...", 293, 55, 20, 13);
    ProgressPart(page, 1055, 80, 106);
    Button(page, 1030, "Video Cut", 138, 163, 55, 15);
    Button(page, 1036, "Audio Cut", 200, 163, 55, 15);
    StopButton(page, 163);
}

void BuildTemplate107(QWidget* page) {
    Group(page, 1049, "Input Src(Drag && Drop OK)", 7, 3, 313, 86);
    auto* list = new CDragListBoxEx(page);
    list->setGeometry(DluRect(12, 16, 244, 64));
    Button(page, 1066, "Add", 262, 16, 51, 15);
    Button(page, 1007, "Del", 262, 36, 51, 15);
    Button(page, 1032, "Reset", 262, 56, 51, 15);
    Group(page, 1053, "Output Dst[AVI]", 7, 93, 313, 32);
    PathField(page, 1048, 14, 106, 276, 13);
    Button(page, 1051, "...", 293, 106, 20, 13);
    ProgressPart(page, 1055, 130, 58);
    Button(page, 1029, "Link", 200, 168, 55, 15);
    StopButton(page, 168);
}

void BuildTemplate110(QWidget* page) {
    Group(page, 1049, "Input Src(Drag && Drop OK)", 7, 3, 313, 34);
    Static(page, 1050, "Movie Src[AVI]", 14, 17, 70, 10);  // wider, as on 106
    PathField(page, 1040, 86, 15, 204, 13);
    Button(page, 1009, "...", 293, 15, 20, 13);
    Group(page, 1053, "Output Dst[AVI]", 7, 42, 313, 32);
    PathField(page, 1048, 14, 55, 276, 13);
    Button(page, 1051, "...", 293, 55, 20, 13);

    // The range: H M S . mmm  ～  H M S . mmm
    Static(page, 1058, "Extraction range", 10, 80, 100, 10);
    struct Part {
        int id;
        int labelId;
        const char* label;
        int width;
    };
    const Part start[] = {
        {1054, 1060, "H", 30}, {1017, 1062, "M", 16}, {1022, 0, ".", 16}, {1025, 1064, "S", 22}};
    const Part end[] = {
        {1028, 1061, "H", 30}, {1033, 1063, "M", 16}, {1044, 0, ".", 16}, {1046, 1065, "S", 22}};
    int x = 14;
    for (const Part& p : start) {
        Number(page, p.id, x, 92, p.width, 13);
        x += p.width + 1;
        Static(page, p.labelId, p.label, x, 94, 10, 10);
        x += 10;
    }
    Static(page, 0, "\xEF\xBD\x9E", x + 2, 94, 12, 10, Qt::AlignCenter);
    x += 16;
    for (const Part& p : end) {
        Number(page, p.id, x, 92, p.width, 13);
        x += p.width + 1;
        Static(page, p.labelId, p.label, x, 94, 10, 10);
        x += 10;
    }

    ProgressPart(page, 1059, 112, 76);
    Button(page, 1029, "Extra", 200, 166, 55, 15);
    StopButton(page, 166);
}

bool BuildTemplate(int id, QWidget* page) {
    switch (id) {
        case 105:
            BuildTemplate105(page);
            return true;
        case 106:
            BuildTemplate106(page);
            return true;
        case 107:
            BuildTemplate107(page);
            return true;
        case 110:
            BuildTemplate110(page);
            return true;
        default:
            return false;
    }
}

}  // namespace trelvan::shell
