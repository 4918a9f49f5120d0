// "Open" of the folder list and the catalogue pane (and a double click on a
// file of the list): the one entry is saved into a private temporary folder
// and opened with the desktop's program for it. A file whose checksum does
// not match, or that the backup holds only part of, is opened only after a
// warning. The temporary folder goes when the window goes.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>

#include "app/flow_context.h"
#include "catalogue/catalogue_table.h"
#include "save/extract.h"

class QTemporaryDir;

namespace bkf::gui {

class BackgroundCopy;

inline const QString kOpenMismatchText = QStringLiteral(
    "The file's checksum does not match: its data is damaged and may not open as it should.\r\nOpen it anyway?");
inline const QString kOpenTruncatedText =
    QStringLiteral("The backup holds only part of this file (%1 of %2 bytes): the rest is missing.\r\nOpen it anyway?");

class OpenFileFlow : public QObject {
    Q_OBJECT
public:
    explicit OpenFileFlow(FlowContext context);
    ~OpenFileFlow() override;

    // The private folder the opened files are saved in (empty before the first open).
    QString temporaryFolder() const;
    BackgroundCopy& copy() const { return *copy_; }

    // Stops an open under way and removes the private folder with everything in it.
    void removeFiles();

public slots:
    void openRow(bkf::RowIndex row);

private:
    // The private folder, made at the first open; false after the message
    // when it cannot be made.
    bool makeFolder();
    // The end of a copy: the saved file to the desktop, or the reason it is not.
    void handOver(const bkf::EntryReport& report, const bkf::ExtractSummary& summary, std::int64_t size);
    // A damaged or partial file (`size` is what the catalogue gives): true
    // when it may be opened, after the warning's Ok.
    bool confirmDamaged(const bkf::EntryReport& report, std::int64_t size);

    FlowContext context_;
    std::unique_ptr<BackgroundCopy> copy_;
    std::unique_ptr<QTemporaryDir> folder_;
};

}  // namespace bkf::gui
