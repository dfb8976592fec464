#include "CDragListBoxEx.h"

#include <QDragEnterEvent>
#include <QFontDatabase>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QUrl>

namespace {

// Paints the rows: the row colour, the path in black, a dotted frame on the
// selected row; every row is as wide as the list's horizontal extent.
class CDragListRowDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (index.row() < 0) {
            return;
        }
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->fillRect(option.rect, CDragListBoxEx::RowColour(index.row(), selected));
        painter->setPen(Qt::black);
        painter->setClipRect(option.rect);
        painter->drawText(option.rect.adjusted(2, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data().toString());
        if (selected) {
            QPen pen(Qt::black, 1, Qt::DotLine);
            painter->setPen(pen);
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const auto* list = qobject_cast<const CDragListBoxEx*>(parent());
        const QFontMetrics fm(option.font);
        return QSize(list ? list->HorizontalExtent() : 100, fm.height() + 2);
    }
};

}  // namespace

CDragListBoxEx::CDragListBoxEx(QWidget* parent) : QListWidget(parent) {
    setObjectName("1001");
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    setItemDelegate(new CDragListRowDelegate(this));
    m_tip.CreateTip(viewport());
}

CDragListBoxEx::~CDragListBoxEx() = default;

QColor CDragListBoxEx::RowColour(int index, bool selected) {
    if (selected) {
        return QColor(0, 255, 0);
    }
    return index % 2 == 0 ? QColor(220, 234, 245) : QColor(255, 255, 255);
}

void CDragListBoxEx::InsertPath(int index, const QString& text) {
    auto* item = new QListWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    insertItem(index, item);  // the list takes the item
    UpdateHorizontalExtent();
}

void CDragListBoxEx::AppendPath(const QString& text) {
    InsertPath(count(), text);
}

int CDragListBoxEx::DeleteAt(int index) {
    if (index < 0 || index >= count()) {
        return -1;
    }
    delete takeItem(index);
    UpdateHorizontalExtent();
    const int n = count();
    if (n > 0) {
        setCurrentRow(index < n ? index : n - 1);
    } else {
        clearSelection();
        setCurrentRow(-1);
    }
    return n;
}

int CDragListBoxEx::DeleteSelected() {
    const int sel = SelectedIndex();
    if (sel < 0) {
        return -1;
    }
    return DeleteAt(sel);
}

void CDragListBoxEx::ResetList() {
    clear();
    UpdateHorizontalExtent();
}

int CDragListBoxEx::SelectedIndex() const {
    const QList<QListWidgetItem*> sel = selectedItems();
    return sel.isEmpty() ? -1 : row(sel.first());
}

QStringList CDragListBoxEx::Paths() const {
    QStringList out;
    for (int i = 0; i < count(); ++i) {
        out << item(i)->text();
    }
    return out;
}

void CDragListBoxEx::UpdateHorizontalExtent() {
    const QFontMetrics fm(font());
    int widest = 1;
    for (int i = 0; i < count(); ++i) {
        widest = qMax(widest, fm.horizontalAdvance(item(i)->text()));
    }
    m_extent = widest + 5;
    // Every row is as wide as the extent, so the view scrolls to it.
    doItemsLayout();
}

bool CDragListBoxEx::IsFileDrop(const QDropEvent* event) const {
    return event->source() != this && event->mimeData()->hasUrls();
}

void CDragListBoxEx::dragEnterEvent(QDragEnterEvent* event) {
    if (IsFileDrop(event)) {
        event->acceptProposedAction();
        return;
    }
    QListWidget::dragEnterEvent(event);
}

void CDragListBoxEx::dragMoveEvent(QDragMoveEvent* event) {
    if (IsFileDrop(event)) {
        event->acceptProposedAction();
        return;
    }
    QListWidget::dragMoveEvent(event);
}

void CDragListBoxEx::dropEvent(QDropEvent* event) {
    if (IsFileDrop(event)) {
        // Each dropped path in the order given, no extension test; the page's
        // output field is not touched.
        for (const QUrl& url : event->mimeData()->urls()) {
            if (url.isLocalFile()) {
                AddPath(url.toLocalFile().left(4096));
            }
        }
        event->acceptProposedAction();
        return;
    }
    QListWidget::dropEvent(event);
    UpdateHorizontalExtent();
}

void CDragListBoxEx::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() == Qt::NoButton && event->modifiers() == Qt::NoModifier) {
        const QPoint p = event->position().toPoint();
        const QModelIndex index = indexAt(p);
        if (!index.isValid()) {
            m_tip.HideTip();
        } else {
            const QRect rect = visualRect(index);
            if (rect.contains(p)) {
                if (m_tip.isVisible() && m_tip.EntryRect() != rect) {
                    m_tip.HideTip();
                }
                m_tip.ShowTip(rect, index.data().toString());
            }
        }
    } else {
        m_tip.HideTip();
    }
    QListWidget::mouseMoveEvent(event);
}

void CDragListBoxEx::mousePressEvent(QMouseEvent* event) {
    m_tip.HideTip();
    QListWidget::mousePressEvent(event);
}

void CDragListBoxEx::leaveEvent(QEvent* event) {
    m_tip.HideTip();
    QListWidget::leaveEvent(event);
}
