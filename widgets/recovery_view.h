// The main view: a two-page surface on a pale yellow background.
//
// Page 1 (file selection): prompt, backup file path field, Browse, Next.
// Page 2 (results): folder tree, folder-contents list, caption band,
// catalogue pane, the status texts, progress bar, and Stop / Back / Save.
//
// Every control carries its control id as objectName ("61447", "4101", ...).
// Two ids are shared by two controls each: Stop is "61452" and the progress
// bar "61452-progress"; the progress text is "61485" and the "Searching
// file, please wait..." text "61485-searching".
//
// The view shows the document (its catalogue through the Qt models, its
// open recovery as the results page) and follows its signals. The flows
// drive it through the public functions below; it never blocks and never
// shows a dialog except through the UI services.
#pragma once

#include <QWidget>
#include <memory>

#include "catalogue/catalogue.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace bkf::gui {

class AxImage;
class CatalogueViews;
class HoverButton;
class CatalogueTableModel;
class CatalogueTreeModel;
class Document;
class UiServices;

class RecoveryView : public QWidget {
    Q_OBJECT
public:
    RecoveryView(Document& document, UiServices& ui, QWidget* parent = nullptr);
    ~RecoveryView() override;

    // 1 = file-selection page, 2 = results page (the document is open).
    int pageNumber() const { return page_; }

    Document& document() { return document_; }
    bkf::Catalogue& catalogue();
    CatalogueTableModel& catalogueModel();
    CatalogueTreeModel& treeModel();
    // The folder tree, the folder-contents list and the catalogue pane.
    CatalogueViews& views() { return *views_; }
    // The views are busy (they refuse mark changes) while a scan or a load
    // fills the catalogue, until it has applied its last batches.
    bool viewsBusy() const;

    // The text of the backup file path field.
    QString backupFilePath() const;
    void setBackupFilePath(const QString& path);

    // ---- the results page while a scan or load runs
    void setProgress(int percent);
    void setProgressText(const QString& text);
    void setFoundFilesText(const QString& text);
    // The "Searching file, please wait..." line.
    void setSearchingVisible(bool visible);
    void setSearchingText(const QString& text);
    void showStopButton(bool shown);
    void showProgressBar(bool shown);
    // A bar that moves without a known end (a snapshot without its count).
    void setProgressIndeterminate(bool on);
    void showBackButton(bool shown);
    void showSaveButton(bool shown);
    // Announces entries and folders appended to the catalogue since the last
    // call to the catalogue pane and the folder tree (call after each batch).
    void catalogueAppended();
    // Re-reads the catalogue into every view (after a load or a mark change).
    void reloadCatalogue();

    // Moves every control to its place for the current size (also hidden ones).
    void layoutControls();

public slots:
    // Next (61449) and File > Recover... (61493): page 1 asks for the Recover
    // flow; page 2 asks for the save unless a scan runs.
    void onRecover();
    // Browse (61448): the backup-file open dialog fills the path field.
    void onBrowseBackupFile();
    // Back (61451): on page 2 only, back to page 1.
    void onBack();
    // Stop (61452) and Save (61492).
    void onStopRecovery();
    void onSaveFiles();

signals:
    void recoverRequested();
    void saveFilesRequested();
    // The catalogue pane's "Save File": that one row.
    void saveRowRequested(bkf::RowIndex row);
    void openRowRequested(bkf::RowIndex row);
    void stopRequested();
    void pageChanged(int page);

private slots:
    // The document opened: page 1 controls hidden; the three views, Stop, the
    // progress bar, the three status texts and the caption band shown. Page := 2.
    void showResultsPage();
    // The document closed: the views emptied and hidden, every results
    // control hidden and reset; the path field keeps its text. Page := 1.
    void showSelectionPage();

protected:
    // A file dropped on the file-selection page fills the path field.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();

    Document& document_;
    UiServices& ui_;
    CatalogueViews* views_ = nullptr;
    int page_ = 1;

    QLabel* prompt_ = nullptr;
    QLineEdit* pathEdit_ = nullptr;
    QPushButton* browse_ = nullptr;
    HoverButton* next_ = nullptr;
    AxImage* captionBand_ = nullptr;
    QLabel* searchingText_ = nullptr;
    QLabel* progressText_ = nullptr;
    QLabel* foundFilesText_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    HoverButton* stop_ = nullptr;
    HoverButton* back_ = nullptr;
    HoverButton* save_ = nullptr;
};

// The view's background, RGB(255, 255, 153).
QColor viewBackground();

}  // namespace bkf::gui
