// What a flow of the window works with: the document, the UI services it asks
// the user through, the view it shows progress in, and the settings of this
// run (Tools › Settings and the recovery log).
#pragma once

#include <QString>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "catalogue/catalogue_table.h"

namespace bkf {
class ByteSource;
}

namespace bkf::gui {

class RecoveryView;
class Document;
class UiServices;

struct RunSettings {
    // The recovery log's file.
    std::filesystem::path logPath;
    // Generate Log: while false no recovery-log line is written. Every writer
    // reads it just before its line, the scan's worker through the switch.
    std::atomic<bool> generateLog{false};
    // The folder-name prefix of saved folders ("Rec" at every start).
    QString folderPrefix = QStringLiteral("Rec");
    // Whether a scan also looks for blocks off the 512-byte grid.
    bool scanOffGrid = true;
};

struct FlowContext {
    Document& document;
    UiServices& ui;
    RecoveryView& view;
    RunSettings& settings;
};

inline const QString kSelectFilesText = QStringLiteral("Please select file(s) to save ");

// The first steps the copying flows (a save, an export, an Open) share, each
// with its message when it says no.

// While a scan or a load fills the catalogue nothing is copied from it: true
// after the message saying so.
bool refuseWhileFilling(const FlowContext& context);
// The rows to copy: `chosen` when given, else the checked ones; nullopt after
// the message asking for a selection.
std::optional<std::vector<RowIndex>> rowsToSaveOrAsk(const FlowContext& context,
                                                     std::optional<RowIndex> chosen = std::nullopt);
// The catalogue's backup file, opened to read beside anything else that reads
// it; null after the message with the reason when it cannot be opened.
std::unique_ptr<ByteSource> openBackupToRead(const FlowContext& context);

}  // namespace bkf::gui
