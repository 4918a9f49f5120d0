#include "engine/backup_file.h"

#include <system_error>

namespace bkf {

bool outputIsBackup(const std::filesystem::path& output, const std::filesystem::path& backup) {
    std::error_code ec;
    if (!std::filesystem::exists(backup, ec) || ec) return false;
    std::filesystem::path p = std::filesystem::absolute(output, ec);
    if (ec) p = output;
    // The output itself, then every folder above it: "inside" a file is no
    // place to write either.
    for (int hops = 0; hops < 4096 && !p.empty(); ++hops) {
        std::error_code e;
        if (std::filesystem::equivalent(p, backup, e) && !e) return true;
        const std::filesystem::path parent = p.parent_path();
        if (parent == p) break;
        p = parent;
    }
    return false;
}

}  // namespace bkf
