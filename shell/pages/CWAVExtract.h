#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "CAVIBase.h"
#include "RangeFields.h"

// The audio extract page: a time range of the audio of a WAV or AVI file
// into a new WAV file in the source's own format. The page reads its fields,
// runs the audio extract operation and shows the result.
class CWAVExtract : public CAVIBase {
    Q_OBJECT
  public:
    explicit CWAVExtract(QWidget* owner);

    // Range field ids: start H, M, S, ms, then end H, M, S, ms.
    static constexpr std::array<int, 8> kRangeIds = CRangeFields::kIds;

    void OnFileDropped(const QString& path) override;
    void OnBrowseInput();
    void OnBrowseOutput();
    void OnStart();

    QString Input() const { return m_input; }
    QString Output() const { return m_output; }

    // Reads the controls into the members (save) or shows the members.
    // Reading is false when a range field holds no allowed value (the user
    // has been told which, and the field has the focus).
    bool DoDataExchange(bool save);

  protected:
    bool OnInitDialog() override;

  private:
    QString DefaultOutput() const;
    // Fills the range with the source's length (start 0), or clears the
    // paths and shows the reader's code when it cannot be read.
    void LoadInputInfo();

    QString m_input;
    QString m_output;
    CRangeFields m_range;
};
