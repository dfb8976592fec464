#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "CAVIBase.h"
#include "RangeFields.h"

// The AVI extract page ("Movie Extra"): a time range of an AVI file into a
// new AVI file without recompressing, starting at a key frame. The page reads
// its fields, runs the AVI extract operation and shows the result; when the
// run begins it rewrites the start fields with the start really used.
class CAVIExtract : public CAVIBase {
    Q_OBJECT
  public:
    explicit CAVIExtract(QWidget* owner);

    // Range field ids: start H, M, S, ms, then end H, M, S, ms.
    static constexpr std::array<int, 8> kRangeIds = CRangeFields::kIds;

    void OnFileDropped(const QString& path) override;
    void OnBrowseInput();
    void OnBrowseOutput();
    void OnStart();

    QString Input() const { return m_input; }
    QString Output() const { return m_output; }
    // Frames per second recorded when the range was loaded (0 without one).
    double FrameRate() const { return m_rate; }

    // Reads the controls into the members (save) or shows the members.
    // Reading is false when a range field holds no allowed value (the user
    // has been told which, and the field has the focus).
    bool DoDataExchange(bool save);

  protected:
    bool OnInitDialog() override;
    trelvan::ProgressInput ProgressNow() const override;

  private:
    QString DefaultOutput() const;
    // Fills the range from the source (start: its first frame, end: the
    // time after its last), or clears the paths and shows the reader's code
    // when it cannot be read.
    void LoadInputInfo();

    QString m_input;
    QString m_output;
    CRangeFields m_range;
    double m_rate = 0;
};
