#include "save/copy_run.h"

#include <algorithm>

#include "save/output_fs.h"
#include "save/verify.h"

namespace bkf {

bool CopyRun::begin(ExtractSummary& summary, std::span<const ExtractItem> items, std::size_t index) {
    if (cancelled()) {
        summary.cancelled = true;
        summary.notReached = items.size() - index;
        return false;
    }
    progress.current = items[index].displayPath;
    report();
    return true;
}

std::uint64_t CopyRun::held(const ExtractItem& item) const {
    const auto offset = static_cast<std::uint64_t>(item.dataOffset);
    return offset >= backupSize ? 0
                                : std::min<std::uint64_t>(static_cast<std::uint64_t>(item.size), backupSize - offset);
}

CopyRun startCopyRun(ByteSource& backup, std::span<const ExtractItem> items, ExtractObserver* observer,
                     const std::atomic<bool>* cancel) {
    CopyRun run{backup, observer, cancel, {}};
    run.progress.filesTotal = items.size();
    for (const ExtractItem& item : items) {
        if (item.size > 0 && item.dataOffset >= 0) run.progress.bytesTotal += run.held(item);
    }
    return run;
}

CopyOutcome copyData(CopyRun& run, std::uint64_t offset, std::uint64_t length, OutputFile* write) {
    CopyOutcome out;
    DataChecksum checksum;
    while (out.bytes < length) {
        if (run.cancelled()) {
            out.end = CopyEnd::Cancelled;
            return out;
        }
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, length - out.bytes));
        const ReadResult got = run.backup.read(offset + out.bytes, {run.buffer.data(), want});
        checksum.add({run.buffer.data(), got.bytes});
        if (write && got.bytes > 0) {
            if (FsError w = write->write({run.buffer.data(), got.bytes}); !w.ok()) {
                out.end = w.diskFull ? CopyEnd::DiskFull : CopyEnd::WriteFailed;
                out.reason = w.reason;
                return out;
            }
        }
        out.bytes += got.bytes;
        run.progress.bytesDone += got.bytes;
        run.report();
        if (got.failed || got.bytes < want) {
            out.end = CopyEnd::ReadFailed;
            out.reason = got.failed ? "cannot read the backup: " + got.reason : "the backup ended early";
            return out;
        }
    }
    out.checksum = checksum.value();
    return out;
}

std::optional<std::string> entryProblem(ByteSource& backup, const ExtractItem& item) {
    if (item.size < 0 || item.dataOffset < 0) return "the catalogue gives no valid size and data position for it";
    return dataHeaderProblem(backup, item.dataOffset);
}

}  // namespace bkf
