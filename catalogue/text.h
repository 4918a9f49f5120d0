// Text helpers shared by the core: UTF-8 <-> UTF-16 conversion at the edges,
// and the decimal forms the catalogue keeps its numbers in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace bkf {

// UTF-8 to UTF-16. Malformed bytes become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// A file-system path from UTF-16 text and back, without going through the
// narrow locale.
std::filesystem::path pathFromUtf16(std::u16string_view text);
std::u16string pathToUtf16(const std::filesystem::path& path);

// Appends a code point (at most U+10FFFF) as one or two UTF-16 code units.
void appendCodePoint(std::u16string& out, char32_t codePoint);

// ASCII text widened to UTF-16 code units.
std::u16string asciiToUtf16(std::string_view text);

// Decimal text of a number, as the catalogue cells and the snapshot hold it.
std::u16string decimalText(std::int64_t value);
std::u16string decimalText(std::uint64_t value);
inline std::u16string decimalText(std::int32_t value) { return decimalText(std::int64_t{value}); }
inline std::u16string decimalText(std::uint32_t value) { return decimalText(std::uint64_t{value}); }

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
