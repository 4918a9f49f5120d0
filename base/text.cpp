#include "base/text.h"

#include <charconv>
#include <limits>

namespace bkf {

namespace {

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, cp = c & 0x1F, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, cp = c & 0x07, min = 0x10000;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (i + static_cast<std::size_t>(extra) >= n) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char cc = p[i + static_cast<std::size_t>(k)];
            if ((cc & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        appendCodePoint(out, cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cu = text[i];
        if (cu >= 0xD800 && cu <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cu = 0x10000 + ((cu - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cu >= 0xD800 && cu <= 0xDFFF) {
            cu = 0xFFFD;
        }
        appendUtf8(out, cu);
    }
    return out;
}

#ifdef _WIN32
std::filesystem::path pathFromUtf16(std::u16string_view text) {
    std::wstring wide(text.begin(), text.end());
    return std::filesystem::path(std::move(wide));
}

std::u16string pathToUtf16(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    return std::u16string(wide.begin(), wide.end());
}
#else
std::filesystem::path pathFromUtf16(std::u16string_view text) {
    return std::filesystem::path(utf16ToUtf8(text));
}

std::u16string pathToUtf16(const std::filesystem::path& path) {
    return utf8ToUtf16(path.native());
}
#endif

std::string pathText(const std::filesystem::path& path) {
    return utf16ToUtf8(pathToUtf16(path));
}

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void appendHexByte(std::string& out, const char* lead, unsigned byte) {
    out += lead;
    out.push_back(kHex[(byte >> 4) & 0xF]);
    out.push_back(kHex[byte & 0xF]);
}

// Length of the well-formed UTF-8 sequence at `i`, or 0.
std::size_t utf8SequenceAt(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0)
        n = 2, cp = c & 0x1F, min = 0x80;
    else if ((c & 0xF0) == 0xE0)
        n = 3, cp = c & 0x0F, min = 0x800;
    else if ((c & 0xF8) == 0xF0)
        n = 4, cp = c & 0x07, min = 0x10000;
    else
        return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    if (cp >= 0x80 && cp <= 0x9F) return 0;  // C1 controls are shown escaped too
    return n;
}

}  // namespace

std::string terminalText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = c < 0x20 || c == 0x7F ? 0 : utf8SequenceAt(utf8, i);
        if (n == 0) {
            appendHexByte(out, "\\x", c);
            ++i;
        } else {
            out.append(utf8.substr(i, n));
            i += n;
        }
    }
    return out;
}

void appendTsvCell(std::string& out, std::u16string_view cell) {
    for (std::size_t i = 0; i < cell.size(); ++i) {
        // A run of printable ASCII other than "%" (most of every cell) is copied in one go.
        std::size_t run = i;
        while (run < cell.size() && cell[run] >= 0x20 && cell[run] < 0x7F && cell[run] != u'%') ++run;
        if (run > i) {
            const std::size_t old = out.size();
            out.resize(old + (run - i));
            for (std::size_t k = i; k < run; ++k) out[old + (k - i)] = static_cast<char>(cell[k]);
            i = run;
            if (i == cell.size()) break;
        }
        const char16_t c = cell[i];
        if (c == u'%' || c < 0x20 || c == 0x7F) {
            appendHexByte(out, "%", c);
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < cell.size() && cell[i + 1] >= 0xDC00 &&
                   cell[i + 1] <= 0xDFFF) {
            out += utf16ToUtf8(cell.substr(i, 2));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            appendHexByte(out, "%u", c >> 8);
            appendHexByte(out, "", c & 0xFF);
        } else {
            out += utf16ToUtf8(cell.substr(i, 1));
        }
    }
}

std::optional<std::u16string> parseTsvCell(std::string_view text) {
    auto hex = [](char h) -> int {
        if (h >= '0' && h <= '9') return h - '0';
        if (h >= 'A' && h <= 'F') return h - 'A' + 10;
        if (h >= 'a' && h <= 'f') return h - 'a' + 10;
        return -1;
    };
    std::u16string out;
    std::size_t plain = 0;
    auto flush = [&](std::size_t end) { out += utf8ToUtf16(text.substr(plain, end - plain)); };
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\t' || text[i] == '\n') return std::nullopt;
        if (text[i] != '%') {
            ++i;
            continue;
        }
        flush(i);
        const bool unit = i + 1 < text.size() && text[i + 1] == 'u';
        const std::size_t digits = unit ? 4 : 2;
        const std::size_t start = i + (unit ? 2 : 1);
        if (start + digits > text.size()) return std::nullopt;
        unsigned value = 0;
        for (std::size_t k = 0; k < digits; ++k) {
            const int d = hex(text[start + k]);
            if (d < 0) return std::nullopt;
            value = value * 16 + static_cast<unsigned>(d);
        }
        out.push_back(static_cast<char16_t>(value));
        i = start + digits;
        plain = i;
    }
    flush(text.size());
    return out;
}

void appendCodePoint(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

std::u16string asciiToUtf16(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

std::size_t writeDecimal(char16_t* out, std::int64_t value) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    const auto n = static_cast<std::size_t>(r.ptr - buf);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char16_t>(buf[i]);
    return n;
}

std::u16string decimalText(std::int64_t value) {
    char16_t buf[24];
    return std::u16string(buf, writeDecimal(buf, value));
}

std::u16string decimalText(std::uint64_t value) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::u16string(buf, r.ptr);
}

std::int64_t parseLeadingInt64(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r' ||
                               text[i] == u'\v' || text[i] == u'\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulate as a negative number so that INT64_MIN is reachable.
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t acc = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        const int digit = text[i] - u'0';
        if (acc < (kMin + digit) / 10) {
            saturated = true;
            break;
        }
        acc = acc * 10 - digit;
    }
    if (saturated) return negative ? kMin : std::numeric_limits<std::int64_t>::max();
    if (negative) return acc;
    return acc == kMin ? std::numeric_limits<std::int64_t>::max() : -acc;
}

bool parseCanonicalInt64(std::u16string_view text, std::int64_t& value) {
    // Canonical: "0", or an optional '-' then a digit 1-9 and more digits, in range.
    // Eight cells of every snapshot row pass here: digits are read directly.
    if (text.empty() || text.size() > 20) return false;
    const bool negative = text[0] == u'-';
    std::size_t i = negative ? 1 : 0;
    if (i == text.size()) return false;
    if (text[i] == u'0') {
        if (negative || text.size() != 1) return false;
        value = 0;
        return true;
    }
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const unsigned digit = static_cast<unsigned>(text[i]) - u'0';
        if (digit > 9) return false;
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
        magnitude = magnitude * 10 + digit;
    }
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (magnitude > kMax + (negative ? 1 : 0)) return false;
    value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

}  // namespace bkf
