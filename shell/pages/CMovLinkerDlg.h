#pragma once

#include "CBaseLinkPage.h"
#include "MovLink.h"

// The MOV "Movie Link" page: joins the movies of its source list, in list
// order, into one self-contained MOV file through the movie layer. Its
// messages are Japanese in both languages, name the movie result and carry
// the stop icon (the question icon when the movie layer cannot start); the
// page shows no numeric codes. The reader's warnings about a source (damage
// read around) go to standard output, and the last one stays on the Info
// line after the run.
class CMovLinkerDlg : public CBaseLinkPage {
    Q_OBJECT
  public:
    explicit CMovLinkerDlg(QWidget* owner);

  protected:
    void RunLink(const QStringList& sources) override;
    trelvan::ProgressInput ProgressNow() const override;

  private:
    // Shows a message of the link with its icon.
    void ShowMessage(const trelvan::MovLinkResult& result);
};
