// Fills a catalogue with what a scan finds, in file order: a file's entry is
// appended and its folder path added to the tree; a folder's path is added.
// The window, the command line and the tests all build catalogues this way.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "catalogue/catalogue.h"
#include "engine/scan.h"
#include "engine/scan_job.h"

namespace bkf {

class CatalogueBuilder {
public:
    explicit CatalogueBuilder(Catalogue& catalogue) : catalogue_(catalogue) {}

    void addFile(const FoundFile& file) {
        catalogue_.appendEntry(file.path, file.size, file.dataOffset, file.modified, file.accessed, file.created);
        catalogue_.addFolderPath(file.path);
        ++files_;
    }
    void addFolder(std::u16string_view treePath) { catalogue_.addFolderPath(treePath); }
    void add(std::span<const ScanEvent> events) {
        for (const ScanEvent& e : events) {
            if (e.isFolder) {
                addFolder(e.file.path);
            } else {
                addFile(e.file);
            }
        }
    }

    // Files added so far.
    std::uint64_t files() const { return files_; }

private:
    Catalogue& catalogue_;
    std::uint64_t files_ = 0;
};

}  // namespace bkf
