#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>

class QFileDialog;
class QWidget;

// Helpers every page shares: the event pump the work loops call, deleting an
// existing output, file stems and default output names, the file-dialog
// filters, and the message boxes (with a hook that tests use instead of a
// modal box).
namespace trelvan::shell {

// Dispatches every pending event of the calling thread, then lets deferred
// work run (Qt posts its idle work as events). The work loops call it after
// every unit; it is the pump hook of their operation context. Returns 1 when
// the application is quitting, else 0.
int PumpPendingMessages();

// Deletes a file if it exists, read-only or not. 0 normally, 1 when a file
// error occurred (which the callers ignore).
int RemoveExistingFile(const QString& path);

// Folder and file name without the extension ("/a/b.c.avi" -> "/a/b.c").
QString FileStem(const QString& path);
// From the last dot of the file name, the dot included ("" without one).
QString FileExtension(const QString& path);
// Extension comparison without regard to case.
bool ExtensionIs(const QString& path, const QString& ext);
// stem + suffix + extension ("/m/a.avi", "_extr", ".wav" -> "/m/a_extr.wav").
QString DefaultOutputName(const QString& source, const QString& suffix, const QString& ext);

// Turns a filter list of the form "Text|*.a; *.b|Text|*.c|" into the name
// filters of a Qt file dialog ("Text (*.a *.b)"). Patterns with no text after
// the bar are skipped.
QStringList ConvertFilter(const QString& filter);

// Pixels of a rectangle given in dialog units of the layouts.
QRect DluRect(int x, int y, int w, int h);
int DluX(int x);
int DluY(int y);

// A message box on its way to the user. Tests install a hook that receives it
// instead of a modal box; the hook's answer stands for the button pressed
// (true: OK) and the call goes on.
struct MessageBoxRequest {
    QWidget* owner = nullptr;
    QString caption;
    QString text;
    bool information = false;  // information icon (error boxes)
    bool warning = false;      // exclamation icon (a field's value refused)
    bool stop = false;         // stop icon (the MOV link's failures)
    bool question = false;     // question icon (the MOV layer missing)
    bool okCancel = false;     // OK and Cancel (a question), else OK alone
};
using MessageBoxHook = std::function<bool(const MessageBoxRequest&)>;
void SetMessageBoxHook(MessageBoxHook hook);
// Shows a modal box with one OK button (or hands it to the hook).
void ShowMessageBox(const MessageBoxRequest& request);
// Asks an OK/Cancel question in a modal box (or of the hook); true for OK.
// An empty caption becomes the program's name.
bool AskOkCancel(QWidget* owner, const QString& caption, const QString& text);

// The error box of a code: caption "エラーNo.%04d", text of the code in the
// user's language after the detail and a line feed when there is a detail,
// then `place` (the file it is about, the system's reason) after an empty
// line; nothing for the codes without a text.
void ShowError(QWidget* owner, int32_t code, const std::string& detail = {},
               const std::string& place = {});

// Texts in the user's language (the one language test of the program).
QString Lang(const char* english, const char* japanese);
bool Japanese();

// An English/Japanese pair of one page text, chosen afresh at each use.
struct PageText {
    const char* english = "";
    const char* japanese = "";
    QString Get() const { return Lang(english, japanese); }
};

// The title, labels and buttons of a file dialog in the user's language, for
// its accept mode (Open or Save As); set before it is shown. Qt's own texts
// are English.
void SetFileDialogTexts(QFileDialog* dialog);
// The Cancel button of the question boxes.
QString CancelText();

// The all-files entry that ends the filter list of an Open dialog.
QString AllFilesFilter();

// A kind of file a single-source page takes when it is dropped: its
// extension (compared without regard to case) and the extension of the
// output name it proposes; no output extension: the dropped file's own.
struct DropRule {
    const char* extension;
    const char* outputExtension = nullptr;
};
// The rule `path` matches: true, with the output extension it gives; false
// for a file of another kind.
bool MatchDrop(const QList<DropRule>& rules, const QString& path, QString* outputExtension);

// The program's name in captions.
inline constexpr const char* kProgramName = "Trelvan+";

}  // namespace trelvan::shell
