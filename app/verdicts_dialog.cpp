#include "app/verdicts_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/dialog_units.h"
#include "widgets/qt_text.h"

namespace bkf::gui {

QString verdictText(const EntryReport& report) {
    switch (report.result) {
        case EntryResult::Saved:
            return QString::fromLatin1(checksumVerdictText(report.checksum));
        case EntryResult::Truncated:
            return QStringLiteral("truncated");
        case EntryResult::Failed:
            return QStringLiteral("failed");
    }
    return {};
}

VerdictsDialog::VerdictsDialog(const QString& title, const QString& summary, const std::vector<EntryReport>& reports,
                               QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("VerdictsDialog"));
    setWindowTitle(title);
    setFont(dialogFont());
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(summary, this);
    text->setObjectName(QStringLiteral("verdicts-summary"));
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(text);

    QString lines;
    for (const EntryReport& r : reports) {
        lines += verdictText(r) + QLatin1Char('\t') + qstr(r.displayPath);
        if (!r.reason.empty()) lines += QStringLiteral(" (") + QString::fromStdString(r.reason) + QLatin1Char(')');
        lines += QLatin1Char('\n');
    }
    list_ = new QPlainTextEdit(lines, this);
    list_->setObjectName(QStringLiteral("verdicts-list"));
    list_->setReadOnly(true);
    list_->setLineWrapMode(QPlainTextEdit::NoWrap);
    list_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(list_, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* copy = buttons->addButton(QStringLiteral("&Copy List"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("verdicts-copy"));
    connect(copy, &QPushButton::clicked, this, &VerdictsDialog::copyList);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    resize(dluSize(360, 220));
}

QString VerdictsDialog::listText() const {
    return list_->toPlainText();
}

void VerdictsDialog::copyList() const {
    QApplication::clipboard()->setText(listText());
}

}  // namespace bkf::gui
