#include "PageUtil.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include "ErrorText.h"
#include "Language.h"
#include "OutputNames.h"

namespace trelvan::shell {

namespace {
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}
}  // namespace

int PumpPendingMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Deferred deletions are Qt's idle work; let them run too.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return QCoreApplication::closingDown() ? 1 : 0;
}

int RemoveExistingFile(const QString& path) {
    return trelvan::RemoveExistingFile(path.toStdString());
}

QString FileExtension(const QString& path) {
    return QString::fromStdString(trelvan::FileExtension(path.toStdString()));
}

QString FileStem(const QString& path) {
    return QString::fromStdString(trelvan::FileStem(path.toStdString()));
}

bool ExtensionIs(const QString& path, const QString& ext) {
    return FileExtension(path).compare(ext, Qt::CaseInsensitive) == 0;
}

QString DefaultOutputName(const QString& source, const QString& suffix, const QString& ext) {
    return FileStem(source) + suffix + ext;
}

QStringList ConvertFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts[i].trimmed();
        const QString patterns = parts[i + 1];
        if (text.isEmpty() && patterns.isEmpty()) {
            continue;
        }
        QStringList globs;
        for (const QString& g : patterns.split(u';', Qt::SkipEmptyParts)) {
            if (!g.trimmed().isEmpty()) {
                globs << g.trimmed();
            }
        }
        if (globs.isEmpty()) {
            continue;
        }
        // The text already names its patterns in parentheses; Qt reads the
        // last parenthesised group as the patterns, so it is replaced.
        text.remove(QRegularExpression("\\s*\\([^()]*\\)\\s*$"));
        out << text + " (" + globs.join(u' ') + ")";
    }
    return out;
}

// The layouts are drawn in dialog units of a 9-point user-interface font:
// four units across are six pixels, eight units down are thirteen.
int DluX(int x) {
    return (x * 3 + (x >= 0 ? 1 : -1)) / 2;
}
int DluY(int y) {
    return (y * 13 + (y >= 0 ? 4 : -4)) / 8;
}
QRect DluRect(int x, int y, int w, int h) {
    const int left = DluX(x), top = DluY(y);
    return QRect(left, top, DluX(x + w) - left, DluY(y + h) - top);
}

void SetMessageBoxHook(MessageBoxHook hook) {
    Hook() = std::move(hook);
}

namespace {
int Ask(const MessageBoxRequest& request) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (request.information) {
        icon = QMessageBox::Information;
    } else if (request.warning) {
        icon = QMessageBox::Warning;
    } else if (request.stop) {
        icon = QMessageBox::Critical;
    } else if (request.question) {
        icon = QMessageBox::Question;
    }
    QMessageBox box(icon, request.caption, request.text,
                    request.okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    request.owner);
    box.setObjectName(request.okCancel ? "AskBox" : "MessageBox");
    if (request.okCancel) {
        box.button(QMessageBox::Cancel)->setText(CancelText());
    }
    return box.exec();
}
}  // namespace

void ShowMessageBox(const MessageBoxRequest& request) {
    if (Hook()) {
        Hook()(request);
        return;
    }
    Ask(request);
}

bool AskOkCancel(QWidget* owner, const QString& caption, const QString& text) {
    MessageBoxRequest request;
    request.owner = owner;
    request.caption = caption.isEmpty() ? QString(kProgramName) : caption;
    request.text = text;
    request.okCancel = true;
    if (Hook()) {
        return Hook()(request);
    }
    return Ask(request) == QMessageBox::Ok;
}

void ShowError(QWidget* owner, int32_t code, const std::string& detail, const std::string& place) {
    const ErrorMessage msg = ComposeErrorMessage(code, detail);
    if (!msg.show) {
        return;
    }
    QString text = QString::fromStdString(msg.text);
    if (!place.empty()) {
        // Below the code's own text, which stays as it is (closing blank
        // and all).
        text += "\n\n" + QString::fromStdString(place);
    }
    ShowMessageBox({owner, QString::fromStdString(msg.caption), text, true});
}

bool Japanese() {
    return IsJapaneseSystem();
}

QString Lang(const char* english, const char* japanese) {
    return QString::fromUtf8(Japanese() ? japanese : english);
}

void SetFileDialogTexts(QFileDialog* dialog) {
    // The Japanese texts are those of the system's own file dialogs there.
    const bool save = dialog->acceptMode() == QFileDialog::AcceptSave;
    dialog->setWindowTitle(save ? Lang("Save As", "名前を付けて保存") : Lang("Open", "開く"));
    // Qt shows these two labels as they are, so they carry no "&" mark.
    dialog->setLabelText(QFileDialog::LookIn, Lang("Look in:", "ファイルの場所:"));
    dialog->setLabelText(QFileDialog::FileName, Lang("File &name:", "ファイル名(&N):"));
    dialog->setLabelText(QFileDialog::FileType, Lang("Files of type:", "ファイルの種類:"));
    dialog->setLabelText(QFileDialog::Accept,
                         save ? Lang("&Save", "保存(&S)") : Lang("&Open", "開く(&O)"));
    dialog->setLabelText(QFileDialog::Reject, CancelText());
}

QString CancelText() {
    return Lang("Cancel", "キャンセル");
}

QString AllFilesFilter() {
    return Lang("all (*.*)|*.*|", "すべてのファイル  (*.*)|*.*|");
}

bool MatchDrop(const QList<DropRule>& rules, const QString& path, QString* outputExtension) {
    for (const DropRule& rule : rules) {
        if (ExtensionIs(path, rule.extension)) {
            *outputExtension =
                rule.outputExtension ? QString(rule.outputExtension) : FileExtension(path);
            return true;
        }
    }
    return false;
}

}  // namespace trelvan::shell
