#include "cli/listing.h"

#include <array>
#include <cinttypes>
#include <cstring>
#include <memory>

#include "base/text.h"
#include "catalogue/snapshot.h"
#include "cli/terminal.h"

namespace bkf::cli {

namespace {

// Buffered UTF-8 output in large writes.
class Output {
public:
    explicit Output(std::FILE* out) : out_(out), buffer_(new char[kCapacity]) {}
    ~Output() { flush(); }
    void put(char c) {
        room(1);
        buffer_[used_++] = c;
    }
    void text(std::string_view s) {
        room(s.size());
        if (s.size() > kCapacity) {
            emit(s);
            return;
        }
        std::memcpy(buffer_.get() + used_, s.data(), s.size());
        used_ += s.size();
    }
    // Appends the text as UTF-8. With `controls` false, stops before the
    // first code unit below 0x20 and returns how many units were taken.
    std::size_t utf16(std::u16string_view s, bool controls = true) {
        // ASCII is most of every path: copied straight, the rest converted.
        std::size_t i = 0;
        while (i < s.size()) {
            const std::size_t n = std::min(s.size() - i, kCapacity / 2);
            room(n);
            char* out = buffer_.get() + used_;
            std::size_t k = 0;
            for (; k < n; ++k) {
                const char16_t c = s[i + k];
                if (c >= 0x80 || (!controls && c < 0x20)) break;
                out[k] = static_cast<char>(c);
            }
            used_ += k;
            i += k;
            if (k < n) break;
        }
        if (i == s.size() || !controls) return i;
        text(utf16ToUtf8(s.substr(i)));
        return s.size();
    }
    void endLine() {
        put('\n');
        if (used_ >= kFlushAt) flush();
    }
    void flush() {
        emit({buffer_.get(), used_});
        used_ = 0;
    }

private:
    // Standard output goes through writeOut, which keeps the reason of a failure.
    void emit(std::string_view bytes) {
        if (out_ == stdout) {
            writeOut(bytes);
        } else {
            std::fwrite(bytes.data(), 1, bytes.size(), out_);
        }
    }
    static constexpr std::size_t kFlushAt = 1 << 20;
    static constexpr std::size_t kCapacity = kFlushAt + (1 << 16);
    void room(std::size_t n) {
        if (used_ + n > kCapacity) flush();
    }
    std::FILE* out_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

void tsvCell(Output& out, std::u16string_view cell, std::string& scratch) {
    scratch.clear();
    appendTsvCell(scratch, cell);
    out.text(scratch);
}

void jsonString(Output& out, std::u16string_view s) {
    out.put('"');
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == u'"' || c == u'\\') {
            out.put('\\');
            out.put(static_cast<char>(c));
        } else if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF &&
                                !(c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF))) {
            // Control characters, and an unpaired surrogate kept as an escape.
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
            out.text(esc);
        } else if (c >= 0xD800 && c <= 0xDBFF) {
            out.utf16(s.substr(i, 2));
            ++i;
        } else {
            out.utf16(s.substr(i, 1));
        }
    }
    out.put('"');
}

}  // namespace

void printTsvCell(std::u16string_view cell, std::FILE* out) {
    Output o(out);
    std::string scratch;
    tsvCell(o, cell, scratch);
    o.flush();
}

void printJsonString(std::u16string_view text, std::FILE* out) {
    Output o(out);
    jsonString(o, text);
    o.flush();
}

bool parseListFormat(std::string_view text, ListFormat& format) {
    if (text == "text")
        format = ListFormat::Text;
    else if (text == "tsv")
        format = ListFormat::Tsv;
    else if (text == "json")
        format = ListFormat::Json;
    else
        return false;
    return true;
}

std::string fileTimeText(FileTime time) {
    const std::int64_t seconds = static_cast<std::int64_t>(time / kFileTimeTicksPerSecond) - kFileTimeUnixEpochSeconds;
    std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const std::int64_t rest = seconds - days * 86400;
    // Civil date from days since 1970-01-01.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 " %02" PRId64 ":%02" PRId64 ":%02" PRId64,
                  year, month, day, rest / 3600, rest / 60 % 60, rest % 60);
    return buf;
}

namespace {

using RowCells = std::array<std::u16string_view, kCatalogueColumnCount>;

std::u16string_view cellOf(const RowCells& cells, CatalogueColumn column) {
    return cells[static_cast<std::size_t>(column)];
}

std::string cellTimeText(const RowCells& cells, CatalogueColumn low, CatalogueColumn high) {
    return fileTimeText(fileTimeFromCells(cellOf(cells, low), cellOf(cells, high)));
}

// Time, size and display path.
void textRow(Output& out, const RowCells& cells, bool terminal) {
    using C = CatalogueColumn;
    char head[64];
    std::snprintf(head, sizeof head, "%s %15" PRId64 "  ", cellTimeText(cells, C::ModifiedLow, C::ModifiedHigh).c_str(),
                  parseLeadingInt64(cellOf(cells, C::Size)));
    out.text(head);
    if (terminal) {
        out.text(terminalText(utf16ToUtf8(cellOf(cells, C::Path))));
    } else {
        out.utf16(cellOf(cells, C::Path));
    }
}

void tsvRow(Output& out, const RowCells& cells) {
    static thread_local std::string scratch;
    for (std::size_t col = 0; col < cells.size(); ++col) {
        if (col > 0) out.text("\t");
        tsvCell(out, cells[col], scratch);
    }
}

void jsonRow(Output& out, const RowCells& cells) {
    using C = CatalogueColumn;
    out.text("{\"path\":");
    jsonString(out, cellOf(cells, C::Path));
    out.text(",\"type\":");
    jsonString(out, cellOf(cells, C::TypeName));
    char numbers[256];
    std::snprintf(numbers, sizeof numbers,
                  ",\"size\":%" PRId64 ",\"dataOffset\":%" PRId64
                  ",\"modified\":\"%s\",\"accessed\":\"%s\",\"created\":\"%s\"}",
                  parseLeadingInt64(cellOf(cells, C::Size)), parseLeadingInt64(cellOf(cells, C::DataOffset)),
                  cellTimeText(cells, C::ModifiedLow, C::ModifiedHigh).c_str(),
                  cellTimeText(cells, C::AccessedLow, C::AccessedHigh).c_str(),
                  cellTimeText(cells, C::CreatedLow, C::CreatedHigh).c_str());
    out.text(numbers);
}

// One row of ten cell texts in the chosen format.
void printRow(Output& out, ListFormat format, const RowCells& cells, bool terminal) {
    switch (format) {
        case ListFormat::Text:
            textRow(out, cells, terminal);
            break;
        case ListFormat::Tsv:
            tsvRow(out, cells);
            break;
        case ListFormat::Json:
            jsonRow(out, cells);
            break;
    }
    out.endLine();
}

}  // namespace

void printCatalogue(const CatalogueTable& table, ListFormat format, std::FILE* file, bool terminal) {
    Output out(file);
    std::array<std::u16string, kCatalogueColumnCount> texts;
    std::array<std::u16string_view, kCatalogueColumnCount> cells;
    const auto rows = static_cast<RowIndex>(table.rowCount());
    for (RowIndex row = 0; row < rows; ++row) {
        for (std::size_t col = 0; col < texts.size(); ++col) {
            texts[col].clear();
            table.appendCell(texts[col], row, static_cast<CatalogueColumn>(col));
            cells[col] = texts[col];
        }
        printRow(out, format, cells, terminal);
    }
}

std::optional<SnapshotListing> printSnapshot(const std::filesystem::path& file, ListFormat format, std::FILE* to,
                                             bool terminal, std::string& error) {
    SnapshotRows rows;
    if (const Status opened = rows.open(file); !opened) {
        error = opened.message();
        return std::nullopt;
    }
    Output out(to);
    DefaultShellLookup shell;
    std::array<std::u16string_view, 9> fields;
    std::array<std::u16string_view, kCatalogueColumnCount> cells;
    while (rows.next(fields)) {
        cells[0] = fields[0];
        cells[1] = shell.shellTypeName(fields[0]);
        for (std::size_t i = 1; i < fields.size(); ++i) cells[i + 1] = fields[i];
        printRow(out, format, cells, terminal);
    }
    if (!rows.error().ok()) {
        error = rows.error().message();
        return std::nullopt;
    }
    SnapshotListing listing;
    listing.rows = rows.rows();
    listing.unreadable = rows.unreadable() + rows.refused();
    listing.problems = snapshotRowProblems(rows.rows(), rows.unreadable(), rows.refused(), rows.declaredCount());
    return listing;
}

}  // namespace bkf::cli
