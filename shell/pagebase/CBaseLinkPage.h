#pragma once

#include <QString>
#include <QStringList>

#include "CAVIBase.h"
#include "PageUtil.h"

// The link pages (layout 107): a source list, one output, the command Link.
// The base holds the output field, the captions the pages share, Add, Del
// and Reset, dropping with the page's file kinds, the output name proposed
// from the first entry (stem + "_link" + extension), and the shape of the
// Link command up to the run, which the page does.
class CBaseLinkPage : public CAVIBase {
    Q_OBJECT
  public:
    struct Traits {
        // 1049 on a Japanese system (the template's English text stays).
        const char* sourceGroupJapanese;
        trelvan::shell::PageText outputLabel;  // 1053
        // Dialog extension ("avi") and the output extension of a run
        // started with an empty output (".avi").
        const char* defaultExtension;
        const char* outputExtension;
        // The Add dialog's filter and the output dialog's.
        const char* addFilter;
        const char* outputFilter;
        // Extensions a dropped file may have, and the output extension it
        // proposes on an empty page (none: the dropped file's own).
        QStringList dropExtensions;
        const char* dropOutputExtension = nullptr;
        // Whether Stop enables Link at once (the run itself may still be
        // unwinding, which Link then waits for).
        bool stopEnablesLink = true;
    };

    CBaseLinkPage(QWidget* owner, QColor background, Traits traits);

    void OnFileDropped(const QString& path) override;
    bool Takes(const QString& path) const override;
    void OnAdd();
    void OnDel();
    void OnReset();
    void OnBrowseOutput();
    // The Link command. Refused (nothing happens) while an earlier link has
    // not returned; with an empty output the first entry names it, and with
    // an empty list too nothing happens.
    void OnLink();

    QString Output() const { return m_output; }
    // Whether a link run has not yet returned (Stop may already have been
    // pressed and Link enabled again).
    bool Linking() const { return m_linking || WorkerBusy(); }

    // Reads the output field into the member (save) or shows the member.
    void DoDataExchange(bool save);

  protected:
    bool OnInitDialog() override;
    void OnStop() override;
    // Runs the link of `sources` (the list as it stands) into m_output.
    virtual void RunLink(const QStringList& sources) = 0;

    QString m_output;
    // Set by the page while a run on the window thread has not returned.
    bool m_linking = false;

  private:
    const Traits m_traits;
};
