#pragma once

#include <QColor>
#include <QStringList>

#include "CBaseDialogList.h"
#include "CBaseFrameColorDialog.h"

class CColorButton;

// The main window: six AVI and audio page buttons at the top, the page
// panel below them with exactly one page visible, then a row of four WMV and
// a row of four MOV page buttons. The frame takes the colour of the selected
// page. Files dropped anywhere on the window go to the visible page. The
// window will not close while a page is working.
class CTrelvanDlg : public CBaseFrameColorDialog {
    Q_OBJECT
  public:
    explicit CTrelvanDlg(QWidget* parent = nullptr);
    ~CTrelvanDlg() override;

    static constexpr int kPageCount = 14;
    static constexpr int kFirstButtonId = 1156;
    static constexpr int kPanelId = 1013;

    void SelectPage(int index);
    int SelectedPage() const { return m_selected; }
    CBaseDialog* Page(int index) const { return m_pages.At(index); }
    QString PageName(int index) const { return m_pageNames.value(index); }
    CColorButton* PageButton(int index) const;
    // Whether the page's operation is part of this build.
    static bool PageIsBuilt(int index);

    // The background colour of a page (black outside 0..13).
    static QColor PageColour(int index);

    // A file handed to the program (dropped anywhere on the window, named
    // on the command line): to the page shown when it takes that kind,
    // else to the page of its family and kind, which is then shown.
    void OnFileDropped(const QString& path) override;
    bool Takes(const QString& path) const override { return PageForFile(path) >= 0; }
    // The page a file of that kind opens on when the page shown does not
    // take it (-1 for a kind no page reads): AVI the AVI separate page, WAV
    // the audio extract page, WMV the WMV separate page and WMA its extract
    // page, MOV/MP4/M4V/3GP the MOV separate page and M4A its extract page.
    static int PageForFile(const QString& path);
    void OnSysClose() override;
    void LoadFrameImages() override;
    QColor GetFrameColour() const override;
    QColor GetCaptionTextColour() const override;

  protected:
    void BuildControls() override;
    bool OnInitDialog() override;

  private:
    void CreatePages();

    CBaseDialogList m_pages;
    QStringList m_pageNames;
    int m_selected = 0;
};
