// The window's document: the catalogue of the recovery being worked on, the
// shell lookup that gives its file types their icons and names, whether a
// recovery is open (its results page shows, also while a scan or a load
// fills it), and what the program is doing with it (the activity).
//
// The flows take the document and the UI services; the guards of the
// commands read its state, and the views follow its signals. Only the
// user-interface thread touches it.
#pragma once

#include <QObject>
#include <memory>

#include "catalogue/catalogue.h"

namespace bkf::gui {

class QtShellLookup;

enum class Activity {
    Idle,
    Scanning,        // a scan fills the catalogue
    Loading,         // a recovery snapshot fills the catalogue
    SavingSnapshot,  // the catalogue is written to a snapshot
    SavingFiles,     // the checked entries are written to disk
    CheckingFiles,   // the checked entries' bytes are checked
    Searching,       // the search dialog reads the catalogue
};

class Document : public QObject {
    Q_OBJECT
public:
    Document();
    ~Document() override;

    bkf::Catalogue& catalogue() { return *catalogue_; }
    const bkf::Catalogue& catalogue() const { return *catalogue_; }
    QtShellLookup& shell() { return *shell_; }

    bool isOpen() const { return open_; }
    // Opens a recovery (the results page); the catalogue keeps what it holds.
    void open();
    // Closes it: the catalogue is emptied (the backup path stays) and the
    // file-selection page shows.
    void close();
    // Empties the catalogue (the backup path stays); the recovery stays open.
    void clearCatalogue();

    Activity activity() const { return activity_; }
    bool idle() const { return activity_ == Activity::Idle; }
    // A scan or a load is filling the catalogue: commands that read it wait,
    // the views take no mark changes, until the last batch is applied.
    bool filling() const { return activity_ == Activity::Scanning || activity_ == Activity::Loading; }
    void setActivity(Activity activity);

signals:
    void openChanged(bool open);
    void activityChanged(bkf::gui::Activity activity);
    // Emitted by close() after the catalogue was emptied, and by a flow
    // before it fills the catalogue anew.
    void catalogueCleared();

private:
    std::unique_ptr<QtShellLookup> shell_;
    std::unique_ptr<bkf::Catalogue> catalogue_;
    bool open_ = false;
    Activity activity_ = Activity::Idle;
};

}  // namespace bkf::gui
