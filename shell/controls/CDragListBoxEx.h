#pragma once

#include <QListWidget>

#include "CExtTitleTip.h"

// The source list of the link pages: full paths in the order they will be
// joined. Files dropped on it are appended as they come (no extension test);
// an entry can be dragged to another place; rows alternate light blue and
// white, the selected one is green with a dotted focus frame; the list
// scrolls sideways to its longest path, and the whole path of the entry under
// the mouse shows in a title tip.
class CDragListBoxEx : public QListWidget {
    Q_OBJECT
  public:
    explicit CDragListBoxEx(QWidget* parent = nullptr);
    ~CDragListBoxEx() override;

    void InsertPath(int index, const QString& text);
    // Deletes the entry, then selects the one now at that index, or the
    // previous one when the last was deleted. Returns the remaining count.
    int DeleteAt(int index);
    // Deletes the selected entry; -1 and nothing changed without a selection.
    int DeleteSelected();
    void ResetList();
    void AppendPath(const QString& text);
    void AddPath(const QString& text) { AppendPath(text); }
    // Widest entry text in the list's font (at least 1) plus 5 pixels.
    void UpdateHorizontalExtent();
    int HorizontalExtent() const { return m_extent; }

    QStringList Paths() const;
    int SelectedIndex() const;
    CExtTitleTip& TitleTip() { return m_tip; }

    // Colours of a row: green when selected, else light blue for even rows
    // (the first is row 0) and white for odd ones.
    static QColor RowColour(int index, bool selected);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    bool IsFileDrop(const QDropEvent* event) const;

    CExtTitleTip m_tip;
    int m_extent = 6;
};
