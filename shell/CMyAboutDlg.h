#pragma once

#include "CBaseColorDialog.h"

// The about box: a white ellipse with the program's name and version, a link
// to the program's help page (trelvan.html beside the program, as Help opens
// it) and an OK button that closes it with a short
// bouncing animation. Its images come from the resource bundle Res.rcc.
class CMyAboutDlg : public CBaseColorDialog {
    Q_OBJECT
  public:
    explicit CMyAboutDlg(QWidget* parent = nullptr);

    // "%d.%d%d" of the program version (3.3.2 gives 3.32).
    static QString VersionText(int major, int minor, int patch);
    // The executable's name without folder and extension, " Version ", the
    // version text.
    static QString NameAndVersion();

    // Plays the closing animation (skipped when `animate` is false).
    void OnOK();
    void SetAnimate(bool animate) { m_animate = animate; }

  protected:
    void BuildControls() override;
    bool OnInitDialog() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Escape, Return and Enter close the box as OK does (the pages and the
    // main window ignore them; a box with one button should not).
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void PlayClosingAnimation();
    bool m_animate = true;
};
