#pragma once

#include <QDialog>
#include <QString>

class QMenu;

// The base of every window of the program, the main window's included.
// It gives each dialog the same manners: Enter and Escape do nothing, a close
// is allowed only while idle, dropped files reach OnFileDropped one by one
// wherever they land on the dialog (a text field does not take them as text),
// dragging the empty background moves the main window, a right click opens
// the menu with Help and About, and a control's tooltip shows its current
// text (so a path field shows the whole path).
//
// Controls are found by their numeric id, kept as the object name.
class CBaseDialog : public QDialog {
    Q_OBJECT
  public:
    // `owner`: the window the dialog belongs to (a page's is the main
    // window); `sysMenu`: whether a right click opens the menu; `child`:
    // whether the dialog lives inside another window (pages).
    CBaseDialog(int templateId, QWidget* owner, bool sysMenu, bool child);
    ~CBaseDialog() override;

    // One dropped path; the base ignores it.
    virtual void OnFileDropped(const QString& path) {}
    // Whether OnFileDropped takes a file of that kind (its extension). A
    // file dropped on a page that does not take it goes to the main window,
    // which finds the page of its kind.
    virtual bool Takes(const QString& path) const { return false; }
    // Builds the controls and places the dialog inside `parent` (pages) or
    // as a window of its own, then initialises it.
    virtual void CreatePage(QWidget* parent);
    // 1 while idle (or after a stop request), 0 while an operation runs.
    virtual int IsIdle() const { return 1; }
    // Sets the text of the control with that id; nothing without one.
    virtual void SetItemText(int id, const QString& text);
    QString ItemText(int id) const;

    // The control with that id (object name), or null.
    template <class T = QWidget>
    T* Item(int id) const {
        return findChild<T*>(QString::number(id));
    }

    int TemplateId() const { return m_templateId; }
    bool IsChild() const { return m_child; }
    bool HasSysMenu() const { return m_sysMenu; }
    QWidget* Owner() const { return m_owner; }

    // The close command (close box, Alt+F4, window manager): goes ahead only
    // when idle. The main window adds its check of the pages.
    virtual void OnSysClose();
    // Builds the menu a right click opens: Help, About, a separator.
    QMenu* BuildSysMenu(QWidget* parent) const;

    // Enter and Escape never close a dialog of the program.
    void accept() override {}
    void reject() override {}

  protected:
    // Creates the controls of the dialog's layout (called once by CreatePage).
    virtual void BuildControls() {}
    // Runs once after the controls exist; pages set their texts here.
    virtual bool OnInitDialog();
    // Ends the dialog for good (the close check has passed).
    void EndDialog(int result);

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Entries of the page after Help and About in the right-click menu;
    // the base adds none.
    virtual void AddMenuEntries(QMenu* menu) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

    bool m_sysMenu;

  private:
    int m_templateId;
    QWidget* m_owner;
    bool m_child;
    bool m_created = false;
    bool m_ending = false;
};
