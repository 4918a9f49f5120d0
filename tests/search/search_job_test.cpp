#include "search/search_job.h"

#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/text.h"
#include "catalogue/catalogue.h"

namespace bkf {
namespace {

constexpr FileTime kTime = 128573640000000000ULL;
constexpr std::size_t kRows = 3000;

// A few thousand entries in several sets and folders, with names and
// extensions in both cases; every 97th keeps a size text that is not in
// canonical form, as a hand-edited snapshot may hold.
void fillCatalogue(Catalogue& catalogue) {
    const std::array<std::u16string_view, 5> names = {u"report", u"Report", u"notes", u"image", u"rep"};
    const std::array<std::u16string_view, 5> extensions = {u".txt", u".TXT", u".doc", u"", u".tar.gz"};
    for (std::size_t i = 0; i < kRows; ++i) {
        std::u16string path = u"BKF\\BACKUP SET " + decimalText(static_cast<std::uint64_t>(i % 3 + 1)) +
                              u"(Daily)\\Data" + decimalText(static_cast<std::uint64_t>(i % 11)) + u"\\" +
                              std::u16string(names[i % names.size()]) + decimalText(static_cast<std::uint64_t>(i)) +
                              std::u16string(extensions[(i / 5) % extensions.size()]);
        if (i % 97 == 0) {
            const std::u16string size = u"00" + decimalText(static_cast<std::uint64_t>(i));
            const std::array<std::u16string_view, kNumericCellCount> cells = {size, u"4096", u"1", u"2",
                                                                              u"3", u"4",    u"5", u"6"};
            catalogue.appendEntryText(path, cells);
        } else {
            catalogue.appendEntry(path, static_cast<std::int64_t>(i) * 37, 4096, kTime, kTime, kTime);
        }
    }
}

std::vector<RowIndex> plainLoop(const CatalogueTable& table, std::u16string_view pattern) {
    std::vector<RowIndex> rows;
    for (RowIndex row = 0; row < table.rowCount(); ++row) {
        if (matchPattern(table.cell(row, CatalogueColumn::Path), pattern)) rows.push_back(row);
    }
    return rows;
}

// Records what the search reports; can run a hook on the search thread at
// the first batch that holds matches.
class Recorder final : public SearchObserver {
public:
    void searchStarted() override {
        std::lock_guard lock(mutex_);
        ++started;
        matches.clear();
        batches.clear();
    }
    void searchBatch(std::vector<SearchMatch>&& batch, const SearchProgress& progress) override {
        bool first = false;
        {
            std::lock_guard lock(mutex_);
            first = !batch.empty() && matches.empty();
            for (auto& m : batch) matches.push_back(std::move(m));
            batches.push_back({batch.size(), progress});
        }
        if (first && atFirstMatches) atFirstMatches();
    }
    void searchFinished(const SearchOutcome& o) override {
        std::lock_guard lock(mutex_);
        outcome = o;
        ++finished;
    }

    std::vector<RowIndex> rows() const {
        std::vector<RowIndex> out;
        for (const auto& m : matches) out.push_back(m.row);
        return out;
    }

    struct Batch {
        std::size_t size;
        SearchProgress progress;
    };
    int started = 0;
    int finished = 0;
    std::vector<SearchMatch> matches;
    std::vector<Batch> batches;
    SearchOutcome outcome;
    std::function<void()> atFirstMatches;

private:
    std::mutex mutex_;
};

TEST(SearchJob, FindsWhatAPlainLoopFindsInTableOrder) {
    Catalogue catalogue;
    fillCatalogue(catalogue);
    const CatalogueTable& table = catalogue.table();
    Recorder rec;
    SearchJob job(rec);  // one job for every search, as one dialog runs many
    job.setReportInterval(std::chrono::milliseconds(0));

    const std::u16string_view patterns[] = {
        u"*.txt",
        u"report",
        u"*.*",
        u"BKF*",
        u"?KF",
        u"*Data7\\*",
        u"*.TXT",
        u"*.doc",
        u"*rep?rt*",
        u"*\\rep*.gz",
        u"BKF\\BACKUP SET 2(Daily)\\Data1\\*",
        u"*5",
        u"?",
        u"",
        u"nothing like this",
    };
    for (std::u16string_view pattern : patterns) {
        SCOPED_TRACE(utf16ToUtf8(pattern));
        const auto expected = plainLoop(table, pattern);
        ASSERT_TRUE(job.start(table, pattern));
        job.wait();
        EXPECT_FALSE(job.busy());

        EXPECT_EQ(rec.rows(), expected);
        for (const auto& m : rec.matches) {
            ASSERT_EQ(m.path, table.cell(m.row, CatalogueColumn::Path));
            ASSERT_EQ(m.sizeText, table.cell(m.row, CatalogueColumn::Size));
        }
        EXPECT_EQ(rec.finished, rec.started);
        EXPECT_FALSE(rec.outcome.stopped);
        EXPECT_EQ(rec.outcome.matchCount, expected.size());
        EXPECT_EQ(rec.outcome.rowsExamined, kRows);

        // Counts add up batch by batch; progress only grows and stays below 100.
        std::size_t sum = 0;
        int percent = 0;
        for (const auto& b : rec.batches) {
            sum += b.size;
            EXPECT_EQ(b.progress.matchCount, sum);
            EXPECT_GE(b.progress.percent, percent);
            EXPECT_LT(b.progress.percent, 100);
            percent = b.progress.percent;
        }
        EXPECT_EQ(percent, static_cast<int>((kRows - 1) * 100 / kRows));

        EXPECT_EQ(searchCatalogue(table, pattern), expected);
    }
    EXPECT_EQ(rec.started, static_cast<int>(std::size(patterns)));
}

TEST(SearchJob, ReportsInBatchesByTimeNotPerMatch) {
    Catalogue catalogue;
    fillCatalogue(catalogue);
    struct Case {
        const char* name;
        std::chrono::milliseconds interval;
        bool oneBatch;
    };
    for (const Case& c : {Case{"long interval: only the final report", std::chrono::hours(1), true},
                          Case{"no interval: a report as matches come", std::chrono::milliseconds(0), false}}) {
        SCOPED_TRACE(c.name);
        Recorder rec;
        SearchJob job(rec);
        job.setReportInterval(c.interval);
        ASSERT_TRUE(job.start(catalogue.table(), u"*"));
        job.wait();
        EXPECT_EQ(rec.matches.size(), kRows);
        if (c.oneBatch) {
            ASSERT_EQ(rec.batches.size(), 1u);
            EXPECT_EQ(rec.batches[0].size, kRows);
        } else {
            EXPECT_GT(rec.batches.size(), kRows / 2);
        }
    }
}

TEST(SearchJob, StopKeepsTheMatchesFoundSoFarAndEndsWithinOneRow) {
    Catalogue catalogue;
    fillCatalogue(catalogue);
    const auto all = plainLoop(catalogue.table(), u"*.txt");
    ASSERT_GT(all.size(), 10u);

    Recorder rec;
    SearchJob job(rec);
    job.setReportInterval(std::chrono::milliseconds(0));
    rec.atFirstMatches = [&] { job.stop(); };  // on the search thread, right after a matching row
    ASSERT_TRUE(job.start(catalogue.table(), u"*.txt"));
    job.wait();

    ASSERT_FALSE(rec.matches.empty());
    EXPECT_TRUE(rec.outcome.stopped);
    EXPECT_EQ(rec.outcome.matchCount, rec.matches.size());
    EXPECT_EQ(rec.batches.back().progress.matchCount, rec.matches.size());
    const auto found = rec.rows();
    EXPECT_EQ(found, std::vector<RowIndex>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(found.size())));
    EXPECT_EQ(rec.outcome.rowsExamined, found.back() + 1u) << "a row was examined after the stop";

    // The next search starts afresh and runs to the end.
    rec.atFirstMatches = nullptr;
    ASSERT_TRUE(job.start(catalogue.table(), u"*.txt"));
    job.wait();
    EXPECT_FALSE(rec.outcome.stopped);
    EXPECT_EQ(rec.rows(), all);
}

// A one-shot gate, as std::latch(1) is. std::latch in GCC 12's library can
// miss its wake-up where it has no futex (MinGW), and hang.
class Gate {
public:
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

TEST(SearchJob, CloseIsRefusedWhileSearchingThenEndsLaterSearchesAtOnce) {
    Catalogue catalogue;
    fillCatalogue(catalogue);
    Recorder rec;
    SearchJob job(rec);
    job.setReportInterval(std::chrono::milliseconds(0));
    Gate reached;
    Gate release;
    rec.atFirstMatches = [&] {
        reached.open();
        release.wait();
    };
    ASSERT_TRUE(job.start(catalogue.table(), u"*.*"));
    reached.wait();
    EXPECT_TRUE(job.busy());
    EXPECT_FALSE(job.requestClose()) << "closing while a search runs";
    EXPECT_FALSE(job.closing());
    EXPECT_FALSE(job.start(catalogue.table(), u"*")) << "a second search at once";
    job.stop();  // from this thread, as the Stop button does
    release.open();
    job.wait();
    EXPECT_TRUE(rec.outcome.stopped);
    EXPECT_LT(rec.outcome.rowsExamined, kRows);
    EXPECT_FALSE(job.busy());

    EXPECT_TRUE(job.requestClose());
    EXPECT_TRUE(job.closing());
    rec.atFirstMatches = nullptr;
    ASSERT_TRUE(job.start(catalogue.table(), u"*"));
    job.wait();
    EXPECT_EQ(rec.outcome.rowsExamined, 0u);
    EXPECT_EQ(rec.outcome.matchCount, 0u);
    EXPECT_TRUE(rec.matches.empty());
}

TEST(SearchJob, EmptyCatalogueEndsAtOnceWithCountZero) {
    Catalogue catalogue;
    Recorder rec;
    SearchJob job(rec);
    ASSERT_TRUE(job.start(catalogue.table(), u"*.*"));
    job.wait();
    EXPECT_EQ(rec.started, 1);
    EXPECT_EQ(rec.finished, 1);
    EXPECT_TRUE(rec.matches.empty());
    EXPECT_EQ(rec.outcome.matchCount, 0u);
    EXPECT_EQ(rec.outcome.rowsExamined, 0u);
    EXPECT_FALSE(rec.outcome.stopped);
    for (const auto& b : rec.batches) EXPECT_EQ(b.progress.matchCount, 0u);
    EXPECT_TRUE(searchCatalogue(catalogue.table(), u"*").empty());
}

TEST(SearchJob, DestroyingARunningJobStopsAndJoinsIt) {
    Catalogue catalogue;
    fillCatalogue(catalogue);
    Recorder rec;
    {
        SearchJob job(rec);
        ASSERT_TRUE(job.start(catalogue.table(), u"*"));
    }
    EXPECT_EQ(rec.finished, 1);
    EXPECT_EQ(rec.outcome.matchCount, rec.matches.size());
}

TEST(SearchCatalogue, StopFlagKeepsRowsFoundSoFar) {
    Catalogue catalogue;
    fillCatalogue(catalogue);
    const std::atomic<bool> stop{true};
    EXPECT_TRUE(searchCatalogue(catalogue.table(), u"*", &stop).empty()) << "stopped before the first row";
    const std::atomic<bool> go{false};
    EXPECT_EQ(searchCatalogue(catalogue.table(), u"*", &go).size(), kRows);
}

TEST(SearchJob, LeavesTheTableUnchanged) {
    Catalogue catalogue;
    fillCatalogue(catalogue);
    CatalogueTable& table = catalogue.table();
    for (RowIndex row = 0; row < table.rowCount(); row += 3) table.setChecked(row, true);

    auto snapshot = [&] {
        std::vector<std::u16string> cells;
        for (RowIndex row = 0; row < table.rowCount(); ++row) {
            for (int c = 0; c < kCatalogueColumnCount; ++c) cells.push_back(table.cell(row, CatalogueColumn(c)));
            cells.push_back(table.checked(row) ? u"checked" : u"");
            cells.push_back(decimalText(static_cast<std::uint64_t>(table.iconIndex(row))));
        }
        return cells;
    };
    const auto before = snapshot();
    const std::size_t checkedBefore = table.checkedCount();

    Recorder rec;
    SearchJob job(rec);
    for (std::u16string_view pattern : {u"*.txt", u"report", u"?KF", u"*"}) {
        ASSERT_TRUE(job.start(table, pattern));
        job.wait();
        searchCatalogue(table, pattern);
    }
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(table.checkedCount(), checkedBefore);
}

}  // namespace
}  // namespace bkf
