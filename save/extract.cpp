#include "save/extract.h"

#include <chrono>
#include <limits>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "catalogue/text.h"
#include "save/output_fs.h"
#include "save/output_naming.h"

namespace bkf {

namespace {

// Small enough that what is read is still in the cache when it is written.
constexpr std::size_t kCopyBlock = std::size_t{256} << 10;
// When the system copies by itself, the pieces are larger: progress and
// cancel are still looked at between them.
constexpr std::size_t kSystemCopyBlock = std::size_t{1} << 20;
constexpr unsigned kMaxNumberedTries = 10000;

std::u16string foldCase(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return out;
}

// Creates the folders and files of one save, keeping the folder chain of the
// last entry open (entries come folder by folder) and remembering which
// actual name each display folder got.
class OutputTree {
public:
    explicit OutputTree(std::unique_ptr<OutputDir> root) { chain_.push_back({u"", std::move(root), false}); }

    const std::filesystem::path& rootPath() const { return chain_.front().dir->path(); }

    // Opens (creating as needed) the folder for the display components
    // `folders`; null with `error` set when that fails.
    OutputDir* folder(std::span<const std::u16string_view> folders, FsError& error, bool& renamed) {
        error = {};
        // Keep the part of the open chain that this entry shares.
        std::u16string key;
        std::size_t depth = 0;
        for (; depth < folders.size() && depth + 1 < chain_.size(); ++depth) {
            std::u16string next = key;
            next += folders[depth];
            next += u'\\';
            if (chain_[depth + 1].key != next) break;
            key = std::move(next);
        }
        chain_.resize(depth + 1);
        for (; depth < folders.size(); ++depth) {
            std::u16string next = key;
            next += folders[depth];
            next += u'\\';
            auto dir = openFolder(key, folders[depth], next, error);
            if (!dir) return nullptr;
            const bool changed = chain_.back().renamed || renamedFolder_.count(next) > 0;
            chain_.push_back({next, std::move(dir), changed});
            key = std::move(next);
        }
        renamed = chain_.back().renamed;
        return chain_.back().dir.get();
    }

    // Creates a new file in `dir` (whose display key is the chain's last) for
    // the display name; the name actually used is returned in `name`.
    std::unique_ptr<OutputFile> file(OutputDir& dir, std::u16string_view displayName, std::u16string& name,
                                     FsError& error, bool& renamed) {
        const std::u16string& parentKey = chain_.back().key;
        bool changed = false;
        const std::u16string base = safeName(displayName, &changed);
        for (unsigned n = 1; n <= kMaxNumberedTries; ++n) {
            name = n == 1 ? base : numberedName(base, n);
            std::u16string takenKey = parentKey + u'/' + foldCase(name);
            if (taken_.count(takenKey)) continue;
            auto file = dir.createFile(name, error);
            // A name is used up when it was created or something stands there;
            // any other failure may not happen again for the next entry.
            if (file || error.exists) taken_.insert(std::move(takenKey));
            if (file) {
                renamed = renamed || changed || n > 1;
                return file;
            }
            if (!error.exists) return nullptr;
        }
        return nullptr;
    }

private:
    struct Link {
        std::u16string key;  // display components so far, each followed by "\"
        std::unique_ptr<OutputDir> dir;
        bool renamed;  // this folder or one above it did not keep its display name
    };

    std::unique_ptr<OutputDir> openFolder(const std::u16string& parentKey, std::u16string_view component,
                                          const std::u16string& key, FsError& error) {
        OutputDir& parent = *chain_.back().dir;
        if (const auto known = actualName_.find(key); known != actualName_.end()) {
            return parent.makeDir(known->second, true, error);
        }
        bool changed = false;
        const std::u16string base = safeName(component, &changed);
        for (unsigned n = 1; n <= kMaxNumberedTries; ++n) {
            const std::u16string name = n == 1 ? base : numberedName(base, n);
            // Another display folder of this save already took the name.
            std::u16string takenKey = parentKey + u'/' + foldCase(name);
            if (taken_.count(takenKey)) continue;
            auto dir = parent.makeDir(name, true, error);
            if (dir || error.exists) taken_.insert(std::move(takenKey));
            if (dir) {
                actualName_.emplace(key, name);
                if (changed || n > 1) renamedFolder_.insert(key);
                return dir;
            }
            if (!error.exists) return nullptr;  // a link or a file stands there: try another name
        }
        return nullptr;
    }

    std::vector<Link> chain_;
    std::unordered_map<std::u16string, std::u16string> actualName_;
    std::unordered_set<std::u16string> renamedFolder_;
    std::unordered_set<std::u16string> taken_;
};

// Creates "<prefix><n>" for the first n that is free.
std::unique_ptr<OutputDir> makeOutputRoot(std::unique_ptr<OutputDir> destination, std::u16string_view prefix,
                                          ExtractSummary& summary) {
    if (prefix.empty()) return destination;
    if (!isValidFolderPrefix(prefix)) {
        summary.status = Status::failure(utf16ToUtf8(kIllegalPrefixText));
        return nullptr;
    }
    FsError error;
    for (std::uint64_t n = 1; n < 1000000; ++n) {
        const std::u16string name = safeName(std::u16string(prefix) + decimalText(n));
        auto root = destination->makeDir(name, false, error);
        if (root) return root;
        if (!error.exists) {
            summary.diskFull = error.diskFull;
            summary.status = Status::failure("cannot create the folder " + utf16ToUtf8(name) + " in " +
                                             utf16ToUtf8(destination->path().u16string()) + ": " + error.reason);
            return nullptr;
        }
    }
    summary.status = Status::failure("no free folder name for the save");
    return nullptr;
}

// Adds one entry's outcome to the summary's counts and problems.
void count(ExtractSummary& summary, const EntryReport& report) {
    switch (report.result) {
        case EntryResult::Saved:
            ++summary.saved;
            switch (report.checksum) {
                case ChecksumVerdict::Verified: ++summary.verified; break;
                case ChecksumVerdict::Mismatch: ++summary.mismatched; break;
                case ChecksumVerdict::None: ++summary.unchecked; break;
            }
            break;
        case EntryResult::Truncated: ++summary.truncated; break;
        case EntryResult::Failed: ++summary.failed; break;
    }
    if (report.result != EntryResult::Saved || report.checksum == ChecksumVerdict::Mismatch) {
        summary.problems.push_back(report);
    }
}

}  // namespace

std::optional<std::vector<RowIndex>> rowsToSave(const CatalogueTable& table, int saveMode, RowIndex chosenRow) {
    if (saveMode == kSaveModeChosenRow) {
        if (chosenRow >= table.rowCount()) return std::nullopt;
        return std::vector<RowIndex>{chosenRow};
    }
    std::vector<RowIndex> rows;
    rows.reserve(table.checkedCount());
    for (RowIndex r = 0; r < table.rowCount(); ++r) {
        if (table.checked(r)) rows.push_back(r);
    }
    if (rows.empty()) return std::nullopt;
    return rows;
}

std::vector<ExtractItem> extractItems(const CatalogueTable& table, std::span<const RowIndex> rows) {
    std::vector<ExtractItem> items;
    items.reserve(rows.size());
    for (RowIndex r : rows) {
        items.push_back({table.path(r), table.size(r), table.dataOffset(r), table.modified(r), table.accessed(r),
                         table.created(r)});
    }
    return items;
}

ExtractSummary extractEntries(ByteSource& backup, std::span<const ExtractItem> items, const ExtractOptions& options,
                              ExtractObserver* observer, const std::atomic<bool>* cancel) {
    FsError error;
    auto destination = openOutputRoot(options.destination, error);
    if (!destination) {
        ExtractSummary summary;
        summary.status = Status::failure("cannot open the destination folder " +
                                         utf16ToUtf8(options.destination.u16string()) + ": " + error.reason);
        summary.notReached = items.size();
        return summary;
    }
    return extractEntries(backup, items, std::move(destination), options.prefix, observer, cancel);
}

ExtractSummary extractEntries(ByteSource& backup, std::span<const ExtractItem> items,
                              std::unique_ptr<OutputDir> destination, std::u16string_view prefix,
                              ExtractObserver* observer, const std::atomic<bool>* cancel) {
    const auto started = std::chrono::steady_clock::now();
    ExtractSummary summary;
    auto finish = [&]() -> ExtractSummary {
        summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return summary;
    };
    auto root = makeOutputRoot(std::move(destination), prefix, summary);
    if (!root) {
        summary.notReached = items.size();
        return finish();
    }
    summary.root = root->path();
    OutputTree tree(std::move(root));

    ExtractProgress progress;
    progress.filesTotal = items.size();
    const std::uint64_t backupSize = backup.size();
    for (const ExtractItem& item : items) {
        if (item.size > 0 && item.dataOffset >= 0) {
            const auto offset = static_cast<std::uint64_t>(item.dataOffset);
            if (offset < backupSize) progress.bytesTotal += std::min<std::uint64_t>(item.size, backupSize - offset);
        }
    }
    std::vector<std::uint8_t> buffer(kCopyBlock);
    auto cancelled = [&] { return cancel && cancel->load(std::memory_order_relaxed); };

    for (std::size_t index = 0; index < items.size(); ++index) {
        const ExtractItem& item = items[index];
        if (cancelled()) {
            summary.cancelled = true;
            summary.notReached = items.size() - index;
            break;
        }
        progress.current = item.displayPath;
        if (observer) observer->extractProgress(progress);

        EntryReport report;
        report.displayPath = item.displayPath;
        auto fail = [&](EntryResult result, std::string reason) {
            report.result = result;
            report.reason = std::move(reason);
        };
        const auto components = outputComponents(item.displayPath);
        const std::span<const std::u16string_view> folders(components.data(), components.size() - 1);

        bool stop = false;
        std::optional<std::string> misplaced;
        if (item.size < 0 || item.dataOffset < 0) {
            fail(EntryResult::Failed, "the catalogue gives no valid size and data position for it");
        } else if ((misplaced = dataHeaderProblem(backup, item.dataOffset))) {
            fail(EntryResult::Failed, *misplaced);
        } else {
            FsError error;
            bool renamed = false;
            OutputDir* dir = tree.folder(folders, error, renamed);
            std::u16string name;
            std::unique_ptr<OutputFile> file;
            if (dir) file = tree.file(*dir, components.back(), name, error, renamed);
            report.renamed = renamed;
            if (!file) {
                fail(EntryResult::Failed, error.reason.empty() ? "no free name for it" : error.reason);
                stop = error.diskFull;
            } else {
                report.writtenAs = dir->path() / pathFromUtf16(name);
                const auto offset = static_cast<std::uint64_t>(item.dataOffset);
                const auto size = static_cast<std::uint64_t>(item.size);
                const std::uint64_t available = offset >= backupSize ? 0 : std::min(size, backupSize - offset);
                bool broken = false;
                // The data passes through memory so that its checksum can be
                // worked out on the way.
                DataChecksum checksum;
                for (std::uint64_t done = 0; done < available && !broken;) {
                    if (cancelled()) {
                        summary.cancelled = true;
                        broken = stop = true;
                        break;
                    }
                    std::size_t moved = 0;
                    bool readFailed = false;
                    std::string readReason;
                    FsError w;
                    {
                        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, available - done));
                        const ReadResult got = backup.read(offset + done, {buffer.data(), want});
                        checksum.add({buffer.data(), got.bytes});
                        if (got.bytes > 0) w = file->write({buffer.data(), got.bytes});
                        moved = w.ok() ? got.bytes : 0;
                        if (got.failed || got.bytes < want) {
                            readFailed = true;
                            readReason = got.failed ? "cannot read the backup: " + got.reason : "the backup ended early";
                        }
                    }
                    if (!w.ok()) {
                        fail(EntryResult::Failed, w.reason);
                        broken = true;
                        stop = w.diskFull;
                        break;
                    }
                    done += moved;
                    report.bytes = done;
                    progress.bytesDone += moved;
                    if (observer) observer->extractProgress(progress);
                    if (readFailed) {
                        fail(EntryResult::Failed, readReason);
                        broken = true;
                    }
                }
                if (!broken) {
                    file->setTimes(item.modified, item.accessed, item.created);
                    if (FsError c = file->close(); !c.ok()) {
                        fail(EntryResult::Failed, c.reason);
                        broken = true;
                        stop = c.diskFull;
                    }
                }
                if (broken) {
                    // A file that is not whole is not left behind.
                    file.reset();
                    dir->removeFile(name);
                    report.writtenAs.clear();
                    report.bytes = 0;
                } else if (available < size) {
                    fail(EntryResult::Truncated, "its data runs past the end of the backup file (" +
                                                     std::to_string(available) + " of " + std::to_string(size) +
                                                     " bytes written)");
                } else {
                    report.checksum = checkDataChecksum(backup, item.dataOffset, item.size, checksum.value());
                }
            }
        }
        if (summary.cancelled) {
            summary.notReached = items.size() - index;
            break;
        }
        count(summary, report);
        summary.renamed += report.renamed ? 1 : 0;
        summary.bytesWritten += report.bytes;
        ++progress.filesDone;
        if (observer) observer->entryFinished(report);
        if (stop) {
            summary.diskFull = true;
            summary.notReached = items.size() - index - 1;
            summary.status = Status::failure("the destination is full: " + report.reason + "; the save stopped");
            break;
        }
    }
    if (observer) observer->extractProgress(progress);
    return finish();
}

ExtractSummary verifyEntries(ByteSource& backup, std::span<const ExtractItem> items, ExtractObserver* observer,
                             const std::atomic<bool>* cancel) {
    const auto started = std::chrono::steady_clock::now();
    ExtractSummary summary;
    ExtractProgress progress;
    progress.filesTotal = items.size();
    const std::uint64_t backupSize = backup.size();
    for (const ExtractItem& item : items) {
        if (item.size > 0 && item.dataOffset >= 0 && static_cast<std::uint64_t>(item.dataOffset) < backupSize) {
            progress.bytesTotal += std::min<std::uint64_t>(item.size, backupSize - item.dataOffset);
        }
    }
    std::vector<std::uint8_t> buffer(kCopyBlock);
    for (std::size_t index = 0; index < items.size(); ++index) {
        const ExtractItem& item = items[index];
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            summary.cancelled = true;
            summary.notReached = items.size() - index;
            break;
        }
        progress.current = item.displayPath;
        if (observer) observer->extractProgress(progress);
        EntryReport report;
        report.displayPath = item.displayPath;
        if (item.size < 0 || item.dataOffset < 0) {
            report.result = EntryResult::Failed;
            report.reason = "the catalogue gives no valid size and data position for it";
        } else if (auto misplaced = dataHeaderProblem(backup, item.dataOffset)) {
            report.result = EntryResult::Failed;
            report.reason = *misplaced;
        } else {
            const auto offset = static_cast<std::uint64_t>(item.dataOffset);
            const auto size = static_cast<std::uint64_t>(item.size);
            const std::uint64_t available = offset >= backupSize ? 0 : std::min(size, backupSize - offset);
            DataChecksum checksum;
            std::uint64_t done = 0;
            while (done < available && !summary.cancelled) {
                if (cancel && cancel->load(std::memory_order_relaxed)) {
                    summary.cancelled = true;
                    break;
                }
                const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, available - done));
                const ReadResult got = backup.read(offset + done, {buffer.data(), want});
                checksum.add({buffer.data(), got.bytes});
                done += got.bytes;
                progress.bytesDone += got.bytes;
                if (observer) observer->extractProgress(progress);
                if (got.failed || got.bytes < want) {
                    report.result = EntryResult::Failed;
                    report.reason = got.failed ? "cannot read the backup: " + got.reason : "the backup ended early";
                    break;
                }
            }
            if (summary.cancelled) {
                summary.notReached = items.size() - index;
                break;
            }
            report.bytes = done;
            if (report.result == EntryResult::Failed) {
                // A read failure says so; no verdict.
            } else if (available < size) {
                report.result = EntryResult::Truncated;
                report.reason = "its data runs past the end of the backup file (" + std::to_string(available) +
                                " of " + std::to_string(size) + " bytes there)";
            } else {
                report.checksum = checkDataChecksum(backup, item.dataOffset, item.size, checksum.value());
            }
        }
        count(summary, report);
        ++progress.filesDone;
        if (observer) observer->entryFinished(report);
    }
    if (observer) observer->extractProgress(progress);
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return summary;
}

}  // namespace bkf
