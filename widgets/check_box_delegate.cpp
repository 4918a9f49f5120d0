#include "widgets/check_box_delegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <array>

namespace bkf::gui {

namespace {

constexpr int kSize = 13;

QPixmap drawImage(CheckImage image) {
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(kSize, kSize) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    if (image == CheckNone) return pixmap;

    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (image == CheckParentArrow) {
        // A red arrow pointing up and to the left.
        QPen pen(QColor(204, 0, 0), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        p.drawLine(QPointF(11, 11), QPointF(3, 3));
        p.setBrush(QColor(204, 0, 0));
        p.setPen(Qt::NoPen);
        QPainterPath head;
        head.moveTo(1.5, 1.5);
        head.lineTo(8.5, 1.5);
        head.lineTo(1.5, 8.5);
        head.closeSubpath();
        p.drawPath(head);
        return pixmap;
    }
    const QRectF box(0.5, 0.5, kSize - 1, kSize - 1);
    p.setPen(QPen(QColor(28, 81, 128), 1));
    p.setBrush(image == CheckPartial ? QColor(168, 168, 168) : QColor(255, 255, 255));
    p.drawRect(box);
    if (image == CheckTicked || image == CheckPartial) {
        QPen tick(QColor(0, 150, 40), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(tick);
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(std::array<QPointF, 3>{QPointF(3, 6.5), QPointF(5.5, 9.5), QPointF(10, 3.5)}.data(), 3);
    }
    return pixmap;
}

}  // namespace

const QPixmap& checkImage(CheckImage image) {
    static const std::array<QPixmap, 5> images{drawImage(CheckNone), drawImage(CheckEmpty), drawImage(CheckTicked),
                                               drawImage(CheckPartial), drawImage(CheckParentArrow)};
    const int i = static_cast<int>(image);
    return images[static_cast<std::size_t>(i >= 0 && i < 5 ? i : 0)];
}

CheckImage checkImageOf(const QModelIndex& index) {
    const QVariant explicitImage = index.data(CheckImageRole);
    if (explicitImage.isValid()) return static_cast<CheckImage>(explicitImage.toInt());
    const QVariant state = index.data(Qt::CheckStateRole);
    if (!state.isValid()) return CheckNone;
    switch (state.value<Qt::CheckState>()) {
        case Qt::Checked:
            return CheckTicked;
        case Qt::PartiallyChecked:
            return CheckPartial;
        default:
            return CheckEmpty;
    }
}

void CheckBoxDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const CheckImage image = checkImageOf(index);
    if (image == CheckNone) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // Let the style lay the item out with its check box, then draw our image
    // where the style's box would be.
    opt.features |= QStyleOptionViewItem::HasCheckIndicator;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect box = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
    // Drawing the item without its indicator keeps the text where it was.
    QStyleOptionViewItem noBox = opt;
    noBox.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    noBox.rect = opt.rect.adjusted(box.right() + 1 - opt.rect.left() + 3, 0, 0, 0);
    if (noBox.rect.width() < 0) noBox.rect.setWidth(0);
    // The background of the whole cell first (selection, row colour).
    QStyleOptionViewItem background = opt;
    background.text.clear();
    background.icon = QIcon();
    background.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);
    style->drawControl(QStyle::CE_ItemViewItem, &noBox, painter, widget);
    const QPixmap& pixmap = checkImage(image);
    const QSize size = pixmap.deviceIndependentSize().toSize();
    painter->drawPixmap(QRect(QPoint(box.center().x() - size.width() / 2, box.center().y() - size.height() / 2), size),
                        pixmap);
}

QRect CheckBoxDelegate::checkBoxRect(const QAbstractItemView& view, const QModelIndex& index) {
    if (!index.isValid() || checkImageOf(index) == CheckNone) return {};
    QStyleOptionViewItem opt;
    opt.initFrom(&view);
    opt.rect = view.visualRect(index);
    opt.features = QStyleOptionViewItem::HasCheckIndicator;
    const QVariant decoration = index.data(Qt::DecorationRole);
    if (decoration.isValid()) {
        opt.features |= QStyleOptionViewItem::HasDecoration;
        opt.decorationSize = view.iconSize().isValid() ? view.iconSize() : QSize(16, 16);
    }
    opt.features |= QStyleOptionViewItem::HasDisplay;
    opt.text = index.data(Qt::DisplayRole).toString();
    return view.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, &view);
}

}  // namespace bkf::gui
