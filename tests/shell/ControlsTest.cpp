// The controls: number fields, coloured buttons, the source list and its
// title tip.
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "CColorButton.h"
#include "CDragListBoxEx.h"
#include "CMemBmpDC.h"
#include "CNumberEditBox.h"
#include "ShellTestSupport.h"

namespace {
// A mouse move with no button held (QTest's own only moves the cursor).
void HoverAt(QWidget* w, QPoint p) {
    QMouseEvent move(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}
}  // namespace

class ControlsTest : public QObject {
    Q_OBJECT
  private slots:
    void numberFieldKeepsDigitsOnly();
    void colourButtonEdgesAndTextColours();
    void listDeleteSelectsNeighbour();
    void listAddsInOrderAndResets();
    void listRowsAlternateAndSelectionIsGreen();
    void listScrollsToLongestPathAndTipShowsIt();
    void listTakesAnyDroppedFile();
    void titleTipStaysOnScreen();
    void transparentCopyLeavesKeyColourOut();
    void memorySurfacesStretch();
};

void ControlsTest::numberFieldKeepsDigitsOnly() {
    struct Case {
        const char* typed;
        const char* left;
    };
    const Case cases[] = {{"12a.", "12"}, {"0x9", "09"}, {"-5", "5"}, {"1 2", "12"}, {"", ""}};
    for (const Case& c : cases) {
        CNumberEditBox edit;
        edit.show();
        QTest::keyClicks(&edit, c.typed);
        QCOMPARE(edit.text(), QString(c.left));
    }
    CNumberEditBox edit;
    edit.show();
    QTest::keyClicks(&edit, "123");
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QCOMPARE(edit.text(), QString("12"));
    QVERIFY(!edit.testAttribute(Qt::WA_InputMethodEnabled));
}

void ControlsTest::colourButtonEdgesAndTextColours() {
    QWidget host;
    host.resize(200, 100);
    auto* b = new CColorButton(&host, 1);
    b->SetColours(Qt::black, QColor(255, 128, 128), QColor(128, 128, 128), QColor(255, 0, 255));
    b->setGeometry(10, 10, 80, 30);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QVERIFY(!b->ShowsEdge());  // style 1: no edge until the mouse is over it
    QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
    QApplication::sendEvent(b, &enter);
    QVERIFY(b->ShowsEdge());
    QCOMPARE(b->CurrentTextColour(), QColor(255, 0, 255));
    b->setEnabled(false);
    QCOMPARE(b->CurrentTextColour(), QColor(128, 128, 128));  // grey whatever the hover
    b->setEnabled(true);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(b, &leave);
    QVERIFY(!b->ShowsEdge());
    QCOMPARE(b->CurrentTextColour(), QColor(0, 0, 0));

    // The face is painted in the face colour.
    const QImage face = b->grab().toImage();
    QCOMPARE(face.pixelColor(3, 3), QColor(255, 128, 128));
    b->SetEdgeStyle(0);
    QVERIFY(b->ShowsEdge());
    b->SetEdgeStyle(2);
    QVERIFY(!b->ShowsEdge());
    b->setDown(true);
    QVERIFY(b->ShowsEdge());
}

void ControlsTest::listDeleteSelectsNeighbour() {
    CDragListBoxEx list;
    for (const char* p : {"/a.avi", "/b.avi", "/c.avi"}) {
        list.AddPath(p);
    }
    QCOMPARE(list.DeleteSelected(), -1);  // nothing selected: nothing happens
    QCOMPARE(list.count(), 3);

    list.setCurrentRow(2);
    list.DeleteSelected();  // the last: the new last is selected
    QCOMPARE(list.Paths(), QStringList({"/a.avi", "/b.avi"}));
    QCOMPARE(list.SelectedIndex(), 1);

    list.setCurrentRow(0);
    list.DeleteSelected();  // the first: the one now at its place is selected
    QCOMPARE(list.Paths(), QStringList({"/b.avi"}));
    QCOMPARE(list.SelectedIndex(), 0);

    list.DeleteSelected();  // the only one: no selection left
    QCOMPARE(list.count(), 0);
    QCOMPARE(list.SelectedIndex(), -1);
    QCOMPARE(list.DeleteAt(0), -1);
}

void ControlsTest::listAddsInOrderAndResets() {
    CDragListBoxEx list;
    list.AddPath("/1.avi");
    list.AddPath("/2.avi");
    list.InsertPath(1, "/between.avi");
    QCOMPARE(list.Paths(), QStringList({"/1.avi", "/between.avi", "/2.avi"}));
    list.ResetList();
    QCOMPARE(list.count(), 0);
    QCOMPARE(list.HorizontalExtent(), 6);  // widest 1 + 5 for an empty list
}

void ControlsTest::listRowsAlternateAndSelectionIsGreen() {
    QCOMPARE(CDragListBoxEx::RowColour(0, false), QColor(220, 234, 245));
    QCOMPARE(CDragListBoxEx::RowColour(1, false), QColor(255, 255, 255));
    QCOMPARE(CDragListBoxEx::RowColour(2, false), QColor(220, 234, 245));
    QCOMPARE(CDragListBoxEx::RowColour(1, true), QColor(0, 255, 0));

    CDragListBoxEx list;
    list.resize(300, 120);
    list.AddPath("/first.avi");
    list.AddPath("/second.avi");
    list.AddPath("/third.avi");
    list.setCurrentRow(1);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QImage shot = list.viewport()->grab().toImage();
    auto colourAt = [&](int row) {
        const QRect r = list.visualRect(list.model()->index(row, 0));
        return shot.pixelColor(r.right() - 4, r.center().y());
    };
    QCOMPARE(colourAt(0), QColor(220, 234, 245));
    QCOMPARE(colourAt(1), QColor(0, 255, 0));
    QCOMPARE(colourAt(2), QColor(220, 234, 245));
}

void ControlsTest::listScrollsToLongestPathAndTipShowsIt() {
    CDragListBoxEx list;
    list.resize(200, 100);
    const QString longPath = "/" + QString("very-long-folder-name/").repeated(12) + "movie.avi";
    list.AddPath("/short.avi");
    list.AddPath(longPath);
    list.show();
    list.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    QVERIFY(list.HorizontalExtent() > QFontMetrics(list.font()).horizontalAdvance(longPath));
    QVERIFY(list.horizontalScrollBar()->maximum() > 0);

    const QRect second = list.visualRect(list.model()->index(1, 0));
    HoverAt(list.viewport(), second.center());
    QTRY_VERIFY(list.TitleTip().isVisible());
    QCOMPARE(list.TitleTip().Text(), longPath);
    // Leaving all entries hides it.
    HoverAt(list.viewport(), QPoint(5, list.viewport()->height() - 2));
    QTRY_VERIFY(!list.TitleTip().isVisible());
}

void ControlsTest::listTakesAnyDroppedFile() {
    CDragListBoxEx list;
    list.resize(200, 100);
    list.show();
    QVERIFY(shelltest::DropFiles(&list, QPoint(20, 20), {"/x/notes.txt", "/x/b.avi"}));
    QCOMPARE(list.Paths(), QStringList({"/x/notes.txt", "/x/b.avi"}));
}

void ControlsTest::titleTipStaysOnScreen() {
    CDragListBoxEx list;
    list.move(0, 0);
    list.resize(200, 100);
    list.AddPath("/tip.avi");
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    CExtTitleTip& tip = list.TitleTip();
    QVERIFY(tip.ShowTip(QRect(-40, -30, 100, 16), "/tip.avi", true));
    QVERIFY(tip.geometry().left() >= 0);
    QVERIFY(tip.geometry().top() >= 0);
    tip.HideTip();
    QVERIFY(!tip.ShowTip(QRect(0, 0, 10, 10), "", true));  // no text, no tip
}

void ControlsTest::transparentCopyLeavesKeyColourOut() {
    QImage src(4, 1, QImage::Format_ARGB32);
    src.setPixelColor(0, 0, QColor(128, 128, 128));
    src.setPixelColor(1, 0, QColor(0, 0, 0));
    src.setPixelColor(2, 0, QColor(128, 128, 128));
    src.setPixelColor(3, 0, QColor(10, 20, 30));
    CMemBmpDC dc;
    dc.SelectImage(src);
    QCOMPARE(dc.GetImageSize(), QSize(4, 1));
    QImage dst(4, 1, QImage::Format_ARGB32);
    dst.fill(QColor(200, 0, 0));
    QPainter p(&dst);
    dc.TransparentTo(p, QRect(0, 0, 4, 1), QRect(0, 0, 0, 0), QColor(128, 128, 128));
    p.end();
    QCOMPARE(dst.pixelColor(0, 0), QColor(200, 0, 0));
    QCOMPARE(dst.pixelColor(1, 0), QColor(0, 0, 0));
    QCOMPARE(dst.pixelColor(2, 0), QColor(200, 0, 0));
    QCOMPARE(dst.pixelColor(3, 0), QColor(10, 20, 30));
}

void ControlsTest::memorySurfacesStretch() {
    CMemDC one;
    QVERIFY(one.Create(1, 1));
    one.Surface().fill(QColor(255, 0, 0));
    CMemDC four;
    QVERIFY(four.Create(4, 4));
    QVERIFY(!four.Create(0, 4));  // no surface of no size; the old one stays
    QCOMPARE(four.Surface().size(), QSize(4, 4));
    // Corners: the whole 1x1 into the left half of the 4x4.
    four.StretchFrom(one, CMemDC::FromCorners(0, 0, 2, 4), CMemDC::FromCorners(0, 0, 1, 1));
    QCOMPARE(four.Surface().pixelColor(1, 3), QColor(255, 0, 0));
    QCOMPARE(four.Surface().pixelColor(2, 0), QColor(0, 0, 0));
    QImage out(8, 8, QImage::Format_ARGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    four.StretchTo(p, CMemDC::FromCorners(0, 0, 8, 8), CMemDC::FromCorners(0, 0, 4, 4));
    p.end();
    QCOMPARE(out.pixelColor(3, 7), QColor(255, 0, 0));
    QCOMPARE(out.pixelColor(4, 0), QColor(0, 0, 0));
}

SHELL_TEST(ControlsTest);
#include "ControlsTest.moc"
