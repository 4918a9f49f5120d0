// Runs the desktop program's tests in one QApplication on the offscreen
// platform, with settings and runtime files in a scratch folder.
//
// `bkfgui_tests --hold-lock PATH` takes the lock file PATH and dies without
// releasing it: the start-up tests use it to leave a crashed instance's lock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--hold-lock") == 0) {
        QLockFile lock(QString::fromLocal8Bit(argv[2]));
        std::_Exit(lock.tryLock(0) ? 0 : 1);
    }

    QTemporaryDir scratch;
    if (!scratch.isValid()) return 2;
    const QString config = scratch.filePath(QStringLiteral("config"));
    const QString runtime = scratch.filePath(QStringLiteral("run"));
    QDir().mkpath(config);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());

    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
