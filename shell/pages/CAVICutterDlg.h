#pragma once

#include <QString>

#include "AviSeparate.h"
#include "CAVIBase.h"

// The AVI separate page ("V-A Separate"): the video of an AVI file alone
// into an AVI file (Video Cut), or its audio into a WAV file in its own
// format (Audio Cut). The page reads its fields, runs the separate operation
// and shows the result; the progress is the save's percent.
class CAVICutterDlg : public CAVIBase {
    Q_OBJECT
  public:
    explicit CAVICutterDlg(QWidget* owner);

    void OnFileDropped(const QString& path) override;
    void OnBrowseInput();
    void OnBrowseOutput();
    void OnVideoCut();
    void OnAudioCut();

    QString Input() const { return m_input; }
    QString Output() const { return m_output; }

    // Reads the controls into the members (save) or shows the members.
    void DoDataExchange(bool save);

    // Not idle while a save is on its way back after a stop request: the
    // window must not close under it.
    int IsIdle() const override { return m_saving ? 0 : CAVIBase::IsIdle(); }

  protected:
    bool OnInitDialog() override;
    QList<int> StartIds() const override { return {1030, 1036}; }
    trelvan::ProgressInput ProgressNow() const override;

  private:
    void RunCommand(trelvan::SeparateKind kind);

    QString m_input;
    QString m_output;
    bool m_saving = false;
};
