// Text helpers shared by the core: UTF-8 <-> UTF-16 conversion at the edges,
// and the decimal forms the catalogue keeps its numbers in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace bkf {

// UTF-8 to UTF-16. Malformed bytes become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// A file-system path from UTF-16 text and back, without going through the
// narrow locale. Neither throws: on POSIX systems an unpaired surrogate
// becomes U+FFFD on the way to the path's bytes, and bytes that are not UTF-8
// become U+FFFD on the way back (for showing; a path from the command line is
// kept as its bytes).
std::filesystem::path pathFromUtf16(std::u16string_view text);
std::u16string pathToUtf16(const std::filesystem::path& path);

// A path's text for a message, as UTF-8 (never throws).
std::string pathText(const std::filesystem::path& path);

// Text made safe to show on a terminal: UTF-8 whose control characters (C0,
// DEL and C1) and bytes that are not UTF-8 are shown as \xHH, so that a name
// cannot clear a line, move the cursor or set the window title.
std::string terminalText(std::string_view utf8);

// One tab-separated cell, escaped so that it reads back exactly: "%" and the
// control characters (below 0x20, and 0x7F) as "%" and two hex digits
// ("%25", "%09" for a tab, "%0A" for a line feed), an unpaired surrogate as
// "%u" and four hex digits; everything else as UTF-8. A backslash stays as it is.
void appendTsvCell(std::string& out, std::u16string_view cell);
// The cell back from its escaped form; nullopt when it is not one.
std::optional<std::u16string> parseTsvCell(std::string_view text);

// Appends a code point (at most U+10FFFF) as one or two UTF-16 code units.
void appendCodePoint(std::u16string& out, char32_t codePoint);

// ASCII text widened to UTF-16 code units.
std::u16string asciiToUtf16(std::string_view text);

// Decimal text of a number, as the catalogue cells and the snapshot hold it.
std::u16string decimalText(std::int64_t value);
std::u16string decimalText(std::uint64_t value);
inline std::u16string decimalText(std::int32_t value) {
    return decimalText(std::int64_t{value});
}
inline std::u16string decimalText(std::uint32_t value) {
    return decimalText(std::uint64_t{value});
}

// Writes the decimal digits of `value` to `out` (room for 20 units) and
// returns the number written.
std::size_t writeDecimal(char16_t* out, std::int64_t value);

// Leading-digit parsing: optional blanks, an optional sign, then the digits
// up to the first other character; 0 when there are none. Values beyond the
// signed 64-bit range saturate.
std::int64_t parseLeadingInt64(std::u16string_view text);

// True when `text` is exactly the decimal form decimalText(v) of the value it parses to.
bool parseCanonicalInt64(std::u16string_view text, std::int64_t& value);

}  // namespace bkf
