// An image button: one picture while the mouse is over it or it is pressed,
// another at all other times. Its size is the normal picture's unless set.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace bkf::gui {

class HoverButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit HoverButton(QWidget* parent = nullptr);

    void setImages(const QPixmap& hover, const QPixmap& normal);
    QSize sizeHint() const override;
    // Whether the hover picture is the one drawn now.
    bool showsHoverImage() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap hover_;
    QPixmap normal_;
    bool over_ = false;
};

}  // namespace bkf::gui
