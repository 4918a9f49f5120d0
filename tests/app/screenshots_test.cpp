// Pictures of the window and its dialogs, written to <build>/screenshots so
// the program can be looked at without a display; the test also checks that
// what was drawn has the window's size and the view's background.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include "app/about_dialog.h"
#include "app/app_ids.h"
#include "app/folder_setting_dialog.h"
#include "app/main_frame.h"
#include "app/ormilo_app.h"
#include "app/qt_ui_services.h"
#include "app/save_flow.h"
#include "app/search_dialog.h"
#include "engine/scan.h"
#include "tests/app/qt_printers.h"
#include "tests/app/recording_ui_services.h"
#include "tests/app/window_fixture.h"
#include "widgets/catalogue_models.h"
#include "widgets/catalogue_views.h"
#include "widgets/check_box_delegate.h"
#include "widgets/dialog_units.h"
#include "widgets/document.h"
#include "widgets/folder_contents_model.h"
#include "widgets/qt_text.h"
#include "widgets/recovery_view.h"
#include "widgets/rename_folder_dialog.h"

namespace bkf::gui {
namespace {

QString shotPath(const QString& name) {
    QDir().mkpath(QStringLiteral(BKF_SCREENSHOT_DIR));
    return QStringLiteral(BKF_SCREENSHOT_DIR "/") + name + QStringLiteral(".png");
}

void fillSampleResults(RecoveryView& view) {
    view.setBackupFilePath(QStringLiteral("/srv/backups/weekly.bkf"));
    view.document().open();
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
    view.reloadCatalogue();
    // As a scan leaves the page: the texts cleared, Back and Save shown.
    view.setProgress(100);
    view.setProgressText(QString());
    view.setFoundFilesText(QString());
    view.setSearchingText(QString());
    view.showStopButton(false);
    view.showProgressBar(false);
    view.showBackButton(true);
    view.showSaveButton(true);
}

TEST(Screenshots, BothPagesAtTwoSizesAndTheDialogs) {
    QTemporaryDir dir;
    RecordingUiServices ui;
    FrameOptions options;
    options.logPath = dir.filePath(QStringLiteral("OrmBkf.log")).toStdU16String();
    options.startFolder = dir.path();
    MainFrame frame(ui, options);
    frame.setWindowTitle(kProductName);
    frame.show();

    for (const QSize size : {QSize(1280, 800), QSize(560, 700)}) {
        frame.resize(size);
        frame.view()->document().close();
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

    // While a scan runs: Stop, the progress bar and both texts.
    frame.resize(1280, 800);
    RecoveryView& v = *frame.view();
    v.showBackButton(false);
    v.showSaveButton(false);
    v.showStopButton(true);
    v.showProgressBar(true);
    v.setProgress(42);
    v.setProgressText(progressText(440401920, 1048576000));
    v.setFoundFilesText(foundFilesText(8));
    v.setSearchingText(kSearchingText);
    QApplication::processEvents();
    EXPECT_TRUE(frame.grab().toImage().save(shotPath(QStringLiteral("page2-scanning-1280x800"))));
    v.setSearchingText(QString());
    v.setProgress(100);
    v.setProgressText(QString());
    v.setFoundFilesText(QString());
    v.showStopButton(false);
    v.showProgressBar(false);
    v.showBackButton(true);
    v.showSaveButton(true);

    // The results page at work: a folder shown in the list, some files
    // unchecked (a partial folder, default-coloured rows), the list sorted.
    frame.resize(1280, 800);
    CatalogueViews& views = frame.view()->views();
    bkf::Catalogue& c = frame.view()->catalogue();
    const NodeId set1 = c.tree().firstChild(c.tree().root());
    const NodeId documents = c.tree().firstChild(set1);
    views.selectNode(documents);
    c.markEntry(1, false);
    const NodeId music = c.tree().findChild(set1, u"Music");
    c.setFolderMark(music, false);
    c.refreshAncestorMarks(music);
    views.marksChanged();
    EXPECT_EQ(c.tree().mark(documents), FolderMark::Partial);
    EXPECT_EQ(c.tree().mark(set1), FolderMark::Partial);
    views.listHeadingClicked(0);
    views.folderList()->setCurrentIndex(views.listModel().index(2, 0));
    QApplication::processEvents();
    const QImage working = frame.grab().toImage();
    EXPECT_TRUE(working.save(shotPath(QStringLiteral("page2-working-1280x800"))));
    // The parent-folder row is drawn on its green in the list.
    const QRect parentRow = views.folderList()->visualRect(views.listModel().index(0, 1));
    const QPoint inParentRow = views.folderList()->viewport()->mapTo(&frame, parentRow.center() + QPoint(30, 0));
    EXPECT_EQ(QColor(working.pixel(inParentRow)), QColor(220, 242, 226));
    // The partial folder's box is grey inside.
    const QRect box = CheckBoxDelegate::checkBoxRect(*views.folderTree(), views.treeModel().indexOf(documents));
    const QPoint inBox = views.folderTree()->viewport()->mapTo(&frame, QPoint(box.left() + 3, box.top() + 2));
    EXPECT_EQ(QColor(working.pixel(inBox)), QColor(168, 168, 168));

    // The four check-box images, four times their size.
    QImage checks(4 * 13 * 4 + 3 * 8, 13 * 4, QImage::Format_ARGB32);
    checks.fill(Qt::white);
    {
        QPainter p(&checks);
        for (int i = 1; i <= 4; ++i)
            p.drawPixmap(QRect((i - 1) * (13 * 4 + 8), 0, 13 * 4, 13 * 4), checkImage(static_cast<CheckImage>(i)));
    }
    EXPECT_TRUE(checks.save(shotPath(QStringLiteral("check-images"))));

    const auto dialogShot = [](QDialog& dialog, const char* name, QSize expected) {
        dialog.show();
        QApplication::processEvents();
        const QImage shot = dialog.grab().toImage();
        EXPECT_EQ(shot.size(), expected) << name;
        EXPECT_TRUE(shot.save(shotPath(QLatin1String(name))));
        dialog.hide();
    };
    {
        FolderSettingDialog settings(frame, ui);
        dialogShot(settings, "dialog-folder-setting", dluSize(244, 106));
    }
    {
        RenameFolderDialog rename(&frame);
        rename.nameEdit()->setText(QStringLiteral("Old Documents"));
        dialogShot(rename, "dialog-rename-folder", dluSize(214, 65));
    }
    {
        SearchDialog search(c, ui, &frame);
        search.show();
        search.onSearch();
        QElapsedTimer clock;
        clock.start();
        while (search.searching() && clock.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_FALSE(search.searching());
        dialogShot(search, "dialog-search-files", dluSize(422, 201));
    }
    {
        SavingDialog saving(&frame);
        saving.setCurrentFile(QStringLiteral("BKF\\Set 1 (C:)\\Documents\\budget.xls"));
        saving.setBytes(6 * 1024 * 1024, 10 * 1024 * 1024);
        dialogShot(saving, "dialog-saving-files", dluSize(321, 164));
    }

    AboutDialog about(&frame);
    about.show();
    QApplication::processEvents();
    const QImage aboutShot = about.grab().toImage();
    EXPECT_EQ(aboutShot.size(), QSize(360, 335));
    EXPECT_TRUE(aboutShot.save(shotPath(QStringLiteral("dialog-about"))));
    about.hide();

    const struct {
        const char* name;
        QString text;
        MessageStyle style;
    } boxes[] = {
        {"message-exit", kReallyExitText, MessageStyle{Buttons::YesNo, Icon::Question}},
        {"message-another-instance", kAnotherInstanceText, MessageStyle{Buttons::Ok, Icon::Exclamation}},
        {"message-help-missing", kHelpMissingText, MessageStyle{Buttons::Ok, Icon::Exclamation}},
    };
    for (const auto& b : boxes) {
        const auto box = createMessageBox(nullptr, b.text, b.style);
        box->show();
        QApplication::processEvents();
        EXPECT_TRUE(box->grab().toImage().save(shotPath(QLatin1String(b.name))));
        box->hide();
    }
}

class ScreenshotsOfTheWindow : public WindowTest {
protected:
    ScreenshotsOfTheWindow() { showFrame_ = false; }
};

// The results page as a real scan of the bundled sample leaves it: no Stop,
// no progress bar, and names in Japanese and Russian legible in the pane.
TEST_F(ScreenshotsOfTheWindow, TheResultsPageAfterAScanOfTheSample) {
    const QString sample = file(QStringLiteral("sample.bkf"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(BKF_SAMPLES_DIR "/sample.bkf"), sample));
    frame_->setWindowTitle(kProductName);
    frame_->resize(1280, 800);
    frame_->show();
    recover(sample);
    ASSERT_EQ(view().pageNumber(), 2);
    QApplication::processEvents();
    EXPECT_FALSE(visible("progressBar"));
    EXPECT_FALSE(visible("stop"));
    EXPECT_TRUE(visible("save"));
    const QImage shot = frame_->grab().toImage();
    EXPECT_TRUE(shot.save(shotPath(QStringLiteral("page2-after-scan-1280x800"))));

    CataloguePaneView& pane = *view().views().cataloguePane();
    const QString japanese = QStringLiteral("BKF\\BACKUP SET 2(Weekly (full))\\Fotos\\\u65E5\u672C\u8A9E.txt");
    const QModelIndexList hits = view().views().paneModel().match(view().views().paneModel().index(0, 0),
                                                                  Qt::DisplayRole, japanese, 1, Qt::MatchExactly);
    ASSERT_EQ(hits.size(), 1);
    EXPECT_TRUE(pane.viewport()->rect().intersects(pane.visualRect(hits.front()))) << "the row is on screen";
    // Drawn in the pane's font, different ideographs give different pictures:
    // a font without them would draw the same empty box for each.
    const auto drawn = [&pane](const QString& text) {
        QImage image(48, 24, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setFont(pane.font());
        p.setPen(Qt::black);
        p.drawText(image.rect(), Qt::AlignCenter, text);
        return image;
    };
    for (const QString& pair :
         {QStringLiteral("\u65E5\u672C"), QStringLiteral("\u672C\u8A9E"), QStringLiteral("\u041E\u0442")})
        EXPECT_NE(drawn(pair.left(1)), drawn(pair.mid(1))) << pair.toStdString();
}

// The first start of a new user, un-maximized: the window where it stands on the screen.
TEST(Screenshots, TheFirstStartUnMaximized) {
    {
        QSettings settings(kOrganisation, kProductName);
        settings.remove(QStringLiteral("Window"));
    }
    QTemporaryDir dir;
    RecordingUiServices ui;
    StartOptions options;
    options.lockFolder = dir.path();
    options.frame.logPath = dir.filePath(QStringLiteral("OrmBkf.log")).toStdU16String();
    options.frame.startFolder = dir.path();
    OrmiloApp app(ui, options);
    ASSERT_TRUE(app.initInstance());
    MainFrame& frame = *app.mainFrame();
    frame.showNormal();
    QScreen& screen = *QGuiApplication::primaryScreen();
    const QRect expected = defaultNormalGeometry(screen.availableGeometry());
    QElapsedTimer clock;
    clock.start();
    while (frame.geometry() != expected && clock.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(frame.geometry(), expected);

    QImage desktop(screen.geometry().size(), QImage::Format_RGB32);
    desktop.fill(QColor(58, 110, 165));
    {
        QPainter p(&desktop);
        p.drawImage(frame.geometry().topLeft() - screen.geometry().topLeft(), frame.grab().toImage());
    }
    EXPECT_TRUE(desktop.save(shotPath(QStringLiteral("first-start-normal"))));
    app.releaseInstance();
    QSettings(kOrganisation, kProductName).remove(QStringLiteral("Window"));
}

}  // namespace
}  // namespace bkf::gui
