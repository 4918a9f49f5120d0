// Pictures of the window and its dialogs, written to <build>/screenshots so
// the program can be looked at without a display; the test also checks that
// what was drawn has the window's size and the view's background.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>

#include "app/about_dialog.h"
#include "app/app_ids.h"
#include "app/main_frame.h"
#include "app/qt_ui_services.h"
#include "engine/scan.h"
#include "tests/app/qt_printers.h"
#include "tests/app/recording_ui_services.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {
namespace {

QString shotPath(const QString& name) {
    QDir().mkpath(QStringLiteral(BKF_SCREENSHOT_DIR));
    return QStringLiteral(BKF_SCREENSHOT_DIR "/") + name + QStringLiteral(".png");
}

QString fromU16(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

void fillSampleResults(CRecoveryView& view) {
    view.setBackupFilePath(QStringLiteral("/srv/backups/weekly.bkf"));
    view.showResultsPage();
    bkf::Catalogue& c = view.catalogue();
    const std::u16string_view paths[] = {
        u"BKF\\Set 1 (C:)\\Documents\\report.txt", u"BKF\\Set 1 (C:)\\Documents\\budget.xls",
        u"BKF\\Set 1 (C:)\\Documents\\letter.pdf", u"BKF\\Set 1 (C:)\\Pictures\\holiday.jpg",
        u"BKF\\Set 1 (C:)\\Music\\song.mp3",       u"BKF\\Set 1 (C:)\\Tools\\setup.exe",
        u"BKF\\Set 2 (D:)\\Archive\\old.zip",      u"BKF\\Set 2 (D:)\\notes",
    };
    std::int64_t size = 1234;
    for (std::u16string_view p : paths) {
        c.appendEntry(p, size, 8192, 0x01c8a1b2c3d4e5f6, 0x01c8a1b2c3d4e5f6, 0x01c8a1b2c3d4e5f6);
        c.addFolderPath(p);
        size = size * 7 + 11;
    }
    c.markAllAfterLoad();
    view.catalogueAppended();
    view.setProgress(100);
    view.setProgressText(fromU16(bkf::progressText(1048576, 1048576)));
    view.setFoundFilesText(fromU16(bkf::foundFilesText(8)));
    view.setSearchingText(QString());
    view.showStopButton(false);
    view.showBackButton(true);
    view.showSaveButton(true);
}

TEST(Screenshots, BothPagesAtTwoSizesAndTheDialogs) {
    QTemporaryDir dir;
    RecordingUiServices ui;
    FrameOptions options;
    options.logPath = dir.filePath(QStringLiteral("OrmBkf.log")).toStdU16String();
    options.startFolder = dir.path();
    CMainFrame frame(ui, options);
    frame.setWindowTitle(kProductName);
    frame.show();

    for (const QSize size : {QSize(1280, 800), QSize(560, 700)}) {
        frame.resize(size);
        frame.view()->showSelectionPage();
        QApplication::processEvents();
        const QString tag = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        const QImage page1 = frame.grab().toImage();
        EXPECT_EQ(page1.size(), size);
        const QPoint inView = frame.view()->mapTo(&frame, QPoint(4, 4));
        EXPECT_EQ(QColor(page1.pixel(inView)), QColor(255, 255, 153));
        EXPECT_TRUE(page1.save(shotPath(QStringLiteral("page1-") + tag)));

        fillSampleResults(*frame.view());
        QApplication::processEvents();
        const QImage page2 = frame.grab().toImage();
        EXPECT_EQ(page2.size(), size);
        EXPECT_NE(page2, page1);
        EXPECT_TRUE(page2.save(shotPath(QStringLiteral("page2-") + tag)));
    }

    CAboutDlg about(&frame);
    about.show();
    QApplication::processEvents();
    const QImage aboutShot = about.grab().toImage();
    EXPECT_EQ(aboutShot.size(), QSize(360, 335));
    EXPECT_TRUE(aboutShot.save(shotPath(QStringLiteral("dialog-about"))));
    about.hide();

    const struct {
        const char* name;
        QString text;
        unsigned style;
    } boxes[] = {
        {"message-exit", kReallyExitText, MB_YESNO | MB_ICONQUESTION},
        {"message-another-instance", kAnotherInstanceText, MB_OK | MB_ICONEXCLAMATION},
        {"message-help-missing", kHelpMissingText, MB_OK | MB_ICONEXCLAMATION},
    };
    for (const auto& b : boxes) {
        const auto box = createMessageBox(nullptr, b.text, b.style);
        box->show();
        QApplication::processEvents();
        EXPECT_TRUE(box->grab().toImage().save(shotPath(QLatin1String(b.name))));
        box->hide();
    }
}

}  // namespace
}  // namespace bkf::gui
