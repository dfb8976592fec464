#pragma once

#include <QList>
#include <QString>
#include <array>
#include <cstdint>

#include "CAVIBase.h"
#include "CCutPreviewDlg.h"
#include "PageUtil.h"
#include "RangeFields.h"

// The extract pages (layout 110): one source, one output and a time range,
// the command Extra. The base holds the two path fields and the range
// fields, the captions the pages share, dropping and browsing with the
// page's file kinds, the output name proposed from the source (stem +
// "_extr" + extension), loading the range from a new source, and the shape
// of the Extra command up to the run, which the page does. The preview
// (right-click menu, Ctrl+P) shows what the Extra command would write
// without writing it, from the page's plan of its fields.
class CBaseExtractPage : public CAVIBase {
    Q_OBJECT
  public:
    struct Traits {
        trelvan::shell::PageText sourceLabel;  // 1050
        trelvan::shell::PageText outputLabel;  // 1053
        // Dialog extension ("avi") and the output extension of a source
        // chosen in its dialog or of a run started with an empty output.
        const char* defaultExtension;
        const char* outputExtension;
        // The source dialog's filter (the all-files entry follows) and the
        // output dialog's.
        trelvan::shell::PageText sourceFilter;
        const char* outputFilter;
        QList<trelvan::shell::DropRule> drops;
    };

    // Range field ids: start H, M, S, ms, then end H, M, S, ms.
    static constexpr std::array<int, 8> kRangeIds = CRangeFields::kIds;

    CBaseExtractPage(QWidget* owner, QColor background, Traits traits);

    void OnFileDropped(const QString& path) override;
    bool Takes(const QString& path) const override;
    void OnBrowseInput();
    void OnBrowseOutput();
    // The Extra command: reads the fields (a refused range field ends it
    // there), fills an empty output, then runs the page's extract.
    void OnStart();
    // The preview: reads the fields as the Extra command does (a refused
    // range field ends it there), then shows the page's preview of them in
    // a modal window, or the page's error box when the source cannot be
    // planned. Nothing while a run is under way.
    void OnPreview();

    QString Input() const { return m_input; }
    QString Output() const { return m_output; }

    // Reads the controls into the members (save) or shows the members.
    // Reading is false when a range field holds no allowed value (the user
    // has been told which, and the field has the focus).
    bool DoDataExchange(bool save);

  protected:
    bool OnInitDialog() override;
    // Reads the range of the new source m_input into m_range (the start is
    // already cleared); 0, or the code to show.
    virtual int32_t ReadSourceRange() = 0;
    // Shows the code ReadSourceRange gave for `source`: its error box.
    virtual void ShowSourceError(int32_t code, const QString& source);
    // Runs the extract of the fields as read.
    virtual void RunExtract() = 0;
    // Fills the preview of the fields as read; false when the source cannot
    // be planned (the page has shown its error box).
    virtual bool MakePreview(CutPreview* preview) = 0;
    void AddMenuEntries(QMenu* menu) override;
    QString DefaultOutput() const;

    QString m_input;
    QString m_output;
    CRangeFields m_range;

  private:
    // Fills the range from the new source, or clears the range and the
    // paths and shows the reader's code when it cannot be read.
    void LoadInputInfo();

    const Traits m_traits;
};
