#include "tools/manifest.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <istream>
#include <ostream>
#include <stdexcept>

#include "base/text.h"
#include "engine/tape_format.h"

namespace bkf::tools {

namespace {

constexpr std::array<std::pair<std::uint32_t, std::string_view>, 8> kNoteNames = {{
    {kNoteNameRejected, "name"},
    {kNoteAttributes, "attributes"},
    {kNoteStreamOutOfReach, "stream-far"},
    {kNoteBlockDamaged, "block-damaged"},
    {kNoteMisaligned, "misaligned"},
    {kNoteCut, "cut"},
    {kNoteDataDamaged, "data-damaged"},
    {kNoteStreamBeyond, "stream-beyond"},
}};

constexpr std::string_view kHeader =
    "path\tsize\tdata_offset\tmodified\tcreated\taccessed\thash\tcatalogued\tintact\tblock_offset\tnotes";

// The bytes of a STAN header the scanner needs: identifier, attributes, length.
constexpr std::uint64_t kStreamHeaderHeld = 16;

// Names of 261 code units or more are refused by the scanner.
constexpr std::size_t kLongNameUnits = 261;
constexpr std::size_t kLongSetNameBytes = 261;

void appendEscape(std::string& out, unsigned value, bool wide) {
    char text[8];
    std::snprintf(text, sizeof text, wide ? "%%u%04X" : "%%%02X", value);
    out += text;
}

std::string pathToTsv(std::u16string_view path) {
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char16_t c = path[i];
        if (c == u'\t' || c == u'\n' || c == u'\r' || c == u'%') {
            appendEscape(out, c, false);
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 &&
                   path[i + 1] <= 0xDFFF) {
            out += utf16ToUtf8(path.substr(i, 2));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            appendEscape(out, c, true);
        } else {
            out += utf16ToUtf8(path.substr(i, 1));
        }
    }
    return out;
}

unsigned hexValue(std::string_view digits, std::size_t line) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (ec != std::errc{} || end != digits.data() + digits.size()) {
        throw std::runtime_error("manifest line " + std::to_string(line) + ": bad escape in path");
    }
    return value;
}

std::u16string pathFromTsv(std::string_view text, std::size_t line) {
    std::u16string out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        out += utf8ToUtf16(text.substr(start, i - start));
        if (i + 1 < text.size() && text[i + 1] == 'u') {
            if (i + 6 > text.size())
                throw std::runtime_error("manifest line " + std::to_string(line) + ": bad escape in path");
            out.push_back(static_cast<char16_t>(hexValue(text.substr(i + 2, 4), line)));
            i += 5;
        } else {
            if (i + 3 > text.size())
                throw std::runtime_error("manifest line " + std::to_string(line) + ": bad escape in path");
            out.push_back(static_cast<char16_t>(hexValue(text.substr(i + 1, 2), line)));
            i += 2;
        }
        start = i + 1;
    }
    out += utf8ToUtf16(text.substr(start));
    return out;
}

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> cells;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) return cells;
        start = tab + 1;
    }
}

std::uint64_t number(std::string_view cell, int base, std::size_t line, const char* column) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), value, base);
    if (cell.empty() || ec != std::errc{} || end != cell.data() + cell.size()) {
        throw std::runtime_error("manifest line " + std::to_string(line) + ": bad " + column + " '" +
                                 std::string(cell) + "'");
    }
    return value;
}

}  // namespace

std::string noteWords(std::uint32_t notes) {
    std::string out;
    for (const auto& [bit, name] : kNoteNames) {
        if ((notes & bit) == 0) continue;
        if (!out.empty()) out += ' ';
        out += name;
    }
    return out.empty() ? "-" : out;
}

std::uint32_t parseNoteWords(std::string_view words) {
    if (words == "-") return 0;
    std::uint32_t notes = 0;
    std::size_t start = 0;
    while (start <= words.size()) {
        const std::size_t space = words.find(' ', start);
        const std::string_view word = words.substr(start, space == std::string_view::npos ? space : space - start);
        bool known = false;
        for (const auto& [bit, name] : kNoteNames) {
            if (word == name) notes |= bit, known = true;
        }
        if (!known) throw std::runtime_error("unknown manifest note '" + std::string(word) + "'");
        if (space == std::string_view::npos) break;
        start = space + 1;
    }
    return notes;
}

void writeManifestTsv(std::ostream& out, const Manifest& manifest) {
    out << kHeader << '\n';
    char hash[20];
    for (const ManifestEntry& e : manifest) {
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(e.hash));
        out << pathToTsv(e.displayPath) << '\t' << e.size << '\t' << e.dataOffset << '\t' << e.modified << '\t'
            << e.created << '\t' << e.accessed << '\t' << hash << '\t' << (e.expected() ? 1 : 0) << '\t'
            << (e.intact() ? 1 : 0) << '\t' << e.blockOffset << '\t' << noteWords(e.notes) << '\n';
    }
}

void writeManifestTsv(const std::filesystem::path& file, const Manifest& manifest) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot create " + file.string());
    writeManifestTsv(out, manifest);
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

Manifest readManifestTsv(std::istream& in) {
    Manifest manifest;
    std::string line;
    std::size_t lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineNumber == 1) {
            if (line != kHeader) throw std::runtime_error("manifest line 1: not a manifest header");
            continue;
        }
        if (line.empty()) continue;
        const auto cells = splitTabs(line);
        if (cells.size() != 11) {
            throw std::runtime_error("manifest line " + std::to_string(lineNumber) + ": " +
                                     std::to_string(cells.size()) + " columns, expected 11");
        }
        ManifestEntry e;
        e.displayPath = pathFromTsv(cells[0], lineNumber);
        e.size = number(cells[1], 10, lineNumber, "size");
        e.dataOffset = number(cells[2], 10, lineNumber, "data offset");
        e.modified = number(cells[3], 10, lineNumber, "modified time");
        e.created = number(cells[4], 10, lineNumber, "creation time");
        e.accessed = number(cells[5], 10, lineNumber, "access time");
        e.hash = number(cells[6], 16, lineNumber, "hash");
        e.blockOffset = number(cells[9], 10, lineNumber, "block offset");
        e.notes = parseNoteWords(cells[10]);
        // The two flag columns are there for people and grep; they must agree.
        if (cells[7] != (e.expected() ? "1" : "0") || cells[8] != (e.intact() ? "1" : "0")) {
            throw std::runtime_error("manifest line " + std::to_string(lineNumber) + ": flags disagree with the notes");
        }
        manifest.push_back(std::move(e));
    }
    if (lineNumber == 0) throw std::runtime_error("manifest is empty");
    return manifest;
}

Manifest readManifestTsv(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    return readManifestTsv(in);
}

bool isForbiddenNameChar(char16_t c) {
    return c == u'/' || c == u'|' || c == u'*' || c == u':' || c == u'?' || c == u'<' || c == u'>' || c == u'\r' ||
           c == u'\n';
}

ScanView ScanView::of(std::uint64_t blockOffset, std::optional<std::uint64_t> fileSize) {
    ScanView v;
    const std::uint64_t chunkStart = blockOffset - blockOffset % mtf::kChunkSize;
    const std::uint64_t slot = blockOffset - chunkStart;
    if (fileSize && *fileSize <= blockOffset) return v;
    if (!fileSize || *fileSize - chunkStart >= mtf::kChunkSize) {
        v.room = mtf::kChunkSize - slot;
        v.examined = slot % mtf::kSlotSize == 0;
        v.streamWindow = slot == mtf::kChunkSize - mtf::kSlotSize ? mtf::kLastSlotStreamWindow : mtf::kStreamWindow;
        return v;
    }
    const std::uint64_t rest = *fileSize - chunkStart;
    v.partial = true;
    v.room = rest - slot;
    v.examined = slot % mtf::kSlotSize == 0 && rest > mtf::kSlotSize && slot + mtf::kSlotSize <= rest;
    v.streamWindow = mtf::kLastSlotStreamWindow;
    return v;
}

bool streamHeaderWithinReach(std::uint64_t blockOffset, std::uint64_t streamHeaderOffset,
                             std::optional<std::uint64_t> fileSize) {
    const ScanView v = ScanView::of(blockOffset, fileSize);
    if (!v.examined || streamHeaderOffset < blockOffset) return false;
    const std::uint64_t d = streamHeaderOffset - blockOffset;
    return d < v.streamWindow && d + kStreamHeaderHeld <= v.room;
}

bool streamHeaderWithinAnyReach(std::uint64_t blockOffset, std::uint64_t streamHeaderOffset,
                                std::optional<std::uint64_t> fileSize) {
    if (streamHeaderOffset < blockOffset || streamHeaderOffset - blockOffset >= mtf::kStreamWindow) return false;
    return !fileSize || streamHeaderOffset + kStreamHeaderHeld <= *fileSize;
}

std::u16string CatalogueNaming::decode(std::u16string_view units, std::uint16_t sizeField) {
    const auto unitAt = [&](std::size_t i) -> char16_t { return i < units.size() ? units[i] : 0; };
    std::u16string out;
    const std::size_t count = sizeField / 2u;
    for (std::size_t i = 0; i < count && out.size() < 255; ++i) {
        const char16_t c = unitAt(i);
        out.push_back(c == 0 ? u'\\' : c);
    }
    // An odd size holds the low byte of one more unit.
    if (sizeField % 2 == 1 && out.size() < 255) {
        const auto low = static_cast<char16_t>(unitAt(count) & 0xFF);
        if (low != 0) out.push_back(low);
    }
    return out;
}

void CatalogueNaming::onSet(std::u16string_view units, std::uint16_t sizeField, std::uint64_t nameOffset,
                            const ScanView& view) {
    if (!view.examined || sizeField >= kLongSetNameBytes) return;
    // A name reaching past the chunk reads as empty; the set still counts.
    std::u16string name;
    if (nameOffset + sizeField <= view.room) name = decode(units, sizeField);
    // In the final short chunk the name is read like a folder name: a final
    // 0x0080 or 0x0010 stays, and so does a double quote.
    if (!view.partial && !name.empty() && (name.back() == 0x0080 || name.back() == 0x0010)) {
        name.pop_back();
    }
    for (char16_t& c : name) {
        if (c == u'\\' || c == u'/' || c == u':' || c == u'\r' || c == u'\n' || (c == u'"' && !view.partial)) {
            c = u'_';
        }
    }
    for (const char16_t c : name) {
        if (isForbiddenNameChar(c)) {
            name.clear();
            break;
        }
    }
    ++setCount_;
    setLabel_ = u"BACKUP SET " + asciiToUtf16(std::to_string(setCount_)) + u"(" + name + u")";
}

void CatalogueNaming::onDirectory(std::u16string_view units, std::uint16_t sizeField, std::uint64_t nameOffset,
                                  const ScanView& view) {
    if (!view.examined || nameOffset + sizeField > view.room) return;
    std::u16string name = decode(units, sizeField);
    // The limit applies to the name as read, which is already cut to 255 units.
    bool lost = name.size() >= kLongNameUnits;
    for (const char16_t c : name) lost = lost || isForbiddenNameChar(c);
    if (lost) {
        folder_ = u"\\lost dir" + asciiToUtf16(std::to_string(lostDirs_++)) + u"\\";
        return;
    }
    // The path as read, made to start and end with a backslash.
    if (name.empty() || name.front() != u'\\') name.insert(name.begin(), u'\\');
    if (name.back() != u'\\') name.push_back(u'\\');
    folder_ = std::move(name);
}

std::u16string CatalogueNaming::fileName(std::u16string_view units, std::uint16_t sizeField, std::uint64_t nameOffset,
                                         const ScanView& view, bool& accepted) const {
    std::u16string name = decode(units, sizeField);
    if (!name.empty() && name.front() == u'\\') name.erase(0, 1);
    // The limit applies to the name as read, which is already cut to 255 units.
    accepted = !name.empty() && name.size() < kLongNameUnits && nameOffset + sizeField <= view.room;
    for (const char16_t c : name) accepted = accepted && !isForbiddenNameChar(c);
    return name;
}

std::u16string CatalogueNaming::displayPath(std::u16string_view fileName) const {
    std::u16string path = u"BKF\\";
    path += setLabel_;
    path += folder_;
    path += fileName;
    return path;
}

}  // namespace bkf::tools
