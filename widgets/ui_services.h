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

// Message-box style bits: buttons in the low nibble, icon in the next.
enum MessageStyle : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
};

// The answers: the standard identifiers of the pressed button.
enum DialogAnswer : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

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
    // BKF" and the buttons and icon of `style`; returns the pressed button's
    // identifier. `owner` null: the active window owns it.
    virtual int messageBox(QWidget* owner, const QString& text, unsigned style) = 0;

    // File dialogs. `filter` is in the "Text|pattern|Text|pattern||" form.
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

// "Backup Files(*.bkf)|*.bkf| All Files(*.*)|*.*||" as a Qt name filter:
// "Backup Files(*.bkf);;All Files(*.*)". A description without its pattern in
// brackets gets it appended: "Snapshot|*.ORMBKF||" -> "Snapshot (*.ORMBKF)".
QString qtNameFilter(const QString& filter);

// The caption of every message box.
QString messageCaption();

}  // namespace bkf::gui
