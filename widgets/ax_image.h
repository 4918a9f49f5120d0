// A picture control: draws its picture at its top-left corner, clipped to its
// size (the caption band above the catalogue pane is wider than any window).
#pragma once

#include <QPixmap>
#include <QWidget>

namespace bkf::gui {

class AxImage : public QWidget {
    Q_OBJECT
public:
    explicit AxImage(QWidget* parent = nullptr);
    void setPicture(const QPixmap& picture);
    void clear() { setPicture(QPixmap()); }
    bool hasPicture() const { return !picture_.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap picture_;
};

}  // namespace bkf::gui
