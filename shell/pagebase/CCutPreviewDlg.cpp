#include "CCutPreviewDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "BitmapInfoHeader.h"
#include "PageUtil.h"

namespace trelvan::shell {

QImage PackedPictureImage(const uint8_t* data, size_t bytes) {
    BITMAPINFOHEADER h{};
    if (data == nullptr || bytes < kBitmapInfoHeaderSize ||
        !ReadBitmapInfoHeader(data, bytes, &h) || h.biBitCount != 24 || h.biWidth <= 0 ||
        h.biHeight <= 0) {
        return {};
    }
    const size_t width = static_cast<size_t>(h.biWidth), height = static_cast<size_t>(h.biHeight);
    const size_t row = (width * 3 + 3) & ~size_t{3};
    if ((bytes - kBitmapInfoHeaderSize) / row < height) {
        return {};  // fewer rows than the header says
    }
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
    for (size_t y = 0; y < height; ++y) {
        // Bottom-up rows of blue, green, red.
        const uint8_t* src = data + kBitmapInfoHeaderSize + row * (height - 1 - y);
        uchar* dst = image.scanLine(static_cast<int>(y));
        for (size_t x = 0; x < width; ++x) {
            dst[x * 3] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3];
        }
    }
    return image;
}

QString PreviewTime(int64_t milliseconds) {
    if (milliseconds < 0) {
        milliseconds = 0;
    }
    return QString("%1:%2:%3.%4")
        .arg(milliseconds / 3600000)
        .arg(milliseconds / 60000 % 60, 2, 10, QChar('0'))
        .arg(milliseconds / 1000 % 60, 2, 10, QChar('0'))
        .arg(milliseconds % 1000, 3, 10, QChar('0'));
}

QString PreviewTitle() {
    return Lang("Cut preview", "抽出範囲のプレビュー");
}

QString PreviewMenuText() {
    return Lang("Preview...", "プレビュー...") + "\tCtrl+P";
}

QString NoPictureText() {
    return Lang("(no picture)", "(画像なし)");
}

QString PreviewCloseText() {
    return Lang("Close", "閉じる");
}

}  // namespace trelvan::shell

CCutPreviewDlg::CCutPreviewDlg(QWidget* owner, const CutPreview& preview) : QDialog(owner) {
    setObjectName("CutPreview");
    setWindowTitle(trelvan::shell::PreviewTitle());
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* frames = new QGridLayout();
    layout->addLayout(frames);
    for (int i = 0; i < preview.frames.size(); ++i) {
        const CutPreview::Frame& f = preview.frames[i];
        const QString n = QString::number(i);
        auto* caption = new QLabel(f.caption, this);
        caption->setObjectName("Frame" + n + "Caption");
        auto* time = new QLabel(f.time, this);
        time->setObjectName("Frame" + n + "Time");
        auto* picture = new QLabel(this);
        picture->setObjectName("Frame" + n + "Picture");
        picture->setAlignment(Qt::AlignCenter);
        picture->setMinimumSize(kPictureWidth / 2, kPictureHeight / 2);
        if (f.picture.isNull()) {
            picture->setText(trelvan::shell::NoPictureText());
        } else {
            QImage shown = f.picture;
            if (shown.width() > kPictureWidth || shown.height() > kPictureHeight) {
                shown = shown.scaled(kPictureWidth, kPictureHeight, Qt::KeepAspectRatio,
                                     Qt::SmoothTransformation);
            }
            picture->setPixmap(QPixmap::fromImage(shown));
        }
        frames->addWidget(caption, 0, i);
        frames->addWidget(picture, 1, i);
        frames->addWidget(time, 2, i);
    }
    auto* facts = new QLabel(preview.facts.join('\n'), this);
    facts->setObjectName("Facts");
    facts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(facts);
    auto* warning = new QLabel(preview.warning, this);
    warning->setObjectName("Warning");
    warning->setWordWrap(true);
    warning->setVisible(!preview.warning.isEmpty());
    QPalette palette = warning->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    warning->setPalette(palette);
    layout->addWidget(warning);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(trelvan::shell::PreviewCloseText());
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}
