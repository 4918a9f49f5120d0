#define FUSE_USE_VERSION 312
#include "mount/catalogue_fs.h"

#include <fuse_lowlevel.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "base/file_time.h"
#include "base/text.h"
#include "save/name_tree.h"
#include "save/verify.h"

namespace bkf {

namespace {

struct UnixTime {
    std::int64_t seconds = 0;
    long nanoseconds = 0;
};

// A file time (0: none, which becomes `fallback`) as seconds and nanoseconds since 1970.
UnixTime unixTime(FileTime t, std::int64_t fallback) {
    if (t == 0) return {fallback, 0};
    return {static_cast<std::int64_t>(t / 10000000) - kFileTimeUnixEpochSeconds, static_cast<long>(t % 10000000) * 100};
}

}  // namespace

CatalogueFs::CatalogueFs(ByteSource& backup, std::span<const ExtractItem> items,
                         std::span<const std::u16string> emptyFolders, std::int64_t folderTime)
    : backup_(backup), items_(items.begin(), items.end()), folderTime_(folderTime), backupSize_(backup.size()) {
    std::vector<std::int64_t> itemOf;
    {
        NameTree names;
        for (std::size_t i = 0; i < items_.size(); ++i) {
            const NameTree::Id id = names.addFile(items_[i].displayPath);
            if (itemOf.size() <= id) itemOf.resize(id + 1, -1);
            itemOf[id] = static_cast<std::int64_t>(i);
        }
        for (const std::u16string& folder : emptyFolders) names.folderAt(folder);
        itemOf.resize(names.size(), -1);
        nodes_.resize(names.size());
        std::vector<std::uint32_t> parents(names.size(), 0);
        for (NameTree::Id id = 1; id < names.size(); ++id) {
            nodes_[id].name = utf16ToUtf8(names.name(id));
            nodes_[id].item = itemOf[id];
            parents[id] = names.parent(id);
            ++nodes_[parents[id]].childCount;
        }
        // Each folder's children in one run of children_, sorted for lookups.
        std::uint32_t start = 0;
        for (Entry& e : nodes_) {
            e.firstChild = start;
            start += e.childCount;
            e.childCount = 0;
        }
        children_.resize(start);
        for (NameTree::Id id = 1; id < names.size(); ++id) {
            Entry& parent = nodes_[parents[id]];
            children_[parent.firstChild + parent.childCount++] = id;
            if (nodes_[id].item >= 0) {
                const auto t = unixTime(items_[static_cast<std::size_t>(nodes_[id].item)].modified, 0).seconds;
                parent.newest = std::max(parent.newest, t);
            }
        }
    }
    for (Entry& e : nodes_) {
        auto first = children_.begin() + e.firstChild;
        std::sort(first, first + e.childCount, [&](Node a, Node b) { return nodes_[a].name < nodes_[b].name; });
    }
}

std::span<const CatalogueFs::Node> CatalogueFs::children(Node folder) const {
    const Entry& e = nodes_[folder];
    return {children_.data() + e.firstChild, e.childCount};
}

std::optional<CatalogueFs::Node> CatalogueFs::lookup(Node folder, std::string_view name) const {
    if (!isFolder(folder)) return std::nullopt;
    const auto list = children(folder);
    const auto at = std::lower_bound(list.begin(), list.end(), name,
                                     [&](Node n, std::string_view key) { return nodes_[n].name < key; });
    if (at == list.end() || nodes_[*at].name != name) return std::nullopt;
    return *at;
}

CatalogueFs::Attributes CatalogueFs::attributes(Node n) const {
    Attributes a;
    const Entry& e = nodes_[n];
    if (e.item < 0) {
        a.folder = true;
        a.modified = a.accessed = a.created = e.newest != 0 ? e.newest : folderTime_;
        a.links = 2;
        for (Node c : children(n)) a.links += isFolder(c) ? 1 : 0;
        return a;
    }
    const ExtractItem& item = items_[static_cast<std::size_t>(e.item)];
    a.size = item.size > 0 ? static_cast<std::uint64_t>(item.size) : 0;
    const UnixTime m = unixTime(item.modified, folderTime_);
    const UnixTime ac = unixTime(item.accessed, m.seconds);
    const UnixTime c = unixTime(item.created, m.seconds);
    a.modified = m.seconds;
    a.modifiedNs = m.nanoseconds;
    a.accessed = ac.seconds;
    a.accessedNs = ac.nanoseconds;
    a.created = c.seconds;
    a.createdNs = c.nanoseconds;
    return a;
}

std::uint64_t CatalogueFs::held(Node n) const {
    if (isFolder(n)) return 0;
    const ExtractItem& item = items_[static_cast<std::size_t>(nodes_[n].item)];
    if (item.size <= 0 || item.dataOffset < 0) return 0;
    const auto offset = static_cast<std::uint64_t>(item.dataOffset);
    return offset >= backupSize_ ? 0 : std::min(static_cast<std::uint64_t>(item.size), backupSize_ - offset);
}

std::optional<std::string> CatalogueFs::openProblem(Node n) const {
    if (isFolder(n)) return std::nullopt;
    const ExtractItem& item = items_[static_cast<std::size_t>(nodes_[n].item)];
    if (item.size < 0 || item.dataOffset < 0) return "the catalogue gives no valid size and data position for it";
    return dataHeaderProblem(backup_, item.dataOffset);
}

CatalogueFs::Range CatalogueFs::rangeOf(Node n, std::uint64_t offset, std::size_t length) const {
    if (isFolder(n)) return {0, 0, true};
    const ExtractItem& item = items_[static_cast<std::size_t>(nodes_[n].item)];
    const std::uint64_t size = item.size > 0 ? static_cast<std::uint64_t>(item.size) : 0;
    if (offset >= size || length == 0) return {};
    const std::uint64_t have = held(n);
    if (offset >= have) return {0, 0, true};
    return {static_cast<std::uint64_t>(item.dataOffset) + offset,
            static_cast<std::size_t>(std::min<std::uint64_t>(length, have - offset)), false};
}

CatalogueFs::Read CatalogueFs::read(Node n, std::uint64_t offset, std::span<std::uint8_t> out) const {
    const Range range = rangeOf(n, offset, out.size());
    if (range.ioError || range.bytes == 0) return {0, range.ioError};
    const ReadResult got = backup_.read(range.backupOffset, out.first(range.bytes));
    if (got.bytes == 0) return {0, true};
    return {got.bytes, false};
}

std::optional<std::string> fuseUnavailable() {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) return "/dev/fuse cannot be opened: " + systemErrorText(errno);
    if (::geteuid() != 0) {
        // Only root mounts without the setuid helper.
        bool helper = false;
        const char* path = std::getenv("PATH");
        std::string_view dirs = path ? path : "/usr/bin:/bin";
        while (!dirs.empty() && !helper) {
            const auto colon = dirs.find(':');
            const std::string dir(dirs.substr(0, colon));
            helper = ::access((dir + "/fusermount3").c_str(), X_OK) == 0;
            dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        }
        if (!helper) return "fusermount3 is not installed";
    }
    return std::nullopt;
}

namespace {

// Nothing changes under a mount: the kernel may keep what it learns.
constexpr double kCacheSeconds = 86400;

CatalogueFs& fsOf(fuse_req_t req) {
    return *static_cast<CatalogueFs*>(fuse_req_userdata(req));
}

// Inode numbers: the root is FUSE_ROOT_ID (1); node n is n + 1.
CatalogueFs::Node nodeOf(fuse_ino_t ino) {
    return static_cast<CatalogueFs::Node>(ino - 1);
}
bool valid(CatalogueFs& fs, fuse_ino_t ino) {
    return ino >= 1 && ino - 1 < fs.nodeCount();
}

struct stat statOf(CatalogueFs& fs, CatalogueFs::Node n) {
    struct stat st {};
    const CatalogueFs::Attributes a = fs.attributes(n);
    st.st_ino = n + 1;
    st.st_mode = a.folder ? (S_IFDIR | 0555) : (S_IFREG | 0444);
    st.st_nlink = a.links;
    st.st_size = static_cast<off_t>(a.size);
    st.st_blksize = 65536;
    st.st_blocks = static_cast<blkcnt_t>((a.size + 511) / 512);
    static const uid_t owner = ::getuid();
    static const gid_t group = ::getgid();
    st.st_uid = owner;
    st.st_gid = group;
    st.st_mtim = {static_cast<time_t>(a.modified), a.modifiedNs};
    st.st_atim = {static_cast<time_t>(a.accessed), a.accessedNs};
    // The status-change time has no counterpart in a backup: the creation time stands in.
    st.st_ctim = {static_cast<time_t>(a.created), a.createdNs};
    return st;
}

fuse_entry_param entryOf(CatalogueFs& fs, CatalogueFs::Node n) {
    fuse_entry_param e{};
    e.ino = n + 1;
    e.generation = 1;
    e.attr = statOf(fs, n);
    e.attr_timeout = kCacheSeconds;
    e.entry_timeout = kCacheSeconds;
    return e;
}

void doLookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
    CatalogueFs& fs = fsOf(req);
    if (!valid(fs, parent)) return void(fuse_reply_err(req, ENOENT));
    const auto found = fs.lookup(nodeOf(parent), name);
    if (!found) {
        // A negative entry may be kept too: nothing ever appears.
        fuse_entry_param none{};
        none.entry_timeout = kCacheSeconds;
        return void(fuse_reply_entry(req, &none));
    }
    const fuse_entry_param e = entryOf(fs, *found);
    fuse_reply_entry(req, &e);
}

void doGetattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
    CatalogueFs& fs = fsOf(req);
    if (!valid(fs, ino)) return void(fuse_reply_err(req, ENOENT));
    const struct stat st = statOf(fs, nodeOf(ino));
    fuse_reply_attr(req, &st, kCacheSeconds);
}

void doOpen(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    CatalogueFs& fs = fsOf(req);
    if (!valid(fs, ino)) return void(fuse_reply_err(req, ENOENT));
    const auto n = nodeOf(ino);
    if (fs.isFolder(n)) return void(fuse_reply_err(req, EISDIR));
    if ((fi->flags & O_ACCMODE) != O_RDONLY) return void(fuse_reply_err(req, EROFS));
    // Bytes that follow no stream header of this file are never served as it.
    if (fs.openProblem(n)) return void(fuse_reply_err(req, EIO));
    fi->keep_cache = 1;
    // A file the backup holds only part of: its reads reach the reader as
    // they are (the page cache would take a short read for the end of the file).
    if (fs.held(n) < fs.attributes(n).size) fi->direct_io = 1;
    fuse_reply_open(req, fi);
}

void doInit(void*, fuse_conn_info* conn) {
    // Plain listings: a listing with attributes makes the kernel build an
    // inode for every name, which costs a walk over a million names more
    // than the lookups it saves (measured).
    conn->want &= ~(FUSE_CAP_READDIRPLUS | FUSE_CAP_READDIRPLUS_AUTO);
    // File data moves from the backup to the kernel without passing through here.
    if (conn->capable & FUSE_CAP_SPLICE_WRITE) conn->want |= FUSE_CAP_SPLICE_WRITE | FUSE_CAP_SPLICE_MOVE;
}

void doRead(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*) {
    CatalogueFs& fs = fsOf(req);
    if (!valid(fs, ino) || off < 0) return void(fuse_reply_err(req, EINVAL));
    const auto fd = fs.backup().nativeHandle();
    if (fd >= 0) {
        const CatalogueFs::Range range = fs.rangeOf(nodeOf(ino), static_cast<std::uint64_t>(off), size);
        if (range.ioError) return void(fuse_reply_err(req, EIO));
        fuse_bufvec data = FUSE_BUFVEC_INIT(range.bytes);
        data.buf[0].flags = static_cast<fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
        data.buf[0].fd = static_cast<int>(fd);
        data.buf[0].pos = static_cast<off_t>(range.backupOffset);
        // Fewer bytes than asked (the backup shrank since) reach the reader as
        // they are; a failed read of the backup is answered by libfuse itself.
        fuse_reply_data(req, &data, FUSE_BUF_SPLICE_MOVE);
        return;
    }
    thread_local std::vector<std::uint8_t> buffer;
    buffer.resize(size);
    const CatalogueFs::Read r = fs.read(nodeOf(ino), static_cast<std::uint64_t>(off), buffer);
    if (r.ioError) return void(fuse_reply_err(req, EIO));
    fuse_reply_buf(req, reinterpret_cast<const char*>(buffer.data()), r.bytes);
}

void doOpendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    CatalogueFs& fs = fsOf(req);
    if (!valid(fs, ino)) return void(fuse_reply_err(req, ENOENT));
    if (!fs.isFolder(nodeOf(ino))) return void(fuse_reply_err(req, ENOTDIR));
    fi->cache_readdir = 1;
    fi->keep_cache = 1;
    fuse_reply_open(req, fi);
}

// Directory offsets: 0 ".", 1 "..", then 2 + the child's index.
void doReaddir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*) {
    CatalogueFs& fs = fsOf(req);
    if (!valid(fs, ino)) return void(fuse_reply_err(req, ENOENT));
    const auto folder = nodeOf(ino);
    const auto children = fs.children(folder);
    std::vector<char> buffer(size);
    std::size_t used = 0;
    for (auto i = static_cast<std::size_t>(std::max<off_t>(off, 0)); i < children.size() + 2; ++i) {
        const char* name = i == 0 ? "." : i == 1 ? ".." : fs.name(children[i - 2]).c_str();
        const CatalogueFs::Node n = i < 2 ? folder : children[i - 2];
        const struct stat st = statOf(fs, n);
        const std::size_t need =
            fuse_add_direntry(req, buffer.data() + used, size - used, name, &st, static_cast<off_t>(i + 1));
        if (need > size - used) break;
        used += need;
    }
    fuse_reply_buf(req, buffer.data(), used);
}

struct ArgsGuard {
    fuse_args args = FUSE_ARGS_INIT(0, nullptr);
    ~ArgsGuard() { fuse_opt_free_args(&args); }
};

}  // namespace

Status serveMount(CatalogueFs& fs, const MountOptions& options, const std::function<void()>& mounted) {
    fuse_lowlevel_ops ops{};
    ops.init = doInit;
    ops.lookup = doLookup;
    ops.getattr = doGetattr;
    ops.open = doOpen;
    ops.read = doRead;
    ops.opendir = doOpendir;
    ops.readdir = doReaddir;

    std::string fsName = options.fsName.empty() ? "tarvik" : options.fsName;
    for (char& c : fsName) {
        if (c == ',' || c == '\\' || c == '"' || static_cast<unsigned char>(c) < 0x20) c = '_';
    }
    ArgsGuard guard;
    const std::string mountOptions = "ro,default_permissions,fsname=" + fsName + ",subtype=tarvik";
    for (const char* a : {"tarvik", "-o", mountOptions.c_str()}) {
        if (fuse_opt_add_arg(&guard.args, a) != 0) return Status::failure("out of memory");
    }
    fuse_session* se = fuse_session_new(&guard.args, &ops, sizeof ops, &fs);
    if (!se) return Status::failure("cannot start a FUSE session");
    // FUSE's own handlers end the loop on Ctrl-C, SIGTERM and SIGHUP (they
    // only take a signal left to its default action).
    for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
    Status status;
    if (fuse_set_signal_handlers(se) != 0) {
        status = Status::failure("cannot install the signal handlers");
    } else {
        if (fuse_session_mount(se, options.mountpoint.c_str()) != 0) {
            status = Status::failure("cannot mount on " + pathText(options.mountpoint));
        } else {
            fuse_daemonize(options.background ? 0 : 1);
            if (mounted) mounted();
            fuse_loop_config* config = fuse_loop_cfg_create();
            fuse_loop_cfg_set_clone_fd(config, 0);
            fuse_loop_cfg_set_max_threads(config, 16);
            const int ended = fuse_session_loop_mt(se, config);
            fuse_loop_cfg_destroy(config);
            fuse_session_unmount(se);
            if (ended < 0) status = Status::failure("the FUSE session ended with an error: " + systemErrorText(-ended));
        }
        fuse_remove_signal_handlers(se);
    }
    fuse_session_destroy(se);
    return status;
}

}  // namespace bkf
