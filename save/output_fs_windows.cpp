// Windows side of the output folders: a folder is used only when it is a real
// directory (no reparse point), files are created with CREATE_NEW. Every name
// handed to the system is one that safeName could have made (no reserved
// device name, no trailing dot or space, none of <>:"|?*), and every path
// goes behind \\?\ so that deep trees pass MAX_PATH.
#include "save/output_fs.h"

#include <algorithm>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "engine/windows_path.h"
#include "save/output_naming.h"

namespace bkf {

namespace {

FsError errorOf(DWORD code) {
    FsError e;
    e.code = static_cast<int>(code);
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n && text) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
        e.reason.resize(static_cast<std::size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), e.reason.data(), bytes, nullptr, nullptr);
    } else {
        e.reason = "error " + std::to_string(code);
    }
    if (text) LocalFree(text);
    while (!e.reason.empty() && (e.reason.back() == '\n' || e.reason.back() == '\r' || e.reason.back() == '.')) {
        e.reason.pop_back();
    }
    e.exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    e.diskFull = code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL;
    return e;
}

FILETIME fileTimeOf(FileTime t) {
    FILETIME ft;
    ft.dwLowDateTime = fileTimeLow(t);
    ft.dwHighDateTime = fileTimeHigh(t);
    return ft;
}

class WindowsFile final : public OutputFile {
public:
    explicit WindowsFile(HANDLE h) : h_(h) {}
    ~WindowsFile() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    FsError write(std::span<const std::uint8_t> bytes) override {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const auto want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            DWORD wrote = 0;
            if (!WriteFile(h_, bytes.data() + done, want, &wrote, nullptr)) return errorOf(GetLastError());
            if (wrote == 0) return errorOf(ERROR_DISK_FULL);
            done += wrote;
        }
        return {};
    }
    FsError setTimes(FileTime modified, FileTime accessed, FileTime created) override {
        const FILETIME m = fileTimeOf(modified), a = fileTimeOf(accessed), c = fileTimeOf(created);
        if (!SetFileTime(h_, created ? &c : nullptr, accessed ? &a : nullptr, modified ? &m : nullptr)) {
            return errorOf(GetLastError());
        }
        return {};
    }
    FsError close() override {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        if (!CloseHandle(h)) return errorOf(GetLastError());
        return {};
    }

private:
    HANDLE h_;
};

std::filesystem::path pathOf(const std::u16string& name) {
    return std::filesystem::path(std::wstring(name.begin(), name.end()));
}

// path_ is always a \\?\ path; path() gives the folder as the user would write it.
class WindowsDir final : public OutputDir {
public:
    WindowsDir(std::filesystem::path path, std::filesystem::path shown)
        : path_(std::move(path)), shown_(std::move(shown)) {}

    Result<std::unique_ptr<OutputDir>, FsError> makeDir(const std::u16string& name, bool mayExist) override {
        if (!isSafeName(name)) {
            return errorOf(ERROR_INVALID_NAME);
        }
        const std::filesystem::path p = path_ / pathOf(name);
        if (!CreateDirectoryW(p.c_str(), nullptr)) {
            const DWORD code = GetLastError();
            if (code != ERROR_ALREADY_EXISTS || !mayExist) {
                return errorOf(code);
            }
            const DWORD attributes = GetFileAttributesW(p.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                return errorOf(ERROR_ALREADY_EXISTS);
            }
        }
        return std::make_unique<WindowsDir>(p, shown_ / pathOf(name));
    }

    Result<std::unique_ptr<OutputFile>, FsError> createFile(const std::u16string& name) override {
        if (!isSafeName(name)) {
            return errorOf(ERROR_INVALID_NAME);
        }
        const std::filesystem::path p = path_ / pathOf(name);
        HANDLE h = CreateFileW(p.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return errorOf(GetLastError());
        }
        return std::make_unique<WindowsFile>(h);
    }

    void removeFile(const std::u16string& name) override { DeleteFileW((path_ / pathOf(name)).c_str()); }

    const std::filesystem::path& path() const override { return shown_; }

private:
    std::filesystem::path path_;
    std::filesystem::path shown_;
};

}  // namespace

Result<std::unique_ptr<OutputDir>, FsError> openOutputRoot(const std::filesystem::path& folder) {
    const std::filesystem::path full = longPath(folder);
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return errorOf(GetLastError());
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return errorOf(ERROR_DIRECTORY);
    }
    return std::make_unique<WindowsDir>(full, folder);
}

}  // namespace bkf
