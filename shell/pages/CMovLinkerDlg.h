#pragma once

#include "CBaseLinkPage.h"
#include "MovLink.h"

// The MOV "Movie Link" page: joins the movies of its source list, in list
// order, into one self-contained MOV file through the movie layer. Its
// messages are Japanese in both languages and name the movie result; the
// page shows no numeric codes (an output that names a source still gets
// the error box's 6006, as on the other link pages).
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
