// Windows only: a path as the wide-character file functions take it when it
// may be longer than MAX_PATH (260): absolute, with backslashes, behind the
// \\?\ prefix (\\?\UNC\ for a share). Such a path is used as it stands by the
// system, so it is made absolute and free of "." and ".." here.
#pragma once

#ifdef _WIN32

#include <filesystem>
#include <string>
#include <system_error>

namespace bkf {

inline std::wstring longPath(const std::filesystem::path& path) {
    std::wstring text = path.native();
    if (text.starts_with(L"\\\\?\\") || text.starts_with(L"\\\\.\\")) return text;
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    if (ec) return text;
    text = full.lexically_normal().make_preferred().native();
    if (text.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + text.substr(2);
    if (text.size() >= 2 && text[1] == L':') return L"\\\\?\\" + text;
    return text;
}

}  // namespace bkf

#endif
