#pragma once

#include <QLineEdit>

// A field for the hour, minute, second and millisecond parts of a time: of
// the typed characters only the digits 0 to 9, backspace and tab reach it;
// a dot and everything else are swallowed. Keys that type nothing (arrows,
// Delete, Home, End) keep working. Input methods are switched off so that
// digits go in directly on a Japanese desktop.
class CNumberEditBox : public QLineEdit {
    Q_OBJECT
  public:
    explicit CNumberEditBox(QWidget* parent = nullptr);

    // Whether a typed text would reach the field.
    static bool AcceptsTyped(const QString& typed);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
};
