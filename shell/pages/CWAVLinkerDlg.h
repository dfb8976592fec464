#pragma once

#include "CBaseLinkPage.h"

// The audio link page: the audio of several WAV or AVI files, in list
// order, into one WAV file in the first source's format. The page runs the
// audio link operation on its list and shows the result.
class CWAVLinkerDlg : public CBaseLinkPage {
    Q_OBJECT
  public:
    explicit CWAVLinkerDlg(QWidget* owner);

    // Not idle while a run has not returned, even once Stop has set the flag.
    int IsIdle() const override { return m_linking ? 0 : CBaseLinkPage::IsIdle(); }

  protected:
    void RunLink(const QStringList& sources) override;
    // The link form with the elapsed time alone, counted in whole sources.
    trelvan::ProgressInput ProgressNow() const override;
};
