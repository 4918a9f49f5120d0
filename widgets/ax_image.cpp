#include "widgets/ax_image.h"

#include <QPainter>

namespace bkf::gui {

AxImage::AxImage(QWidget* parent) : QWidget(parent) {}

void AxImage::setPicture(const QPixmap& picture) {
    picture_ = picture;
    update();
}

void AxImage::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter p(this);
    p.drawPixmap(0, 0, picture_);
}

}  // namespace bkf::gui
