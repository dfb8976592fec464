#include "CAVIBase.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <algorithm>
#include <cstdio>

#include "CDragListBoxEx.h"
#include "IniCreate.h"
#include "Language.h"
#include "OutputVerify.h"
#include "PageTemplates.h"
#include "PageUtil.h"
#include "RegFile.h"

namespace {

// The pages' own settings: <config>/<company>/PageSettings.reg, one value a
// page and setting ("Verify CAVILinkerDlg"=dword:1).
std::string PageStorePath() {
    const std::string dir = trelvan::UserConfigDir();
    if (dir.empty()) {
        return {};
    }
    std::string company = trelvan::ReadRegPos();
    for (char& ch : company) {
        if (ch == '/' || ch == '\\') {
            ch = '_';  // one folder, never a way out of the configuration folder
        }
    }
    if (company == "." || company == "..") {
        company = "_";
    }
    return dir + "/" + company + "/PageSettings.reg";
}

std::string PageStoreKey() {
    return "Software\\" + trelvan::ReadRegPos() + "\\PageSettings";
}

bool ReadPageFlag(const std::string& name) {
    const std::string path = PageStorePath();
    if (path.empty()) {
        return false;
    }
    const trelvan::RegFile reg(path, PageStoreKey());
    const trelvan::RegFile::Value* v = reg.Find(name);
    return v && v->type == trelvan::RegFile::Type::Dword && v->dword != 0;
}

void WritePageFlag(const std::string& name, bool on) {
    const std::string path = PageStorePath();
    if (path.empty()) {
        return;
    }
    trelvan::RegFile reg(path, PageStoreKey());
    reg.SetDword(name, on ? 1 : 0);
    reg.Save();
}

// 1234567 as "1,234,567".
QString WithThousands(uint64_t n) {
    QString digits = QString::number(n);
    for (int at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, ',');
    }
    return digits;
}

// What the Info line says was found identical: "Verified: 1,250 frames and
// 12.5 s of audio identical", or of the one kind the output has.
QString VerifiedText(int64_t frames, double audioSeconds) {
    using trelvan::shell::Lang;
    const QString f = WithThousands(static_cast<uint64_t>(std::max<int64_t>(frames, 0)));
    const QString a = QString::number(std::max(audioSeconds, 0.0), 'f', 1);
    if (frames >= 0 && audioSeconds >= 0) {
        return Lang("Verified: %1 frames and %2 s of audio identical",
                    "検証済み: %1 フレーム、音声 %2 秒一致")
            .arg(f, a);
    }
    if (frames >= 0) {
        return Lang("Verified: %1 frames identical", "検証済み: %1 フレーム一致").arg(f);
    }
    return Lang("Verified: %1 s of audio identical", "検証済み: 音声 %1 秒一致").arg(a);
}

}  // namespace

CAVIBase::CAVIBase(int templateId, QWidget* owner, QColor background)
    : CBaseColorDialog(templateId, owner, background,
                       QApplication::palette().color(QPalette::ButtonText), true, true) {
    m_ctx.stop.store(1);
    m_ctx.pump = [] { trelvan::shell::PumpPendingMessages(); };
    // A block of audio that cannot be read is asked about on every page
    // (OK ends that audio copy, Cancel skips one sample): none is skipped
    // without the user's word.
    m_ctx.ask = [this](const std::string& caption, const std::string& text) {
        const QString c = QString::fromStdString(caption), t = QString::fromStdString(text);
        return QThread::currentThread() == thread() ? AskOkCancel(c, t) : AskFromWorker(c, t);
    };
    // The operation's lines for the user's log (a missing key frame, a
    // rebuilt index, the WMV copy engine's progress and failures) go to
    // standard output as they come, on every page and whichever thread the
    // work runs on; the page's own hook for the run sees them besides.
    m_ctx.warn = [this](const std::string& line) {
        std::fputs(line.c_str(), stdout);
        if (line.empty() || line.back() != '\n') {
            std::fputc('\n', stdout);
        }
        std::fflush(stdout);
        if (m_runWarn) {
            m_runWarn(line);
        }
    };
    m_timer.setObjectName("Timer1");
    connect(&m_timer, &QTimer::timeout, this, &CAVIBase::RefreshProgress);
}

CAVIBase::~CAVIBase() {
    StopAndJoinWorker();
}

void CAVIBase::BuildControls() {
    trelvan::shell::BuildTemplate(TemplateId(), this);
    resize(trelvan::shell::PageWidth(), trelvan::shell::PageHeight());
}

bool CAVIBase::OnInitDialog() {
    CBaseColorDialog::OnInitDialog();
    if (auto* stop = Item<QAbstractButton>(kStopId)) {
        stop->setEnabled(false);
        connect(stop, &QAbstractButton::clicked, this, [this] { OnStop(); });
    }
    // New sources make the last run's progress stale.
    for (int id : {1003, 1040, 1020}) {
        if (auto* field = Item<QLineEdit>(id)) {
            connect(field, &QLineEdit::textChanged, this, [this] { ClearStaleProgress(); });
        }
    }
    if (CDragListBoxEx* list = SourceList()) {
        connect(list->model(), &QAbstractItemModel::rowsInserted, this,
                [this] { ClearStaleProgress(); });
        connect(list->model(), &QAbstractItemModel::rowsRemoved, this,
                [this] { ClearStaleProgress(); });
    }
    if (QCheckBox* box = VerifyBox()) {
        box->setText(trelvan::shell::Lang("Verify", "検証"));
        box->setChecked(ReadPageFlag(SettingName()));
        connect(box, &QCheckBox::toggled, this,
                [this](bool on) { WritePageFlag(SettingName(), on); });
    }
    return true;
}

QCheckBox* CAVIBase::VerifyBox() const {
    return Item<QCheckBox>(trelvan::shell::kVerifyBoxId);
}

std::string CAVIBase::SettingName() const {
    return std::string("Verify ") + metaObject()->className();
}

void CAVIBase::VerifyNextRun(const std::string& output, PlanBuilder plan) {
    m_verifyOutput = output;
    m_verifyPlan = std::move(plan);
}

void CAVIBase::VerifyArmedRun() {
    const PlanBuilder build = std::move(m_verifyPlan);
    m_verifyPlan = nullptr;
    QCheckBox* box = VerifyBox();
    const bool ticked = box && box->isChecked();
    if (!build || !(ticked || trelvan::verify::VerifyEveryOutput(m_verifyOutput))) {
        return;
    }
    using trelvan::shell::Lang;
    if (!ticked) {
        // Checked unasked (VerifyEveryOutput): only a difference is shown.
        const trelvan::verify::VerifyReport report =
            trelvan::verify::VerifyOutputPlan(m_verifyOutput, build());
        if (report.difference) {
            ShowVerifyDifference(report);
        }
        return;
    }
    SetInfo(Lang("Verifying...", "検証中..."));
    SetBar(0);
    if (QWidget* info = Item<QWidget>(kInfoId)) {
        info->repaint();
    }
    // The bar follows the check and Stop ends it; the window is served every
    // 50 ms meanwhile.
    m_ctx.stop.store(0);
    EnableCommands(true);
    QElapsedTimer served;
    trelvan::verify::VerifyControl control;
    control.stop = &m_ctx.stop;
    control.progress = [this, &served](double share) {
        SetBar(static_cast<int>(share * 100));
        if (!served.isValid() || served.elapsed() >= 50) {
            served.start();
            m_ctx.pump();
        }
    };
    const trelvan::verify::VerifyReport report =
        trelvan::verify::VerifyOutputPlan(m_verifyOutput, build(), &control);
    m_ctx.stop.store(1);
    EnableCommands(false);
    if (report.stopped) {
        SetInfo(Lang("Not verified: the check was stopped (the output is kept)",
                     "未検証: 検証を中止しました(出力は残っています)"));
        return;
    }
    if (report.Ok()) {
        SetBar(100);
        SetInfo(VerifiedText(report.frames, report.audioSeconds));
        return;
    }
    SetInfo(Lang("Verification found a difference", "検証で相違が見つかりました"));
    ShowVerifyDifference(report);
}

void CAVIBase::ShowVerifyDifference(const trelvan::verify::VerifyReport& report) {
    using trelvan::shell::Lang;
    trelvan::shell::MessageBoxRequest request;
    request.owner = this;
    request.caption = trelvan::shell::kProgramName;
    request.text =
        Lang("The output differs from what was to be written:\n%1\n%2",
             "出力が書き込むべき内容と異なります:\n%1\n%2")
            .arg(QString::fromStdString(m_verifyOutput),
                 QString::fromStdString(trelvan::verify::DescribePlace(report.place) +
                                        trelvan::verify::DescribeDifference(*report.difference)));
    request.warning = true;
    trelvan::shell::ShowMessageBox(request);
}

void CAVIBase::ShowError(int32_t code, const std::string& detail) {
    const bool link = SourceList() != nullptr;
    trelvan::verify::RunFiles files = m_runFiles;
    std::string place;
    if (!detail.empty() && trelvan::verify::FileOfError(code, files) == detail) {
        // The file leads the text already: only the system's reason follows.
        if (const int reason = trelvan::verify::SystemReason(detail, detail == files.output)) {
            place = trelvan::verify::SystemReasonText(reason, trelvan::IsJapaneseSystem());
        }
    } else {
        place = trelvan::verify::ErrorPlaceText(code, files, link, trelvan::IsJapaneseSystem());
    }
    trelvan::shell::ShowError(this, code, detail, place);
}

void CAVIBase::NameRunFiles(const std::vector<std::string>& sources, const std::string& output) {
    m_runFiles = {sources, output, -1};
}

bool CAVIBase::AskOkCancel(const QString& caption, const QString& text) {
    return trelvan::shell::AskOkCancel(this, caption, text);
}

QProgressBar* CAVIBase::Bar() const {
    return Item<QProgressBar>(kProgressId);
}

void CAVIBase::SetInfo(const QString& text) {
    SetItemText(kInfoId, text);
}

void CAVIBase::SetBar(int position) {
    if (QProgressBar* bar = Bar()) {
        bar->setValue(qBound(0, position, 100));
    }
}

void CAVIBase::BeginWork(int periodMs) {
    if (!m_hintKept) {
        m_hint = ItemText(kInfoId);
        m_hintKept = true;
    }
    m_stopAsked.store(false);  // Stop is enabled from here on
    m_outputBefore = trelvan::shell::FileIdentity::Of(m_runFiles.output);
    SetBar(0);
    SetInfo("  0 %");
    m_ctx.stop.store(0);
    EnableCommands(true);
    m_ctx.timer.ClearTotal();
    m_ctx.timer.Start();
    m_timer.start(periodMs);
}

void CAVIBase::EndWork() {
    m_timer.stop();
    const bool succeeded = m_ctx.stop.load() == 0;
    if (succeeded) {
        SetBar(100);
        SetInfo("100 %");
    }
    m_ctx.stop.store(1);
    EnableCommands(false);
    if (succeeded) {
        VerifyArmedRun();
    } else if (m_stopAsked.load() && !m_runFiles.output.empty()) {
        const trelvan::shell::StopNotice notice =
            trelvan::shell::DescribeStoppedOutput(m_runFiles.output, m_outputBefore,
                                                  AudioFollowsVideo());
        SetInfo(notice.info);
        if (!notice.warning.isEmpty()) {
            trelvan::shell::MessageBoxRequest box;
            box.owner = this;
            box.caption = trelvan::shell::kProgramName;
            box.text = notice.warning;
            box.warning = true;
            trelvan::shell::ShowMessageBox(box);
        }
    } else if (!m_stopAsked.load()) {
        ShowHint();  // a failure: its error box says what happened
    }
    m_verifyPlan = nullptr;
}

void CAVIBase::ClearStaleProgress() {
    if (IsIdle()) {
        ShowHint();
    }
}

void CAVIBase::ShowHint() {
    if (m_hintKept) {
        SetInfo(m_hint);
        SetBar(0);
    }
}

void CAVIBase::EnableCommands(bool running) {
    if (auto* stop = Item<QAbstractButton>(kStopId)) {
        stop->setEnabled(running);
    }
    for (int id : StartIds()) {
        if (auto* start = Item<QAbstractButton>(id)) {
            start->setEnabled(!running);
        }
    }
}

void CAVIBase::OnStop() {
    m_stopAsked.store(true);
    m_ctx.stop.store(1);
    if (auto* stop = Item<QAbstractButton>(kStopId)) {
        stop->setEnabled(false);
    }
}

void CAVIBase::RunOnWorker(int periodMs, QThread::Priority priority, WorkerJob job) {
    if (m_workerBusy) {
        return;
    }
    m_stopAsked.store(false);
    {
        std::lock_guard<std::mutex> hold(m_askLock);
        m_refuseQuestions = false;
    }
    BeginWork(periodMs);
    m_workerBusy = true;
    std::function<void()> onBegin = [this] {
        if (m_stopAsked.load()) {
            m_ctx.stop.store(1);
        }
    };
    m_worker.reset(QThread::create([this, job = std::move(job), onBegin = std::move(onBegin)] {
        WorkerOutcome outcome = job(onBegin);
        // Dropped unposted if the page is gone by then (it waits for this
        // thread before it goes).
        QMetaObject::invokeMethod(
            this, [this, outcome = std::move(outcome)] { FinishWorker(outcome); },
            Qt::QueuedConnection);
    }));
    m_worker->setObjectName("PageWorker");
    m_worker->start(priority);
}

void CAVIBase::FinishWorker(const WorkerOutcome& outcome) {
    const int32_t code = outcome.code;
    if (m_worker) {
        m_worker->wait();  // it has posted this call and is returning
        m_worker.reset();
    }
    m_runWarn = nullptr;  // each run sets its own
    if (!outcome.written.empty()) {
        m_verifyOutput = outcome.written;
    }
    m_workerBusy = false;
    m_timer.stop();
    if (code != 0) {
        ShowError(code);
    } else if (!outcome.note.empty()) {
        trelvan::shell::MessageBoxRequest box;
        box.owner = this;
        box.caption = trelvan::shell::kProgramName;
        box.text = QString::fromStdString(outcome.note);
        box.warning = true;
        trelvan::shell::ShowMessageBox(box);
    }
    m_ctx.stop.store(code == 0 && outcome.completed && !m_stopAsked.load() ? 0 : 1);
    EndWork();
}

bool CAVIBase::AskFromWorker(const QString& caption, const QString& text) {
    auto question = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = question->get_future();
    {
        std::lock_guard<std::mutex> hold(m_askLock);
        if (m_refuseQuestions) {
            return false;
        }
        m_question = question;
    }
    QMetaObject::invokeMethod(
        this, [this, question, caption, text] { Answer(question, AskOkCancel(caption, text)); },
        Qt::QueuedConnection);
    return answer.get();
}

void CAVIBase::Answer(const std::shared_ptr<std::promise<bool>>& question, bool ok) {
    std::lock_guard<std::mutex> hold(m_askLock);
    if (m_question == question) {  // else already answered Cancel
        m_question.reset();
        question->set_value(ok);
    }
}

void CAVIBase::StopAndJoinWorker() {
    if (!m_worker) {
        return;
    }
    m_stopAsked.store(true);
    m_ctx.stop.store(1);
    {
        // A question waiting for the window thread is answered Cancel here:
        // this thread is about to wait for the worker, not to show it.
        std::lock_guard<std::mutex> hold(m_askLock);
        m_refuseQuestions = true;
        if (m_question) {
            m_question->set_value(false);
            m_question.reset();
        }
    }
    m_worker->wait();
    m_worker.reset();
}

trelvan::ProgressInput CAVIBase::ProgressNow() const {
    trelvan::ProgressInput in;
    in.form = trelvan::ProgressForm::Range;
    in.elapsedMs = m_ctx.timer.GetTotal();
    in.first = static_cast<uint32_t>(m_ctx.first.load());
    in.current = static_cast<uint32_t>(m_ctx.current.load());
    in.last = static_cast<uint32_t>(m_ctx.last.load());
    in.japanese = trelvan::IsJapaneseSystem();
    return in;
}

void CAVIBase::RefreshProgress() {
    const trelvan::ProgressDisplay shown = trelvan::FormatProgress(ProgressNow());
    SetInfo(QString::fromStdString(shown.text));
    SetBar(shown.bar);
}

namespace {
QString WithDefaultExt(QString path, const QString& ext) {
    if (!path.isEmpty() && !ext.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
        path += "." + ext;
    }
    return path;
}
}  // namespace

QString CAVIBase::BrowseOpen(const QString& defaultExt, const QString& initial,
                             const QString& filter) {
    QFileDialog dialog(this);
    dialog.setObjectName("OpenDialog");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    trelvan::shell::SetFileDialogTexts(&dialog);
    dialog.setNameFilters(trelvan::shell::ConvertFilter(filter));
    dialog.setDefaultSuffix(defaultExt);
    if (!initial.isEmpty()) {
        dialog.selectFile(initial);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

QString CAVIBase::BrowseSave(const QString& defaultExt, const QString& initial,
                             const QString& filter) {
    QFileDialog dialog(this);
    dialog.setObjectName("SaveDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    trelvan::shell::SetFileDialogTexts(&dialog);
    dialog.setNameFilters(trelvan::shell::ConvertFilter(filter));
    dialog.setDefaultSuffix(defaultExt);
    if (!initial.isEmpty()) {
        dialog.selectFile(initial);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return WithDefaultExt(dialog.selectedFiles().first(), defaultExt);
}

CDragListBoxEx* CAVIBase::SourceList() const {
    return Item<CDragListBoxEx>(1001);
}

void CAVIBase::OnListAdd(const QString& filter) {
    CDragListBoxEx* list = SourceList();
    if (!list) {
        return;
    }
    QFileDialog dialog(this);
    dialog.setObjectName("AddDialog");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    trelvan::shell::SetFileDialogTexts(&dialog);
    dialog.setNameFilters(trelvan::shell::ConvertFilter(filter));
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    for (const QString& path : dialog.selectedFiles()) {
        // Read again before each file: the list's selection decides.
        const int selected = list->SelectedIndex();
        list->InsertPath(selected >= 0 ? selected : list->count(), path);
    }
}

void CAVIBase::OnListDel() {
    if (CDragListBoxEx* list = SourceList()) {
        list->DeleteSelected();
    }
}

void CAVIBase::OnListReset(QString* output) {
    if (CDragListBoxEx* list = SourceList()) {
        list->ResetList();
    }
    output->clear();
}

bool CAVIBase::ListFileDropped(const QString& path, const QStringList& extensions,
                               const QString& outputExt, QString* output) {
    CDragListBoxEx* list = SourceList();
    if (!list) {
        return false;
    }
    bool accepted = false;
    for (const QString& ext : extensions) {
        accepted = accepted || trelvan::shell::ExtensionIs(path, ext);
    }
    if (!accepted) {
        return false;
    }
    if (list->count() == 0 && output->isEmpty()) {
        *output = trelvan::shell::DefaultOutputName(path, "_link", outputExt);
    }
    list->AddPath(path);
    return true;
}
