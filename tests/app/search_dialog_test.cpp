// Tools > Search Files...: the Search Files dialog searching a catalogue on
// its worker thread, the result list, the count, Stop, and the refusal to
// close while a search runs.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeView>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "app/app_ids.h"
#include "app/main_frame.h"
#include "app/search_dialog.h"
#include "catalogue/catalogue.h"
#include "search/search_job.h"
#include "tests/app/qt_printers.h"
#include "tests/app/recording_ui_services.h"
#include "widgets/dialog_units.h"
#include "widgets/document.h"
#include "widgets/qt_shell_lookup.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {
namespace {

using namespace std::chrono_literals;

const QString kStopFirst = QStringLiteral("Please stop scanning process");

QString q(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

// Processes events until `done` holds or `ms` have passed.
bool waitUntil(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// `count` files in a few folders, with extensions that "*.txt" must tell
// apart: txt, TXT, txt.bak, doc and none.
void fillCatalogue(bkf::Catalogue& catalogue, int count) {
    static const char16_t* const kExt[] = {u".txt", u".TXT", u".doc", u"", u".txt.bak", u".jpg"};
    for (int i = 0; i < count; ++i) {
        std::u16string path = u"BKF\\BACKUP SET 1(Daily)\\Data\\dir";
        path += QString::number(i % 17).toStdU16String();
        path += u"\\file";
        path += QString::number(i).toStdU16String();
        path += kExt[i % 6];
        catalogue.appendEntry(path, 1000 + i * 37, 4096, 0, 0, 0);
        catalogue.addFolderPath(path);
    }
}

// Holds the search thread at the first match it reports until released, so
// that a test can act while a search is certainly running.
class GatedSearchDialog final : public SearchDialog {
public:
    GatedSearchDialog(bkf::Catalogue& catalogue, UiServices& ui) : SearchDialog(catalogue, ui) {
        searchJob().setReportInterval(0ms);  // report every match at once
    }
    ~GatedSearchDialog() override {
        release();
        searchJob().stop();
        searchJob().wait();
    }
    void release() {
        if (!released_.exchange(true)) gate_.set_value();
    }

protected:
    void searchBatch(std::vector<bkf::SearchMatch>&& matches, const bkf::SearchProgress& progress) override {
        const bool hold = progress.matchCount > 0 && !held_.exchange(true);
        SearchDialog::searchBatch(std::move(matches), progress);
        if (hold) opened_.wait_for(10s);
    }

private:
    std::promise<void> gate_;
    std::shared_future<void> opened_ = gate_.get_future().share();
    std::atomic<bool> released_{false};
    std::atomic<bool> held_{false};
};

class SearchDialogTest : public ::testing::Test {
protected:
    SearchDialogTest() : catalogue_(shell_) {}

    template <class Dialog>
    static QPushButton* button(Dialog& dialog, int id) {
        // Controls keep their ids as data.
        for (QPushButton* b : dialog.template findChildren<QPushButton*>())
            if (b->property("controlId").toInt() == id) return b;
        return nullptr;
    }
    template <class Dialog>
    static QString countText(Dialog& dialog) {
        return dialog.template findChild<QLabel*>(QStringLiteral("count"))->text();
    }
    static void search(SearchDialog& dialog, const QString& pattern) {
        dialog.findChild<QLineEdit*>(QStringLiteral("searchEdit"))->setText(pattern);
        button(dialog, SearchDialog::IDC_SEARCH)->click();
    }
    static bool waitForEnd(SearchDialog& dialog) {
        return waitUntil([&] { return !dialog.searching(); });
    }
    // The list's rows as (path, type, size) texts.
    static std::vector<std::array<QString, 3>> listed(SearchDialog& dialog) {
        const QAbstractItemModel& m = dialog.resultModel();
        std::vector<std::array<QString, 3>> rows;
        for (int r = 0; r < m.rowCount(); ++r)
            rows.push_back(
                {m.index(r, 0).data().toString(), m.index(r, 1).data().toString(), m.index(r, 2).data().toString()});
        return rows;
    }
    // The rows searchCatalogue finds, as the list should show them.
    std::vector<std::array<QString, 3>> expected(const QString& pattern) {
        const bkf::CatalogueTable& t = catalogue_.table();
        std::vector<std::array<QString, 3>> rows;
        for (bkf::RowIndex r : bkf::searchCatalogue(t, pattern.toStdU16String()))
            rows.push_back({q(t.cell(r, bkf::CatalogueColumn::Path)), q(t.cell(r, bkf::CatalogueColumn::TypeName)),
                            q(t.cell(r, bkf::CatalogueColumn::Size))});
        return rows;
    }
    static void expectIdle(SearchDialog& dialog) {
        EXPECT_TRUE(button(dialog, SearchDialog::IDC_SEARCH)->isVisible());
        EXPECT_FALSE(button(dialog, SearchDialog::IDC_STOP)->isVisible());
        EXPECT_FALSE(dialog.findChild<QProgressBar*>(QStringLiteral("progress"))->isVisible());
    }

    QtShellLookup shell_;
    bkf::Catalogue catalogue_;
    RecordingUiServices ui_;
};

TEST_F(SearchDialogTest, OpensIdleWithTheLayoutTextsAndColumns) {
    SearchDialog dialog(catalogue_, ui_);
    dialog.show();

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Search Files.."));
    EXPECT_EQ(dialog.size(), dluSize(422, 201));
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("searchEdit"))->text(), QStringLiteral("*.*"));
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("stringLabel"))->text(), QStringLiteral("Enter String : "));
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("totalLabel"))->text(), QStringLiteral("Total File Found :"));
    EXPECT_EQ(countText(dialog), QString());

    QPushButton* searchButton = button(dialog, SearchDialog::IDC_SEARCH);
    QPushButton* stop = button(dialog, SearchDialog::IDC_STOP);
    QPushButton* ok = button(dialog, SearchDialog::IDC_CLOSE);
    ASSERT_TRUE(searchButton && stop && ok);
    EXPECT_EQ(searchButton->text(), QStringLiteral("&Search"));
    EXPECT_TRUE(searchButton->isDefault());
    EXPECT_EQ(stop->text(), QStringLiteral("Stop"));
    EXPECT_EQ(stop->geometry(), searchButton->geometry()) << "Stop stands in place of Search";
    EXPECT_EQ(ok->text(), QStringLiteral("&OK"));
    expectIdle(dialog);

    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("resultList"));
    ASSERT_NE(list, nullptr);
    const QStringList titles = {QStringLiteral("File Name"), QStringLiteral("File Type"), QStringLiteral("File Size")};
    const int widths[] = {400, 200, 200};
    ASSERT_EQ(list->model()->columnCount(), 3);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
        EXPECT_EQ(list->header()->sectionSize(c), widths[c]);
    }
    // Controls in the order of the layout: label, edit, button across the top;
    // list; count line; progress; OK at the bottom.
    EXPECT_LT(dialog.findChild<QLineEdit*>(QStringLiteral("searchEdit"))->geometry().right(), searchButton->x());
    EXPECT_LT(searchButton->geometry().bottom(), list->y());
    EXPECT_LT(list->geometry().bottom(), dialog.findChild<QLabel*>(QStringLiteral("totalLabel"))->y());
    EXPECT_LT(dialog.findChild<QProgressBar*>(QStringLiteral("progress"))->geometry().bottom(), ok->y());
}

TEST_F(SearchDialogTest, ListsWhatTheCatalogueSearchFindsInTableOrderWithTypeAndSize) {
    fillCatalogue(catalogue_, 3000);
    SearchDialog dialog(catalogue_, ui_);
    dialog.show();

    search(dialog, QStringLiteral("*.txt"));
    // The button returns at once; the results arrive through the timer.
    EXPECT_TRUE(dialog.searching());
    EXPECT_FALSE(button(dialog, SearchDialog::IDC_SEARCH)->isVisible());
    EXPECT_TRUE(button(dialog, SearchDialog::IDC_STOP)->isVisible());
    EXPECT_TRUE(dialog.findChild<QProgressBar*>(QStringLiteral("progress"))->isVisible());
    ASSERT_TRUE(waitForEnd(dialog));

    const auto want = expected(QStringLiteral("*.txt"));
    ASSERT_EQ(want.size(), 500u) << "only the lower-case .txt files fit";
    EXPECT_EQ(listed(dialog), want);
    EXPECT_FALSE(want.front()[1].isEmpty());
    EXPECT_TRUE(want.front()[0].endsWith(QStringLiteral("file0.txt")));
    EXPECT_EQ(want.front()[2], QStringLiteral("1000"));
    EXPECT_EQ(countText(dialog), QStringLiteral("500"));
    const QIcon icon = dialog.resultModel().index(0, 0).data(Qt::DecorationRole).value<QIcon>();
    EXPECT_FALSE(icon.isNull());
    expectIdle(dialog);

    // A new search replaces the results.
    search(dialog, QStringLiteral("file12"));
    ASSERT_TRUE(waitForEnd(dialog));
    const auto plain = expected(QStringLiteral("file12"));
    EXPECT_EQ(plain.size(), 111u);  // file12, file120..129, file1200..1299
    EXPECT_EQ(listed(dialog), plain);
    EXPECT_EQ(countText(dialog), QStringLiteral("111"));

    search(dialog, QStringLiteral("*.pdf"));
    ASSERT_TRUE(waitForEnd(dialog));
    EXPECT_EQ(dialog.resultModel().rowCount(), 0);
    EXPECT_EQ(countText(dialog), QStringLiteral("0"));
    EXPECT_TRUE(ui_.messages.empty()) << "finding nothing shows no message";
}

TEST_F(SearchDialogTest, AnEmptyCatalogueEndsAtOnceWithZero) {
    SearchDialog dialog(catalogue_, ui_);
    dialog.show();
    search(dialog, QStringLiteral("*.*"));
    ASSERT_TRUE(waitUntil([&] { return !dialog.searching(); }, 1000));
    EXPECT_EQ(countText(dialog), QStringLiteral("0"));
    EXPECT_EQ(dialog.resultModel().rowCount(), 0);
    expectIdle(dialog);
}

TEST_F(SearchDialogTest, StopKeepsTheRowsFoundSoFar) {
    fillCatalogue(catalogue_, 3000);
    const auto all = expected(QStringLiteral("*.txt"));
    GatedSearchDialog dialog(catalogue_, ui_);
    dialog.show();

    search(dialog, QStringLiteral("*.txt"));
    ASSERT_TRUE(waitUntil([&] { return dialog.resultModel().rowCount() > 0; }));
    EXPECT_TRUE(dialog.searching());
    button(dialog, SearchDialog::IDC_STOP)->click();
    dialog.release();
    ASSERT_TRUE(waitForEnd(dialog));

    const auto found = listed(dialog);
    ASSERT_FALSE(found.empty());
    EXPECT_LT(found.size(), all.size());
    EXPECT_TRUE(std::equal(found.begin(), found.end(), all.begin())) << "a prefix of the full result";
    EXPECT_EQ(countText(dialog), QString::number(found.size()));
    EXPECT_TRUE(ui_.messages.empty()) << "Stop asks nothing";
    expectIdle(dialog);
}

TEST_F(SearchDialogTest, ClosingIsRefusedWhileSearchingAndAllowedAfter) {
    fillCatalogue(catalogue_, 3000);
    GatedSearchDialog dialog(catalogue_, ui_);
    dialog.show();
    search(dialog, QStringLiteral("*.txt"));
    ASSERT_TRUE(waitUntil([&] { return dialog.resultModel().rowCount() > 0; }));

    button(dialog, SearchDialog::IDC_CLOSE)->click();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.close()) << "the close box";
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(ui_.messages.size(), 3u);
    for (const ShownMessage& m : ui_.messages)
        EXPECT_EQ(m, (ShownMessage{kStopFirst, MessageStyle{Buttons::Ok, Icon::Exclamation}}));

    dialog.release();
    ASSERT_TRUE(waitForEnd(dialog));
    EXPECT_EQ(dialog.resultModel().rowCount(), 500) << "the search ran to its end";
    button(dialog, SearchDialog::IDC_CLOSE)->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ui_.messages.size(), 3u);
}

TEST_F(SearchDialogTest, SearchCommandRunsTheDialogOnTheViewCatalogue) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    FrameOptions options;
    options.logPath = dir.filePath(QStringLiteral("OrmBkf.log")).toStdU16String();
    options.startFolder = dir.path();
    MainFrame frame(ui_, options);
    fillCatalogue(frame.view()->catalogue(), 60);
    frame.view()->document().open();

    QString count;
    ui_.onDialog = [&](QDialog& dialog) {
        auto* searchDialog = qobject_cast<SearchDialog*>(&dialog);
        ASSERT_NE(searchDialog, nullptr);
        searchDialog->show();
        search(*searchDialog, QStringLiteral("*.doc"));
        ASSERT_TRUE(waitForEnd(*searchDialog));
        count = countText(*searchDialog);
    };
    frame.commandAction(ID_SEARCH_FILES)->trigger();
    EXPECT_EQ(ui_.dialogTitles, QStringList{QStringLiteral("Search Files..")});
    EXPECT_EQ(count, QStringLiteral("10"));
}

}  // namespace
}  // namespace bkf::gui
