// The main window: menus, toolbar, status bar, logo, command guards, help,
// about, live update, the bar layout and the exit sequence.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <memory>

#include "app/app_ids.h"
#include "app/main_frame.h"
#include "tests/app/qt_printers.h"
#include "tests/app/recording_ui_services.h"
#include "widgets/document.h"
#include "widgets/hover_button.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {
namespace {

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QSettings(kOrganisation, kProductName).clear();
        frame_ = makeFrame();
    }
    std::unique_ptr<MainFrame> makeFrame() {
        FrameOptions options;
        options.logPath = dir_.filePath(QStringLiteral("OrmBkf.log")).toStdU16String();
        options.startFolder = dir_.path();
        auto frame = std::make_unique<MainFrame>(ui_, options);
        frame->resize(1024, 700);
        frame->show();
        return frame;
    }
    void trigger(int id) { frame_->commandAction(id)->trigger(); }

    QTemporaryDir dir_;
    RecordingUiServices ui_;
    std::unique_ptr<MainFrame> frame_;
};

struct MenuItem {
    QString text;
    int id;  // 0: separator
};

TEST_F(MainFrameTest, MenusHoldTheirItemsWithMnemonicsAndCommandIds) {
    const std::vector<std::pair<QString, std::vector<MenuItem>>> expected = {
        {QStringLiteral("&File"),
         {{QStringLiteral("Recover..."), 61493},
          {QString(), 0},
          {QStringLiteral("Save Recovery Snapshot..."), 61494},
          {QStringLiteral("Load Recovery Snapshot..."), 61495},
          {QStringLiteral("Export to Archive..."), 32006},
          {QStringLiteral("E&xit"), 57665}}},
        {QStringLiteral("&Tools"),
         {{QStringLiteral("&Live Update"), 61496},
          {QStringLiteral("Settings..."), 61497},
          {QStringLiteral("Search Files..."), 61498},
          {QStringLiteral("Verify Files..."), 32005}}},
        {QStringLiteral("&Help"),
         {{QStringLiteral("&About Ormilo Tarvik BKF..."), 61499}, {QStringLiteral("&Help"), 61500}}},
    };
    const QList<QAction*> menus = frame_->menuBar()->actions();
    ASSERT_EQ(menus.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t m = 0; m < expected.size(); ++m) {
        QAction* menuAction = menus[static_cast<qsizetype>(m)];
        EXPECT_EQ(menuAction->text(), expected[m].first);
        ASSERT_NE(menuAction->menu(), nullptr);
        const QList<QAction*> items = menuAction->menu()->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(expected[m].second.size())) << expected[m].first.toStdString();
        for (std::size_t i = 0; i < static_cast<std::size_t>(items.size()); ++i) {
            const MenuItem& want = expected[m].second[i];
            QAction* item = items[static_cast<qsizetype>(i)];
            if (want.id == 0) {
                EXPECT_TRUE(item->isSeparator());
                continue;
            }
            EXPECT_EQ(item->text(), want.text);
            EXPECT_EQ(item->data().toInt(), want.id) << want.text.toStdString();
            EXPECT_TRUE(item->shortcut().isEmpty()) << "the program has no accelerators of its own";
        }
    }
    // Prompts shown in the status bar, as the program words them.
    EXPECT_EQ(frame_->commandAction(61494)->statusTip(), QStringLiteral("Save Recovery "));
    EXPECT_EQ(frame_->commandAction(61498)->statusTip(), QStringLiteral("Search Files.."));
    EXPECT_EQ(frame_->commandAction(61500)->toolTip(), QStringLiteral("Help.."));
}

TEST_F(MainFrameTest, ToolbarStatusBarAndLogoStrip) {
    auto* bar = frame_->findChild<QToolBar*>(QStringLiteral("Standard"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->iconSize(), QSize(42, 35));
    std::vector<int> ids;
    for (QAction* a : bar->actions()) {
        ids.push_back(a->data().toInt());
        const QList<QSize> sizes = a->icon().availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(42, 35)) && sizes.contains(QSize(16, 16))) << a->text().toStdString();
    }
    EXPECT_EQ(ids, (std::vector<int>{61493, 61494, 61495, 61498, 61496, 61500, 61499}));

    QStatusBar* status = frame_->statusBar();
    EXPECT_EQ(status->currentMessage(), QStringLiteral("Ready"));
    // A command's prompt shows while the pointer is on it, then "Ready" again.
    QStatusTipEvent tip(QStringLiteral("Recover"));
    QApplication::sendEvent(frame_.get(), &tip);
    EXPECT_EQ(status->currentMessage(), QStringLiteral("Recover"));
    QStatusTipEvent none{QString()};
    QApplication::sendEvent(frame_.get(), &none);
    EXPECT_EQ(status->currentMessage(), QStringLiteral("Ready"));
    QStringList indicators;
    for (const char* name : {"indicator-caps", "indicator-num", "indicator-scroll"}) {
        auto* label = status->findChild<QLabel*>(QLatin1String(name));
        ASSERT_NE(label, nullptr) << name;
        indicators << label->text();
    }
    EXPECT_EQ(indicators, (QStringList{"CAP", "NUM", "SCRL"}));
    EXPECT_LT(status->findChild<QLabel*>("indicator-caps")->x(), status->findChild<QLabel*>("indicator-scroll")->x());

    auto* logo = frame_->findChild<HoverButton*>(QStringLiteral("logo"));
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->toolTip(), QStringLiteral("Visit Software Homepage"));
    EXPECT_EQ(logo->cursor().shape(), Qt::PointingHandCursor);
    frame_->resize(900, 640);
    EXPECT_EQ(logo->geometry(), QRect(900 - 170, 24, 170, 56));
    logo->click();
    ASSERT_EQ(ui_.openedUrls.size(), 1u);
    EXPECT_EQ(ui_.openedUrls[0], QUrl(kHomePage));
}

// Which commands pass their guards on which page, with and without a scan.
TEST_F(MainFrameTest, CommandGuardsFollowThePageAndTheRunningScan) {
    RecoveryView* view = frame_->view();
    QSignalSpy saveSnapshot(frame_.get(), &MainFrame::saveSnapshotRequested);
    QSignalSpy loadSnapshot(frame_.get(), &MainFrame::loadSnapshotRequested);
    QSignalSpy search(frame_.get(), &MainFrame::searchRequested);
    QSignalSpy settings(frame_.get(), &MainFrame::settingsRequested);
    QSignalSpy recover(view, &RecoveryView::recoverRequested);
    QSignalSpy saveFiles(view, &RecoveryView::saveFilesRequested);

    // File-selection page: snapshot save and search do nothing at all.
    trigger(ID_SAVE_SNAPSHOT);
    trigger(ID_SEARCH_FILES);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(saveSnapshot.count() + search.count(), 0);
    trigger(ID_LOAD_SNAPSHOT);
    trigger(ID_RECOVER);
    trigger(ID_SETTINGS);
    EXPECT_EQ(loadSnapshot.count(), 1);
    EXPECT_EQ(recover.count(), 1);
    EXPECT_EQ(settings.count(), 1);
    EXPECT_EQ(saveFiles.count(), 0);

    // Results page while a scan runs.
    view->document().open();
    view->document().setActivity(Activity::Scanning);
    trigger(ID_SAVE_SNAPSHOT);
    trigger(ID_SEARCH_FILES);
    const ShownMessage stop{QStringLiteral("Please stop scanning process"),
                            MessageStyle{Buttons::Ok, Icon::Exclamation}};
    EXPECT_EQ(ui_.messages, (std::vector<ShownMessage>{stop, stop}));
    trigger(ID_LOAD_SNAPSHOT);
    trigger(ID_RECOVER);
    EXPECT_EQ(saveSnapshot.count() + search.count(), 0);
    EXPECT_EQ(loadSnapshot.count(), 1) << "no load on the results page";
    EXPECT_EQ(recover.count() + saveFiles.count(), 1) << "Recover does nothing during a scan";

    // Results page after the scan.
    view->document().setActivity(Activity::Idle);
    trigger(ID_SAVE_SNAPSHOT);
    trigger(ID_SEARCH_FILES);
    trigger(ID_RECOVER);
    EXPECT_EQ(saveSnapshot.count(), 1);
    EXPECT_EQ(search.count(), 1);
    EXPECT_EQ(saveFiles.count(), 1) << "Recover on the results page is the save";
    // The empty catalogue has nothing checked: the save says so.
    const ShownMessage select{QStringLiteral("Please select file(s) to save "),
                              MessageStyle{Buttons::Ok, Icon::Question}};
    EXPECT_EQ(ui_.messages, (std::vector<ShownMessage>{stop, stop, select}));
}

TEST_F(MainFrameTest, HelpAboutAndLiveUpdate) {
    trigger(ID_HELP);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(
        ui_.messages[0],
        (ShownMessage{QStringLiteral("The help file not found on installed location \r\n please reinstall software"),
                      MessageStyle{Buttons::Ok, Icon::Exclamation}}));
    EXPECT_TRUE(ui_.openedUrls.empty());

    const QString helpFile = dir_.filePath(QStringLiteral("OrmiloTarvikBkf.chm"));
    QFile f(helpFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    trigger(ID_HELP);
    EXPECT_EQ(ui_.messages.size(), 1u);
    ASSERT_EQ(ui_.openedUrls.size(), 1u);
    EXPECT_EQ(ui_.openedUrls[0], QUrl::fromLocalFile(helpFile));

    QString aboutText;
    ui_.onDialog = [&](QDialog& dialog) {
        if (auto* text = dialog.findChild<QLabel*>(QStringLiteral("aboutText"))) aboutText = text->text();
    };
    trigger(ID_ABOUT);
    EXPECT_EQ(ui_.dialogTitles, QStringList{QStringLiteral("About Ormilo Tarvik BKF")});
    EXPECT_TRUE(aboutText.contains(QStringLiteral("Ormilo Tarvik BKF")));
    EXPECT_TRUE(aboutText.contains(QStringLiteral("Version 8.05.01")));
    EXPECT_TRUE(aboutText.contains(QStringLiteral("Version " BKF_VERSION))) << "the build's one version";

    trigger(ID_LIVE_UPDATE);
    ASSERT_EQ(ui_.messages.size(), 2u);
    EXPECT_TRUE(ui_.messages[1].text.contains(QStringLiteral("8.05.01")));
    EXPECT_TRUE(ui_.messages[1].text.contains(QStringLiteral("package manager")));
    EXPECT_EQ(ui_.messages[1].style, (MessageStyle{Buttons::Ok, Icon::Information}));
}

TEST_F(MainFrameTest, ExitFromTheFileSelectionPageAsksOnceAndSavesTheBarLayout) {
    int exits = 0;
    int snapshotSaves = 0;
    frame_->setExitHandler([&] { ++exits; });
    frame_->setExitSnapshotSave([&] { ++snapshotSaves; });
    const ShownMessage reallyExit{QStringLiteral("Do you really want to exit?"),
                                  MessageStyle{Buttons::YesNo, Icon::Question}};

    frame_->findChild<QToolBar*>(QStringLiteral("Standard"))->hide();
    ui_.answers = {Answer::No};
    EXPECT_FALSE(frame_->close());
    EXPECT_TRUE(frame_->isVisible());
    EXPECT_EQ(exits, 0);
    EXPECT_EQ(ui_.messages, std::vector<ShownMessage>{reallyExit});
    // Declining kept the program, but the layout was saved all the same ...
    EXPECT_FALSE(QSettings(kOrganisation, kProductName).value(QStringLiteral("CommandBars2")).toByteArray().isEmpty());
    // ... and the next window comes up with it.
    {
        std::unique_ptr<MainFrame> next = makeFrame();
        EXPECT_FALSE(next->findChild<QToolBar*>(QStringLiteral("Standard"))->isVisible());
    }

    ui_.messages.clear();
    ui_.answers = {Answer::Yes};
    frame_->commandAction(ID_APP_EXIT)->trigger();
    EXPECT_EQ(ui_.messages, std::vector<ShownMessage>{reallyExit}) << "no snapshot question from page 1";
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(snapshotSaves, 0);
    EXPECT_FALSE(frame_->isVisible());
}

TEST_F(MainFrameTest, ExitFromTheResultsPageOffersTheSnapshotEvenDuringAScan) {
    int exits = 0;
    int snapshotSaves = 0;
    frame_->setExitHandler([&] { ++exits; });
    frame_->setExitSnapshotSave([&] {
        EXPECT_EQ(exits, snapshotSaves + 1) << "the snapshot is saved before the end";
        ++snapshotSaves;
    });
    frame_->view()->document().open();
    frame_->view()->document().setActivity(Activity::Scanning);
    const std::vector<ShownMessage> bothQuestions = {
        {QStringLiteral("Do you really want to exit?"), MessageStyle{Buttons::YesNo, Icon::Question}},
        {QStringLiteral("Do you want to save recovery snapshot?"), MessageStyle{Buttons::YesNo, Icon::Question}}};

    ui_.answers = {Answer::Yes, Answer::No};
    EXPECT_TRUE(frame_->close());
    EXPECT_EQ(ui_.messages, bothQuestions);
    EXPECT_EQ(snapshotSaves, 0);
    EXPECT_EQ(exits, 1);

    frame_->show();
    ui_.messages.clear();
    ui_.answers = {Answer::Yes, Answer::Yes};
    EXPECT_TRUE(frame_->close());
    EXPECT_EQ(ui_.messages, bothQuestions);
    EXPECT_EQ(snapshotSaves, 1);
    EXPECT_EQ(exits, 2);
}

}  // namespace
}  // namespace bkf::gui
