// tarvik mount SOURCE MOUNTPOINT [--background]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/snapshot.h"
#include "cli/commands.h"
#include "cli/save_steps.h"
#include "cli/terminal.h"
#include "engine/backup_file.h"
#include "save/extract.h"
#ifdef BKF_HAVE_FUSE
#include "mount/catalogue_fs.h"
#endif

namespace bkf::cli {

#ifndef BKF_HAVE_FUSE

int runMountCommand(const Args&) {
#ifdef _WIN32
    std::fputs("tarvik: mount is not available on Windows (it needs FUSE)\n", stderr);
#else
    std::fputs("tarvik: mount is not available in this build (it needs libfuse 3)\n", stderr);
#endif
    return kExitCannotOpen;
}

#else

namespace {

constexpr const char* kMountUsage = "usage: tarvik mount SOURCE MOUNTPOINT [--background]\n";

// SOURCE and, in `options`, the mount point and --background; false after
// printing the usage.
bool readMountArguments(const Args& args, std::filesystem::path& source, MountOptions& options) {
    std::vector<std::string_view> positional;
    for (const std::string_view a : args) {
        if (a == "--background") {
            options.background = true;
        } else if (!a.empty() && a[0] != '-') {
            positional.push_back(a);
        } else {
            std::fputs(kMountUsage, stderr);
            return false;
        }
    }
    if (positional.size() != 2) {
        std::fputs(kMountUsage, stderr);
        return false;
    }
    source = argumentPath(positional[0]);
    options.mountpoint = argumentPath(positional[1]);
    return true;
}

// Serves every entry of the catalogue, read from `backup`, until unmounted;
// false after saying why it could not be.
bool serveCatalogue(const Catalogue& catalogue, ByteSource& backup, const std::filesystem::path& backupPath,
                    MountOptions& options) {
    std::vector<RowIndex> rows(catalogue.table().rowCount());
    for (RowIndex r = 0; r < rows.size(); ++r) rows[r] = r;
    const auto items = extractItems(catalogue.table(), rows);
    const auto folders = emptyFolders(catalogue, {});
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    CatalogueFs fs(backup, items, folders, now);
    options.fsName = "tarvik:" + backupPath.filename().string();
    const std::size_t files = items.size();
    const Status served = serveMount(fs, options, [&] {
        if (options.background) return;
        std::fprintf(stderr, "tarvik: %zu files mounted read-only at %s; Ctrl-C or fusermount3 -u %s unmounts\n", files,
                     errText(pathText(options.mountpoint)).c_str(), errText(pathText(options.mountpoint)).c_str());
    });
    if (served) return true;
    std::fprintf(stderr, "tarvik: %s\n", errText(served.message()).c_str());
    return false;
}

}  // namespace

int runMountCommand(const Args& args) {
    std::filesystem::path source;
    MountOptions options;
    if (!readMountArguments(args, source, options)) return kExitUsage;
    if (const auto why = fuseUnavailable()) {
        std::fprintf(stderr, "tarvik: FUSE is not available here: %s\n", why->c_str());
        return kExitCannotOpen;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(options.mountpoint, error)) {
        std::fprintf(stderr, "tarvik: the mount point %s is not a folder\n",
                     errText(pathText(options.mountpoint)).c_str());
        return kExitUsage;
    }
    catchInterrupt();
    Catalogue catalogue;
    const SourceLoad load = loadSourceUnlessStopped(source, catalogue);
    if (load.status != kExitOk) return load.status;
    const std::filesystem::path backupPath = backupOf(source, looksLikeSnapshot(source), catalogue);
    const std::unique_ptr<ByteSource> backup = openBackupToRead(backupPath);
    if (!backup) return kExitCannotOpen;
    if (!serveCatalogue(catalogue, *backup, backupPath, options)) return kExitCannotOpen;
    return load.finish;
}

#endif

}  // namespace bkf::cli
