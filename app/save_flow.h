// The save command in the window: the rows to save (the checked ones, or the
// one chosen row), the destination folder, and the copy on a worker thread
// while the "Saving Files.." window shows the file being written and the
// bytes done; Cancel stops it. The end closes that window and shows a summary.
#pragma once

#include <QDialog>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "catalogue/catalogue_table.h"
#include "engine/byte_source.h"
#include "save/extract.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace bkf::gui {

class CMainFrame;
class CRecoveryView;

inline constexpr int IDC_SAVING_TEXT = 1007;
inline constexpr int IDC_SAVING_PROGRESS = 1004;

// "Saving Files..": 321 x 164 dialog units; the display path of the file
// being written (1007), a progress bar (1004), Cancel (2) and a hidden
// default OK (1). Cancel, Esc and the close box only ask for the cancel: the
// window stays until the save has ended.
class CSavingDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CSavingDialog(QWidget* parent = nullptr, const QString& title = QStringLiteral("Saving Files.."),
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

class CSaveFlow : public QObject, private bkf::ExtractObserver {
    Q_OBJECT
  public:
    explicit CSaveFlow(CMainFrame& frame);
    // Cancels a running save and waits for its worker.
    ~CSaveFlow() override;

    bool saving() const { return running_; }
    // The catalogue pane's "Save File" sets mode 2 and the chosen row.
    int saveMode() const { return saveMode_; }
    void setSaveMode(int mode) { saveMode_ = mode; }
    RowIndex chosenRow() const { return chosenRow_; }
    void setChosenRow(RowIndex row) { chosenRow_ = row; }

    // The destination chosen last in this session (where the folder dialog opens next).
    const QString& lastFolder() const { return lastFolder_; }

    // The window of a running save, or null.
    CSavingDialog* savingDialog() const { return dialog_.get(); }
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

  private slots:
    void drain();

  private:
    // On the worker thread: they only queue.
    void extractProgress(const bkf::ExtractProgress& progress) override;
    void entryFinished(const bkf::EntryReport& report) override;

    // Opens the backup and starts the worker with the "Saving Files.." (or
    // "Verifying Files..") window; false when the backup cannot be opened.
    bool start(std::vector<RowIndex> rows, std::optional<bkf::ExtractOptions> save);
    void finish(const bkf::ExtractSummary& summary);

    CMainFrame& frame_;
    CRecoveryView& view_;
    int saveMode_ = 0;
    RowIndex chosenRow_ = 0;
    QString lastFolder_;
    bool running_ = false;
    QTimer timer_;
    std::unique_ptr<CSavingDialog> dialog_;
    std::unique_ptr<bkf::ByteSource> backup_;
    std::vector<bkf::ExtractItem> items_;
    std::atomic<bool> cancel_{false};
    std::thread worker_;
    std::optional<bkf::ExtractSummary> last_;
    bool verifying_ = false;
    std::vector<bkf::EntryReport> reports_;  // every entry checked (verifying only)

    std::mutex mutex_;  // guards what the worker hands over
    std::optional<bkf::ExtractProgress> progress_;
    std::optional<bkf::ExtractSummary> summary_;
};

// The text of the summary message of a save.
QString saveSummaryText(const bkf::ExtractSummary& summary);
// The summary of a Verify Files run.
QString verifySummaryText(const bkf::ExtractSummary& summary);

}  // namespace bkf::gui
