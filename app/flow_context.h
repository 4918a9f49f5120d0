// What a flow of the window works with: the document, the UI services it asks
// the user through, the view it shows progress in, and the settings of this
// run (Tools › Settings and the recovery log).
#pragma once

#include <QString>
#include <atomic>
#include <filesystem>

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

}  // namespace bkf::gui
