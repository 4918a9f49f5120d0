// The check boxes of the folder tree, the folder-contents list and the
// catalogue pane, drawn from the program's own images rather than the
// style's: an empty box, a green tick, a green tick on grey (a folder that is
// partly selected), and a red arrow for the parent-folder row, which has no
// mark of its own.
#pragma once

#include <QPixmap>
#include <QStyledItemDelegate>

namespace bkf::gui {

enum CheckImage : int {
    CheckNone = 0,
    CheckEmpty = 1,
    CheckTicked = 2,
    CheckPartial = 3,
    CheckParentArrow = 4,
};

// The item-data role a model answers with a CheckImage where the image is not
// the one its Qt::CheckStateRole implies (the parent-folder row).
inline constexpr int CheckImageRole = Qt::UserRole + 1;

// The image, 13 x 13 device-independent pixels (drawn once, then shared).
const QPixmap& checkImage(CheckImage image);

// The image a model's item shows: CheckImageRole if given, else from the check state.
CheckImage checkImageOf(const QModelIndex& index);

class CheckBoxDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The views handle every click on a check box themselves.
    bool editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&, const QModelIndex&) override {
        return false;
    }

    // Where `index`'s check box is drawn in `view` (empty when it has none).
    static QRect checkBoxRect(const QAbstractItemView& view, const QModelIndex& index);
};

}  // namespace bkf::gui
