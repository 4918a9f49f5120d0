// Start-up: one instance per user, the main window as it first stands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include "app/app_ids.h"
#include "app/ormilo_app.h"
#include "app/single_instance.h"
#include "tests/app/qt_printers.h"
#include "tests/app/recording_ui_services.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {
namespace {

int visibleTopLevelWindows() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) ++n;
    return n;
}

// A new user's first start: no window placement kept by earlier windows.
void forgetWindowPlacement() {
    QSettings settings(kOrganisation, kProductName);
    settings.remove(QStringLiteral("Window"));
    settings.sync();
}

// Runs the event loop until the window's geometry is `expected` (at most 2 s).
QRect settledGeometry(QWidget& window, const QRect& expected) {
    QElapsedTimer clock;
    clock.start();
    while (window.geometry() != expected && clock.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return window.geometry();
}

StartOptions optionsIn(const QTemporaryDir& dir) {
    StartOptions options;
    options.lockFolder = dir.path();
    options.frame.logPath = dir.filePath(QStringLiteral("OrmBkf.log")).toStdU16String();
    options.frame.startFolder = dir.path();
    return options;
}

TEST(StartUp, FirstInstanceShowsTheMaximisedWindowAndASecondIsRefusedWithoutOne) {
    forgetWindowPlacement();
    QTemporaryDir dir;
    RecordingUiServices firstUi;
    OrmiloApp first(firstUi, optionsIn(dir));
    ASSERT_TRUE(first.initInstance());
    MainFrame* frame = first.mainFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(frame->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Ormilo Tarvik BKF"));
    EXPECT_FALSE(frame->windowIcon().isNull());
    EXPECT_EQ(frame->view()->pageNumber(), 1);
    EXPECT_TRUE(firstUi.messages.empty());
    const int windowsBefore = visibleTopLevelWindows();

    RecordingUiServices secondUi;
    OrmiloApp second(secondUi, optionsIn(dir));
    EXPECT_FALSE(second.initInstance());
    EXPECT_EQ(second.mainFrame(), nullptr);
    ASSERT_EQ(secondUi.messages.size(), 1u);
    EXPECT_EQ(secondUi.messages[0].text, QStringLiteral("Another Instance of Ormilo Tarvik BKF is running "));
    EXPECT_EQ(secondUi.messages[0].style, (MessageStyle{Buttons::Ok, Icon::Exclamation}));
    EXPECT_EQ(visibleTopLevelWindows(), windowsBefore);
    EXPECT_TRUE(frame->isVisible()) << "the running instance is not touched";

    // Once the first instance has gone, the next one starts.
    first.releaseInstance();
    RecordingUiServices thirdUi;
    OrmiloApp third(thirdUi, optionsIn(dir));
    EXPECT_TRUE(third.initInstance());
    EXPECT_TRUE(thirdUi.messages.empty());
}

TEST(StartUp, TheWindowsNormalGeometryIsMostOfTheScreenAndTheLastOneIsKept) {
    forgetWindowPlacement();
    QTemporaryDir dir;
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect chosen(available.left() + 40, available.top() + 30, 500, 400);
    RecordingUiServices ui;  // "Do you really want to exit?" is answered No: the placement is kept all the same
    {
        OrmiloApp app(ui, optionsIn(dir));
        ASSERT_TRUE(app.initInstance());
        MainFrame& frame = *app.mainFrame();
        EXPECT_TRUE(frame.isMaximized()) << "the first start";
        frame.showNormal();
        const QRect normal = settledGeometry(frame, defaultNormalGeometry(available));
        EXPECT_EQ(normal.center(), available.center());
        EXPECT_EQ(normal.width(), available.width() * 4 / 5);
        EXPECT_EQ(normal.height(), available.height() * 4 / 5);
        frame.setGeometry(chosen);
        settledGeometry(frame, chosen);
        frame.close();
        app.releaseInstance();
    }
    {
        OrmiloApp app(ui, optionsIn(dir));
        ASSERT_TRUE(app.initInstance());
        MainFrame& frame = *app.mainFrame();
        EXPECT_FALSE(frame.isMaximized()) << "left un-maximized, it starts so";
        EXPECT_EQ(settledGeometry(frame, chosen), chosen);
        frame.showMaximized();
        QApplication::processEvents();
        frame.close();
        app.releaseInstance();
    }
    {
        OrmiloApp app(ui, optionsIn(dir));
        ASSERT_TRUE(app.initInstance());
        MainFrame& frame = *app.mainFrame();
        EXPECT_TRUE(frame.isMaximized());
        frame.showNormal();
        EXPECT_EQ(settledGeometry(frame, chosen), chosen) << "the normal geometry under the maximized window";
        app.releaseInstance();
    }
    // A geometry kept on a screen that is gone gives way to the default.
    {
        QSettings settings(kOrganisation, kProductName);
        settings.setValue(QStringLiteral("Window/NormalGeometry"), QRect(available.right() + 5000, 0, 600, 400));
        settings.setValue(QStringLiteral("Window/Maximized"), false);
    }
    OrmiloApp app(ui, optionsIn(dir));
    ASSERT_TRUE(app.initInstance());
    EXPECT_EQ(settledGeometry(*app.mainFrame(), defaultNormalGeometry(available)), defaultNormalGeometry(available));
    app.releaseInstance();
    forgetWindowPlacement();
}

TEST(StartUp, ABackupNamedOnTheCommandLineFillsThePathField) {
    QTemporaryDir dir;
    RecordingUiServices ui;
    StartOptions options = optionsIn(dir);
    options.backupPath = dir.filePath(QStringLiteral("Monday.bkf"));
    OrmiloApp app(ui, options);
    ASSERT_TRUE(app.initInstance());
    EXPECT_EQ(app.mainFrame()->view()->backupFilePath(), options.backupPath);
    EXPECT_EQ(app.mainFrame()->view()->pageNumber(), 1) << "nothing starts by itself";
    app.releaseInstance();
}

TEST(StartUp, LockLeftByACrashedInstanceDoesNotBlockTheNextStart) {
    QTemporaryDir dir;
    SingleInstance probe(dir.path());
    // A separate process takes the lock and dies without giving it back.
    QProcess crashed;
    crashed.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-lock"), probe.lockPath()});
    ASSERT_TRUE(crashed.waitForFinished(30000));
    ASSERT_EQ(crashed.exitCode(), 0);
    ASSERT_TRUE(QFile::exists(probe.lockPath())) << "the dead process left its lock behind";

    EXPECT_TRUE(probe.acquire());
    SingleInstance other(dir.path());
    EXPECT_FALSE(other.acquire()) << "the lock taken over belongs to a live instance now";
}

TEST(StartUp, LockFileNameComesFromTheMutexNameAndTheUser) {
    EXPECT_EQ(instanceLockFileName(kInstanceMutexName, QStringLiteral("alice")),
              QStringLiteral("Global_{719967F0-DCC6-49b5-9C61-DE91175C3187}-alice.lock"));
    // Nothing of the user's name may lead out of the folder.
    EXPECT_EQ(instanceLockFileName(kInstanceMutexName, QStringLiteral("../x y")),
              QStringLiteral("Global_{719967F0-DCC6-49b5-9C61-DE91175C3187}-..xy.lock"));
    EXPECT_EQ(instanceLockFileName(kInstanceMutexName, QString()),
              QStringLiteral("Global_{719967F0-DCC6-49b5-9C61-DE91175C3187}.lock"));
}

TEST(StartUp, FrameDeletesTheOldLogAndStartsWithItsDefaults) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("OrmBkf.log"));
    {
        QFile f(log);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("S\0U\0C\0C\0", 8);
    }
    RecordingUiServices ui;
    FrameOptions options;
    options.logPath = log.toStdU16String();
    options.startFolder = dir.path();
    MainFrame frame(ui, options);
    EXPECT_FALSE(QFile::exists(log));
    EXPECT_EQ(frame.folderPrefix(), QStringLiteral("Rec"));
    EXPECT_FALSE(frame.generateLog());
    EXPECT_EQ(frame.startFolder(), dir.path() + QLatin1Char('/'));

    // A folder that already ends in a separator (a root) keeps exactly one.
    EXPECT_EQ(withTrailingSeparator(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(withTrailingSeparator(QStringLiteral("C:\\")), QStringLiteral("C:\\"));
    EXPECT_EQ(withTrailingSeparator(QStringLiteral("/opt/bkf")), QStringLiteral("/opt/bkf/"));
}

}  // namespace
}  // namespace bkf::gui
