#include "CDib.h"

bool CDib::Load(const QString& path) {
    QImage image(path);
    if (image.isNull()) {
        m_image = QImage();
        return false;
    }
    m_image = image.convertToFormat(QImage::Format_ARGB32);
    return true;
}
