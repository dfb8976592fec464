#pragma once

#include <QString>

#include "CAVIBase.h"

// The AVI "Movie Link" page: joins the AVI files of its source list, in list
// order, into one new AVI file without recompressing. The page edits the
// list and the output, runs the AVI link operation and shows its progress
// (source number of how many, and the percent of that source).
class CAVILinkerDlg : public CAVIBase {
    Q_OBJECT
  public:
    explicit CAVILinkerDlg(QWidget* owner);

    void OnFileDropped(const QString& path) override;
    void OnAdd();
    void OnDel();
    void OnReset();
    void OnBrowseOutput();
    // The Link command. Refused (nothing happens) while an earlier link has
    // not returned yet: Stop enables Link at once, before the running link
    // has noticed the stop.
    void OnLink();

    QString Output() const { return m_output; }
    // Whether a link is running (until it has returned, also after Stop).
    bool Linking() const { return m_linking; }

    // Reads the output field into the member (save) or shows the member.
    void DoDataExchange(bool save);

  protected:
    bool OnInitDialog() override;
    // Stop also enables Link at once.
    void OnStop() override;
    trelvan::ProgressInput ProgressNow() const override;

  private:
    QString m_output;
    bool m_linking = false;
};
