// tarvik mount SOURCE MOUNTPOINT [--background]
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/snapshot.h"
#include "cli/commands.h"
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
}

int runMountCommand(const Args& args) {
    std::vector<std::string_view> positional;
    MountOptions options;
    for (const std::string_view a : args) {
        if (a == "--background") {
            options.background = true;
        } else if (!a.empty() && a[0] != '-') {
            positional.push_back(a);
        } else {
            std::fputs(kMountUsage, stderr);
            return kExitUsage;
        }
    }
    if (positional.size() != 2) {
        std::fputs(kMountUsage, stderr);
        return kExitUsage;
    }
    if (const auto why = fuseUnavailable()) {
        std::fprintf(stderr, "tarvik: FUSE is not available here: %s\n", why->c_str());
        return kExitCannotOpen;
    }
    const std::filesystem::path source = argumentPath(positional[0]);
    options.mountpoint = argumentPath(positional[1]);
    std::error_code error;
    if (!std::filesystem::is_directory(options.mountpoint, error)) {
        std::fprintf(stderr, "tarvik: the mount point %s is not a folder\n",
                     errText(pathText(options.mountpoint)).c_str());
        return kExitUsage;
    }
    catchInterrupt();
    Catalogue catalogue;
    const SourceLoad load = loadSource(source, catalogue);
    if (load.status != kExitOk) return load.status;
    if (interrupted()) return interruptStatus();
    const std::filesystem::path backupPath =
        looksLikeSnapshot(source) ? pathFromUtf16(catalogue.backupFilePath()) : source;
    const std::unique_ptr<ByteSource> backup = openBackupToRead(backupPath);
    if (!backup) return kExitCannotOpen;
    std::vector<RowIndex> rows(catalogue.table().rowCount());
    for (RowIndex r = 0; r < rows.size(); ++r) rows[r] = r;
    const auto items = extractItems(catalogue.table(), rows);
    const auto folders = emptyFolders(catalogue, {});
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    CatalogueFs fs(*backup, items, folders, now);
    options.fsName = "tarvik:" + backupPath.filename().string();
    const std::size_t files = items.size();
    const Status served = serveMount(fs, options, [&] {
        if (options.background) return;
        std::fprintf(stderr, "tarvik: %zu files mounted read-only at %s; Ctrl-C or fusermount3 -u %s unmounts\n", files,
                     errText(pathText(options.mountpoint)).c_str(), errText(pathText(options.mountpoint)).c_str());
    });
    if (!served) {
        std::fprintf(stderr, "tarvik: %s\n", errText(served.message()).c_str());
        return kExitCannotOpen;
    }
    return load.finish;
}

#endif

}  // namespace bkf::cli
