#pragma once
// A list of same-sized pictures addressed by index, drawn with their alpha
// channel as the mask. Copies share the pictures, so handing a list to a
// widget by value is cheap and leaves no pointer to dangle.

#include <QImage>
#include <QList>

class QPainter;

namespace app {

class TImageList {
public:
    TImageList() = default;
    TImageList(int width, int height) : width_(width), height_(height) {}

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Count() const { return static_cast<int>(images_.size()); }

    // A picture of another size is scaled to the list's size.
    void Add(const QImage& image);
    // A null image when index is outside the list.
    QImage Image(int index) const;
    // Draws picture index with its top-left at (x, y); false (nothing drawn)
    // when index is outside the list.
    bool Draw(QPainter& painter, int x, int y, int index) const;

private:
    int width_ = 16;
    int height_ = 16;
    QList<QImage> images_;
};

}  // namespace app
