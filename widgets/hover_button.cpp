#include "widgets/hover_button.h"

#include <QEnterEvent>
#include <QPainter>

namespace bkf::gui {

CHoverButton::CHoverButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
}

void CHoverButton::setImages(const QPixmap& hover, const QPixmap& normal) {
    hover_ = hover;
    normal_ = normal;
    updateGeometry();
    update();
}

QSize CHoverButton::sizeHint() const {
    return normal_.isNull() ? QSize(77, 38) : normal_.deviceIndependentSize().toSize();
}

bool CHoverButton::showsHoverImage() const {
    return over_ || isDown();
}

void CHoverButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap& image = showsHoverImage() ? hover_ : normal_;
    if (!image.isNull()) p.drawPixmap(0, 0, image);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void CHoverButton::enterEvent(QEnterEvent* event) {
    over_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CHoverButton::leaveEvent(QEvent* event) {
    over_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

}  // namespace bkf::gui
