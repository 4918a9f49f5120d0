// Every message box, file dialog, pop-up menu, modal dialog and shell "open" of the desktop
// program goes through this interface, so that tests can answer them and
// record what was shown (QtUiServices is the real one).
#pragma once

#include <QList>
#include <QPoint>
#include <QString>
#include <QUrl>

class QDialog;
class QWidget;

namespace bkf::gui {

// The buttons and the icon of a message box.
enum class Buttons { Ok, OkCancel, YesNoCancel, YesNo };
enum class Icon { None, Stop, Question, Exclamation, Information };
struct MessageStyle {
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    bool operator==(const MessageStyle&) const = default;
};

// The pressed button.
enum class Answer { Ok, Cancel, Yes, No };

// One line of a pop-up menu: a command id and its text; id 0 is a separator.
struct MenuItem {
    int id = 0;
    QString text;
    bool operator==(const MenuItem&) const = default;
};

class UiServices {
public:
    virtual ~UiServices() = default;

    // Shows `text` (plain, or Qt rich text) with the caption "Ormilo Tarvik
    // BKF" and the buttons and icon of `style`; returns the pressed button (a
    // box closed without one gives the answer that changes nothing: Ok for
    // an Ok box, No for Yes/No, else Cancel). `owner` null: the active window owns it.
    virtual Answer messageBox(QWidget* owner, const QString& text, MessageStyle style) = 0;

    // File dialogs. `filter` is a Qt name filter ("Backup Files(*.bkf);;All Files(*.*)").
    // They return the chosen path, or an empty text on Cancel. The save
    // dialog never asks about replacing a file: its callers do.
    virtual QString openFileName(QWidget* owner, const QString& caption, const QString& filter) = 0;
    virtual QString saveFileName(QWidget* owner, const QString& caption, const QString& filter) = 0;
    // `startFolder` (may be empty) is where the folder dialog opens.
    virtual QString folderName(QWidget* owner, const QString& caption, const QString& startFolder) = 0;

    // Shows a pop-up menu at `globalPos` and returns the id of the chosen
    // command, or 0 when the menu is closed without a choice.
    virtual int popupMenu(QWidget* owner, const QPoint& globalPos, const QList<MenuItem>& items) = 0;

    // Runs a modal dialog; returns its result (QDialog::Accepted or Rejected).
    virtual int runDialog(QDialog& dialog) = 0;

    // Opens a document or web address with the system's handler.
    virtual bool openUrl(const QUrl& url) = 0;
};

// The caption of every message box.
QString messageCaption();

}  // namespace bkf::gui
