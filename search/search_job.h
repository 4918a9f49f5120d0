// Searching the catalogue table for the entries whose display path fits a
// search string (matchPattern), as the Search Files dialog does it: on a
// worker thread, row by row in table order, with progress, a running count of
// matches, and a stop that takes effect within one row. The command line uses
// the synchronous searchCatalogue instead.
//
// The search only reads the table. The caller guarantees that nothing changes
// the table while a search runs (the desktop program refuses every command
// that could while the modal dialog is open).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "catalogue/catalogue_table.h"
#include "search/match_pattern.h"

namespace bkf {

// One entry found: its row, display path (cell 0) and size text (cell 2).
struct SearchMatch {
    RowIndex row = 0;
    std::u16string path;
    std::u16string sizeText;
};

struct SearchProgress {
    std::size_t matchCount = 0;  // matches so far
    int percent = 0;             // row * 100 / rows of the row being examined, 0..99
};

struct SearchOutcome {
    bool stopped = false;  // the stop or closing flag ended the search before the last row
    std::size_t matchCount = 0;
    std::size_t rowsExamined = 0;
};

// Called on the search thread. Implementations hand the data to the thread
// that owns the dialog.
class SearchObserver {
public:
    virtual ~SearchObserver() = default;
    // A search begins: drop the previous results, show the count 0 and the
    // progress at 0.
    virtual void searchStarted() {}
    // The matches found since the last call, in table order, with the count
    // and progress so far. Called at every report interval (possibly with no
    // new matches) and once when the search ends, before searchFinished.
    virtual void searchBatch(std::vector<SearchMatch>&& matches, const SearchProgress& progress) = 0;
    // The search has ended: hide the progress, show "&Search" again. The
    // results stay until the next search.
    virtual void searchFinished(const SearchOutcome& outcome) = 0;
};

// The search of one Search Files dialog, from its opening to its closing.
// One search runs at a time.
class SearchJob {
public:
    // `observer` must outlive the job.
    explicit SearchJob(SearchObserver& observer);
    // Stops a running search and waits for its thread.
    ~SearchJob();
    SearchJob(const SearchJob&) = delete;
    SearchJob& operator=(const SearchJob&) = delete;

    // How often matches and progress reach the observer (default 50 ms).
    void setReportInterval(std::chrono::milliseconds interval) { interval_ = interval; }

    // Starts searching `table` for `pattern`, used exactly as typed, and
    // returns at once. Returns false, and does nothing, while a search runs.
    // `table` must outlive the search and stay unchanged until it ends.
    bool start(const CatalogueTable& table, std::u16string_view pattern);
    // Sets the stop flag (any thread): the current row's match gives up at
    // its next step and no further row is examined. Nothing is asked.
    void stop() { stop_.store(true, std::memory_order_relaxed); }
    // The dialog asks to close. While a search runs this is refused (false:
    // show a message and keep the dialog open); otherwise the
    // closing and stop flags are set and true is returned. Once closed, a
    // started search ends at once without examining a row.
    bool requestClose();
    // Whether a search thread is between its start and its end.
    bool busy() const { return busy_.load(); }
    bool closing() const { return closing_.load(std::memory_order_relaxed); }
    // Waits for the search thread to end (nothing when none was started).
    void wait();

private:
    void run(const CatalogueTable& table, std::u16string pattern);

    SearchObserver& observer_;
    std::chrono::milliseconds interval_{50};
    std::atomic<bool> busy_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

// The rows whose display path fits `pattern`, in table order. A set `stop`
// ends the search at the next row (or step of a match) and keeps the rows
// found so far.
std::vector<RowIndex> searchCatalogue(const CatalogueTable& table, std::u16string_view pattern,
                                      const std::atomic<bool>* stop = nullptr);

}  // namespace bkf
