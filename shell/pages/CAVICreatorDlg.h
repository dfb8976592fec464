#pragma once

#include <QString>

#include "CAVIBase.h"

// The AVI unite page ("V-A Unite"): the video of one AVI file and the audio
// of another (an AVI or WAV file) into one AVI file, both streams whole and
// unchanged. The page reads its fields, runs the unite operation and shows
// the result; the progress is the save's percent.
class CAVICreatorDlg : public CAVIBase {
    Q_OBJECT
  public:
    explicit CAVICreatorDlg(QWidget* owner);

    void OnFileDropped(const QString& path) override;
    void OnBrowseVideo();
    void OnBrowseAudio();
    void OnBrowseOutput();
    void OnUnite();

    QString Video() const { return m_video; }
    QString Audio() const { return m_audio; }
    QString Output() const { return m_output; }

    // Reads the controls into the members (save) or shows the members.
    void DoDataExchange(bool save);

    // Not idle while a save is on its way back after a stop request: the
    // window must not close under it.
    int IsIdle() const override { return m_saving ? 0 : CAVIBase::IsIdle(); }

  protected:
    bool OnInitDialog() override;
    trelvan::ProgressInput ProgressNow() const override;

  private:
    QString DefaultOutput() const;

    QString m_video;
    QString m_audio;
    QString m_output;
    bool m_saving = false;
};
