// The window under the offscreen platform.
//
// 1. A large backup scanned: the longest gap between two ticks of a 5 ms
//    timer on the user-interface thread (how long the window could not
//    answer), the time from Next to the first rows in the catalogue pane, and
//    to the end of the scan.
// 2. A snapshot of FILES entries loaded into the window (one folder of
//    100,000 files, the rest in folders of 1,000), with its longest gap; then
//    on that catalogue: showing the big folder, checking and unchecking it,
//    sorting its list by each column, and renaming it.
// 3. Where that load's time goes on the user-interface thread: the rows
//    parsed into the catalogue and the views told, a batch at a time.
// Usage: gui_bench [FILES] [SCRATCH_FOLDER]
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include <QLineEdit>

#include "app/main_frame.h"
#include "app/recovery_flow.h"
#include "app/snapshot_flow.h"
#include "catalogue/snapshot.h"
#include "tools/backup_writer.h"
#include "tools/sink.h"
#include "widgets/catalogue_models.h"
#include "widgets/catalogue_views.h"
#include "widgets/document.h"
#include "widgets/folder_contents_model.h"
#include "widgets/recovery_view.h"
#include "widgets/rename_folder_dialog.h"
#include "widgets/ui_services.h"

using namespace bkf;

namespace {

// Answers every question with OK and shows nothing; the open dialog gives
// `openAnswer`, the rename dialog "Renamed".
class QuietUi final : public gui::UiServices {
public:
    QString openAnswer;
    gui::Answer messageBox(QWidget*, const QString&, gui::MessageStyle) override { return gui::Answer::Ok; }
    QString openFileName(QWidget*, const QString&, const QString&) override { return openAnswer; }
    QString saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString folderName(QWidget*, const QString&, const QString&) override { return {}; }
    int popupMenu(QWidget*, const QPoint&, const QList<gui::MenuItem>&) override { return 0; }
    int runDialog(QDialog& dialog) override {
        if (auto* rename = qobject_cast<gui::RenameFolderDialog*>(&dialog)) {
            rename->nameEdit()->setText(QStringLiteral("Renamed"));
            return QDialog::Accepted;
        }
        return QDialog::Rejected;
    }
    bool openUrl(const QUrl&) override { return false; }
};

// The longest gap between two ticks of a 5 ms timer while it runs.
class GapMeter {
public:
    GapMeter() {
        ticker_.setInterval(5);
        QObject::connect(&ticker_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            if (now - last_ > longest_) {
                longest_ = now - last_;
                longestAt_ = now;
            }
            last_ = now;
            if (onTick) onTick(now);
        });
    }
    void start() {
        clock_.start();
        last_ = 0;
        longest_ = 0;
        ticker_.start();
    }
    void stop() { ticker_.stop(); }
    qint64 elapsed() const { return clock_.elapsed(); }
    qint64 longest() const { return longest_; }
    qint64 longestAt() const { return longestAt_; }
    std::function<void(qint64)> onTick;

private:
    QElapsedTimer clock_;
    QTimer ticker_;
    qint64 last_ = 0, longest_ = 0, longestAt_ = 0;
};

// Runs `step` and then the event loop until nothing is pending (the views
// have painted); returns the milliseconds taken.
double timed(const std::function<void()>& step) {
    QElapsedTimer clock;
    clock.start();
    step();
    QApplication::processEvents();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void report(const char* what, double ms, double target) {
    std::printf("%-52s %8.1f ms  target < %-5.0f %s\n", what, ms, target, ms < target ? "ok" : "MISSED");
}

// A snapshot of `files` entries: Set\Big\ holds 100,000 of them directly,
// the others lie in folders of 1,000 under Set\Tree\.
void writeBenchSnapshot(const std::filesystem::path& file, std::size_t files) {
    Catalogue c;
    const std::size_t big = std::min<std::size_t>(100000, files);
    for (std::size_t i = 0; i < files; ++i) {
        std::u16string path = u"BKF\\BACKUP SET 1(Bench)\\";
        if (i < big)
            path += u"Big\\";
        else
            path += u"Tree\\d" + QString::number((i - big) / 1000).toStdU16String() + u"\\";
        path += u"file" + QString::number((i * 7919) % files).toStdU16String() + (i % 3 ? u".txt" : u".jpg");
        const auto t = static_cast<FileTime>(128000000000000000ULL + (i * 104729 % 1000003) * 10000000ULL * 3600);
        c.appendEntry(path, static_cast<std::int64_t>((i * 31) % 100000), 4096 + static_cast<std::int64_t>(i) * 1024, t,
                      t, t);
    }
    writeSnapshot(file, c.table(), u"/nowhere/bench.bkf");
}

// Where the window's time goes in a snapshot load: the calls the load makes
// on the user-interface thread, made here one after another on the same
// snapshot, in batches of the load's size, without the timer between them.
void explainLoad(gui::RecoveryView& view, const std::filesystem::path& snapshot) {
    constexpr std::size_t kBatch = 2048;  // lines a batch, as the window's load reads them
    view.onBack();
    view.document().clearCatalogue();
    view.document().open();
    Catalogue& catalogue = view.catalogue();
    SnapshotReader reader;
    if (!reader.open(snapshot).ok()) return;
    std::u16string line;
    reader.readLine(line);
    reader.readLine(line);
    std::vector<double> parse, append;
    std::vector<std::u16string> batch;
    QElapsedTimer readClock;
    double readMs = 0;
    for (bool more = true; more;) {
        readClock.start();
        batch.clear();
        while (batch.size() < kBatch && (more = reader.readLine(line))) batch.push_back(line);
        readMs += static_cast<double>(readClock.nsecsElapsed()) / 1e6;
        if (batch.empty()) break;
        QElapsedTimer parseClock;
        parseClock.start();
        for (const std::u16string& l : batch) parseSnapshotRow(l, catalogue);
        parse.push_back(static_cast<double>(parseClock.nsecsElapsed()) / 1e6);
        append.push_back(timed([&] { view.catalogueAppended(); }));
    }
    const double mark = timed([&] { catalogue.markAllAfterLoad(); });
    const double reload = timed([&] { view.reloadCatalogue(); });
    auto summary = [](const char* what, std::vector<double> ms) {
        double total = 0;
        for (double v : ms) total += v;
        std::sort(ms.begin(), ms.end());
        std::printf("  %-46s median %6.2f ms  max %6.2f ms  all %7.1f ms (%zu batches)\n", what, ms[ms.size() / 2],
                    ms.back(), total, ms.size());
    };
    std::printf("where a load's time goes on the window's thread (batches of %zu rows):\n", kBatch);
    std::printf("  %-46s %7.1f ms (a worker's work in the window)\n", "reading the lines", readMs);
    summary("parseSnapshotRow for a batch", parse);
    summary("catalogueAppended and painting after a batch", append);
    std::printf("  %-46s %7.1f ms\n", "markAllAfterLoad at the end", mark);
    std::printf("  %-46s %7.1f ms\n", "reloadCatalogue at the end", reload);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::size_t files = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const std::filesystem::path scratch = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
    const auto backup = scratch / "gui_bench.bkf";
    {
        std::printf("writing a backup of %zu files...\n", files);
        tools::FileSink sink(backup);
        tools::WriterOptions options;
        options.keepManifest = false;
        tools::BackupWriter w(sink, options);
        for (std::size_t i = 0; i < files; ++i) {
            if (i % 250000 == 0) w.beginSet({.name = u"Set"});
            if (i % 20 == 0)
                w.directory({.name = tools::folderName(u"folder" + QString::number(i / 20).toStdU16String())});
            tools::FileItem f;
            f.name = u"document" + QString::number(i).toStdU16String() + u".txt";
            f.content = tools::Content::random(64, i);
            w.file(f);
        }
        w.finish();
        sink.close();
    }

    int qargc = 1;
    char* qargv[] = {argv[0], nullptr};
    QApplication app(qargc, qargv);
    QuietUi ui;
    gui::FrameOptions options;
    options.logPath = scratch / "gui_bench.log";
    gui::MainFrame frame(ui, options);
    frame.resize(1280, 800);
    frame.show();
    QApplication::processEvents();

    qint64 firstRows = -1;
    GapMeter meter;
    meter.onTick = [&](qint64 now) {
        if (firstRows < 0 && frame.view()->catalogueModel().rowCount() > 0) firstRows = now;
    };
    frame.view()->setBackupFilePath(QString::fromStdU16String(backup.u16string()));
    meter.start();
    frame.view()->onRecover();
    while (frame.recoveryFlow().scanRunning()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    const qint64 total = meter.elapsed();
    meter.stop();
    std::printf("%-52s %8lld ms  target <= 50   %s (ending at %lld ms)\n", "scan: longest gap between two timer ticks",
                static_cast<long long>(meter.longest()), meter.longest() <= 50 ? "ok" : "MISSED",
                static_cast<long long>(meter.longestAt()));
    std::printf("%-52s %8lld ms  target <= 500  %s\n", "from Next to the first rows in the catalogue pane",
                static_cast<long long>(firstRows), firstRows >= 0 && firstRows <= 500 ? "ok" : "MISSED");
    std::printf("%-52s %8lld ms  (%d rows)\n", "from Next to the end of the scan", static_cast<long long>(total),
                frame.view()->catalogueModel().rowCount());
    std::filesystem::remove(backup);

    // ---- 2. a snapshot loaded, and the views at work on it
    frame.view()->onBack();
    const auto snapshot = scratch / "gui_bench.ORMBKF";
    std::printf("writing a snapshot of %zu entries...\n", files);
    writeBenchSnapshot(snapshot, files);
    ui.openAnswer = QString::fromStdU16String(snapshot.u16string());
    meter.start();
    frame.onLoadSnapshot();
    while (frame.snapshotFlow().busy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    const qint64 loaded = meter.elapsed();
    meter.stop();
    std::printf("%-52s %8lld ms  target < 2000  %s (%d rows)\n", "snapshot load into the window",
                static_cast<long long>(loaded), loaded < 2000 ? "ok" : "MISSED",
                frame.view()->catalogueModel().rowCount());
    std::printf("%-52s %8lld ms  target <= 50   %s\n", "load: longest gap between two timer ticks",
                static_cast<long long>(meter.longest()), meter.longest() <= 50 ? "ok" : "MISSED");

    gui::CatalogueViews& views = frame.view()->views();
    Catalogue& catalogue = frame.view()->catalogue();
    const NodeId set = catalogue.tree().firstChild(catalogue.tree().root());
    const NodeId big = catalogue.tree().findChild(set, u"Big");
    const NodeId treeNode = catalogue.tree().findChild(set, u"Tree");
    if (big == kNoNode || treeNode == kNoNode) {
        std::printf("the snapshot did not load as expected\n");
        return 1;
    }
    report("show the folder of 100,000 files", timed([&] { views.selectNode(big); }), 100);
    std::printf("  (%d rows listed)\n", views.listModel().rowCount());
    views.folderTree()->setFocus();
    report("uncheck the folder of 100,000 files (space)", timed([&] { views.treeSpace(); }), 100);
    report("check it again", timed([&] { views.treeSpace(); }), 100);
    views.folderList()->setCurrentIndex(views.listModel().index(5, 0));
    report("uncheck one file in that folder (space in the list)", timed([&] { views.listSpace(); }), 100);
    report("check it again", timed([&] { views.listSpace(); }), 100);
    const char* sortNames[] = {"sort 100,000 rows by Name", "sort 100,000 rows by Type",
                               "sort 100,000 rows by File Size", "sort 100,000 rows by Date Modified",
                               "sort 100,000 rows by Date Created"};
    for (int column = 0; column < 5; ++column)
        report(sortNames[column], timed([&] { views.listHeadingClicked(column); }), 500);
    report("reverse the sort by Date Created", timed([&] { views.listHeadingClicked(4); }), 500);
    report("rename the folder of 100,000 files", timed([&] { views.renameFolder(big); }), 100);
    report("show a folder of 1,000 files", timed([&] { views.selectNode(catalogue.tree().firstChild(treeNode)); }),
           100);
    views.selectNode(treeNode);
    report("uncheck a folder of 900,000 files below it", timed([&] { views.treeSpace(); }), 100);
    explainLoad(*frame.view(), snapshot);
    std::filesystem::remove(snapshot);
    return 0;
}
