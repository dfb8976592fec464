#pragma once

#include <QImage>
#include <QString>

// An image loaded from the program's resources at its own size, in a format
// that can be drawn on and read pixel by pixel.
class CDib {
  public:
    CDib() = default;
    // Loads ":/<...>" or a file path; false (and an empty image) when missing.
    bool Load(const QString& path);
    bool IsEmpty() const { return m_image.isNull(); }
    const QImage& Image() const { return m_image; }
    QImage& Image() { return m_image; }
    void Reset(QImage image) { m_image = std::move(image); }

  private:
    QImage m_image;
};
