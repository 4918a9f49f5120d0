// Windows side of openBackupFile: CreateFileW for reading, refusing other
// writers for a scan, ReadFile with an offset for positioned reads. Paths go
// to the system behind \\?\, so any length is taken.
#include "engine/backup_file.h"

#include <algorithm>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winioctl.h>

#include "engine/windows_path.h"

namespace bkf {

namespace {

// The system's text for an error, in UTF-8.
std::string lastErrorText() {
    const DWORD error = GetLastError();
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (n && text) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
        message.resize(static_cast<std::size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), message.data(), bytes, nullptr, nullptr);
    } else {
        message = "error " + std::to_string(error);
    }
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message;
}

class WindowsFileSource final : public ByteSource {
public:
    WindowsFileSource(HANDLE file, std::uint64_t size, bool sparse) : file_(file), size_(size), sparse_(sparse) {}
    ~WindowsFileSource() override { CloseHandle(file_); }

    std::uint64_t size() const override { return size_; }

    ReadResult read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        ReadResult result;
        while (result.bytes < out.size()) {
            OVERLAPPED at{};
            const std::uint64_t pos = offset + result.bytes;
            at.Offset = static_cast<DWORD>(pos);
            at.OffsetHigh = static_cast<DWORD>(pos >> 32);
            const auto want = static_cast<DWORD>(std::min<std::size_t>(out.size() - result.bytes, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(file_, out.data() + result.bytes, want, &got, &at)) {
                if (GetLastError() == ERROR_HANDLE_EOF) break;
                result.failed = true;
                result.reason = lastErrorText();
                break;
            }
            if (got == 0) break;
            result.bytes += got;
        }
        return result;
    }

    // Only a sparse file has holes; the file system names its allocated
    // ranges, and the first one at or after `offset` is where data goes on.
    std::uint64_t nextData(std::uint64_t offset) override {
        if (offset >= size_) return size_;
        if (!sparse_) return offset;
        FILE_ALLOCATED_RANGE_BUFFER query{};
        query.FileOffset.QuadPart = static_cast<LONGLONG>(offset);
        query.Length.QuadPart = static_cast<LONGLONG>(size_ - offset);
        FILE_ALLOCATED_RANGE_BUFFER first{};
        DWORD got = 0;
        // ERROR_MORE_DATA only says that more ranges follow the first.
        if (!DeviceIoControl(file_, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, &first, sizeof first, &got,
                             nullptr) &&
            GetLastError() != ERROR_MORE_DATA) {
            return offset;  // holes are not known here
        }
        if (got < sizeof first) return size_;  // no range allocated: a hole to the end
        const auto start = static_cast<std::uint64_t>(std::max<LONGLONG>(first.FileOffset.QuadPart, 0));
        return std::clamp(start, offset, size_);
    }

private:
    HANDLE file_;
    std::uint64_t size_;
    bool sparse_;
};

}  // namespace

OpenedBackup openBackupFile(const std::filesystem::path& path, BackupAccess access) {
    const DWORD share =
        access == BackupAccess::Exclusive ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const std::wstring name = longPath(path);
    // A folder opens only with backup semantics; say what it is instead.
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Status::failure("Is a directory");
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Status::failure(GetLastError() == ERROR_SHARING_VIOLATION ? kBackupLockedText : lastErrorText());
    // Only files on a disk: a pipe or a console would block or never end.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return Status::failure("not a regular file or block device");
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        const std::string reason = lastErrorText();
        CloseHandle(file);
        return Status::failure(reason);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool sparse = GetFileInformationByHandle(file, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE);
    return std::unique_ptr<ByteSource>(
        std::make_unique<WindowsFileSource>(file, static_cast<std::uint64_t>(size.QuadPart), sparse));
}

}  // namespace bkf
