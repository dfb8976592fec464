#pragma once

#include <QString>

#include "CAVIBase.h"
#include "PageUtil.h"

// The unite pages (layout 105): a video source, an audio source and one
// output, the command Comb. The base holds the three path fields, the
// captions both pages share, dropping and browsing with the page's file
// kinds, and the output name proposed from the video source (stem + "_comb"
// + extension); the page runs the unite.
class CBaseUnitePage : public CAVIBase {
    Q_OBJECT
  public:
    struct Traits {
        trelvan::shell::PageText videoLabel;   // 1050
        trelvan::shell::PageText audioLabel;   // 1052
        trelvan::shell::PageText outputLabel;  // 1053
        // The video source's (and output's) kind: dialog extension ("avi"),
        // output extension (".avi") and filter; a dropped file with the
        // output extension becomes the video source.
        const char* videoExtension;
        const char* outputExtension;
        const char* videoFilter;
        // The audio source's: dialog extension, filter, and the extension of
        // a dropped file that becomes the audio source.
        const char* audioExtension;
        trelvan::shell::PageText audioFilter;
        const char* audioDropExtension;
    };

    CBaseUnitePage(QWidget* owner, QColor background, Traits traits);

    void OnFileDropped(const QString& path) override;
    bool Takes(const QString& path) const override;
    void OnBrowseVideo();
    void OnBrowseAudio();
    void OnBrowseOutput();

    QString Video() const { return m_video; }
    QString Audio() const { return m_audio; }
    QString Output() const { return m_output; }

    // Reads the controls into the members (save) or shows the members.
    void DoDataExchange(bool save);

  protected:
    bool OnInitDialog() override;
    // The Comb command.
    virtual void OnUnite() = 0;
    QString DefaultOutput() const;

    QString m_video;
    QString m_audio;
    QString m_output;

  private:
    const Traits m_traits;
};
