// POSIX side of openBackupFile: open(2) read-only, an exclusive flock(2) for a
// scan, pread(2) for positioned reads.
#include "engine/backup_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/status.h"

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

private:
    int fd_;
    std::uint64_t size_;
};

}  // namespace

OpenedBackup openBackupFile(const std::filesystem::path& path, BackupAccess access) {
    OpenedBackup opened;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        opened.reason = systemErrorText(errno);
        return opened;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        opened.reason = systemErrorText(errno);
        ::close(fd);
        return opened;
    }
    if (!S_ISREG(st.st_mode)) {
        opened.reason = S_ISDIR(st.st_mode) ? "Is a directory" : "Not a regular file";
        ::close(fd);
        return opened;
    }
    if (access == BackupAccess::Exclusive && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        opened.reason = error == EWOULDBLOCK ? "the file is in use by another program"
                                             : systemErrorText(error);
        ::close(fd);
        return opened;
    }
    opened.source = std::make_unique<PosixFileSource>(fd, static_cast<std::uint64_t>(st.st_size));
    return opened;
}

}  // namespace bkf
