// Fills a catalogue with what a scan finds, in file order: a file's entry is
// appended and its folder path added to the tree; a folder's path is added.
// The window, the command line and the tests all build catalogues this way.
//
// The catalogue has limits of its own (2^32 - 2 rows, a name store of 4 GiB):
// past them nothing more is added, and add() says so; what was added stays.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/status.h"
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
    Status add(const FoundBatch& batch) {
        try {
            for (const FoundBatch::Item& e : batch.items) {
                const std::u16string_view path = batch.path(e);
                if (!e.isFolder) {
                    catalogue_.appendEntry(path, e.size, e.dataOffset, e.modified, e.accessed, e.created);
                    ++files_;
                }
                catalogue_.addFolderPath(path);
            }
        } catch (const std::length_error& e) {
            return Status::failure(std::string("the catalogue is full (") + e.what() + ")");
        }
        return {};
    }

    // Files added so far.
    std::uint64_t files() const { return files_; }

private:
    Catalogue& catalogue_;
    std::uint64_t files_ = 0;
};

}  // namespace bkf
