#include "widgets/ax_image.h"

#include <QPainter>

namespace bkf::gui {

CAxImage::CAxImage(QWidget* parent) : QWidget(parent) {}

void CAxImage::setPicture(const QPixmap& picture) {
    picture_ = picture;
    update();
}

void CAxImage::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter p(this);
    p.drawPixmap(0, 0, picture_);
}

}  // namespace bkf::gui
