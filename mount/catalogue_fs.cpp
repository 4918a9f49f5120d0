#define FUSE_USE_VERSION 312
#include "mount/catalogue_fs.h"

#include <fuse_lowlevel.h>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "base/file_time.h"
#include "base/text.h"
#include "engine/tape_format.h"
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

CatalogueFs::Range CatalogueFs::headerRange(Node n) const {
    if (isFolder(n)) return {};
    const ExtractItem& item = items_[static_cast<std::size_t>(nodes_[n].item)];
    if (item.size < 0 || item.dataOffset < static_cast<std::int64_t>(mtf::kStreamHeaderSize)) return {};
    const std::uint64_t at = static_cast<std::uint64_t>(item.dataOffset) - mtf::kStreamHeaderSize;
    if (at >= backupSize_) return {};
    return {at, static_cast<std::size_t>(std::min<std::uint64_t>(mtf::kStreamHeaderSize, backupSize_ - at)), false};
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

// Which bytes of the backup the page cache holds, asked of the kernel
// (mincore) through a read-only map of the backup that is never read: a bad
// spot of the disk cannot fault the process through it. The kernel tells only
// for a file the process owns or could write; for any other, every read is
// taken for one that waits (slower, never wrong).
class BackupPages {
public:
    explicit BackupPages(const ByteSource& backup) {
        const std::intptr_t fd = backup.nativeHandle();
        size_ = backup.size();
        if (fd < 0 || size_ == 0 || size_ > SIZE_MAX) return;
        void* map = ::mmap(nullptr, static_cast<std::size_t>(size_), PROT_READ, MAP_SHARED, static_cast<int>(fd), 0);
        if (map != MAP_FAILED) map_ = static_cast<std::uint8_t*>(map);
    }
    ~BackupPages() {
        if (map_) ::munmap(map_, static_cast<std::size_t>(size_));
    }
    BackupPages(const BackupPages&) = delete;
    BackupPages& operator=(const BackupPages&) = delete;

    // Whether the first and the last page of the range are in memory (a read
    // of the rest then seldom waits: read-ahead fills the cache in order).
    // False when it cannot tell.
    bool cached(std::uint64_t offset, std::size_t length) const {
        if (!map_ || length == 0 || offset >= size_ || length > size_ - offset) return false;
        return pageCached(offset) && pageCached(offset + length - 1);
    }

private:
    bool pageCached(std::uint64_t offset) const {
        static const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
        unsigned char resident = 0;
        return ::mincore(map_ + offset / page * page, 1, &resident) == 0 && (resident & 1) != 0;
    }

    std::uint8_t* map_ = nullptr;
    std::uint64_t size_ = 0;
};

// A few threads that answer the requests that wait for the disk, in the
// order they came. They take no signals: those reach the serving thread.
class DiskWorkers {
public:
    static constexpr int kThreads = 4;

    void start() {
        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &old);
        for (int i = 0; i < kThreads; ++i) threads_.emplace_back([this] { work(); });
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }
    bool started() const { return !threads_.empty(); }
    void add(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        ready_.notify_one();
    }
    // Answers what is queued, then ends the threads.
    void finish() {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        ready_.notify_all();
        for (std::thread& t : threads_) t.join();
        threads_.clear();
    }
    ~DiskWorkers() { finish(); }

private:
    void work() {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [&] { return ending_ || !tasks_.empty(); });
                if (tasks_.empty()) return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
    bool ending_ = false;
    std::vector<std::thread> threads_;
};

// What the request handlers reach through the session.
struct Server {
    explicit Server(CatalogueFs& f) : fs(f), pages(f.backup()) {}
    CatalogueFs& fs;
    BackupPages pages;
    DiskWorkers disk;

    // Runs `answer` now when the backup's bytes in `range` are in memory (or
    // it reads none), else on a disk thread.
    template <typename Answer>
    void whenReadable(const CatalogueFs::Range& range, Answer&& answer) {
        if (range.bytes == 0 || !disk.started() || pages.cached(range.backupOffset, range.bytes)) {
            answer();
        } else {
            disk.add(std::forward<Answer>(answer));
        }
    }
};

Server& serverOf(fuse_req_t req) {
    return *static_cast<Server*>(fuse_req_userdata(req));
}
CatalogueFs& fsOf(fuse_req_t req) {
    return serverOf(req).fs;
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
    fi->keep_cache = 1;
    // A file the backup holds only part of: its reads reach the reader as
    // they are (the page cache would take a short read for the end of the file).
    if (fs.held(n) < fs.attributes(n).size) fi->direct_io = 1;
    // Bytes that follow no stream header of this file are never served as
    // it; the header is read from the disk when not in memory.
    serverOf(req).whenReadable(fs.headerRange(n), [req, &fs, n, info = *fi] {
        if (fs.openProblem(n)) return void(fuse_reply_err(req, EIO));
        fuse_reply_open(req, &info);
    });
}

void doInit(void*, fuse_conn_info* conn) {
    // Plain listings: a listing with attributes makes the kernel build an
    // inode for every name, which costs a walk over a million names more
    // than the lookups it saves (measured).
    conn->want &= ~(FUSE_CAP_READDIRPLUS | FUSE_CAP_READDIRPLUS_AUTO);
    // File data moves from the backup to the kernel without passing through here.
    if (conn->capable & FUSE_CAP_SPLICE_WRITE) conn->want |= FUSE_CAP_SPLICE_WRITE | FUSE_CAP_SPLICE_MOVE;
}

// Answers a read of the file's bytes at `offset`, which lie at `range` in
// the backup: spliced from the backup's descriptor where it has one.
void replyWithBytes(fuse_req_t req, const CatalogueFs& fs, CatalogueFs::Node n, std::uint64_t offset,
                    const CatalogueFs::Range& range) {
    const auto fd = fs.backup().nativeHandle();
    if (fd >= 0) {
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
    buffer.resize(range.bytes);
    const CatalogueFs::Read r = fs.read(n, offset, buffer);
    if (r.ioError) return void(fuse_reply_err(req, EIO));
    fuse_reply_buf(req, reinterpret_cast<const char*>(buffer.data()), r.bytes);
}

void doRead(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*) {
    CatalogueFs& fs = fsOf(req);
    if (!valid(fs, ino) || off < 0) return void(fuse_reply_err(req, EINVAL));
    const auto n = nodeOf(ino);
    const auto offset = static_cast<std::uint64_t>(off);
    const CatalogueFs::Range range = fs.rangeOf(n, offset, size);
    if (range.ioError) return void(fuse_reply_err(req, EIO));
    if (range.bytes == 0) return void(fuse_reply_buf(req, nullptr, 0));
    serverOf(req).whenReadable(range, [req, &fs, n, offset, range] { replyWithBytes(req, fs, n, offset, range); });
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

// Waits for the next request: first briefly at full attention (the kernel
// sends a reader's next read-ahead as soon as the last one is answered, and
// waking from a sleep costs more than that), then asleep. False when the
// device is gone or the session was ended.
bool awaitRequest(fuse_session* se, int fd) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::microseconds(100);
    pollfd p{fd, POLLIN, 0};
    while (Clock::now() < until) {
        if (::poll(&p, 1, 0) != 0) return !fuse_session_exited(se);
    }
    // Asleep for at most half a second at a time, so an ended session is seen.
    while (!fuse_session_exited(se)) {
        const int ready = ::poll(&p, 1, 500);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
    return false;
}

// Takes the kernel's requests on this thread until the file system is
// unmounted or the session ended (a signal). 0, or a negative errno.
int serveRequests(fuse_session* se) {
    const int fd = fuse_session_fd(se);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return -errno;
    fuse_buf buffer{};
    int result = 0;
    while (!fuse_session_exited(se)) {
        const int got = fuse_session_receive_buf(se, &buffer);
        if (got == -EAGAIN) {
            if (!awaitRequest(se, fd)) break;
            continue;
        }
        if (got == -EINTR) continue;
        if (got <= 0) {  // 0: unmounted
            result = got;
            break;
        }
        fuse_session_process_buf(se, &buffer);
    }
    std::free(buffer.mem);
    return result;
}

struct ArgsGuard {
    fuse_args args = FUSE_ARGS_INIT(0, nullptr);
    ~ArgsGuard() { fuse_opt_free_args(&args); }
};

fuse_lowlevel_ops requestHandlers() {
    fuse_lowlevel_ops ops{};
    ops.init = doInit;
    ops.lookup = doLookup;
    ops.getattr = doGetattr;
    ops.open = doOpen;
    ops.read = doRead;
    ops.opendir = doOpendir;
    ops.readdir = doReaddir;
    return ops;
}

// The mount's options: read-only, and the name mount(8) shows (with the
// characters that would end or escape an option replaced).
Status addMountArguments(fuse_args& args, const MountOptions& options) {
    std::string fsName = options.fsName.empty() ? "tarvik" : options.fsName;
    for (char& c : fsName) {
        if (c == ',' || c == '\\' || c == '"' || static_cast<unsigned char>(c) < 0x20) c = '_';
    }
    const std::string mountOptions = "ro,default_permissions,fsname=" + fsName + ",subtype=tarvik";
    for (const char* a : {"tarvik", "-o", mountOptions.c_str()}) {
        if (fuse_opt_add_arg(&args, a) != 0) return Status::failure("out of memory");
    }
    return {};
}

// Mounts, serves until unmounted or signalled, and unmounts.
Status mountAndServe(fuse_session* se, Server& server, const MountOptions& options,
                     const std::function<void()>& mounted) {
    if (fuse_session_mount(se, options.mountpoint.c_str()) != 0) {
        return Status::failure("cannot mount on " + pathText(options.mountpoint));
    }
    fuse_daemonize(options.background ? 0 : 1);
    // Threads do not outlive the fork of --background: started after it.
    server.disk.start();
    if (mounted) mounted();
    const int ended = serveRequests(se);
    // Every request taken is answered before the session goes.
    server.disk.finish();
    fuse_session_unmount(se);
    if (ended < 0) return Status::failure("the FUSE session ended with an error: " + systemErrorText(-ended));
    return {};
}

}  // namespace

Status serveMount(CatalogueFs& fs, const MountOptions& options, const std::function<void()>& mounted) {
    ArgsGuard guard;
    if (Status added = addMountArguments(guard.args, options); !added.ok()) return added;
    const fuse_lowlevel_ops ops = requestHandlers();
    Server server(fs);
    fuse_session* se = fuse_session_new(&guard.args, &ops, sizeof ops, &server);
    if (!se) return Status::failure("cannot start a FUSE session");
    // FUSE's own handlers end the loop on Ctrl-C, SIGTERM and SIGHUP (they
    // only take a signal left to its default action).
    for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
    Status status;
    if (fuse_set_signal_handlers(se) != 0) {
        status = Status::failure("cannot install the signal handlers");
    } else {
        status = mountAndServe(se, server, options, mounted);
        fuse_remove_signal_handlers(se);
    }
    fuse_session_destroy(se);
    return status;
}

}  // namespace bkf
