// The real UI services: QMessageBox, QFileDialog, QDialog::exec and
// QDesktopServices.
#pragma once

#include <QMessageBox>
#include <memory>

#include "widgets/ui_services.h"

namespace bkf::gui {

// The message box `messageBox` shows for a style, not yet shown.
std::unique_ptr<QMessageBox> createMessageBox(QWidget* owner, const QString& text, unsigned style);
// The standard identifier of a pressed button.
int answerOf(int standardButton, unsigned style);

class QtUiServices final : public UiServices {
  public:
    int messageBox(QWidget* owner, const QString& text, unsigned style) override;
    QString openFileName(QWidget* owner, const QString& caption, const QString& filter) override;
    QString saveFileName(QWidget* owner, const QString& caption, const QString& filter) override;
    QString folderName(QWidget* owner, const QString& caption, const QString& startFolder) override;
    int popupMenu(QWidget* owner, const QPoint& globalPos, const QList<MenuItem>& items) override;
    int runDialog(QDialog& dialog) override;
    bool openUrl(const QUrl& url) override;
};

}  // namespace bkf::gui
