#include "app/about_dialog.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

#include "app/app_ids.h"
#include "widgets/resources_init.h"
#include "widgets/view_ids.h"

namespace bkf::gui {

// Dialog units of the classic layout (240 x 206) at 1.5 x 1.625 pixels each.
AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    initResources();
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(QStringLiteral("About Ormilo Tarvik BKF"));
    setFixedSize(360, 335);

    auto* text = new QLabel(this);
    setControlId(text, 1008, QStringLiteral("aboutText"));
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);
    text->setText(kProductName + QStringLiteral("\nVersion ") + kProductVersion +
                  QStringLiteral("\n\nRecovers the files held in Windows backup files (.bkf)\n\n"
                                 "\u00A9 Ormilo Works"));
    text->setGeometry(42, 156, 270, 125);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    setControlId(ok, 1, QStringLiteral("ok"));
    ok->setDefault(true);
    ok->setGeometry(141, 296, 75, 23);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutDialog::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(22, 58, 112));
    g.setColorAt(0.38, QColor(44, 110, 190));
    g.setColorAt(0.381, QColor(255, 255, 153));
    g.setColorAt(1, QColor(255, 250, 220));
    p.fillRect(rect(), g);
    const QPixmap logo(QStringLiteral(":/images/logo.png"));
    p.drawPixmap((width() - logo.width()) / 2, 20, logo);
    const QPixmap icon(QStringLiteral(":/images/app_48.png"));
    p.drawPixmap((width() - icon.width()) / 2, 86, icon);
}

}  // namespace bkf::gui
