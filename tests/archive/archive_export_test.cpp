// Archives made by the exporter, read back with libarchive's own reader:
// every path, size, time and byte against the backup writer's manifest.
#include "archive/archive_export.h"

#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>

#include <fstream>
#include <map>

#include "base/text.h"
#include "engine/backup_file.h"
#include "tests/fixtures/failing_source.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/backup_writer.h"
#include "tools/content.h"
#include "tools/damage.h"
#include "tools/sink.h"

namespace bkf {
namespace {

namespace fs = std::filesystem;
using tools::Content;

struct ReadEntry {
    bool folder = false;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    bool hasAtime = false;
    std::int64_t atime = 0;
    std::uint64_t hash = 0;
};

// path -> entry, as libarchive reads the archive back.
std::map<std::string, ReadEntry> readArchive(const fs::path& file) {
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    locale_t previous = uselocale(utf8);
    std::map<std::string, ReadEntry> out;
    struct archive* a = archive_read_new();
    archive_read_support_format_all(a);
    EXPECT_EQ(archive_read_open_filename(a, file.string().c_str(), 65536), ARCHIVE_OK) << archive_error_string(a);
    archive_entry* e = nullptr;
    while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
        ReadEntry r;
        r.folder = archive_entry_filetype(e) == AE_IFDIR;
        r.size = archive_entry_size(e);
        r.mtime = archive_entry_mtime(e);
        r.hasAtime = archive_entry_atime_is_set(e);
        r.atime = archive_entry_atime(e);
        std::string bytes;
        char buffer[8192];
        for (la_ssize_t n; (n = archive_read_data(a, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, static_cast<std::size_t>(n));
        r.hash = tools::hashBytes(bytes);
        const char* name = archive_entry_pathname_utf8(e);
        out[name ? name : ""] = r;
    }
    archive_read_free(a);
    uselocale(previous);
    freelocale(utf8);
    return out;
}

std::int64_t unixSeconds(FileTime t) {
    return static_cast<std::int64_t>(t / 10000000) - kFileTimeUnixEpochSeconds;
}

struct Backup {
    test::TempDir dir;
    fs::path file = dir / "daily.bkf";
    tools::Manifest manifest;

    Backup() {
        tools::FileSink sink(file);
        tools::BackupWriter w(sink);
        w.beginSet({.name = u"Daily"});
        w.directory({.name = tools::folderName(u"Data")});
        FileTime t = 128575193550000000ULL;
        auto add = [&](std::u16string name, Content content) {
            t += 860000000000ULL;
            w.file({.name = std::move(name),
                    .content = std::move(content),
                    .modified = t,
                    .accessed = t + 36000000000ULL});
        };
        add(u"\u00DCbersicht \u65E5\u672C.txt", Content::text("names beyond ASCII\n"));
        add(u"dup.txt", Content::text("first"));
        add(u"dup.txt", Content::text("second"));
        add(u"Dup.TXT", Content::text("third"));
        add(u"trail.", Content::text("a name no file system keeps as it is"));
        add(u"bad.bin", Content::random(5000, 3));
        w.directory({.name = tools::folderName(u"Data/Empty")});
        w.directory({.name = tools::folderName(u"Big")});
        add(u"cut.bin", Content::random(200000, 4));
        w.finish();
        manifest = w.takeManifest();
        sink.close();
        const std::uint64_t size = fs::file_size(file);
        const tools::Damage damages[] = {{tools::DamageKind::Randomise, manifest[5].dataOffset + 100, 8, 77},
                                         {tools::DamageKind::Truncate, manifest.back().dataOffset + 70000, 0}};
        for (const tools::Damage& d : damages) {
            tools::damageFile(file, d);
            tools::applyDamage(manifest, d, size);
        }
    }

    std::vector<ExtractItem> items() const {
        std::vector<ExtractItem> out;
        for (const auto& e : manifest) {
            out.push_back({e.displayPath, static_cast<std::int64_t>(e.size), static_cast<std::int64_t>(e.dataOffset),
                           e.modified, e.accessed, e.created});
        }
        return out;
    }
};

struct FormatCase {
    const char* name;
    ArchiveFormat format;
    const char* file;
    bool holdsAccessTime;
};

class ArchiveExport : public testing::TestWithParam<FormatCase> {};

TEST_P(ArchiveExport, RoundTripKeepsPathsSizesTimesAndBytes) {
    const FormatCase& c = GetParam();
    Backup b;
    const auto items = b.items();
    const std::vector<std::u16string> emptyFolders{u"BKF\\BACKUP SET 1(Daily)\\Data\\Empty\\"};
    OpenedBackup source = openBackupFile(b.file, BackupAccess::Shared);
    ASSERT_TRUE(source.ok());
    const fs::path out = b.dir / c.file;
    const ExtractSummary summary = exportEntries(**source, items, emptyFolders, {c.format, out});
    ASSERT_TRUE(summary.status.ok()) << summary.status.message();
    EXPECT_EQ(summary.verified, 5u);
    EXPECT_EQ(summary.mismatched, 1u);
    EXPECT_EQ(summary.truncated, 1u);
    EXPECT_EQ(summary.renamed, 3u);  // dup (2), Dup (3), trail_
    EXPECT_TRUE(fs::is_regular_file(out));
    EXPECT_EQ(std::distance(fs::directory_iterator(b.dir.path()), fs::directory_iterator()), 2) << "no temporary left";

    // Where a save would put each entry: set label, folders, safe and numbered names.
    const std::string set = "BACKUP SET 1(Daily)/";
    const std::vector<std::string> paths = {set + "Data/\u00DCbersicht \u65E5\u672C.txt",
                                            set + "Data/dup.txt",
                                            set + "Data/dup (2).txt",
                                            set + "Data/Dup (3).TXT",
                                            set + "Data/trail_",
                                            set + "Data/bad.bin",
                                            set + "Big/cut.bin"};
    const auto read = readArchive(out);
    ASSERT_EQ(read.size(), paths.size() + 1);
    const auto empty = read.find(set + "Data/Empty/");
    ASSERT_NE(empty, read.end());
    EXPECT_TRUE(empty->second.folder);
    const std::uint64_t backupSize = fs::file_size(b.file);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        const auto found = read.find(paths[i]);
        ASSERT_NE(found, read.end());
        const tools::ManifestEntry& e = b.manifest[i];
        const std::uint64_t held = std::min(e.size, backupSize - e.dataOffset);
        EXPECT_EQ(found->second.size, static_cast<std::int64_t>(held));
        EXPECT_EQ(found->second.hash, tools::hashFileRange(b.file, e.dataOffset, held));
        if (e.intact() && held == e.size) {
            EXPECT_EQ(found->second.hash, e.hash);
        }
        EXPECT_EQ(found->second.mtime, unixSeconds(e.modified));
        if (c.holdsAccessTime) {
            EXPECT_TRUE(found->second.hasAtime);
            EXPECT_EQ(found->second.atime, unixSeconds(e.accessed));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ArchiveExport,
                         testing::Values(FormatCase{"tar", ArchiveFormat::Tar, "out.tar", false},
                                         FormatCase{"pax", ArchiveFormat::Pax, "out.pax", true},
                                         FormatCase{"zip", ArchiveFormat::Zip, "out.zip", true},
                                         FormatCase{"sevenZip", ArchiveFormat::SevenZip, "out.7z", true}),
                         [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST(ArchiveExportFailure, ACancelledOrWrongBackupExportLeavesNoArchive) {
    Backup b;
    auto items = b.items();
    OpenedBackup source = openBackupFile(b.file, BackupAccess::Shared);
    const fs::path out = b.dir / "out.tar";
    std::atomic<bool> cancel{true};
    ExtractSummary summary = exportEntries(**source, items, {}, {ArchiveFormat::Tar, out}, nullptr, &cancel);
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(summary.notReached, items.size());
    EXPECT_FALSE(fs::exists(out));
    // Every data offset moved: the catalogue is not of this backup.
    for (auto& item : items) item.dataOffset += 4;
    summary = exportEntries(**source, items, {}, {ArchiveFormat::Tar, out});
    EXPECT_TRUE(summary.wrongBackup);
    EXPECT_FALSE(summary.status.ok());
    // Fewer entries than the probe looks at, every one misplaced.
    EXPECT_EQ(summary.status.message(), "none of the " + std::to_string(items.size()) +
                                            " entries has its data where the catalogue says: the catalogue does not "
                                            "belong to this backup file; the export stopped");
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(std::distance(fs::directory_iterator(b.dir.path()), fs::directory_iterator()), 1);
}

TEST(ArchiveExportFailure, ADataReadThatFailsStoresWhatWasReadThenZerosAndGoesOn) {
    Backup b;
    const auto items = b.items();
    OpenedBackup source = openBackupFile(b.file, BackupAccess::Shared);
    ASSERT_TRUE(source.ok());
    const tools::ManifestEntry& bad = b.manifest[5];  // bad.bin, 5000 bytes
    constexpr std::uint64_t kReadable = 1000;
    test::FailingSource failing(**source, bad.dataOffset + kReadable);
    const fs::path out = b.dir / "out.tar";
    const ExtractSummary summary = exportEntries(failing, items, {}, {ArchiveFormat::Tar, out});
    ASSERT_TRUE(summary.status.ok()) << summary.status.message();
    EXPECT_EQ(summary.failed, 1u);
    ASSERT_FALSE(summary.problems.empty());
    EXPECT_NE(summary.problems.front().reason.find("Input/output error after 1000 bytes; the rest is stored as zeros"),
              std::string::npos)
        << summary.problems.front().reason;

    std::string expected(bad.size, '\0');
    std::ifstream in(b.file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(bad.dataOffset));
    in.read(expected.data(), kReadable);
    const auto read = readArchive(out);
    const auto stored = read.find("BACKUP SET 1(Daily)/Data/bad.bin");
    ASSERT_NE(stored, read.end());
    EXPECT_EQ(stored->second.size, static_cast<std::int64_t>(bad.size)) << "the header's size is kept";
    EXPECT_EQ(stored->second.hash, tools::hashBytes(expected));
    const auto next = read.find("BACKUP SET 1(Daily)/Big/cut.bin");
    ASSERT_NE(next, read.end()) << "the export goes on after the failed read";
}

TEST(ArchiveExportFormat, NamesAndExtensions) {
    EXPECT_EQ(archiveFormatOf("a/b.TAR"), ArchiveFormat::Tar);
    EXPECT_EQ(archiveFormatOf("b.7z"), ArchiveFormat::SevenZip);
    EXPECT_EQ(archiveFormatOf("b.tar.gz"), std::nullopt);
    EXPECT_EQ(archiveFormatOf("noextension"), std::nullopt);
    EXPECT_EQ(parseArchiveFormat("zip"), ArchiveFormat::Zip);
    EXPECT_EQ(parseArchiveFormat("rar"), std::nullopt);
}

}  // namespace
}  // namespace bkf
