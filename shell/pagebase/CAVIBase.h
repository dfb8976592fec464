#pragma once

#include <QColor>
#include <QList>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>

#include "CBaseColorDialog.h"
#include "OpContext.h"
#include "OutputPlan.h"
#include "ProgressText.h"
#include "RunFiles.h"
#include "StopNotice.h"
#include "VerifyReport.h"

class CDragListBoxEx;
class QCheckBox;
class QProgressBar;

// The base of every operation page. It carries the run protocol all pages
// share: the running state (Stop enabled, Start disabled, stop flag 0, the
// display timer on), the Stop button, the progress display of the Info line
// and the bar, the file dialogs with the pages' filter lists, and the error
// box. The page's operation runs on the window thread against the page's
// operation context and pumps events after every unit, which is how Stop,
// the timer and repainting reach the page during a run. Pages whose
// operation blocks until it ends (the WMV pages) run it on a worker thread
// instead and read the same context from the timer.
class CAVIBase : public CBaseColorDialog {
    Q_OBJECT
  public:
    CAVIBase(int templateId, QWidget* owner, QColor background);
    ~CAVIBase() override;

    // Not idle while a worker runs, even once Stop has set the flag.
    int IsIdle() const override { return m_workerBusy ? 0 : m_ctx.stop.load(); }
    // Shows an error code in the error box (nothing for 0 and -2): the
    // code's text, then below it the file of the run it is about (which
    // entry, on a link page) and the system's reason where there is one.
    void ShowError(int32_t code, const std::string& detail = {});
    // The files of the run about to start (or of the source being loaded),
    // for its error box; a link page's sources are its entries in order.
    void NameRunFiles(const std::vector<std::string>& sources, const std::string& output);
    const trelvan::verify::RunFiles& RunFilesNamed() const { return m_runFiles; }
    // An OK/Cancel question in a box owned by the page; true for OK. The
    // operations ask it through the context (an audio block that cannot be
    // read).
    bool AskOkCancel(const QString& caption, const QString& text);

    trelvan::OpContext& Context() { return m_ctx; }
    const QTimer& DisplayTimer() const { return m_timer; }

    // Renders the progress display now (the timer does this every period).
    void RefreshProgress();

    // The Verify check box beside the start commands. Its state is kept per
    // page (by the page's class) in the user's settings store and read back
    // when the page is made; off until the user ticks it.
    QCheckBox* VerifyBox() const;

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
    // failed nor was stopped; stop flag 1, Stop disabled, Start enabled;
    // then, after such a run, the check armed by VerifyNextRun. After Stop
    // the Info line says what the output holds (a box says it too where it
    // holds video without its audio); after a failure it shows the hint
    // again, not the failed run's last progress.
    void EndWork();
    // The Info line's hint and an empty bar, when idle (new sources).
    void ClearStaleProgress();
    void ShowHint();
    // The Stop button: sets the stop flag and disables Stop.
    virtual void OnStop();

    // Runs an operation on a worker thread: enters the running state (timer
    // every `periodMs`), then calls `job` on a thread of that priority. The
    // job gets the hook to pass as the operation's begin hook (a stop asked
    // for before the operation began still counts) and returns its code.
    // That code comes back to the window thread, which shows it (error box)
    // or "100 %" when the run went to its end, and returns the page to idle;
    // a note of a run without a code is shown in a box first. Refused while
    // a worker runs. A question the operation asks through the context from
    // the worker is put to the user on the window thread while the worker
    // waits (Cancel when the page goes first).
    struct WorkerOutcome {
        int32_t code = 0;
        // Whether the work began and was neither stopped nor cancelled.
        bool completed = false;
        std::string note;
        // The file the work wrote, when it names it (else the output the
        // page armed its check with).
        std::string written;
    };
    using WorkerJob = std::function<WorkerOutcome(const std::function<void()>& onBegin)>;
    void RunOnWorker(int periodMs, QThread::Priority priority, WorkerJob job);
    bool WorkerBusy() const { return m_workerBusy; }
    // Sets the stop flag and waits for the worker to end (the destructor
    // does it: a job may use only the context and its own copies).
    void StopAndJoinWorker();
    // What the timer shows; the base shows the range form from the context.
    virtual trelvan::ProgressInput ProgressNow() const;
    // Whether the operation copies the audio of a part after its video, so
    // that a stop can keep video without its audio (the stop notice then
    // says so in a box too).
    virtual bool AudioFollowsVideo() const { return false; }

    // Arms the check of the run about to start: when Verify is ticked and
    // the run goes to its end (EndWork shows "100 %"), `output` is read back
    // and compared with the plan `plan` builds then (the sources as they are
    // after the run). The Info line then says how many samples were found
    // identical; a difference is named in a box. EndWork disarms it.
    using PlanBuilder = std::function<trelvan::verify::OutputPlan()>;
    void VerifyNextRun(const std::string& output, PlanBuilder plan);

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

    // The operation context: stop flag, positions, working-time counter,
    // the pump hook (PumpPendingMessages) and the warn hook, which prints
    // each line on standard output and hands it to m_runWarn.
    trelvan::OpContext m_ctx;
    // The page's own use of the warnings of the next worker run (set before
    // RunOnWorker, dropped when the run ends); may be empty.
    std::function<void(const std::string& line)> m_runWarn;

  private:
    // The end of a worker's run, on the window thread.
    void FinishWorker(const WorkerOutcome& outcome);
    // The context's question asked from a worker: posted to the window
    // thread, the worker waiting for the answer.
    bool AskFromWorker(const QString& caption, const QString& text);
    void Answer(const std::shared_ptr<std::promise<bool>>& question, bool ok);

    // The check armed for the current run (VerifyNextRun), done by EndWork
    // with the bar following it and Stop ending it.
    void VerifyArmedRun();
    // The box that names the output and its first difference.
    void ShowVerifyDifference(const trelvan::verify::VerifyReport& report);
    // Stop enabled and the start commands disabled while running, and the
    // other way round.
    void EnableCommands(bool running);
    // The page's name in the settings store.
    std::string SettingName() const;

    std::string m_verifyOutput;
    PlanBuilder m_verifyPlan;
    trelvan::verify::RunFiles m_runFiles;
    // The file at the output when the run began, and the Info line's text
    // before any run (shown again when a run failed or new sources came).
    trelvan::shell::FileIdentity m_outputBefore;
    QString m_hint;
    bool m_hintKept = false;

    QTimer m_timer;
    std::unique_ptr<QThread> m_worker;
    bool m_workerBusy = false;
    // Stop was pressed during this run (the operation itself clears the
    // context's flag when it begins and sets it when it ends).
    std::atomic<bool> m_stopAsked{false};
    // The question a worker waits on, and whether questions are refused
    // (Cancel) because the worker is being stopped and waited for.
    std::mutex m_askLock;
    std::shared_ptr<std::promise<bool>> m_question;
    bool m_refuseQuestions = false;
};
