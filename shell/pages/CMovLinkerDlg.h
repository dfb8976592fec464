#pragma once

#include <QString>

#include "CAVIBase.h"
#include "MovLink.h"

// The MOV "Movie Link" page: joins the movies of its source list, in list
// order, into one self-contained MOV file through the movie layer. Its
// messages are Japanese in both languages and name the movie result; the
// page shows no numeric codes (an output that names a source still gets
// the error box's 6006, as on the other link pages).
class CMovLinkerDlg : public CAVIBase {
    Q_OBJECT
  public:
    explicit CMovLinkerDlg(QWidget* owner);

    void OnFileDropped(const QString& path) override;
    void OnAdd();
    void OnDel();
    void OnReset();
    void OnBrowseOutput();
    // The Link command; refused while an earlier link has not returned.
    void OnLink();

    QString Output() const { return m_output; }
    bool Linking() const { return m_linking; }
    void DoDataExchange(bool save);

  protected:
    bool OnInitDialog() override;
    // Stop also enables Link at once.
    void OnStop() override;
    trelvan::ProgressInput ProgressNow() const override;

  private:
    // Shows a message of the link with its icon.
    void ShowMessage(const trelvan::MovLinkResult& result);

    QString m_output;
    bool m_linking = false;
};
