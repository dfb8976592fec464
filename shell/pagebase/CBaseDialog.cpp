#include "CBaseDialog.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QToolTip>
#include <QUrl>
#include <QWindow>

#include "CBaseApp.h"
#include "PageUtil.h"

using trelvan::shell::Lang;

namespace {
// The window text of a control, as its tooltip shows it.
QString TextOf(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
        return b->text();
    }
    if (auto* l = qobject_cast<const QLabel*>(w)) {
        return l->text();
    }
    if (auto* e = qobject_cast<const QLineEdit*>(w)) {
        return e->text();
    }
    if (auto* g = qobject_cast<const QGroupBox*>(w)) {
        return g->title();
    }
    return {};
}
}  // namespace

CBaseDialog::CBaseDialog(int templateId, QWidget* owner, bool sysMenu, bool child)
    : QDialog(nullptr),
      m_sysMenu(sysMenu),
      m_templateId(templateId),
      m_owner(owner),
      m_child(child) {
    setAcceptDrops(true);
}

CBaseDialog::~CBaseDialog() = default;

void CBaseDialog::CreatePage(QWidget* parent) {
    if (m_created) {
        return;
    }
    m_created = true;
    if (m_child) {
        // A page: no caption, no border, laid inside the main window.
        setParent(parent, Qt::Widget);
    } else if (parent) {
        setParent(parent, windowFlags());
    }
    BuildControls();
    OnInitDialog();
}

bool CBaseDialog::OnInitDialog() {
    setWindowIcon(QIcon(":/trelvan/128.png"));
    // Tooltips of the controls come from their current text (event filter).
    for (QWidget* w : findChildren<QWidget*>()) {
        w->installEventFilter(this);
    }
    if (trelvan::shell::Japanese()) {
        SetItemText(2, QString::fromUtf8("キャンセル"));
    }
    return true;
}

void CBaseDialog::SetItemText(int id, const QString& text) {
    QWidget* w = Item(id);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(text);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(text);
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(text);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(text);
    }
}

QString CBaseDialog::ItemText(int id) const {
    return TextOf(Item(id));
}

void CBaseDialog::OnSysClose() {
    if (IsIdle()) {
        EndDialog(QDialog::Rejected);
    }
}

void CBaseDialog::EndDialog(int result) {
    m_ending = true;
    QDialog::done(result);
    m_ending = false;
}

QMenu* CBaseDialog::BuildSysMenu(QWidget* parent) const {
    auto* menu = new QMenu(parent);
    menu->setObjectName("SysMenu");
    QAction* help = menu->addAction(Lang("Help", "ﾍﾙﾌﾟ") + "\tF1");
    QAction* about = menu->addAction(Lang("About", "バージョン情報") + "...\tF10");
    menu->addSeparator();
    connect(help, &QAction::triggered, [] {
        if (CBaseApp* app = CBaseApp::Instance()) {
            app->OnHelp();
        }
    });
    connect(about, &QAction::triggered, [] {
        if (CBaseApp* app = CBaseApp::Instance()) {
            app->OnAppAbout();
        }
    });
    return menu;
}

void CBaseDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();  // never closes, never presses a button
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CBaseDialog::closeEvent(QCloseEvent* event) {
    if (m_ending) {
        event->accept();
        return;
    }
    // A close request from outside: decided by the close check, which ends
    // the dialog itself when it may.
    event->ignore();
    OnSysClose();
}

void CBaseDialog::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CBaseDialog::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CBaseDialog::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        return;
    }
    activateWindow();
    raise();
    auto* owner = m_child ? qobject_cast<CBaseDialog*>(m_owner) : nullptr;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) {
            continue;
        }
        const QString path = url.toLocalFile();
        if (owner != nullptr && !Takes(path)) {
            owner->OnFileDropped(path);  // the main window: the page of its kind
        } else {
            OnFileDropped(path);
        }
    }
    event->acceptProposedAction();
}

void CBaseDialog::mouseMoveEvent(QMouseEvent* event) {
    // The left button alone held on the background drags the main window.
    if (event->buttons() == Qt::LeftButton) {
        QWidget* top = m_child && m_owner ? m_owner->window() : window();
        if (QWindow* handle = top->windowHandle()) {
            handle->startSystemMove();
        }
    }
    QDialog::mouseMoveEvent(event);
}

void CBaseDialog::contextMenuEvent(QContextMenuEvent* event) {
    if (!m_sysMenu) {
        return;
    }
    QMenu* menu = BuildSysMenu(this);
    AddMenuEntries(menu);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

namespace {
// A drag that carries at least one file of this machine.
bool CarriesFiles(const QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            break;
        default:
            return false;
    }
    const QMimeData* mime = static_cast<const QDropEvent*>(event)->mimeData();
    if (!mime || !mime->hasUrls()) {
        return false;
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            return true;
        }
    }
    return false;
}
}  // namespace

bool CBaseDialog::eventFilter(QObject* watched, QEvent* event) {
    // Files dragged over a text field belong to the dialog, not to the
    // field: a field would take the dragged paths as typed text (an editable
    // one inserts them, and the dialog never hears of the drop).
    if (CarriesFiles(event) && qobject_cast<QLineEdit*>(watched)) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (event->type() == QEvent::Drop) {
            dropEvent(drop);
        } else {
            drop->acceptProposedAction();
        }
        return true;
    }
    if (event->type() == QEvent::ToolTip) {
        auto* w = qobject_cast<QWidget*>(watched);
        const QString tip = w ? TextOf(w) : QString();
        auto* help = static_cast<QHelpEvent*>(event);
        if (w && !w->toolTip().isEmpty()) {
            return QDialog::eventFilter(watched, event);  // a fixed tooltip
        }
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), tip, w);
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
