#pragma once

#include <QList>
#include <QString>

#include "CAVIBase.h"
#include "PageUtil.h"

// The separate pages (layout 106): one source, one output, the commands
// Video Cut and Audio Cut. The base holds the two path fields, the captions
// both pages share, dropping and browsing with the page's file kinds, and
// the output name proposed from the source (stem + "_cut" + extension); the
// page runs the cut.
class CBaseSeparatePage : public CAVIBase {
    Q_OBJECT
  public:
    struct Traits {
        trelvan::shell::PageText sourceLabel;  // 1050
        trelvan::shell::PageText outputLabel;  // 1057
        // Default extension of the dialogs ("avi") and output extension of
        // a chosen source (".avi").
        const char* defaultExtension;
        const char* outputExtension;
        // The source dialog's filter (the all-files entry follows) and the
        // output dialog's.
        trelvan::shell::PageText sourceFilter;
        const char* outputFilter;
        QList<trelvan::shell::DropRule> drops;
        // Whether a source chosen in its dialog replaces an output already
        // named (else only an empty output is filled).
        bool browseReplacesOutput = false;
    };

    CBaseSeparatePage(QWidget* owner, QColor background, Traits traits);

    void OnFileDropped(const QString& path) override;
    bool Takes(const QString& path) const override;
    void OnBrowseInput();
    void OnBrowseOutput();
    void OnVideoCut() { RunCut(false); }
    void OnAudioCut() { RunCut(true); }

    QString Input() const { return m_input; }
    QString Output() const { return m_output; }

    // Reads the controls into the members (save) or shows the members.
    void DoDataExchange(bool save);

  protected:
    bool OnInitDialog() override;
    QList<int> StartIds() const override { return {1030, 1036}; }
    // The cut of the video (false) or the audio (true) stream.
    virtual void RunCut(bool audio) = 0;

    QString m_input;
    QString m_output;

  private:
    QString DefaultOutput(const QString& extension) const;

    const Traits m_traits;
};
