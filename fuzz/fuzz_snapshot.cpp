// The snapshot reader over an arbitrary file: a load never fails on the
// content, and what it loads survives the catalogue's operations.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "catalogue/snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bkf;
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("fuzz-snapshot-" + std::to_string(::getpid()) + ".ORMBKF");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    Catalogue catalogue;
    const SnapshotLoad load = loadSnapshotFile(file, catalogue);
    if (load.status.ok() && catalogue.tree().nodeCount() > 0) {
        const NodeId last = static_cast<NodeId>(catalogue.tree().nodeCount() - 1);
        catalogue.setFolderMark(last, false);
        catalogue.refreshAncestorMarks(last);
        catalogue.renameFolder(last, u"x");
        (void)catalogue.rowsInFolder(last);
    }
    return 0;
}
