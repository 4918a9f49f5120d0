#include "widgets/hover_button.h"

#include <QEnterEvent>
#include <QPainter>

namespace bkf::gui {

HoverButton::HoverButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
}

void HoverButton::setImages(const QPixmap& hover, const QPixmap& normal) {
    hover_ = hover;
    normal_ = normal;
    updateGeometry();
    update();
}

QSize HoverButton::sizeHint() const {
    return normal_.isNull() ? QSize(77, 38) : normal_.deviceIndependentSize().toSize();
}

bool HoverButton::showsHoverImage() const {
    return over_ || isDown();
}

void HoverButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap& image = showsHoverImage() ? hover_ : normal_;
    if (!image.isNull()) p.drawPixmap(0, 0, image);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void HoverButton::enterEvent(QEnterEvent* event) {
    over_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void HoverButton::leaveEvent(QEvent* event) {
    over_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

}  // namespace bkf::gui
