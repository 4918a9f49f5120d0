// A file named on the program's command line, as a file manager passes one: a
// backup fills the path field, a recovery snapshot is loaded as File > Load
// Recovery Snapshot loads one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "app/ormilo_app.h"
#include "app/snapshot_flow.h"
#include "tests/app/qt_printers.h"
#include "tests/app/recording_ui_services.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {
namespace {

// A snapshot of two rows of the sample backup: UTF-16LE, CR LF.
void writeSnapshot(const QString& path) {
    const QString backup = QDir::toNativeSeparators(QStringLiteral(BKF_SAMPLES_DIR "/sample.bkf"));
    const QString text = QStringLiteral("<") + backup + QStringLiteral(">\r\n<2>\r\n") +
                         QStringLiteral("<BKF\\BACKUP SET 1(A)\\x.txt><1><2><3><4><5><6><7><8>\r\n") +
                         QStringLiteral("<BKF\\BACKUP SET 1(A)\\y.txt><1><2><3><4><5><6><7><8>\r\n");
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

TEST(CommandLineFile, ASnapshotByItsNameOrContentIsLoadedAnythingElseIsABackup) {
    QTemporaryDir dir;
    writeSnapshot(dir.filePath(QStringLiteral("kept as text.txt")));
    QFile::copy(QStringLiteral(BKF_SAMPLES_DIR "/sample.bkf"), dir.filePath(QStringLiteral("Monday.bkf")));
    struct Case {
        QString name;
        bool snapshot;
    };
    for (const Case& c : std::vector<Case>{{QStringLiteral("daily.ORMBKF"), true},  // not there: by its name
                                           {QStringLiteral("daily.ormbkf"), true},
                                           {QStringLiteral("kept as text.txt"), true},  // by its content
                                           {QStringLiteral("Monday.bkf"), false},
                                           {QStringLiteral("missing.bkf"), false},
                                           {QStringLiteral("."), false}}) {
        StartOptions options;
        takeFileArgument(options, dir.filePath(c.name));
        const QString expected = QDir::toNativeSeparators(QDir::cleanPath(dir.filePath(c.name)));
        EXPECT_EQ(c.snapshot ? options.snapshotPath : options.backupPath, expected) << c.name.toStdString();
        EXPECT_TRUE(c.snapshot ? options.backupPath.isEmpty() : options.snapshotPath.isEmpty()) << c.name.toStdString();
    }
    StartOptions relative;
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir.path());
    takeFileArgument(relative, QStringLiteral("Monday.bkf"));
    QDir::setCurrent(here);
    EXPECT_EQ(relative.backupPath, QDir::toNativeSeparators(dir.filePath(QStringLiteral("Monday.bkf"))));
}

TEST(CommandLineFile, ASnapshotNamedAtTheStartIsLoadedWithoutAskingForIt) {
    QTemporaryDir dir;
    const QString snapshot = dir.filePath(QStringLiteral("daily.ORMBKF"));
    writeSnapshot(snapshot);
    RecordingUiServices ui;
    StartOptions options;
    options.lockFolder = dir.path();
    options.frame.logPath = dir.filePath(QStringLiteral("OrmBkf.log")).toStdU16String();
    options.frame.startFolder = dir.path();
    takeFileArgument(options, snapshot);
    OrmiloApp app(ui, options);
    ASSERT_TRUE(app.initInstance());
    MainFrame& frame = *app.mainFrame();
    QElapsedTimer clock;
    clock.start();
    while (frame.snapshotFlow().busy() && clock.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(frame.snapshotFlow().busy());
    EXPECT_TRUE(ui.fileCaptions.isEmpty()) << "no file dialog";
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(frame.view()->pageNumber(), 2);
    EXPECT_EQ(frame.view()->catalogue().table().rowCount(), 2u);
    EXPECT_EQ(frame.view()->catalogue().table().checkedCount(), 2u);
    app.releaseInstance();
}

}  // namespace
}  // namespace bkf::gui
