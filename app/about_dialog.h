// Help > About: the product name, the version and the maker, on the
// program's own background; OK closes it.
#pragma once

#include <QDialog>

namespace bkf::gui {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace bkf::gui
