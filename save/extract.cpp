#include "save/extract.h"

#include <array>
#include <chrono>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "base/text.h"
#include "engine/tape_format.h"
#include "save/copy_run.h"
#include "save/output_fs.h"
#include "save/output_naming.h"

namespace bkf {

namespace {

// Folders of the chain that keep an open handle: enough for entries that
// come folder by folder, few enough for any depth.
constexpr std::size_t kOpenFolders = 8;
// When this many entries (or all, when fewer) fail the stream-header check
// before any passes it, the catalogue is not of this backup.
constexpr std::size_t kWrongBackupProbe = 8;

std::u16string foldCase(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return out;
}

using FolderId = std::uint32_t;

// A key under one folder: the folder's id in two code units, then a name.
std::u16string keyIn(FolderId folder, std::u16string_view name) {
    std::u16string key;
    key.reserve(name.size() + 2);
    key.push_back(static_cast<char16_t>(folder >> 16));
    key.push_back(static_cast<char16_t>(folder & 0xFFFF));
    key += name;
    return key;
}

// Creates the folders and files of one save. Each display folder gets an id
// and remembers the name it got on disk, so memory grows with the names, not
// with the depth times the path. Only the last few folders of the current
// chain stay open; the others are opened again, by name and never through a
// link, when an entry needs them. A name that is taken gets the next number
// not tried yet in that folder, remembered per name, so numbering never
// repeats work and never gives up.
class OutputTree {
public:
    explicit OutputTree(std::unique_ptr<OutputDir> root) : root_(std::move(root)) {
        folders_.push_back({0, u"", false});
    }

    const std::filesystem::path& rootPath() const { return root_->path(); }

    // Opens (creating as needed) the folder for the display components
    // `folders`; null with `error` set when that fails.
    OutputDir* folder(std::span<const std::u16string_view> folders, FsError& error, bool& renamed) {
        error = {};
        std::vector<FolderId> ids;
        ids.reserve(folders.size());
        FolderId current = 0;
        for (const std::u16string_view component : folders) {
            if (const auto known = children_.find(keyIn(current, component)); known != children_.end()) {
                current = known->second;
            } else {
                OutputDir* parent = openChain(ids, error);
                if (!parent) return nullptr;
                const auto made = makeFolder(*parent, current, component, error);
                if (!made) return nullptr;
                current = *made;
            }
            ids.push_back(current);
        }
        OutputDir* dir = openChain(ids, error);
        if (dir) renamed = folders_[current].renamed;
        return dir;
    }

    // Creates a new file in `dir` (the folder of the last folder() call) for
    // the display name; the name actually used is returned in `name`.
    std::unique_ptr<OutputFile> file(OutputDir& dir, std::u16string_view displayName, std::u16string& name,
                                     FsError& error, bool& renamed) {
        const FolderId parent = chainIds_.empty() ? 0 : chainIds_.back();
        bool changed = false;
        const std::u16string base = safeName(displayName, &changed);
        std::unique_ptr<OutputFile> file;
        const unsigned n = freeName(
            parent, base, name,
            [&](const std::u16string& candidate) {
                auto made = dir.createFile(candidate);
                if (!made) {
                    error = made.error();
                    return false;
                }
                file = std::move(*made);
                return true;
            },
            error);
        if (file) renamed = renamed || changed || n > 1;
        return file;
    }

private:
    struct Folder {
        FolderId parent;
        std::u16string name;  // the name it got on disk
        bool renamed;         // this folder or one above it did not keep its display name
    };

    // Tries base, "base (2)", ... from the first number not tried yet under
    // `parent`, until `create` succeeds or fails for another reason than a
    // name that is taken. Returns the number used (0 when it failed).
    template <typename Create>
    unsigned freeName(FolderId parent, const std::u16string& base, std::u16string& name, Create create,
                      FsError& error) {
        unsigned& next = nextNumber_.try_emplace(keyIn(parent, foldCase(base)), 1u).first->second;
        for (;; ++next) {
            name = next == 1 ? base : numberedName(base, next);
            std::u16string takenKey = keyIn(parent, foldCase(name));
            if (taken_.count(takenKey)) continue;
            const bool made = create(name);
            // A name is used up when it was created or something stands there;
            // any other failure may not happen again for the next entry.
            if (made || error.exists) taken_.insert(std::move(takenKey));
            if (made) return next++;
            if (!error.exists) return 0;
        }
    }

    std::optional<FolderId> makeFolder(OutputDir& parentDir, FolderId parent, std::u16string_view component,
                                       FsError& error) {
        bool changed = false;
        const std::u16string base = safeName(component, &changed);
        std::u16string name;
        const unsigned n = freeName(
            parent, base, name,
            [&](const std::u16string& candidate) {
                // Only checks that it can be made and opened; the chain opens it again.
                const auto made = parentDir.makeDir(candidate, true);
                if (!made) error = made.error();
                return made.ok();
            },
            error);
        if (n == 0) return std::nullopt;
        const auto id = static_cast<FolderId>(folders_.size());
        folders_.push_back({parent, name, folders_[parent].renamed || changed || n > 1});
        children_.emplace(keyIn(parent, component), id);
        return id;
    }

    // Makes the open chain the folders `ids` (from the root down) and returns
    // the last one's handle (the root's when `ids` is empty).
    OutputDir* openChain(const std::vector<FolderId>& ids, FsError& error) {
        std::size_t shared = 0;
        while (shared < ids.size() && shared < chainIds_.size() && chainIds_[shared] == ids[shared]) ++shared;
        chainIds_.resize(shared);
        chainDirs_.resize(shared);
        // Start from the deepest folder still open.
        std::size_t open = shared;
        while (open > 0 && !chainDirs_[open - 1]) --open;
        for (std::size_t i = open; i < ids.size(); ++i) {
            OutputDir& parent = i == 0 ? *root_ : *chainDirs_[i - 1];
            auto made = parent.makeDir(folders_[ids[i]].name, true);
            if (!made) {
                error = made.error();
                chainIds_.resize(std::min(chainIds_.size(), i));
                chainDirs_.resize(chainIds_.size());
                return nullptr;
            }
            std::unique_ptr<OutputDir> dir = std::move(*made);
            if (i < chainIds_.size()) {
                chainDirs_[i] = std::move(dir);
            } else {
                chainIds_.push_back(ids[i]);
                chainDirs_.push_back(std::move(dir));
            }
            // Only the last few stay open: the open ones are always the chain's end.
            if (i >= kOpenFolders) chainDirs_[i - kOpenFolders].reset();
        }
        return chainDirs_.empty() ? root_.get() : chainDirs_.back().get();
    }

    std::unique_ptr<OutputDir> root_;
    std::vector<Folder> folders_;
    std::unordered_map<std::u16string, FolderId> children_;    // (folder, display component) -> folder
    std::unordered_set<std::u16string> taken_;                 // (folder, folded name) in use
    std::unordered_map<std::u16string, unsigned> nextNumber_;  // (folder, folded base name) -> next number
    std::vector<FolderId> chainIds_;
    std::vector<std::unique_ptr<OutputDir>> chainDirs_;  // null where closed
};

// Creates "<prefix><n>" for the first n that is free.
std::unique_ptr<OutputDir> makeOutputRoot(std::unique_ptr<OutputDir> destination, std::u16string_view prefix,
                                          ExtractSummary& summary) {
    if (prefix.empty()) return destination;
    if (!isValidFolderPrefix(prefix)) {
        summary.status = Status::failure(utf16ToUtf8(kIllegalPrefixText));
        return nullptr;
    }
    if (!folderPrefixFits(prefix)) {
        summary.status = Status::failure("the folder prefix is too long to leave room for its number");
        return nullptr;
    }
    for (std::uint64_t n = 1; n < 1000000; ++n) {
        const std::u16string name = safeName(std::u16string(prefix) + decimalText(n));
        auto root = destination->makeDir(name, false);
        if (root) return std::move(*root);
        const FsError& error = root.error();
        if (!error.exists) {
            summary.diskFull = error.diskFull;
            summary.status = Status::failure("cannot create the folder " + utf16ToUtf8(name) + " in " +
                                             pathText(destination->path()) + ": " + error.reason);
            return nullptr;
        }
    }
    summary.status = Status::failure("no free folder name for the save");
    return nullptr;
}

}  // namespace

void addToSummary(ExtractSummary& summary, const EntryReport& report) {
    switch (report.result) {
        case EntryResult::Saved:
            ++summary.saved;
            switch (report.checksum) {
                case ChecksumVerdict::Verified:
                    ++summary.verified;
                    break;
                case ChecksumVerdict::Mismatch:
                    ++summary.mismatched;
                    break;
                case ChecksumVerdict::None:
                    ++summary.unchecked;
                    break;
            }
            break;
        case EntryResult::Truncated:
            ++summary.truncated;
            break;
        case EntryResult::Failed:
            ++summary.failed;
            break;
    }
    if (report.result != EntryResult::Saved || report.checksum == ChecksumVerdict::Mismatch) {
        summary.problems.push_back(report);
    }
}

std::optional<std::vector<RowIndex>> rowsToSave(const CatalogueTable& table, std::optional<RowIndex> chosenRow) {
    if (chosenRow) {
        if (*chosenRow >= table.rowCount()) return std::nullopt;
        return std::vector<RowIndex>{*chosenRow};
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
    auto destination = openOutputRoot(options.destination);
    if (!destination) {
        ExtractSummary summary;
        summary.status = Status::failure("cannot open the destination folder " + pathText(options.destination) + ": " +
                                         destination.error().reason);
        summary.notReached = items.size();
        return summary;
    }
    return extractEntries(backup, items, std::move(*destination), options.prefix, observer, cancel);
}

namespace {

// The verdict of data read whole (or the truncation when the backup ends first).
void judge(CopyRun& run, const ExtractItem& item, std::uint64_t held, std::uint32_t checksum, EntryReport& report) {
    const auto size = static_cast<std::uint64_t>(item.size);
    if (held < size) {
        report.result = EntryResult::Truncated;
        report.reason = "its data runs past the end of the backup file (" + std::to_string(held) + " of " +
                        std::to_string(size) + " bytes " + (report.writtenAs.empty() ? "there)" : "written)");
        return;
    }
    report.checksum = checkDataChecksum(run.backup, item.dataOffset, item.size, checksum);
}

// One entry saved: what happened to it, and whether the save must stop.
struct SavedEntry {
    EntryReport report;
    bool diskFull = false;
    bool cancelled = false;
    bool misplaced = false;   // its data offset follows no stream header
    bool headerHeld = false;  // its stream header stands in the backup and holds
};

// Where an entry is written: its file, made under its folders.
struct OutputPlace {
    OutputDir* dir = nullptr;
    std::unique_ptr<OutputFile> file;  // null when it could not be made
    std::u16string name;
};

OutputPlace makeOutputFile(OutputTree& tree, const ExtractItem& item, SavedEntry& saved) {
    OutputPlace place;
    const auto components = outputComponents(item.displayPath);
    const std::span<const std::u16string_view> folders(components.data(), components.size() - 1);
    FsError error;
    bool renamed = false;
    place.dir = tree.folder(folders, error, renamed);
    if (place.dir) place.file = tree.file(*place.dir, components.back(), place.name, error, renamed);
    saved.report.renamed = renamed;
    if (!place.file) {
        saved.report.result = EntryResult::Failed;
        saved.report.reason = error.reason.empty() ? "no free name for it" : error.reason;
        saved.diskFull = error.diskFull;
    }
    return place;
}

// Copies the entry's `held` bytes into its file and closes it with the
// entry's times. A file that is not whole is not left behind.
CopyOutcome writeData(CopyRun& run, const ExtractItem& item, std::uint64_t held, OutputPlace& place) {
    CopyOutcome copy = copyData(run, static_cast<std::uint64_t>(item.dataOffset), held, place.file.get());
    if (copy.end == CopyEnd::Done) {
        place.file->setTimes(item.modified, item.accessed, item.created);
        if (FsError closed = place.file->close(); !closed.ok()) {
            copy.end = closed.diskFull ? CopyEnd::DiskFull : CopyEnd::WriteFailed;
            copy.reason = closed.reason;
        }
    }
    if (copy.end != CopyEnd::Done) {
        place.file.reset();
        place.dir->removeFile(place.name);
    }
    return copy;
}

SavedEntry saveEntry(CopyRun& run, OutputTree& tree, const ExtractItem& item) {
    SavedEntry saved;
    EntryReport& report = saved.report;
    report.displayPath = item.displayPath;
    if (auto problem = entryProblem(run.backup, item)) {
        report.result = EntryResult::Failed;
        saved.misplaced = *problem == kWrongPlaceReason;
        report.reason = std::move(*problem);
        return saved;
    }
    // (A stream header past the end of a shorter backup neither proves nor disproves the catalogue.)
    saved.headerHeld = static_cast<std::uint64_t>(item.dataOffset) < run.backupSize + mtf::kStreamHeaderSize;
    OutputPlace place = makeOutputFile(tree, item, saved);
    if (!place.file) return saved;
    report.writtenAs = place.dir->path() / pathFromUtf16(place.name);
    const std::uint64_t held = run.held(item);
    CopyOutcome copy = writeData(run, item, held, place);
    if (copy.end != CopyEnd::Done) {
        report.writtenAs.clear();
        report.result = EntryResult::Failed;
        report.reason = std::move(copy.reason);
        saved.diskFull = copy.end == CopyEnd::DiskFull;
        saved.cancelled = copy.end == CopyEnd::Cancelled;
        return saved;
    }
    report.bytes = copy.bytes;
    judge(run, item, held, copy.checksum, report);
    return saved;
}

// Whether the catalogue belongs to this backup: the first entries tell. It
// does not when none of them has its data where the catalogue says.
class WrongBackupProbe {
public:
    explicit WrongBackupProbe(std::size_t entries) : probe_(std::min(kWrongBackupProbe, entries)) {}
    bool provesWrong(const SavedEntry& saved) {
        misplaced_ += saved.misplaced ? 1 : 0;
        headerSeen_ = headerSeen_ || saved.headerHeld;
        return !headerSeen_ && misplaced_ == probe_;
    }
    std::string reason() const {
        return "none of the first " + std::to_string(probe_) +
               " entries has its data where the catalogue says: the catalogue does not belong to this backup file; "
               "the save stopped";
    }

private:
    std::size_t probe_;
    std::size_t misplaced_ = 0;
    bool headerSeen_ = false;
};

ExtractSummary finished(ExtractSummary summary, std::chrono::steady_clock::time_point started) {
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return summary;
}

}  // namespace

ExtractSummary extractEntries(ByteSource& backup, std::span<const ExtractItem> items,
                              std::unique_ptr<OutputDir> destination, std::u16string_view prefix,
                              ExtractObserver* observer, const std::atomic<bool>* cancel) {
    const auto started = std::chrono::steady_clock::now();
    ExtractSummary summary;
    auto root = makeOutputRoot(std::move(destination), prefix, summary);
    if (!root) {
        summary.notReached = items.size();
        return finished(std::move(summary), started);
    }
    summary.root = root->path();
    OutputTree tree(std::move(root));
    CopyRun run = startCopyRun(backup, items, observer, cancel);

    WrongBackupProbe probe(items.size());
    for (std::size_t index = 0; index < items.size(); ++index) {
        const ExtractItem& item = items[index];
        if (!run.begin(summary, items, index)) break;
        SavedEntry saved = saveEntry(run, tree, item);
        if (saved.cancelled) {
            summary.cancelled = true;
            summary.notReached = items.size() - index;
            break;
        }
        const EntryReport& report = saved.report;
        addToSummary(summary, report);
        summary.renamed += report.renamed ? 1 : 0;
        summary.bytesWritten += report.bytes;
        ++run.progress.filesDone;
        if (observer) observer->entryFinished(report);
        if (probe.provesWrong(saved)) {
            summary.wrongBackup = true;
            summary.notReached = items.size() - index - 1;
            summary.status = Status::failure(probe.reason());
            break;
        }
        if (saved.diskFull) {
            summary.diskFull = true;
            summary.notReached = items.size() - index - 1;
            summary.status = Status::failure("the destination is full: " + report.reason + "; the save stopped");
            break;
        }
    }
    run.report();
    return finished(std::move(summary), started);
}

ExtractSummary verifyEntries(ByteSource& backup, std::span<const ExtractItem> items, ExtractObserver* observer,
                             const std::atomic<bool>* cancel) {
    const auto started = std::chrono::steady_clock::now();
    ExtractSummary summary;
    CopyRun run = startCopyRun(backup, items, observer, cancel);
    for (std::size_t index = 0; index < items.size(); ++index) {
        const ExtractItem& item = items[index];
        if (!run.begin(summary, items, index)) break;
        EntryReport report;
        report.displayPath = item.displayPath;
        if (auto problem = entryProblem(backup, item)) {
            report.result = EntryResult::Failed;
            report.reason = std::move(*problem);
        } else {
            const std::uint64_t held = run.held(item);
            CopyOutcome read = copyData(run, static_cast<std::uint64_t>(item.dataOffset), held, nullptr);
            if (read.end == CopyEnd::Cancelled) {
                summary.cancelled = true;
                summary.notReached = items.size() - index;
                break;
            }
            report.bytes = read.bytes;
            if (read.end != CopyEnd::Done) {
                report.result = EntryResult::Failed;
                report.reason = std::move(read.reason);
            } else {
                judge(run, item, held, read.checksum, report);
            }
        }
        addToSummary(summary, report);
        ++run.progress.filesDone;
        if (observer) observer->entryFinished(report);
    }
    run.report();
    return finished(std::move(summary), started);
}

// ---- Saving in the scan's own pass

struct PassingExtractor::Impl {
    // A file found: its stream header, data, padding and checksum stream
    // pass in order. It is decided (its header checked, its output file
    // made) in the order found, as a save after the scan would; data that
    // passes before that waits in `early`.
    struct Pending {
        ExtractItem item;
        EntryReport report;
        std::uint64_t header = 0;  // first byte of the STAN header
        std::uint64_t dataEnd = 0;
        std::uint64_t checksumAt = 0;
        std::uint64_t next = 0;  // first byte not yet taken
        std::array<std::uint8_t, 22> stan{};
        std::array<std::uint8_t, kChecksumStreamSize> csum{};
        DataChecksum sum;
        bool decided = false;
        bool done = false;  // report final
        std::unique_ptr<OutputFile> file;
        std::u16string name;  // on disk, in its folder
        std::vector<std::uint8_t> early;
        FsError writeError;
    };

    ExtractObserver* observer;
    std::function<bool(std::u16string_view)> wanted;
    std::atomic<bool>& stop;
    ExtractOptions options;
    ExtractSummary summary;
    std::optional<OutputTree> tree;
    std::deque<Pending> pending;  // in the order found; the front ones leave when reported
    ExtractProgress progress;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    bool fullDisk = false;

    Impl(const ExtractOptions& o2, std::function<bool(std::u16string_view)> w, ExtractObserver* o, std::atomic<bool>& s)
        : observer(o), wanted(std::move(w)), stop(s), options(o2) {}

    // The output root, made at the first file (a save that finds nothing makes none).
    bool ensureRoot() {
        if (tree) return true;
        if (stop) return false;
        auto destination = openOutputRoot(options.destination);
        if (!destination) {
            summary.status = Status::failure("cannot open the destination folder " + pathText(options.destination) +
                                             ": " + destination.error().reason);
            stop = true;
            return false;
        }
        auto root = makeOutputRoot(std::move(*destination), options.prefix, summary);
        if (!root) {
            stop = true;
            return false;
        }
        summary.root = root->path();
        tree.emplace(std::move(root));
        return true;
    }

    OutputDir* folderOf(const ExtractItem& item, FsError& error, bool& renamed) {
        const auto components = outputComponents(item.displayPath);
        return tree->folder(std::span(components.data(), components.size() - 1), error, renamed);
    }

    // Checks the stream header (whole, or known to lie past the end when
    // `fileSize` is given) and makes the output file.
    void decide(Pending& p, std::optional<std::uint64_t> fileSize) {
        p.decided = true;
        const bool pastTheEnd = fileSize && p.header >= *fileSize;
        const bool whole = !fileSize || p.header + 22 <= *fileSize;
        if (!pastTheEnd && (!whole || !streamHeaderHolds(p.stan, "STAN"))) {
            fail(p, std::string(kWrongPlaceReason));
            return;
        }
        if (fullDisk) return;
        if (!ensureRoot()) {
            fail(p, summary.status.message());
            return;
        }
        FsError error;
        bool renamed = false;
        OutputDir* dir = folderOf(p.item, error, renamed);
        const auto components = outputComponents(p.item.displayPath);
        if (dir) p.file = tree->file(*dir, components.back(), p.name, error, renamed);
        p.report.renamed = renamed;
        if (!p.file) {
            fail(p, error.reason.empty() ? "no free name for it" : error.reason);
            if (error.diskFull) stopForFullDisk(p.report.reason);
            return;
        }
        p.report.writtenAs = dir->path() / pathFromUtf16(p.name);
        write(p, p.early);
        p.early.clear();
        p.early.shrink_to_fit();
    }

    void fail(Pending& p, std::string reason) {
        p.report.result = EntryResult::Failed;
        p.report.reason = std::move(reason);
        p.done = true;
    }

    void write(Pending& p, std::span<const std::uint8_t> bytes) {
        if (!p.file || bytes.empty() || !p.writeError.ok()) return;
        p.writeError = p.file->write(bytes);
        if (p.writeError.diskFull) stopForFullDisk(p.writeError.reason);
    }

    void stopForFullDisk(const std::string& reason) {
        if (fullDisk) return;
        fullDisk = true;
        summary.diskFull = true;
        summary.status = Status::failure("the destination is full: " + reason + "; the save stopped");
        stop = true;
    }

    // Removes the output of a file that is not whole.
    void discard(Pending& p) {
        if (!p.file) return;
        p.file.reset();
        FsError error;
        bool renamed = false;
        if (OutputDir* dir = folderOf(p.item, error, renamed)) dir->removeFile(p.name);
        p.report.writtenAs.clear();
        p.report.bytes = 0;
    }

    // The data has passed whole (or the backup ended): close and judge.
    void close(Pending& p, std::optional<std::uint64_t> fileSize) {
        const std::uint64_t dataStart = p.header + 22;
        const auto size = static_cast<std::uint64_t>(p.item.size);
        const std::uint64_t held =
            fileSize ? (*fileSize > dataStart ? std::min(size, *fileSize - dataStart) : 0) : size;
        FsError closed = p.writeError;
        if (closed.ok() && p.file) {
            p.file->setTimes(p.item.modified, p.item.accessed, p.item.created);
            closed = p.file->close();
        }
        if (!closed.ok() || !p.file) {
            discard(p);
            fail(p, closed.ok() ? "the save stopped: the destination is full" : closed.reason);
            if (closed.diskFull) stopForFullDisk(closed.reason);
            return;
        }
        p.file.reset();
        p.report.bytes = held;
        p.done = true;
        if (held < size) {
            p.report.result = EntryResult::Truncated;
            p.report.reason = "its data runs past the end of the backup file (" + std::to_string(held) + " of " +
                              std::to_string(size) + " bytes written)";
            return;
        }
        const bool csumWhole = !fileSize || p.checksumAt + kChecksumStreamSize <= *fileSize;
        if (csumWhole) p.report.checksum = checksumVerdictOf(p.csum, p.sum.value());
    }

    // Reports the finished files at the front, in the order found.
    void reportDone() {
        while (!pending.empty() && pending.front().done) {
            Pending& p = pending.front();
            addToSummary(summary, p.report);
            summary.renamed += p.report.renamed ? 1 : 0;
            summary.bytesWritten += p.report.bytes;
            ++progress.filesDone;
            if (observer) {
                observer->entryFinished(p.report);
                observer->extractProgress(progress);
            }
            pending.pop_front();
        }
    }

    void take(std::uint64_t position, std::span<const std::uint8_t> bytes) {
        if (fullDisk) return;  // the scan is being stopped
        const std::uint64_t end = position + bytes.size();
        const auto part = [&](std::uint64_t from, std::uint64_t to) {
            return bytes.subspan(from - position, to - from);
        };
        // The stream headers first, then the decisions in the order found.
        for (Pending& p : pending) {
            if (p.done || p.next >= end) continue;
            const std::uint64_t from = std::max(p.next, position), to = std::min(end, p.header + 22);
            if (from < to) std::memcpy(p.stan.data() + (from - p.header), part(from, to).data(), to - from);
        }
        for (Pending& p : pending) {
            if (p.decided) continue;
            if (end < p.header + 22) break;  // not passed whole yet: the later ones wait for it
            decide(p, std::nullopt);
        }
        for (Pending& p : pending) {
            if (p.done || p.next >= end) continue;
            const std::uint64_t from = std::max(p.next, position);
            const std::uint64_t dataFrom = std::max(from, p.header + 22), dataTo = std::min(end, p.dataEnd);
            if (dataFrom < dataTo) {
                const auto data = part(dataFrom, dataTo);
                p.sum.add(data);
                if (p.decided) {
                    write(p, data);
                } else {
                    p.early.insert(p.early.end(), data.begin(), data.end());
                }
                progress.bytesDone += data.size();
            }
            const std::uint64_t csFrom = std::max(from, p.checksumAt),
                                csTo = std::min(end, p.checksumAt + kChecksumStreamSize);
            if (csFrom < csTo)
                std::memcpy(p.csum.data() + (csFrom - p.checksumAt), part(csFrom, csTo).data(), csTo - csFrom);
            p.next = std::min(end, p.checksumAt + kChecksumStreamSize);
            if (p.decided && p.next == p.checksumAt + kChecksumStreamSize) close(p, std::nullopt);
        }
        reportDone();
    }

    void ended(std::optional<std::uint64_t> fileSize, bool cancelled) {
        for (Pending& p : pending) {
            if (p.done) continue;
            if (cancelled || fullDisk) {
                discard(p);
                continue;
            }
            if (!p.decided) decide(p, fileSize);
            if (!p.done) close(p, fileSize);
        }
        if (cancelled || fullDisk) {
            // What was found but not finished is not saved.
            summary.notReached +=
                static_cast<std::size_t>(std::erase_if(pending, [](const Pending& p) { return !p.done; }));
            summary.cancelled = cancelled;
        }
        reportDone();
        pending.clear();
    }
};

PassingExtractor::PassingExtractor(const ExtractOptions& options, std::function<bool(std::u16string_view)> wanted,
                                   ExtractObserver* observer)
    : impl_(std::make_unique<Impl>(options, std::move(wanted), observer, stop_)) {}

PassingExtractor::~PassingExtractor() = default;

void PassingExtractor::fileFound(const FoundFile& file) {
    Impl& m = *impl_;
    if (m.stop || (m.wanted && !m.wanted(file.path))) return;
    Impl::Pending p;
    p.item = {file.path, file.size, file.dataOffset, file.modified, file.accessed, file.created};
    p.report.displayPath = file.path;
    ++m.progress.filesTotal;
    if (file.size < 0 || file.dataOffset < static_cast<std::int64_t>(mtf::kStreamHeaderSize)) {
        m.fail(p, file.size < 0 ? "the catalogue gives no valid size and data position for it" : kWrongPlaceReason);
        p.decided = true;
    } else {
        p.header = static_cast<std::uint64_t>(file.dataOffset) - mtf::kStreamHeaderSize;
        p.dataEnd = static_cast<std::uint64_t>(file.dataOffset) + static_cast<std::uint64_t>(file.size);
        p.checksumAt = checksumStreamAt(file.dataOffset, file.size);
        p.next = p.header;
    }
    m.pending.push_back(std::move(p));
    m.progress.current = file.path;
}

void PassingExtractor::bytesScanned(std::uint64_t position, std::span<const std::uint8_t> bytes) {
    if (!impl_->pending.empty()) impl_->take(position, bytes);
}

void PassingExtractor::scanEnded(std::uint64_t fileSize) {
    impl_->ended(fileSize, false);
}

ExtractSummary PassingExtractor::finish(bool cancelled) {
    Impl& m = *impl_;
    if (!m.pending.empty()) m.ended(std::nullopt, cancelled);
    m.summary.cancelled = m.summary.cancelled || cancelled;
    return finished(std::move(m.summary), m.started);
}

}  // namespace bkf
