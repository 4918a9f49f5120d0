#include "search/search_job.h"

#include <cstdint>
#include <functional>

namespace bkf {

namespace {

// The rows are examined in table order until the last one or until a flag is
// raised; onRow(row, path, matched) follows each. One path buffer serves
// every row. Returns the number of rows examined.
template <class OnRow>
std::size_t searchRows(const CatalogueTable& table, std::u16string_view pattern, MatchStopFlags flags, OnRow&& onRow) {
    const std::size_t n = table.rowCount();
    std::u16string path;
    std::size_t i = 0;
    for (; i < n; ++i) {
        if (flags.raised()) break;
        const auto row = static_cast<RowIndex>(i);
        path.clear();
        table.appendCell(path, row, CatalogueColumn::Path);
        const bool matched = matchPattern(path, pattern, flags);
        onRow(row, std::u16string_view(path), matched);
    }
    return i;
}

// Reading the clock costs about as much as matching a short path, so it is
// read only every so many rows, and after each match (whose report should not
// wait for the next round row).
constexpr RowIndex kClockRows = 64;

}  // namespace

SearchJob::SearchJob(SearchObserver& observer) : observer_(observer) {}

SearchJob::~SearchJob() {
    stop();
    wait();
}

bool SearchJob::start(const CatalogueTable& table, std::u16string_view pattern) {
    if (busy_.load()) return false;
    wait();  // the previous thread has reported its end; let it go
    // Cleared here rather than on the new thread, so that a stop right after
    // the start is not lost.
    stop_.store(false);
    busy_.store(true);
    try {
        worker_ = std::thread(&SearchJob::run, this, std::cref(table), std::u16string(pattern));
    } catch (...) {
        busy_.store(false);
        throw;
    }
    return true;
}

bool SearchJob::requestClose() {
    if (busy_.load()) return false;
    closing_.store(true);
    stop_.store(true);
    return true;
}

void SearchJob::wait() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void SearchJob::run(const CatalogueTable& table, std::u16string pattern) {
    using Clock = std::chrono::steady_clock;
    observer_.searchStarted();

    const std::size_t n = table.rowCount();
    std::vector<SearchMatch> pending;
    SearchProgress progress;
    Clock::time_point last = Clock::now();
    auto report = [&](Clock::time_point now) {
        observer_.searchBatch(std::move(pending), progress);
        pending = {};
        last = now;
    };

    const MatchStopFlags flags{&closing_, &stop_};
    const std::size_t examined =
        searchRows(table, pattern, flags, [&](RowIndex row, std::u16string_view path, bool matched) {
            progress.percent = static_cast<int>(std::uint64_t{row} * 100 / n);
            if (matched) {
                SearchMatch& match = pending.emplace_back();
                match.row = row;
                match.path.assign(path);
                table.appendCell(match.sizeText, row, CatalogueColumn::Size);
                ++progress.matchCount;
            }
            if (matched || row % kClockRows == 0) {
                const Clock::time_point now = Clock::now();
                if (now - last >= interval_) report(now);
            }
        });
    report(Clock::now());

    SearchOutcome outcome;
    outcome.stopped = examined < n;
    outcome.matchCount = progress.matchCount;
    outcome.rowsExamined = examined;
    observer_.searchFinished(outcome);
    busy_.store(false);
}

std::vector<RowIndex> searchCatalogue(const CatalogueTable& table, std::u16string_view pattern,
                                      const std::atomic<bool>* stop) {
    std::vector<RowIndex> rows;
    searchRows(table, pattern, MatchStopFlags{nullptr, stop}, [&](RowIndex row, std::u16string_view, bool matched) {
        if (matched) rows.push_back(row);
    });
    return rows;
}

}  // namespace bkf
