#pragma once

#include <QDialog>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

// What a cut preview shows: the frames at the ends of what an extract would
// write (a caption, their time, their picture), lines of figures (times,
// duration, samples, bytes) and a warning. The extract pages fill it from
// their plans; the dialog only lays it out.
struct CutPreview {
    struct Frame {
        QString caption;
        QString time;
        QImage picture;  // null: the "no picture" text is shown instead
    };
    QList<Frame> frames;
    QStringList facts;
    QString warning;  // empty: none
};

// The preview window of an extract page, modal, with a Close button.
// Controls carry object names for the tests: "Frame<n>Caption",
// "Frame<n>Time", "Frame<n>Picture" (a label with the picture or the
// "no picture" text), "Facts" (the lines joined by line feeds), "Warning".
class CCutPreviewDlg : public QDialog {
    Q_OBJECT
  public:
    CCutPreviewDlg(QWidget* owner, const CutPreview& preview);

    // Pictures are shown no larger than this (scaled down, aspect kept).
    static constexpr int kPictureWidth = 320;
    static constexpr int kPictureHeight = 240;
};

namespace trelvan::shell {

// The image of a packed picture (a 40-byte BITMAPINFOHEADER followed by
// 24-bit bottom-up rows padded to 4 bytes, as the frame decoders give
// them); null when the bytes hold no such picture.
QImage PackedPictureImage(const uint8_t* data, size_t bytes);

// A time of the preview: "H:MM:SS.mmm".
QString PreviewTime(int64_t milliseconds);

// The preview's texts in the user's language.
QString PreviewTitle();
QString PreviewMenuText();  // the context menu entry, with its shortcut
QString NoPictureText();
QString PreviewCloseText();  // the Close button (Qt's own text is English)

}  // namespace trelvan::shell
