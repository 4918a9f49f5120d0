// The real UI services: QMessageBox, QFileDialog, QDialog::exec and
// QDesktopServices.
#pragma once

#include <QMessageBox>
#include <memory>

#include "widgets/ui_services.h"

namespace bkf::gui {

// The message box `messageBox` shows for a style, not yet shown.
std::unique_ptr<QMessageBox> createMessageBox(QWidget* owner, const QString& text, MessageStyle style);
// The answer of a pressed button (of none, when the box was closed).
Answer answerOf(int standardButton, MessageStyle style);

class QtUiServices final : public UiServices {
public:
    Answer messageBox(QWidget* owner, const QString& text, MessageStyle style) override;
    QString openFileName(QWidget* owner, const QString& caption, const QString& filter) override;
    QString saveFileName(QWidget* owner, const QString& caption, const QString& filter) override;
    QString folderName(QWidget* owner, const QString& caption, const QString& startFolder) override;
    int popupMenu(QWidget* owner, const QPoint& globalPos, const QList<MenuItem>& items) override;
    int runDialog(QDialog& dialog) override;
    bool openUrl(const QUrl& url) override;
};

}  // namespace bkf::gui
