#include "app/qt_ui_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMenu>
#include <QStringList>

#include "app/app_ids.h"

namespace bkf::gui {

QString messageCaption() {
    return kProductName;
}

namespace {

QWidget* ownerOrActive(QWidget* owner) {
    return owner ? owner : QApplication::activeWindow();
}

QMessageBox::Icon boxIcon(Icon icon) {
    switch (icon) {
        case Icon::Stop:
            return QMessageBox::Critical;
        case Icon::Question:
            return QMessageBox::Question;
        case Icon::Exclamation:
            return QMessageBox::Warning;
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(Buttons buttons) {
    switch (buttons) {
        case Buttons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case Buttons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case Buttons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case Buttons::Ok:
            break;
    }
    return QMessageBox::Ok;
}

}  // namespace

std::unique_ptr<QMessageBox> createMessageBox(QWidget* owner, const QString& text, MessageStyle style) {
    auto box = std::make_unique<QMessageBox>(ownerOrActive(owner));
    box->setWindowTitle(messageCaption());
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box->setText(shown);
    box->setIcon(boxIcon(style.icon));
    box->setStandardButtons(boxButtons(style.buttons));
    return box;
}

Answer answerOf(int standardButton, MessageStyle style) {
    switch (standardButton) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        case QMessageBox::Ok:
            return Answer::Ok;
        // Closed without a button (Esc, the close box).
        default:
            return style.buttons == Buttons::Ok ? Answer::Ok
                                                : (style.buttons == Buttons::YesNo ? Answer::No : Answer::Cancel);
    }
}

Answer QtUiServices::messageBox(QWidget* owner, const QString& text, MessageStyle style) {
    const std::unique_ptr<QMessageBox> box = createMessageBox(owner, text, style);
    // The icon's system sound: Qt offers the one bell.
    if (style.icon != Icon::None) QApplication::beep();
    return answerOf(box->exec(), style);
}

QString QtUiServices::openFileName(QWidget* owner, const QString& caption, const QString& filter) {
    return QFileDialog::getOpenFileName(owner, caption, QString(), filter);
}

QString QtUiServices::saveFileName(QWidget* owner, const QString& caption, const QString& filter) {
    // The caller asks about an existing file itself, for the name it will
    // really write (an extension may still be added): the dialog does not.
    return QFileDialog::getSaveFileName(owner, caption, QString(), filter, nullptr, QFileDialog::DontConfirmOverwrite);
}

QString QtUiServices::folderName(QWidget* owner, const QString& caption, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(owner, caption, startFolder);
}

int QtUiServices::popupMenu(QWidget* owner, const QPoint& globalPos, const QList<MenuItem>& items) {
    QMenu menu(owner);
    for (const MenuItem& item : items) {
        if (item.id == 0) {
            menu.addSeparator();
            continue;
        }
        menu.addAction(item.text)->setData(item.id);
    }
    const QAction* chosen = menu.exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}

int QtUiServices::runDialog(QDialog& dialog) {
    return dialog.exec();
}

bool QtUiServices::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace bkf::gui
