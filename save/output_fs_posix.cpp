// POSIX side of the output folders: mkdirat/openat with O_NOFOLLOW, files
// created with O_EXCL, times with futimens.
#include "save/output_fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <optional>

#include "base/status.h"
#include "base/text.h"

namespace bkf {

namespace {

FsError errorOf(int code) {
    FsError e;
    e.code = code;
    e.reason = systemErrorText(code);
    e.exists = code == EEXIST || code == ELOOP || code == ENOTDIR;
    e.diskFull = code == ENOSPC || code == EDQUOT;
    return e;
}

timespec timeSpecOf(FileTime t) {
    timespec ts{};
    if (t == 0) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    const auto seconds = static_cast<std::int64_t>(t / kFileTimeTicksPerSecond) - kFileTimeUnixEpochSeconds;
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((t % kFileTimeTicksPerSecond) * 100);
    return ts;
}

class PosixFile final : public OutputFile {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    FsError write(std::span<const std::uint8_t> bytes) override {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EINTR) {
                return errorOf(errno);
            } else if (n == 0) {
                return errorOf(ENOSPC);
            }
        }
        return {};
    }
    FsError setTimes(FileTime modified, FileTime accessed, FileTime) override {
        // Linux keeps a birth time but offers no way to set it.
        const timespec times[2] = {timeSpecOf(accessed), timeSpecOf(modified)};
        if (::futimens(fd_, times) != 0) return errorOf(errno);
        return {};
    }
    FsError close() override {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) return errorOf(errno);
        return {};
    }

private:
    int fd_;
};

class PosixDir final : public OutputDir {
public:
    PosixDir(int fd, std::string path) : fd_(fd), text_(std::move(path)) {}
    ~PosixDir() override { ::close(fd_); }

    Result<std::unique_ptr<OutputDir>, FsError> makeDir(const std::u16string& name, bool mayExist) override {
        const std::string n = utf16ToUtf8(name);
        if (::mkdirat(fd_, n.c_str(), 0777) != 0 && !(errno == EEXIST && mayExist)) {
            return errorOf(errno);
        }
        const int fd = ::openat(fd_, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return errorOf(errno);
        }
        // Plain text: a path object per folder would cost the whole path's
        // parts at every level of a deep one.
        std::string child = text_;
        if (!child.empty() && child.back() != '/') child.push_back('/');
        child += n;
        return std::make_unique<PosixDir>(fd, std::move(child));
    }

    Result<std::unique_ptr<OutputFile>, FsError> createFile(const std::u16string& name) override {
        const std::string n = utf16ToUtf8(name);
        const int fd = ::openat(fd_, n.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            return errorOf(errno);
        }
        return std::make_unique<PosixFile>(fd);
    }

    void removeFile(const std::u16string& name) override { ::unlinkat(fd_, utf16ToUtf8(name).c_str(), 0); }

    const std::filesystem::path& path() const override {
        if (!path_) path_ = std::filesystem::path(text_);
        return *path_;
    }

private:
    int fd_;
    std::string text_;
    mutable std::optional<std::filesystem::path> path_;
};

}  // namespace

Result<std::unique_ptr<OutputDir>, FsError> openOutputRoot(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errorOf(errno);
    }
    return std::make_unique<PosixDir>(fd, folder.native());
}

}  // namespace bkf
