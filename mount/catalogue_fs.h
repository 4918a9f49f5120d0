// The catalogue as a read-only file system (FUSE 3): folders and files as a
// save would name them (NameTree), sizes and times from the catalogue, and
// each file's bytes read from the backup at its data offset when asked for.
//
// CatalogueFs is the file system without FUSE (its tree, attributes and
// reads, for any number of threads at once); serveMount mounts it and serves
// the kernel's requests until it is unmounted or a signal (Ctrl-C, SIGTERM,
// SIGHUP) comes, then unmounts. One thread takes the requests and answers
// those that need no disk at once; a read of backup bytes the page cache does
// not hold goes to a few disk threads, so a slow or failing disk holds up
// only the reads that need it, never a listing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "engine/byte_source.h"
#include "save/extract.h"

namespace bkf {

class CatalogueFs {
public:
    using Node = std::uint32_t;  // 0 is the root
    static constexpr Node kRoot = 0;

    // `emptyFolders`: display folder paths that hold nothing, kept as folders.
    // `folderTime`: the time of folders that hold no file (seconds since 1970).
    CatalogueFs(ByteSource& backup, std::span<const ExtractItem> items, std::span<const std::u16string> emptyFolders,
                std::int64_t folderTime);

    std::size_t nodeCount() const { return nodes_.size(); }
    std::optional<Node> lookup(Node folder, std::string_view name) const;
    bool isFolder(Node n) const { return nodes_[n].item < 0; }
    const std::string& name(Node n) const { return nodes_[n].name; }
    // The children of a folder, by name (bytes).
    std::span<const Node> children(Node folder) const;

    struct Attributes {
        bool folder = false;
        std::uint64_t size = 0;                                // as the catalogue gives it
        std::int64_t modified = 0, accessed = 0, created = 0;  // seconds since 1970
        long modifiedNs = 0, accessedNs = 0, createdNs = 0;
        std::uint32_t links = 1;
    };
    Attributes attributes(Node n) const;

    // Why the file's data cannot be served (its stream header does not hold:
    // the bytes there are not this file's); nullopt when it can.
    std::optional<std::string> openProblem(Node n) const;
    // The file's bytes the backup holds (fewer than its size when it ends first).
    std::uint64_t held(Node n) const;

    struct Read {
        std::size_t bytes = 0;
        bool ioError = false;  // nothing can be read here: past what the backup holds, or the read failed
    };
    // Up to out.size() bytes at `offset` of the file: what the backup holds
    // there; at or past the file's end, none; past what the backup holds (but
    // within the file), an I/O error. Never bytes beyond the file's own data.
    Read read(Node n, std::uint64_t offset, std::span<std::uint8_t> out) const;

    // Where a read of up to `length` bytes at `offset` of the file lies in the
    // backup, by the same rules (bytes 0: the file's end; ioError as above).
    struct Range {
        std::uint64_t backupOffset = 0;
        std::size_t bytes = 0;
        bool ioError = false;
    };
    Range rangeOf(Node n, std::uint64_t offset, std::size_t length) const;
    // The bytes of the backup openProblem() reads (none: it reads nothing).
    Range headerRange(Node n) const;
    ByteSource& backup() const { return backup_; }

private:
    struct Entry {
        std::string name;  // UTF-8
        std::uint32_t firstChild = 0, childCount = 0;
        std::int64_t item = -1;   // index of the file's item; -1 for a folder
        std::int64_t newest = 0;  // a folder: the newest modification below it
    };
    ByteSource& backup_;
    std::vector<ExtractItem> items_;
    std::vector<Entry> nodes_;
    std::vector<Node> children_;  // each folder's children, sorted by name
    std::int64_t folderTime_;
    std::uint64_t backupSize_;
};

// Whether FUSE can be used here: the kernel's device and the mount helper.
// The reason when not.
std::optional<std::string> fuseUnavailable();

struct MountOptions {
    std::filesystem::path mountpoint;
    bool background = false;  // detach once mounted
    std::string fsName;       // shown by mount(8)
};

// Mounts `fs` and serves it until unmounted or signalled; returns when it is
// unmounted again. `mounted` (optional) is called once the mount stands
// (in the detached process when `background`).
Status serveMount(CatalogueFs& fs, const MountOptions& options, const std::function<void()>& mounted = {});

}  // namespace bkf
