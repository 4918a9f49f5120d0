// The files a save or a check could not vouch for (or, after Verify Files,
// every file checked), each with its verdict, as text the user can copy:
// a summary line above, one "verdict<TAB>path" line per file below.
#pragma once

#include <QDialog>
#include <vector>

#include "save/extract.h"

class QLabel;
class QPlainTextEdit;

namespace bkf::gui {

class VerdictsDialog : public QDialog {
    Q_OBJECT
public:
    VerdictsDialog(const QString& title, const QString& summary, const std::vector<bkf::EntryReport>& reports,
                   QWidget* parent = nullptr);
    // The list as shown (and copied).
    QString listText() const;
    void copyList() const;

private:
    QPlainTextEdit* list_ = nullptr;
};

// "verified", "checksum mismatch", "no checksum", "truncated" or "failed".
QString verdictText(const bkf::EntryReport& report);

}  // namespace bkf::gui
