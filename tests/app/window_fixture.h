// A main window under the offscreen platform with its dialogs answered by
// RecordingUiServices, scratch files in a temporary folder, and the steps the
// window tests share: write a backup, run a recovery to its end, wait.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "app/main_frame.h"
#include "app/recovery_flow.h"
#include "tests/app/recording_ui_services.h"
#include "tools/backup_writer.h"
#include "tools/sink.h"
#include "widgets/document.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        FrameOptions options;
        options.logPath = logPath();
        options.startFolder = dir_.path();
        frame_ = std::make_unique<MainFrame>(ui_, options);
        if (showFrame_) {
            frame_->resize(1024, 700);
            frame_->show();
        }
    }

    std::filesystem::path logPath() const { return dir_.filePath(QStringLiteral("OrmBkf.log")).toStdU16String(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    RecoveryView& view() { return *frame_->view(); }

    // A backup of one set "Daily" holding `files` files file0.txt, file1.txt, ...
    // in Data\Sub, each of size(i) random bytes (seed i), then whatever `more`
    // writes. Returns its path.
    QString writeBackup(
        const QString& name, int files, const std::function<std::uint64_t(int)>& size = [](int) { return 3000; },
        const std::function<void(tools::BackupWriter&)>& more = {}) {
        const QString path = file(name);
        tools::FileSink sink(path.toStdU16String());
        tools::BackupWriter w(sink);
        w.beginSet({.name = u"Daily"});
        w.directory({.name = tools::folderName(u"Data/Sub")});
        for (int i = 0; i < files; ++i) {
            tools::FileItem f;
            f.name = u"file" + QString::number(i).toStdU16String() + u".txt";
            f.content = tools::Content::random(size(i), static_cast<std::uint64_t>(i));
            w.file(f);
        }
        if (more) more(w);
        w.finish();
        sink.close();
        manifest_ = w.manifest();
        return path;
    }

    // Runs the event loop until `running` turns false (at most 20 s).
    void waitWhile(const std::function<bool()>& running, int limitMs = 20000) {
        QElapsedTimer clock;
        clock.start();
        while (running() && clock.elapsed() < limitMs) QApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_FALSE(running()) << "did not end";
    }

    // Types `path`, presses Next and waits until the scan has ended.
    void recover(const QString& path) {
        view().setBackupFilePath(path);
        view().onRecover();
        waitWhile([this] { return frame_->recoveryFlow().scanRunning(); });
    }

    bool visible(const char* name) {
        auto* w = view().findChild<QWidget*>(QLatin1String(name));
        return w && w->isVisibleTo(&view());
    }

    bool showFrame_ = true;  // set false in a constructor for a frame never shown
    QTemporaryDir dir_;
    RecordingUiServices ui_;
    std::unique_ptr<MainFrame> frame_;
    tools::Manifest manifest_;  // of the last backup written
};

}  // namespace bkf::gui
