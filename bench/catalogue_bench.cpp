// Catalogue and snapshot figures at a million entries:
//   resident memory per entry, appendEntry + addFolderPath, setFolderMark on
//   the root, renameFolder of a folder holding 100,000 entries, and writing and
//   reading back the snapshot.
// Usage: catalogue_bench [ENTRIES] [SCRATCH_FOLDER]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/text.h"
#include "bench/bench_util.h"
#include "catalogue/catalogue.h"
#include "catalogue/snapshot.h"

using namespace bkf;
using bkf::bench::report;
using bkf::bench::residentBytes;
using bkf::bench::Stopwatch;

namespace {

// Display paths of 60 to 100 code units: 20 files a folder, folders three to
// five deep under two sets. The first 100,000 entries lie below one folder
// ("Users"), which the rename then moves.
std::vector<std::u16string> typicalPaths(std::size_t count) {
    std::vector<std::u16string> paths;
    paths.reserve(count);
    const char* exts[] = {".docx", ".txt", ".jpg", ".xlsx", ".pdf", ".cpp", ".h", ""};
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t folder = i / 20;
        std::string p = i < 100000 ? "BKF\\BACKUP SET 1(Daily backup)\\Users\\" : "BKF\\BACKUP SET 2(Weekly)\\Data\\";
        p += "Department " + std::to_string(folder % 37) + "\\";
        p += "Project " + std::to_string(folder / 37 % 50) + "\\";
        if (folder % 3 == 0) p += "Archive " + std::to_string(folder) + "\\";
        p += "document_" + std::to_string(i) + exts[i % 8];
        paths.push_back(asciiToUtf16(p));
    }
    return paths;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const std::filesystem::path scratch = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
    std::printf("catalogue of %zu entries\n", count);

    std::vector<std::u16string> paths = typicalPaths(count);
    std::size_t units = 0;
    for (const auto& p : paths) units += p.size();
    std::printf("average display path: %.1f code units\n", static_cast<double>(units) / static_cast<double>(count));

    const std::size_t before = residentBytes();
    auto catalogue = std::make_unique<Catalogue>();
    {
        Stopwatch sw;
        for (std::size_t i = 0; i < count; ++i) {
            catalogue->appendEntry(paths[i], static_cast<std::int64_t>(i * 1000), static_cast<std::int64_t>(i * 4096),
                                   128573640000000000ULL + i, 128573640000000000ULL, 128573640000000000ULL);
            catalogue->addFolderPath(paths[i]);
        }
        report("appendEntry + addFolderPath (s)", sw.seconds(), "s", 1.5);
    }
    const std::size_t after = residentBytes();
    report("resident memory per entry (bytes)", static_cast<double>(after - before) / static_cast<double>(count), "B",
           300);
    paths.clear();
    paths.shrink_to_fit();

    {
        Stopwatch sw;
        catalogue->setFolderMark(catalogue->tree().root(), true);
        report("setFolderMark on the root (ms)", sw.seconds() * 1000, "ms", 100);
    }
    {
        const NodeId set1 = catalogue->tree().findChild(catalogue->tree().root(), u"BACKUP SET 1(Daily backup)");
        const NodeId users = catalogue->tree().findChild(set1, u"Users");
        Stopwatch sw;
        catalogue->renameFolder(users, u"All the users");
        report("renameFolder of a folder holding 100,000 entries (ms)", sw.seconds() * 1000, "ms", 100);
        Stopwatch back;
        catalogue->renameFolder(users, u"Users");
        std::printf("  (and back: %.3f ms)\n", back.seconds() * 1000);
    }
    {
        Stopwatch sw;
        catalogue->refreshAncestorMarks(catalogue->tree().firstChild(catalogue->tree().root()));
        std::printf("%-58s %12.3f ms\n", "refreshAncestorMarks from a set node", sw.seconds() * 1000);
    }

    const auto file = scratch / "catalogue_bench.ORMBKF";
    {
        Stopwatch sw;
        const Status st = writeSnapshot(file, catalogue->table(), u"/data/backups/big.bkf");
        if (!st) {
            std::fprintf(stderr, "%s\n", st.message().c_str());
            return 1;
        }
        report("write the snapshot (s)", sw.seconds(), "s", 1.5);
        std::printf("  snapshot size: %.1f MB\n", static_cast<double>(std::filesystem::file_size(file)) / 1e6);
    }
    catalogue.reset();
    {
        Catalogue loaded;
        Stopwatch sw;
        const SnapshotLoad load = loadSnapshotFile(file, loaded);
        report("read the snapshot back (s)", sw.seconds(), "s", 1.5);
        if (load.rows != count) std::printf("  MISMATCH: %zu rows read\n", load.rows);
    }
    std::filesystem::remove(file);
    return 0;
}
