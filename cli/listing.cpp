#include "cli/listing.h"

#include <cinttypes>

#include "catalogue/text.h"

namespace bkf::cli {

namespace {

// Buffered UTF-8 output in large writes.
class Output {
public:
    explicit Output(std::FILE* out) : out_(out) { buffer_.reserve(kFlushAt + 4096); }
    ~Output() { flush(); }
    void text(std::string_view s) { buffer_ += s; }
    void utf16(std::u16string_view s) {
        // ASCII is most of every path.
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] >= 0x80) {
                buffer_ += utf16ToUtf8(s.substr(i));
                return;
            }
            buffer_.push_back(static_cast<char>(s[i]));
        }
    }
    void endLine() {
        buffer_.push_back('\n');
        if (buffer_.size() >= kFlushAt) flush();
    }
    void flush() {
        std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
        buffer_.clear();
    }
    std::string& raw() { return buffer_; }

private:
    static constexpr std::size_t kFlushAt = 1 << 20;
    std::FILE* out_;
    std::string buffer_;
};

// Tabs and line ends inside a cell would break the row: they are written as \t, \r, \n.
void tsvCell(Output& out, std::u16string_view cell) {
    if (cell.find_first_of(u"\t\r\n") == std::u16string_view::npos) {
        out.utf16(cell);
        return;
    }
    for (char16_t c : cell) {
        switch (c) {
            case u'\t': out.text("\\t"); break;
            case u'\r': out.text("\\r"); break;
            case u'\n': out.text("\\n"); break;
            default: out.utf16(std::u16string_view(&c, 1));
        }
    }
}

void jsonString(Output& out, std::u16string_view s) {
    std::string& b = out.raw();
    b.push_back('"');
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == u'"' || c == u'\\') {
            b.push_back('\\');
            b.push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
            b += esc;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            const bool pair = c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF;
            if (pair) {
                b += utf16ToUtf8(s.substr(i, 2));
                ++i;
            } else {
                char esc[8];  // an unpaired surrogate kept as an escape
                std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
                b += esc;
            }
        } else {
            out.utf16(std::u16string_view(&s[i], 1));
        }
    }
    b.push_back('"');
}

}  // namespace

bool parseListFormat(std::string_view text, ListFormat& format) {
    if (text == "text") format = ListFormat::Text;
    else if (text == "tsv") format = ListFormat::Tsv;
    else if (text == "json") format = ListFormat::Json;
    else return false;
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

void printCatalogue(const CatalogueTable& table, ListFormat format, std::FILE* file) {
    Output out(file);
    std::u16string cell;
    const auto rows = static_cast<RowIndex>(table.rowCount());
    for (RowIndex row = 0; row < rows; ++row) {
        switch (format) {
            case ListFormat::Text: {
                char head[64];
                std::snprintf(head, sizeof head, "%s %15" PRId64 "  ", fileTimeText(table.modified(row)).c_str(),
                              table.size(row));
                out.text(head);
                cell.clear();
                table.appendCell(cell, row, CatalogueColumn::Path);
                out.utf16(cell);
                break;
            }
            case ListFormat::Tsv:
                for (int col = 0; col < kCatalogueColumnCount; ++col) {
                    if (col > 0) out.text("\t");
                    cell.clear();
                    table.appendCell(cell, row, static_cast<CatalogueColumn>(col));
                    tsvCell(out, cell);
                }
                break;
            case ListFormat::Json: {
                out.text("{\"path\":");
                jsonString(out, table.path(row));
                out.text(",\"type\":");
                jsonString(out, table.cell(row, CatalogueColumn::TypeName));
                char numbers[256];
                std::snprintf(numbers, sizeof numbers,
                              ",\"size\":%" PRId64 ",\"dataOffset\":%" PRId64
                              ",\"modified\":\"%s\",\"accessed\":\"%s\",\"created\":\"%s\"}",
                              table.size(row), table.dataOffset(row), fileTimeText(table.modified(row)).c_str(),
                              fileTimeText(table.accessed(row)).c_str(), fileTimeText(table.created(row)).c_str());
                out.text(numbers);
                break;
            }
        }
        out.endLine();
    }
}

}  // namespace bkf::cli
