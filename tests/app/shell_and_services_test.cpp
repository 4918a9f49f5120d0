// The Qt answers to the catalogue's shell questions, and the message boxes
// and file filters of the real UI services.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/qt_ui_services.h"
#include "tests/app/qt_printers.h"
#include "widgets/qt_shell_lookup.h"

namespace bkf::gui {
namespace {

QString typeNameOf(QtShellLookup& shell, std::u16string_view name) {
    const std::u16string_view t = shell.shellTypeName(name);
    return QString::fromUtf16(t.data(), static_cast<qsizetype>(t.size()));
}

TEST(QtShellLookup, TypeAndIconComeFromTheExtensionOfTheLastComponent) {
    QtShellLookup shell;
    const QMimeDatabase db;
    struct Case {
        std::u16string_view name;
        const char* mime;
        int icon;
    };
    const Case cases[] = {
        {u"BKF\\Set\\docs.v2\\report.txt", "text/plain", IconText},
        {u"photo.JPG", "image/jpeg", IconImage},
        {u"song.mp3", "audio/mpeg", IconAudio},
        {u"clip.avi", "video/x-msvideo", IconVideo},
        {u"BKF\\Set\\bundle.zip", "application/zip", IconArchive},
        {u"paper.pdf", "application/pdf", IconDocument},
        {u"setup.exe", "application/x-ms-dos-executable", IconProgram},
    };
    for (const Case& c : cases) {
        const QString name = QString::fromUtf16(c.name.data(), static_cast<qsizetype>(c.name.size()));
        EXPECT_EQ(shell.shellFileIcon(c.name), c.icon) << name.toStdString();
        EXPECT_EQ(typeNameOf(shell, c.name), db.mimeTypeForName(QLatin1String(c.mime)).comment()) << name.toStdString();
        EXPECT_FALSE(shellIcon(c.icon).isNull());
    }
    // No file of these names exists; nothing is looked up on disk.
    EXPECT_EQ(shell.shellFileIcon(u"BKF\\Set\\README"), IconFile);
    EXPECT_FALSE(typeNameOf(shell, u"BKF\\Set\\README").isEmpty());
    EXPECT_EQ(shell.shellFolderIcon(), IconFolder);
    EXPECT_FALSE(shellIcon(IconFolder).isNull());
    EXPECT_FALSE(shellIcon(99).isNull()) << "an unknown index shows the plain file";
    // The same extension in another case is the same type.
    EXPECT_EQ(typeNameOf(shell, u"a.TXT"), typeNameOf(shell, u"b.txt"));
}

TEST(QtUiServices, MessageBoxesFollowTheirStyleAndFiltersConvert) {
    struct Case {
        MessageStyle style;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };
    const Case cases[] = {
        {{Buttons::Ok, Icon::Exclamation}, QMessageBox::Warning, QMessageBox::Ok},
        {{Buttons::Ok, Icon::Information}, QMessageBox::Information, QMessageBox::Ok},
        {{Buttons::Ok, Icon::Question}, QMessageBox::Question, QMessageBox::Ok},
        {{Buttons::YesNo, Icon::Question}, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No},
        {{Buttons::YesNo, Icon::Exclamation}, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No},
        {{Buttons::OkCancel, Icon::Information}, QMessageBox::Information, QMessageBox::Ok | QMessageBox::Cancel},
    };
    for (const Case& c : cases) {
        const auto box = createMessageBox(nullptr, QStringLiteral("line one \r\n line two"), c.style);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Ormilo Tarvik BKF"));
        EXPECT_EQ(box->icon(), c.icon);
        EXPECT_EQ(box->standardButtons(), c.buttons);
        EXPECT_EQ(box->text(), QStringLiteral("line one \n line two"));
    }
    const MessageStyle yesNo{Buttons::YesNo, Icon::Question};
    EXPECT_EQ(answerOf(QMessageBox::Yes, yesNo), Answer::Yes);
    EXPECT_EQ(answerOf(QMessageBox::No, yesNo), Answer::No);
    EXPECT_EQ(answerOf(QMessageBox::Ok, {Buttons::Ok, Icon::Exclamation}), Answer::Ok);
    EXPECT_EQ(answerOf(QMessageBox::NoButton, yesNo), Answer::No) << "closing a Yes/No box is No";
    EXPECT_EQ(answerOf(QMessageBox::NoButton, {Buttons::OkCancel, Icon::None}), Answer::Cancel);
}

TEST(QtUiServices, TheSaveDialogLeavesTheReplaceQuestionToItsCaller) {
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("run.ORMBKF"));
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QtUiServices ui;
    QWidget owner;
    owner.show();
    // Any question the dialog asks on its own is recorded and answered Yes.
    QStringList questions;
    QTimer boxes;
    boxes.setInterval(20);
    QObject::connect(&boxes, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        questions << box->text();
        if (QAbstractButton* yes = box->button(QMessageBox::Yes))
            yes->click();
        else
            box->accept();
    });
    boxes.start();
    // The real dialog, once it is up: the name of an existing file is typed
    // and accepted. Should the dialog stay up, it is cancelled after five
    // seconds, so that the test fails instead of hanging.
    QTimer chooser;
    chooser.setInterval(20);
    int ticks = 0;
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!name) return;
        if (++ticks > 250) {
            dialog->reject();
            return;
        }
        name->setText(existing);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, as the Save button does
    });
    chooser.start();
    EXPECT_EQ(ui.saveFileName(&owner, QString(), QStringLiteral("Tarvik SnapShot File(.ORMBKF) (*.ORMBKF)")), existing);
    EXPECT_TRUE(questions.isEmpty()) << questions.join(QLatin1Char(' ')).toStdString();
}

TEST(QtUiServices, APopupMenuGivesTheChosenCommandOrZero) {
    QtUiServices ui;
    QWidget owner;
    owner.show();
    const QList<MenuItem> items{
        {32003, QStringLiteral("Save Files")}, {32004, QStringLiteral("Rename Folder")}, {0, {}}};
    QStringList shown;
    // Picks the second command of the menu once it is up.
    QTimer::singleShot(50, [&] {
        auto* menu = owner.findChild<QMenu*>();
        if (!menu) return;  // the menu stays up; the test times out below
        for (QAction* a : menu->actions()) shown << (a->isSeparator() ? QStringLiteral("-") : a->text());
        menu->setActiveAction(menu->actions().at(1));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    EXPECT_EQ(ui.popupMenu(&owner, owner.mapToGlobal(QPoint(5, 5)), items), 32004);
    EXPECT_EQ(shown, (QStringList{"Save Files", "Rename Folder", "-"}));
    // Closed without a choice.
    QTimer::singleShot(50, [&] {
        if (auto* menu = owner.findChild<QMenu*>()) menu->close();
    });
    EXPECT_EQ(ui.popupMenu(&owner, owner.mapToGlobal(QPoint(5, 5)), items), 0);
}

}  // namespace
}  // namespace bkf::gui
