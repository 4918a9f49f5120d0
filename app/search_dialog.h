// Tools > Search Files...: searches the catalogue's display paths for a
// search string on a worker thread (bkf::SearchJob) while the dialog stays
// responsive, and lists the matches with their type and size.
//
// The worker never touches a widget: its batches go into a batch queue that
// the job bridge drains into the result list on the dialog's thread. Closing is
// refused while a search runs; "Stop" ends it without a question.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QIcon>
#include <array>
#include <vector>

#include "app/job_bridge.h"
#include "base/batch_queue.h"

#include "search/search_job.h"
#include "widgets/qt_shell_lookup.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace bkf {
class Catalogue;
class ShellLookup;
}  // namespace bkf

namespace bkf::gui {

class UiServices;

// Texts of the Search Files dialog.
inline const QString kSearchDialogCaption = QStringLiteral("Search Files..");
inline const QString kSearchStringLabel = QStringLiteral("Enter String : ");
inline const QString kSearchTotalLabel = QStringLiteral("Total File Found :");
inline const QString kSearchButtonText = QStringLiteral("&Search");
inline const QString kSearchStopButtonText = QStringLiteral("Stop");
inline const QString kSearchOkButtonText = QStringLiteral("&OK");
// Shown (and the dialog kept open) when the dialog is closed during a search.
inline const QString kSearchStopFirstText = QStringLiteral("Please stop scanning process");
// The search string the dialog opens with.
inline const QString kInitialSearchPattern = QStringLiteral("*.*");

// The result list's rows: the matches as the search delivered them; type
// names and icons are asked of the shell when a cell is shown.
class SearchResultModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column : int { NameColumn = 0, TypeColumn = 1, SizeColumn = 2, kColumnCount = 3 };

    explicit SearchResultModel(bkf::ShellLookup& shell, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void append(std::vector<bkf::SearchMatch>&& matches);
    void clear();
    const bkf::SearchMatch& matchAt(int row) const { return matches_[static_cast<std::size_t>(row)]; }

private:
    bkf::ShellLookup& shell_;
    std::vector<bkf::SearchMatch> matches_;
    mutable std::array<QIcon, kShellIconCount> icons_;
};

class SearchDialog : public QDialog, public bkf::SearchObserver {
    Q_OBJECT
public:
    // Control ids (their objectNames).
    enum ControlId : int {
        IDC_CLOSE = 2,  // "&OK", with the cancel identity
        IDC_RESULT_LIST = 1001,
        IDC_SEARCH = 1002,
        IDC_PROGRESS = 1004,
        IDC_SEARCH_EDIT = 1005,
        IDC_TOTAL_LABEL = 1009,
        IDC_STRING_LABEL = 1012,
        IDC_STOP = 1020,
        IDC_COUNT = 1025,
    };

    // Searches `catalogue` (which must stay unchanged while the dialog is
    // open); messages go through `ui`.
    SearchDialog(bkf::Catalogue& catalogue, UiServices& ui, QWidget* parent = nullptr);
    ~SearchDialog() override;

    // True from "&Search" until the end of the search has reached the dialog.
    bool searching() const { return searching_; }
    SearchResultModel& resultModel() { return model_; }
    bkf::SearchJob& searchJob() { return job_; }

public slots:
    void onSearch();
    void onStopSearch();
    // "&OK", Esc and the close box: refused while a search runs.
    void reject() override;

signals:
    // The end of a search has reached the dialog (the list is complete).
    void searchEnded();

protected:
    // The search thread's reports: queued for the timer.
    void searchBatch(std::vector<bkf::SearchMatch>&& matches, const bkf::SearchProgress& progress) override;
    void searchFinished(const bkf::SearchOutcome& outcome) override;
    // The dialog's own background artwork.
    void paintEvent(QPaintEvent* event) override;

private:
    using Queue = bkf::BatchQueue<std::vector<bkf::SearchMatch>, bkf::SearchProgress, bkf::SearchOutcome>;

    void drainQueue(JobBridge::Clock::time_point deadline);
    void showIdle();

    bkf::Catalogue& catalogue_;
    UiServices& ui_;
    SearchResultModel model_;
    QTreeView* list_ = nullptr;
    QLineEdit* edit_ = nullptr;
    QPushButton* search_ = nullptr;
    QPushButton* stop_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* count_ = nullptr;
    bool searching_ = false;
    Queue queue_;
    JobBridge bridge_;
    // Last: its thread reports to the members above.
    bkf::SearchJob job_;
};

}  // namespace bkf::gui
