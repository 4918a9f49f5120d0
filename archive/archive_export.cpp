#include "archive/archive_export.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/file_time.h"
#include "base/status.h"
#include "base/text.h"
#include "engine/tape_format.h"
#include "save/copy_run.h"
#include "save/name_tree.h"
#include "save/output_fs.h"
#include "save/verify.h"

namespace bkf {

namespace {

// As a save: when this many entries (or all, when fewer) fail the stream-header
// check before any passes it, the catalogue is not of this backup.
constexpr std::size_t kWrongBackupProbe = 8;

std::string lowered(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return s;
}

struct ArchiveDeleter {
    void operator()(struct archive* a) const { archive_write_free(a); }
};
struct EntryDeleter {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using ArchivePtr = std::unique_ptr<struct archive, ArchiveDeleter>;
using EntryPtr = std::unique_ptr<archive_entry, EntryDeleter>;

std::string archiveError(struct archive* a) {
    const char* text = archive_error_string(a);
    return text ? text : "unknown error of the archive writer";
}

// A file time as seconds and nanoseconds since 1970; false for "none" (0).
bool unixTime(FileTime t, std::int64_t& seconds, long& nanoseconds) {
    if (t == 0) return false;
    const auto ticks = static_cast<std::int64_t>(t / 10000000);
    seconds = ticks - kFileTimeUnixEpochSeconds;
    nanoseconds = static_cast<long>(t % 10000000) * 100;
    return true;
}

void setTimes(archive_entry* e, const ExtractItem& item) {
    std::int64_t s = 0;
    long ns = 0;
    if (unixTime(item.modified, s, ns)) archive_entry_set_mtime(e, static_cast<time_t>(s), ns);
    if (unixTime(item.accessed, s, ns)) archive_entry_set_atime(e, static_cast<time_t>(s), ns);
    if (unixTime(item.created, s, ns)) archive_entry_set_birthtime(e, static_cast<time_t>(s), ns);
}

Status setFormat(struct archive* a, ArchiveFormat format) {
    int r = ARCHIVE_OK;
    switch (format) {
        case ArchiveFormat::Tar:
            // ustar headers, with pax records only where a name, size or time needs them.
            r = archive_write_set_format_pax_restricted(a);
            break;
        case ArchiveFormat::Pax:
            r = archive_write_set_format_pax(a);
            break;
        case ArchiveFormat::Zip:
            r = archive_write_set_format_zip(a);
            if (r == ARCHIVE_OK) r = archive_write_set_format_option(a, "zip", "hdrcharset", "UTF-8");
            break;
        case ArchiveFormat::SevenZip:
            r = archive_write_set_format_7zip(a);
            break;
    }
    if (r != ARCHIVE_OK) return Status::failure(archiveError(a));
    // Large blocks; the last one is not padded out.
    archive_write_set_bytes_per_block(a, 64 * 1024);
    archive_write_set_bytes_in_last_block(a, 1);
    return Status{};
}

// libarchive converts names through the locale's character set: UTF-8 for
// this thread while it writes, whatever the program's locale (the command
// line keeps "C", where a name beyond ASCII cannot be converted).
class Utf8Locale {
public:
    Utf8Locale() : utf8_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr))) {
        if (utf8_) previous_ = uselocale(utf8_);
    }
    ~Utf8Locale() {
        if (!utf8_) return;
        uselocale(previous_);
        freelocale(utf8_);
    }
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;

private:
    locale_t utf8_;
    locale_t previous_ = nullptr;
};

// The archive being written: the libarchive handle and, for a named archive,
// its temporary file.
class ArchiveOut {
public:
    Status open(const ExportOptions& options) {
        archive_.reset(archive_write_new());
        if (!archive_) return Status::failure("out of memory");
        if (Status s = setFormat(archive_.get(), options.format); !s) return s;
        if (options.out.empty()) {
            if (archive_write_open_fd(archive_.get(), options.fd) != ARCHIVE_OK) {
                return Status::failure(archiveError(archive_.get()));
            }
            return Status{};
        }
        target_ = options.out;
        // A temporary name beside the archive: the rename at the end stays in one file system.
        const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : ".";
        for (int n = 1; n < 1000 && !file_; ++n) {
            temporary_ = folder / pathFromUtf16(u"." + target_.filename().u16string() + u".part" +
                                                decimalText(static_cast<std::uint64_t>(n)));
            file_ = std::fopen(temporary_.string().c_str(), "wbx");
            if (!file_ && errno != EEXIST) break;
        }
        if (!file_) {
            return Status::failure("cannot create " + pathText(temporary_) + ": " + systemErrorText(errno));
        }
        if (archive_write_open_FILE(archive_.get(), file_) != ARCHIVE_OK) {
            return Status::failure(archiveError(archive_.get()));
        }
        return Status{};
    }

    struct archive* get() const {
        return archive_.get();
    }

    // Ends the archive: kept under its name when `keep`, else removed.
    Status close(bool keep) {
        Status status = Status{};
        if (archive_ && archive_write_close(archive_.get()) != ARCHIVE_OK) {
            status = Status::failure(archiveError(archive_.get()));
        }
        archive_.reset();
        if (file_) {
            if (std::fclose(file_) != 0 && status) status = Status::failure(systemErrorText(errno));
            file_ = nullptr;
            std::error_code error;
            if (keep && status) {
                if (std::filesystem::exists(target_, error)) {
                    status = Status::failure(pathText(target_) +
                                             " appeared while the archive was written; it "
                                             "is left as it is");
                } else {
                    std::filesystem::rename(temporary_, target_, error);
                    if (error)
                        status = Status::failure("cannot rename " + pathText(temporary_) + ": " + error.message());
                }
            }
            if (!keep || !status) std::filesystem::remove(temporary_, error);
        }
        return status;
    }

    ~ArchiveOut() { close(false); }

private:
    ArchivePtr archive_;
    std::FILE* file_ = nullptr;
    std::filesystem::path target_;
    std::filesystem::path temporary_;
};

// The run of one export: the save's copy run, and the archive it writes.
struct Run : CopyRun {
    struct archive* out;
};

// The open archive entry as the save's copy writes to a file.
class EntryWriter final : public OutputFile {
public:
    explicit EntryWriter(struct archive* out) : out_(out) {}
    FsError write(std::span<const std::uint8_t> bytes) override {
        FsError error;
        if (archive_write_data(out_, bytes.data(), bytes.size()) < 0) error.reason = archiveError(out_);
        return error;
    }
    FsError setTimes(FileTime, FileTime, FileTime) override { return {}; }
    FsError close() override { return {}; }

private:
    struct archive* out_;
};

// Copies `length` bytes at `offset` into the open archive entry. A read that
// fails leaves the rest of the entry zeros (its size is already in the header).
CopyOutcome copyInto(Run& run, std::uint64_t offset, std::uint64_t length) {
    EntryWriter writer(run.out);
    CopyOutcome copy = copyData(run, offset, length, &writer);
    if (copy.end != CopyEnd::ReadFailed) return copy;
    copy.reason += " after " + std::to_string(copy.bytes) + " bytes; the rest is stored as zeros";
    std::fill(run.buffer.begin(), run.buffer.end(), 0);
    for (std::uint64_t done = copy.bytes; done < length;) {
        if (run.cancelled()) {
            copy.end = CopyEnd::Cancelled;
            return copy;
        }
        const auto zeros = static_cast<std::size_t>(std::min<std::uint64_t>(run.buffer.size(), length - done));
        if (FsError w = writer.write({run.buffer.data(), zeros}); !w.ok()) {
            copy.end = CopyEnd::WriteFailed;
            copy.reason = w.reason;
            return copy;
        }
        done += zeros;
        run.progress.bytesDone += zeros;
        run.report();
    }
    return copy;
}

ExtractSummary finished(ExtractSummary summary, std::chrono::steady_clock::time_point started) {
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return summary;
}

}  // namespace

std::optional<ArchiveFormat> parseArchiveFormat(std::string_view name) {
    const std::string n = lowered(std::string(name));
    if (n == "tar") return ArchiveFormat::Tar;
    if (n == "pax") return ArchiveFormat::Pax;
    if (n == "zip") return ArchiveFormat::Zip;
    if (n == "7z") return ArchiveFormat::SevenZip;
    return std::nullopt;
}

std::optional<ArchiveFormat> archiveFormatOf(const std::filesystem::path& out) {
    const std::string extension = out.extension().string();
    if (extension.size() < 2) return std::nullopt;
    return parseArchiveFormat(extension.substr(1));
}

const char* archiveFormatName(ArchiveFormat format) {
    switch (format) {
        case ArchiveFormat::Tar:
            return "tar";
        case ArchiveFormat::Pax:
            return "pax";
        case ArchiveFormat::Zip:
            return "zip";
        case ArchiveFormat::SevenZip:
            return "7z";
    }
    return "";
}

struct ArchiveExporter::Impl {
    ByteSource& backup;
    ExportOptions options;
    ExtractObserver* observer;
    const std::atomic<bool>* cancel;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    ExtractSummary summary;
    std::optional<Utf8Locale> utf8;
    ArchiveOut archive;
    std::optional<Run> run;
    NameTree names;
    EntryPtr entry{archive_entry_new()};
    bool stopped = false;
    bool expected = false;  // the totals were given up front
    bool headerSeen = false;
    std::size_t misplaced = 0;
    std::size_t seen = 0;

    Impl(ByteSource& b, ExportOptions o, ExtractObserver* obs, const std::atomic<bool>* c)
        : backup(b), options(std::move(o)), observer(obs), cancel(c) {}

    void stop(std::string why) {
        summary.status = Status::failure(std::move(why));
        stopped = true;
    }
    // The entry under way, and those after it, are not reached.
    void cancelHere() {
        summary.cancelled = true;
        stopped = true;
        ++summary.notReached;
    }
    void failWrite(const std::string& why) {
        ++summary.notReached;
        stop("cannot write the archive: " + why);
    }
    // `none` counts the entries looked at: "none of the first 8", "none of the 3".
    void stopWrongBackup(const std::string& none) {
        summary.wrongBackup = true;
        stop(none +
             " entries has its data where the catalogue says: the catalogue does not belong to this backup "
             "file; the export stopped");
    }

    // One entry, as a save takes it (see the header).
    void add(const ExtractItem& item) {
        ++seen;
        if (stopped) {
            ++summary.notReached;
            return;
        }
        if (run->cancelled()) return cancelHere();
        if (!expected) ++run->progress.filesTotal;
        run->progress.current = item.displayPath;
        run->report();
        EntryReport report;
        report.displayPath = item.displayPath;
        if (std::optional<std::string> problem = entryProblem(backup, item)) {
            misplaced += *problem == kWrongPlaceReason ? 1 : 0;
            report.result = EntryResult::Failed;
            report.reason = std::move(*problem);
        } else if (!store(item, report)) {
            return;
        }
        count(report);
        if (!headerSeen && misplaced == seen && seen == kWrongBackupProbe) {
            stopWrongBackup("none of the first " + std::to_string(seen));
        }
    }

    // Writes the entry whose stream header passed; false when the export
    // stopped in it (cancelled, or the archive could not be written).
    bool store(const ExtractItem& item, EntryReport& report) {
        // (A stream header past the end of a shorter backup neither proves nor disproves the catalogue.)
        headerSeen =
            headerSeen || static_cast<std::uint64_t>(item.dataOffset) < run->backupSize + mtf::kStreamHeaderSize;
        const NameTree::Id id = names.addFile(item.displayPath);
        const std::string path = names.pathOf(id);
        report.renamed = names.renamed(id);
        const std::uint64_t held = run->held(item);
        if (!writeFileHeader(item, path, held)) {
            failWrite(archiveError(archive.get()));
            return false;
        }
        CopyOutcome copy = copyInto(*run, static_cast<std::uint64_t>(item.dataOffset), held);
        if (copy.end == CopyEnd::Cancelled) {
            cancelHere();
            return false;
        }
        const bool writeFailed = copy.end == CopyEnd::WriteFailed || copy.end == CopyEnd::DiskFull;
        if (writeFailed || archive_write_finish_entry(archive.get()) < ARCHIVE_WARN) {
            failWrite(writeFailed ? copy.reason : archiveError(archive.get()));
            return false;
        }
        report.writtenAs = pathFromUtf16(utf8ToUtf16(path));
        report.bytes = held;
        judge(item, held, copy, report);
        return true;
    }

    // The header of a file entry of `held` bytes (what the backup holds of it).
    bool writeFileHeader(const ExtractItem& item, const std::string& path, std::uint64_t held) {
        archive_entry_clear(entry.get());
        archive_entry_set_pathname_utf8(entry.get(), path.c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(held));
        setTimes(entry.get(), item);
        return archive_write_header(archive.get(), entry.get()) >= ARCHIVE_WARN;
    }

    // The verdict of a stored entry: failed on a read error, truncated when
    // the backup ends before its data does, else its checksum's.
    void judge(const ExtractItem& item, std::uint64_t held, CopyOutcome& copy, EntryReport& report) {
        const auto size = static_cast<std::uint64_t>(item.size);
        if (copy.end == CopyEnd::ReadFailed) {
            report.result = EntryResult::Failed;
            report.reason = std::move(copy.reason);
        } else if (held < size) {
            report.result = EntryResult::Truncated;
            report.reason = "its data runs past the end of the backup file (" + std::to_string(held) + " of " +
                            std::to_string(size) + " bytes stored)";
        } else {
            report.checksum = checkDataChecksum(backup, item.dataOffset, item.size, copy.checksum);
        }
    }

    void count(const EntryReport& report) {
        addToSummary(summary, report);
        summary.renamed += report.renamed ? 1 : 0;
        summary.bytesWritten += report.bytes;
        ++run->progress.filesDone;
        if (observer) observer->entryFinished(report);
    }

    ExtractSummary finish(std::span<const std::u16string> emptyFolders, bool cancelled) {
        summary.cancelled = summary.cancelled || cancelled;
        // Fewer entries than the probe, every one misplaced: the same verdict.
        if (!stopped && seen > 0 && seen < kWrongBackupProbe && !headerSeen && misplaced == seen) {
            stopWrongBackup("none of the " + std::to_string(seen));
        }
        if (summary.status.ok() && !summary.cancelled) addEmptyFolders(emptyFolders);
        if (run) run->report();
        // A pipe gets a well-formed end whatever happened; a named archive is kept only whole.
        const bool keep = summary.status.ok() && !summary.cancelled;
        if (Status closed = archive.close(keep); !closed && summary.status.ok()) {
            summary.status = Status::failure("cannot write the archive: " + closed.message());
        }
        return finished(std::move(summary), started);
    }

    // A folder entry for each empty folder that no stored file lies in.
    void addEmptyFolders(std::span<const std::u16string> emptyFolders) {
        for (const std::u16string& folder : emptyFolders) {
            const NameTree::Id id = names.folderAt(folder);
            if (id == NameTree::kRoot || names.firstChild(id) != NameTree::kNone) continue;
            archive_entry_clear(entry.get());
            archive_entry_set_pathname_utf8(entry.get(), (names.pathOf(id) + "/").c_str());
            archive_entry_set_filetype(entry.get(), AE_IFDIR);
            archive_entry_set_perm(entry.get(), 0755);
            if (archive_write_header(archive.get(), entry.get()) < ARCHIVE_WARN) {
                summary.status = Status::failure("cannot write the archive: " + archiveError(archive.get()));
                return;
            }
        }
    }
};

ArchiveExporter::ArchiveExporter(ByteSource& backup, const ExportOptions& options, ExtractObserver* observer,
                                 const std::atomic<bool>* cancel)
    : impl_(std::make_unique<Impl>(backup, options, observer, cancel)) {
    Impl& m = *impl_;
    m.summary.root = options.out;
    m.utf8.emplace();
    if (Status opened = m.archive.open(options); !opened) {
        m.stop("cannot write the archive: " + opened.message());
        return;
    }
    m.run.emplace(Run{{backup, observer, cancel, {}}, m.archive.get()});
}

ArchiveExporter::~ArchiveExporter() = default;

bool ArchiveExporter::add(const ExtractItem& item) {
    impl_->add(item);
    return !impl_->stopped;
}

void ArchiveExporter::setExpected(std::span<const ExtractItem> items) {
    Impl& m = *impl_;
    if (!m.run) return;
    m.expected = true;
    m.run->progress.filesTotal = items.size();
    for (const ExtractItem& item : items) {
        if (item.size > 0 && item.dataOffset >= 0) m.run->progress.bytesTotal += m.run->held(item);
    }
}

bool ArchiveExporter::stopped() const {
    return impl_->stopped;
}

ExtractSummary ArchiveExporter::finish(std::span<const std::u16string> emptyFolders, bool cancelled) {
    return impl_->finish(emptyFolders, cancelled);
}

ExtractSummary exportEntries(ByteSource& backup, std::span<const ExtractItem> items,
                             std::span<const std::u16string> emptyFolders, const ExportOptions& options,
                             ExtractObserver* observer, const std::atomic<bool>* cancel) {
    ArchiveExporter exporter(backup, options, observer, cancel);
    exporter.setExpected(items);
    for (const ExtractItem& item : items) exporter.add(item);
    return exporter.finish(emptyFolders, false);
}

}  // namespace bkf
