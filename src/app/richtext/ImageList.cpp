#include "app/richtext/ImageList.h"

#include <QPainter>

namespace app {

void TImageList::Add(const QImage& image) {
    QImage picture = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (picture.size() != QSize(width_, height_))
        picture = picture.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    images_.append(picture);
}

QImage TImageList::Image(int index) const {
    if (index < 0 || index >= Count()) return {};
    return images_[index];
}

bool TImageList::Draw(QPainter& painter, int x, int y, int index) const {
    if (index < 0 || index >= Count()) return false;
    painter.drawImage(x, y, images_[index]);
    return true;
}

}  // namespace app
