#include "CMyAboutDlg.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QThread>

#include "CBaseApp.h"
#include "CIconButton.h"
#include "CLinkButton.h"
#include "CMemDC.h"
#include "CTrelvanApp.h"
#include "IniCreate.h"
#include "PageUtil.h"

#ifndef TRELVAN_VERSION_MAJOR
#define TRELVAN_VERSION_MAJOR 1
#define TRELVAN_VERSION_MINOR 0
#define TRELVAN_VERSION_PATCH 0
#endif

CMyAboutDlg::CMyAboutDlg(QWidget* parent)
    : CBaseColorDialog(100, parent, QColor(255, 255, 255), QColor(0, 0, 0), false, false) {
    setObjectName("CMyAboutDlg");
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(trelvan::shell::Lang("About", "バージョン情報"));
}

QString CMyAboutDlg::VersionText(int major, int minor, int patch) {
    return QString::asprintf("%d.%d%d", major, minor, patch);
}

QString CMyAboutDlg::NameAndVersion() {
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (name.isEmpty()) {
        name = "trelvan";
    }
    return name + " Version " +
           VersionText(TRELVAN_VERSION_MAJOR, TRELVAN_VERSION_MINOR, TRELVAN_VERSION_PATCH);
}

void CMyAboutDlg::BuildControls() {
    setFixedSize(300, 190);
    auto* placeholder = new QLabel(this);
    placeholder->setObjectName("4000");
    placeholder->setGeometry(40, 40, 32, 32);
    placeholder->hide();
    auto* title = new QLabel(this);
    title->setObjectName("1032");
    title->setGeometry(82, 44, 190, 24);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* link = new CLinkButton(QColor(0, 0, 255), QColor(255, 255, 255), QColor(128, 128, 128),
                                 QColor(255, 0, 255), this);
    link->setObjectName("1018");
    // The help page that ships beside the program.
    link->setText(CTrelvanApp::kHelpFile);
    link->setToolTip(QString::fromStdString(trelvan::ProgramDir()) + CTrelvanApp::kHelpFile);
    link->setGeometry(50, 84, 200, 22);
    link->setCursor(Qt::PointingHandCursor);
    connect(link, &QPushButton::clicked, this, [] {
        if (CBaseApp* app = CBaseApp::Instance()) {
            app->OpenProgramFile(CTrelvanApp::kHelpFile);
        }
    });
    auto* ok = new CIconButton(this, 1);
    ok->setObjectName("1");
    ok->setText("OK");
    ok->SetColours(QColor(0, 0, 0), QColor(255, 255, 255), QColor(128, 128, 128),
                   QColor(255, 0, 255));
    ok->SetIconResource(":/resbundle/135.png");
    ok->setGeometry(100, 122, 100, 40);
    connect(ok, &QPushButton::clicked, this, &CMyAboutDlg::OnOK);
}

bool CMyAboutDlg::OnInitDialog() {
    CBaseColorDialog::OnInitDialog();
    SetItemText(1032, NameAndVersion());
    setMask(QRegion(QRect(2, 0, width() - 2, height()), QRegion::Ellipse));
    return true;
}

void CMyAboutDlg::resizeEvent(QResizeEvent* event) {
    // An elliptical window.
    setMask(QRegion(QRect(2, 0, width() - 2, height()), QRegion::Ellipse));
    CBaseColorDialog::resizeEvent(event);
}

void CMyAboutDlg::paintEvent(QPaintEvent* event) {
    CBaseColorDialog::paintEvent(event);
    QPainter dc(this);
    if (QWidget* spot = Item(4000)) {
        spot->hide();
        dc.drawPixmap(spot->pos(), QPixmap(":/trelvan/128.png").scaled(32, 32));
    }
    dc.setPen(QPen(QColor(200, 200, 200), 2));
    dc.drawEllipse(QRect(3, 1, width() - 6, height() - 3));
}

void CMyAboutDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            OnOK();
            return;
        default:
            CBaseColorDialog::keyPressEvent(event);
    }
}

void CMyAboutDlg::OnOK() {
    if (m_animate) {
        PlayClosingAnimation();
    }
    EndDialog(QDialog::Accepted);
}

void CMyAboutDlg::PlayClosingAnimation() {
    // The box swings about its centre over a copy of the screen around it,
    // with a black shadow, in shrinking amplitudes: 100, 33, 11, 3, 1.
    const QRect box = frameGeometry();
    const QRect area(box.center().x() - box.width() * 3 / 2,
                     box.center().y() - box.height() * 3 / 2, box.width() * 3, box.height() * 3);
    CMemDC background;
    CMemDC boxImage;
    CMemDC work;
    if (!background.Create(area.width(), area.height()) ||
        !boxImage.Create(box.width(), box.height()) || !work.Create(area.width(), area.height())) {
        return;
    }
    background.Surface().fill(Qt::transparent);
    if (QScreen* screen = this->screen()) {
        const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        if (!shot.isNull()) {
            QPainter(&background.Surface()).drawPixmap(0, 0, shot);
        }
    }
    boxImage.Surface() = grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRect boxCorners = CMemDC::FromCorners(0, 0, box.width(), box.height());
    const QRect areaCorners = CMemDC::FromCorners(0, 0, area.width(), area.height());

    QLabel popup(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    popup.setAttribute(Qt::WA_TranslucentBackground);
    popup.setGeometry(area);
    popup.show();
    const QPoint at = box.topLeft() - area.topLeft();
    for (int amplitude = 100; amplitude > 0; amplitude /= 3) {
        for (int v = -amplitude; v <= amplitude; v += 5) {
            const int k = amplitude - qAbs(v);
            const int dx = box.width() * k / 100;
            const int dy = box.height() * k / 100;
            work.StretchFrom(background, areaCorners, areaCorners);
            {
                QPainter dc(&work.Surface());
                dc.fillRect(QRect(at + QPoint(dx, dy), box.size()), Qt::black);  // shadow
            }
            // The box enlarged by k percent about its own centre.
            work.StretchFrom(boxImage,
                             CMemDC::FromCorners(at.x() - dx / 2, at.y() - dy / 2,
                                                 at.x() + box.width() + dx - dx / 2,
                                                 at.y() + box.height() + dy - dy / 2),
                             boxCorners);
            popup.setPixmap(QPixmap::fromImage(work.Surface()));
            popup.repaint();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            QThread::msleep(1);
        }
    }
    popup.hide();
}
