#include "save/output_naming.h"

#include "base/text.h"

namespace bkf {

namespace {

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

char16_t upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

// UTF-8 length of UTF-16 text without unpaired surrogates.
std::size_t utf8Length(std::u16string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c < 0x80)
            n += 1;
        else if (c < 0x800)
            n += 2;
        else if (isHighSurrogate(c))
            n += 4, ++i;
        else
            n += 3;
    }
    return n;
}

bool fits(std::u16string_view s) {
    return s.size() <= kMaxNameUnits && utf8Length(s) <= kMaxNameBytes;
}

// The longest start of `stem` that fits with `tail` after it, never
// splitting a surrogate pair: one pass, whatever the length.
std::u16string fitWithTail(std::u16string_view stem, std::u16string_view tail) {
    const std::size_t tailUnits = tail.size();
    const std::size_t tailBytes = utf8Length(tail);
    std::size_t keep = 0;
    if (tailUnits <= kMaxNameUnits && tailBytes <= kMaxNameBytes) {
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < stem.size();) {
            const char16_t c = stem[i];
            std::size_t units = 1;
            std::size_t width = 3;
            if (c < 0x80) {
                width = 1;
            } else if (c < 0x800) {
                width = 2;
            } else if (isHighSurrogate(c) && i + 1 < stem.size() && isLowSurrogate(stem[i + 1])) {
                units = 2;
                width = 4;
            }
            if (i + units + tailUnits > kMaxNameUnits || bytes + width + tailBytes > kMaxNameBytes) break;
            bytes += width;
            i += units;
            keep = i;
        }
    }
    std::u16string out(stem.substr(0, keep));
    out += tail;
    return out;
}

// Splits at the last dot that is not the first character: ("report", ".txt").
std::pair<std::u16string_view, std::u16string_view> splitExtension(std::u16string_view name) {
    const auto dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0) return {name, {}};
    return {name.substr(0, dot), name.substr(dot)};
}

}  // namespace

bool folderPrefixFits(std::u16string_view prefix) {
    constexpr std::size_t kNumberRoom = 7;
    return prefix.size() + kNumberRoom <= kMaxNameUnits && utf8Length(prefix) + kNumberRoom <= kMaxNameBytes;
}

bool isValidFolderPrefix(std::u16string_view prefix) {
    return prefix.find_first_of(kPrefixForbiddenChars) == std::u16string_view::npos;
}

bool isReservedDeviceName(std::u16string_view name) {
    // Windows ignores what follows the first dot, and trailing spaces before it.
    std::u16string_view base = name.substr(0, name.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
    for (std::u16string_view reserved : kReservedDeviceNames) {
        if (base.size() != reserved.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < base.size() && same; ++i) same = upper(base[i]) == reserved[i];
        if (same) return true;
    }
    return false;
}

std::u16string safeName(std::u16string_view component, bool* changed) {
    std::u16string name;
    if (component.empty()) {
        name = u"_";
    } else if (component == u".") {
        name = u"__";
    } else if (component == u"..") {
        name = u"___";
    } else {
        name.reserve(component.size());
        for (std::size_t i = 0; i < component.size(); ++i) {
            const char16_t c = component[i];
            if (isHighSurrogate(c) && i + 1 < component.size() && isLowSurrogate(component[i + 1])) {
                name.push_back(c);
                name.push_back(component[++i]);
            } else if (c < 0x20 || c == 0x7F || isHighSurrogate(c) || isLowSurrogate(c) ||
                       std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) {
                name.push_back(u'_');
            } else {
                name.push_back(c);
            }
        }
        // Shortening can leave a dot or a space at the end again, or the
        // device-name "_" can make the name too long: repeat until it holds.
        for (int pass = 0; pass < 4; ++pass) {
            for (std::size_t i = name.size(); i > 0 && (name[i - 1] == u'.' || name[i - 1] == u' '); --i) {
                name[i - 1] = u'_';
            }
            if (isReservedDeviceName(name)) name.insert(name.begin(), u'_');
            if (fits(name)) break;
            const auto [stem, ext] = splitExtension(name);
            // Keep a short extension; a long one is cut with the rest.
            name = ext.size() <= 16 ? fitWithTail(stem, ext) : fitWithTail(name, u"");
        }
    }
    if (changed) *changed = name != component;
    return name;
}

bool isSafeName(std::u16string_view name) {
    if (name.empty() || name == u"." || name == u".." || !fits(name) || isReservedDeviceName(name)) return false;
    if (name.back() == u'.' || name.back() == u' ') return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (c < 0x20 || c == 0x7F || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) {
            return false;
        }
        if (isLowSurrogate(c)) return false;
        if (isHighSurrogate(c)) {
            if (i + 1 >= name.size() || !isLowSurrogate(name[i + 1])) return false;
            ++i;
        }
    }
    return true;
}

std::u16string numberedName(std::u16string_view name, unsigned n) {
    const auto [stem, ext] = splitExtension(name);
    std::u16string tail = u" (" + decimalText(static_cast<std::uint64_t>(n)) + u")";
    if (ext.size() <= 16) {
        tail += ext;
        return fitWithTail(stem, tail);
    }
    return fitWithTail(name, tail);
}

std::vector<std::u16string_view> outputComponents(std::u16string_view displayPath) {
    std::vector<std::u16string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const auto slash = displayPath.find(u'\\', start);
        parts.push_back(displayPath.substr(start, slash == std::u16string_view::npos ? slash : slash - start));
        if (slash == std::u16string_view::npos) break;
        start = slash + 1;
    }
    if (parts.size() > 1 && parts.front() == u"BKF") parts.erase(parts.begin());
    return parts;
}

}  // namespace bkf
