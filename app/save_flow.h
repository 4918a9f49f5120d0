// The save command in the window: the rows to save (the checked ones, or the
// one chosen row), the destination folder, and the copy on a worker thread
// while the "Saving Files.." window shows the file being written and the
// bytes done; Cancel stops it. The end closes that window and shows a summary.
#pragma once

#include <QDialog>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/flow_context.h"
#include "app/job_bridge.h"
#include "base/batch_queue.h"
#include "catalogue/catalogue_table.h"
#include "engine/byte_source.h"
#include "save/extract.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace bkf::gui {

inline constexpr int IDC_SAVING_TEXT = 1007;
inline constexpr int IDC_SAVING_PROGRESS = 1004;

// "Saving Files..": 321 x 164 dialog units; the display path of the file
// being written (1007), a progress bar (1004), Cancel (2) and a hidden
// default OK (1). Cancel, Esc and the close box only ask for the cancel: the
// window stays until the save has ended.
class SavingDialog : public QDialog {
    Q_OBJECT
public:
    explicit SavingDialog(QWidget* parent = nullptr, const QString& title = QStringLiteral("Saving Files.."),
                          const QString& stopText = QStringLiteral("Cancel"));

    void setCurrentFile(const QString& displayPath);
    // Bytes done of the total (the bar is scaled, so any 64-bit total fits).
    void setBytes(std::uint64_t done, std::uint64_t total);
    QPushButton* cancelButton() const { return cancel_; }

public slots:
    void reject() override;

signals:
    void cancelRequested();

private:
    QLabel* text_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

class SaveFlow : public QObject, private bkf::ExtractObserver {
    Q_OBJECT
public:
    explicit SaveFlow(FlowContext context);
    // Cancels a running save and waits for its worker.
    ~SaveFlow() override;

    // A save or a check runs.
    bool saving() const;
    // The row the catalogue pane's "Save File" chose, while that one save is asked for.
    std::optional<RowIndex> chosenRow() const { return chosenRow_; }

    // The destination chosen last in this session (where the folder dialog opens next).
    const QString& lastFolder() const { return lastFolder_; }

    // The window of a running save, or null.
    SavingDialog* savingDialog() const { return dialog_.get(); }
    // The summary of the last save that ran to its end.
    const std::optional<bkf::ExtractSummary>& lastSummary() const { return last_; }

public slots:
    void saveFiles();
    // Saves only `row` (the catalogue pane's "Save File").
    void saveRow(RowIndex row);
    // Tools > Verify Files: reads the checked entries as a save would,
    // writes nothing, and lists every one with its verdict.
    void verifyFiles();
    void cancelSave();

private:
    // What the worker hands over: each checked entry's report (a check
    // lists them all), the latest progress, and the summary at the end.
    using Queue = bkf::BatchQueue<bkf::EntryReport, bkf::ExtractProgress, bkf::ExtractSummary>;

    void drain(JobBridge::Clock::time_point deadline);
    // On the worker thread: they only queue.
    void extractProgress(const bkf::ExtractProgress& progress) override;
    void entryFinished(const bkf::EntryReport& report) override;

    // Opens the backup and starts the worker with the "Saving Files.." (or
    // "Verifying Files..") window; false when the backup cannot be opened.
    bool start(std::vector<RowIndex> rows, std::optional<bkf::ExtractOptions> save);
    void showSavingDialog();
    // The end: the worker joined, the window back, the mismatches logged and
    // the summary shown.
    void finish(const bkf::ExtractSummary& summary);
    void logMismatches(const bkf::ExtractSummary& summary);
    // A check lists every file it read with its verdict.
    void showVerdicts(const bkf::ExtractSummary& summary);
    void showSaveSummary(const bkf::ExtractSummary& summary);

    FlowContext context_;
    JobBridge bridge_;
    std::optional<RowIndex> chosenRow_;
    QString lastFolder_;
    std::unique_ptr<SavingDialog> dialog_;
    std::unique_ptr<bkf::ByteSource> backup_;
    std::vector<bkf::ExtractItem> items_;
    std::atomic<bool> cancel_{false};
    std::thread worker_;
    std::optional<bkf::ExtractSummary> last_;
    bool verifying_ = false;
    std::vector<bkf::EntryReport> reports_;  // every entry checked (verifying only)
    Queue queue_;
};

// The text of the summary message of a save.
QString saveSummaryText(const bkf::ExtractSummary& summary);
// The summary of a Verify Files run.
QString verifySummaryText(const bkf::ExtractSummary& summary);

}  // namespace bkf::gui
