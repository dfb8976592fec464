#pragma once

#include <QString>

#include "CAVIBase.h"

// The audio link page: the audio of several WAV or AVI files, in list
// order, into one WAV file in the first source's format. The page reads its
// list and output field, runs the audio link operation and shows the result.
class CWAVLinkerDlg : public CAVIBase {
    Q_OBJECT
  public:
    explicit CWAVLinkerDlg(QWidget* owner);

    void OnFileDropped(const QString& path) override;
    void OnAdd();
    void OnDel();
    void OnReset();
    void OnBrowseOutput();
    void OnLink();

    QString Output() const { return m_output; }
    // Whether a link run has not yet returned (Stop may already have been
    // pressed and Link enabled again).
    bool Linking() const { return m_linking; }
    // Not idle while a run has not returned, even once Stop has set the flag.
    int IsIdle() const override { return m_linking ? 0 : CAVIBase::IsIdle(); }

    // Reads the output field into the member (save) or shows the member.
    void DoDataExchange(bool save);

  protected:
    bool OnInitDialog() override;
    // Stop also enables Link at once.
    void OnStop() override;
    // The link form with the elapsed time alone, counted in whole sources.
    trelvan::ProgressInput ProgressNow() const override;

  private:
    QString m_output;
    bool m_linking = false;
};
