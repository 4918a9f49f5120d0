#include "app/dialog_background.h"

#include <QLinearGradient>
#include <QPainter>
#include <QWidget>

namespace bkf::gui {

void paintDialogBackground(QWidget& dialog) {
    QPainter p(&dialog);
    const int band = 6;
    QLinearGradient blue(0, 0, dialog.width(), 0);
    blue.setColorAt(0, QColor(22, 58, 112));
    blue.setColorAt(1, QColor(44, 110, 190));
    p.fillRect(0, 0, dialog.width(), band, blue);
    QLinearGradient body(0, band, 0, dialog.height());
    body.setColorAt(0, QColor(255, 255, 153));
    body.setColorAt(1, QColor(255, 253, 228));
    p.fillRect(0, band, dialog.width(), dialog.height() - band, body);
}

}  // namespace bkf::gui
