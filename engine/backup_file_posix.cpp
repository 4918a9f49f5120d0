// POSIX side of openBackupFile: open(2) read-only and without blocking, a
// shared flock(2) for a scan, pread(2) for positioned reads.
#include "engine/backup_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

#include "base/status.h"

namespace bkf {

namespace {

class PosixFileSource final : public ByteSource {
public:
    PosixFileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~PosixFileSource() override { ::close(fd_); }  // closing also drops the lock

    std::uint64_t size() const override { return size_; }
    std::intptr_t nativeHandle() const override { return fd_; }

    ReadResult read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        ReadResult result;
        while (result.bytes < out.size()) {
            const ssize_t n = ::pread(fd_, out.data() + result.bytes, out.size() - result.bytes,
                                      static_cast<off_t>(offset + result.bytes));
            if (n > 0) {
                result.bytes += static_cast<std::size_t>(n);
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                result.failed = true;
                result.reason = systemErrorText(errno);
                break;
            }
        }
        return result;
    }

#ifdef SEEK_DATA
    std::uint64_t nextData(std::uint64_t offset) override {
        if (offset >= size_) return size_;
        const off_t data = ::lseek(fd_, static_cast<off_t>(offset), SEEK_DATA);
        if (data >= 0) return std::min<std::uint64_t>(static_cast<std::uint64_t>(data), size_);
        // ENXIO: nothing but a hole from here on; anything else: holes are not known here.
        return errno == ENXIO ? size_ : offset;
    }
#endif

private:
    int fd_;
    std::uint64_t size_;
};

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "Is a directory";
    if (S_ISFIFO(mode)) return "not a regular file or block device (a FIFO)";
    if (S_ISSOCK(mode)) return "not a regular file or block device (a socket)";
    if (S_ISCHR(mode)) return "not a regular file or block device (a character device)";
    return "Not a regular file";
}

}  // namespace

OpenedBackup openBackupFile(const std::filesystem::path& path, BackupAccess access) {
    // O_NONBLOCK: a FIFO without a writer, or a device, would otherwise hold
    // the open for ever. It changes nothing for the files that are taken.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return Status::failure(systemErrorText(errno));
    auto refuse = [&](std::string reason) -> OpenedBackup {
        ::close(fd);
        return Status::failure(std::move(reason));
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) return refuse(systemErrorText(errno));
    std::uint64_t size = 0;
    if (S_ISREG(st.st_mode)) {
        size = static_cast<std::uint64_t>(st.st_size);
    } else if (S_ISBLK(st.st_mode)) {
        const off_t end = ::lseek(fd, 0, SEEK_END);
        if (end < 0) return refuse(systemErrorText(errno));
        size = static_cast<std::uint64_t>(end);
    } else {
        return refuse(kindOf(st.st_mode));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (access == BackupAccess::Exclusive && ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        const int error = errno;
        return refuse(error == EWOULDBLOCK ? kBackupLockedText : systemErrorText(error));
    }
#ifdef POSIX_FADV_SEQUENTIAL
    // Scans and saves read the backup from its start to its end: the kernel may read further ahead.
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return std::unique_ptr<ByteSource>(std::make_unique<PosixFileSource>(fd, size));
}

}  // namespace bkf
