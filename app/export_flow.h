// File > "Export to Archive...": the checked entries (and the checked folders
// that hold nothing) into one archive, tar, pax, zip or 7z by the name's
// extension, written by the same writer as `tarvik export`, with the
// progress window and Cancel; the end shows the summary.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "app/flow_context.h"
#include "save/extract.h"

namespace bkf::gui {

class BackgroundCopy;

inline const QString kExportCaption = QStringLiteral("Export to Archive");
inline const QString kArchiveFilter =
    QStringLiteral("Tar Archive(*.tar);;Zip Archive(*.zip);;Pax Archive(*.pax);;7-Zip Archive(*.7z)");

class ExportFlow : public QObject {
    Q_OBJECT
public:
    explicit ExportFlow(FlowContext context);
    ~ExportFlow() override;

    BackgroundCopy& copy() const { return *copy_; }
    const std::optional<bkf::ExtractSummary>& lastSummary() const { return last_; }

public slots:
    void exportArchive();

private:
    FlowContext context_;
    std::unique_ptr<BackgroundCopy> copy_;
    std::optional<bkf::ExtractSummary> last_;
};

// The summary message of an export.
QString exportSummaryText(const bkf::ExtractSummary& summary);

}  // namespace bkf::gui
