#pragma once

#include <QColor>
#include <QList>
#include <QTimer>
#include <cstdint>
#include <string>

#include "CBaseColorDialog.h"
#include "OpContext.h"
#include "ProgressText.h"

class CDragListBoxEx;
class QProgressBar;

// The base of every operation page. It carries the run protocol all pages
// share: the running state (Stop enabled, Start disabled, stop flag 0, the
// display timer on), the Stop button, the progress display of the Info line
// and the bar, the file dialogs with the pages' filter lists, and the error
// box. The page's operation runs on the window thread against the page's
// operation context and pumps events after every unit, which is how Stop,
// the timer and repainting reach the page during a run.
class CAVIBase : public CBaseColorDialog {
    Q_OBJECT
  public:
    CAVIBase(int templateId, QWidget* owner, QColor background);
    ~CAVIBase() override;

    int IsIdle() const override { return m_ctx.stop.load(); }
    // Shows an error code in the error box (nothing for 0 and -2).
    void ShowError(int32_t code, const std::string& detail = {});
    // An OK/Cancel question in a box owned by the page; true for OK. The
    // operations ask it through the context (an audio block that cannot be
    // read).
    bool AskOkCancel(const QString& caption, const QString& text);

    trelvan::OpContext& Context() { return m_ctx; }
    const QTimer& DisplayTimer() const { return m_timer; }

    // Renders the progress display now (the timer does this every period).
    void RefreshProgress();

  protected:
    // Builds the page's layout from its template id, at the panel's size.
    void BuildControls() override;
    bool OnInitDialog() override;

    // The page's Start controls (disabled while running) and Stop.
    virtual QList<int> StartIds() const { return {1029}; }
    static constexpr int kStopId = 1042;
    static constexpr int kInfoId = 1034;
    static constexpr int kProgressId = 1038;

    // Enters the running state: bar 0, "  0 %", stop flag 0, Stop enabled,
    // Start disabled, working-time total cleared and started, timer on.
    void BeginWork(int periodMs);
    // Leaves it: timer off; "100 %" and a full bar when the run neither
    // failed nor was stopped; stop flag 1, Stop disabled, Start enabled.
    void EndWork();
    // The Stop button: sets the stop flag and disables Stop.
    virtual void OnStop();
    // What the timer shows; the base shows the range form from the context.
    virtual trelvan::ProgressInput ProgressNow() const;

    void SetInfo(const QString& text);
    void SetBar(int position);
    QProgressBar* Bar() const;

    // File dialogs. `filter` is in the "Text|*.ext|" form. Empty on Cancel.
    QString BrowseOpen(const QString& defaultExt, const QString& initial, const QString& filter);
    QString BrowseSave(const QString& defaultExt, const QString& initial, const QString& filter);

    // The source list of the link pages (layout 107), or null.
    CDragListBoxEx* SourceList() const;
    // "Add": files chosen in a multiple-choice dialog with the page's filter,
    // each inserted at the selected entry (or the end without one); no
    // extension test, the output is left alone.
    void OnListAdd(const QString& filter);
    // "Del": deletes the selected entry.
    void OnListDel();
    // "Reset": empties the list and the output.
    void OnListReset(QString* output);
    // A file dropped elsewhere on a link page: taken only with one of the
    // extensions; with an empty list and empty output the output becomes
    // stem + "_link" + outputExt. Returns whether it was taken.
    bool ListFileDropped(const QString& path, const QStringList& extensions,
                         const QString& outputExt, QString* output);

    // The operation context: stop flag, positions, working-time counter and
    // the pump hook (PumpPendingMessages).
    trelvan::OpContext m_ctx;

  private:
    QTimer m_timer;
};
