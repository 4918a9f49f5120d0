#include "catalogue/catalogue_table.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <stdexcept>

#include "base/text.h"

namespace bkf {

namespace {

constexpr int kFirstNumeric = static_cast<int>(CatalogueColumn::Size);

bool isLowHalf(int column) {
    return column >= 4 && (column % 2) == 0;
}
bool isHighHalf(int column) {
    return column >= 5 && (column % 2) == 1;
}

// Splits a path after its last backslash: folder text (with the backslash), name.
std::pair<std::u16string_view, std::u16string_view> splitPath(std::u16string_view path) {
    const auto slash = path.rfind(u'\\');
    if (slash == std::u16string_view::npos) return {std::u16string_view{}, path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// Whether `text` is the canonical decimal form of a value of this column, and that value.
bool canonicalCellValue(int column, std::u16string_view text, std::int64_t& value) {
    if (!parseCanonicalInt64(text, value)) return false;
    if (isLowHalf(column)) return value >= 0 && value <= std::numeric_limits<std::uint32_t>::max();
    if (isHighHalf(column)) {
        return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
    }
    return true;
}

}  // namespace

std::u16string_view catalogueColumnHeading(CatalogueColumn column) {
    switch (column) {
        case CatalogueColumn::Path:
            return u"File Name";
        case CatalogueColumn::TypeName:
            return u"File Type";
        case CatalogueColumn::Size:
            return u"File Size";
        default:
            return u"";
    }
}

FileTime fileTimeFromCells(std::u16string_view low, std::u16string_view high) {
    auto half = [](std::u16string_view text) {
        const std::int64_t v = parseLeadingInt64(text);
        return v < 0 ? 0u : static_cast<std::uint32_t>(v);
    };
    return makeFileTime(half(low), half(high));
}

CatalogueTable::CatalogueTable() = default;

RowIndex CatalogueTable::appendRow(std::u16string_view path, int icon, std::u16string_view typeName) {
    if (rows_.size() >= std::numeric_limits<RowIndex>::max()) {
        throw std::length_error("catalogue table is full");
    }
    const auto [folderText, name] = splitPath(path);
    const auto index = static_cast<RowIndex>(rows_.size());
    Row row;
    row.folder = internFolder(folderText);
    row.kind = internKind(internType(typeName), icon);
    storeName(row, name);
    Folder& folder = folders_[row.folder];
    reserveRow(folder);
    rows_.push_back(row);
    rowLists_[folder.rowsStart + folder.rowCount++] = index;
    return index;
}

RowIndex CatalogueTable::append(std::u16string_view path, int icon, std::u16string_view typeName, std::int64_t size,
                                std::int64_t dataOffset, FileTime modified, FileTime accessed, FileTime created) {
    const RowIndex index = appendRow(path, icon, typeName);
    Row& row = rows_[index];
    setTypedNumber(index, 2, size);
    setTypedNumber(index, 3, dataOffset);
    row.times = {fileTimeLow(modified),  fileTimeHigh(modified), fileTimeLow(accessed),
                 fileTimeHigh(accessed), fileTimeLow(created),   fileTimeHigh(created)};
    return index;
}

RowIndex CatalogueTable::appendText(std::u16string_view path, int icon, std::u16string_view typeName,
                                    std::span<const std::u16string_view, kNumericCellCount> cells) {
    const RowIndex index = appendRow(path, icon, typeName);
    for (int i = 0; i < kNumericCellCount; ++i) {
        setNumericCell(index, kFirstNumeric + i, cells[static_cast<std::size_t>(i)]);
    }
    return index;
}

void CatalogueTable::setNumericCell(RowIndex index, int column, std::u16string_view text) {
    Row& row = rows_[index];
    const auto bit = static_cast<std::uint8_t>(1u << (column - kFirstNumeric));
    std::int64_t value = 0;
    bool canonical = canonicalCellValue(column, text, value);
    if (canonical && column <= 3 && !Int48::fits(value)) {
        // Too wide for the row: kept as its text, read from there.
        canonical = false;
    }
    if (canonical) {
        if (row.rawCells & bit) rawText_.erase(rawKey(index, column));
        row.rawCells = static_cast<std::uint8_t>(row.rawCells & ~bit);
    } else {
        value = parseLeadingInt64(text);
        rawText_[rawKey(index, column)] = std::u16string(text);
        row.rawCells = static_cast<std::uint8_t>(row.rawCells | bit);
    }
    switch (column) {
        case 2:
            row.size.set(Int48::fits(value) ? value : 0);
            break;
        case 3:
            row.dataOffset.set(Int48::fits(value) ? value : 0);
            break;
        default:
            row.times[static_cast<std::size_t>(column - 4)] = static_cast<std::uint32_t>(value);
    }
}

void CatalogueTable::setTypedNumber(RowIndex index, int column, std::int64_t value) {
    Row& row = rows_[index];
    Int48& field = column == 2 ? row.size : row.dataOffset;
    if (Int48::fits(value)) {
        field.set(value);
        return;
    }
    // A size or offset beyond 47 bits (a damaged block can claim one) keeps its decimal text.
    field.set(0);
    rawText_[rawKey(index, column)] = decimalText(value);
    row.rawCells = static_cast<std::uint8_t>(row.rawCells | (1u << (column - kFirstNumeric)));
}

std::int64_t CatalogueTable::wideNumber(RowIndex index, int column) const {
    const Row& row = rows_[index];
    if (row.rawCells & (1u << (column - kFirstNumeric))) return parseLeadingInt64(rawText_.at(rawKey(index, column)));
    return (column == 2 ? row.size : row.dataOffset).get();
}

void CatalogueTable::appendCell(std::u16string& out, RowIndex index, CatalogueColumn column) const {
    const Row& row = rows_[index];
    const int c = static_cast<int>(column);
    if (column == CatalogueColumn::Path) {
        out += folderText(row.folder);
        out += names_.view(row.name, row.nameLength);
        return;
    }
    if (column == CatalogueColumn::TypeName) {
        out += types_[kinds_[row.kind].type];
        return;
    }
    if (row.rawCells & (1u << (c - kFirstNumeric))) {
        out += rawText_.at(rawKey(index, c));
        return;
    }
    std::int64_t value = 0;
    switch (c) {
        case 2:
            value = row.size.get();
            break;
        case 3:
            value = row.dataOffset.get();
            break;
        default: {
            const std::uint32_t bits = row.times[static_cast<std::size_t>(c - 4)];
            value = isHighHalf(c) ? std::int64_t{static_cast<std::int32_t>(bits)} : std::int64_t{bits};
        }
    }
    char16_t buf[24];
    out.append(buf, writeDecimal(buf, value));
}

CatalogueEntry CatalogueTable::entry(RowIndex row) const {
    CatalogueEntry e;
    for (int c = 0; c < kCatalogueColumnCount; ++c)
        appendCell(e.cells[static_cast<std::size_t>(c)], row, static_cast<CatalogueColumn>(c));
    e.icon = iconIndex(row);
    e.checked = checked(row);
    return e;
}

std::u16string CatalogueTable::cell(RowIndex row, CatalogueColumn column) const {
    std::u16string out;
    appendCell(out, row, column);
    return out;
}

void CatalogueTable::setCell(RowIndex index, CatalogueColumn column, std::u16string_view text) {
    Row& row = rows_[index];
    switch (column) {
        case CatalogueColumn::Path: {
            const auto [folderText, name] = splitPath(text);
            moveRowToFolder(index, internFolder(folderText));
            storeName(rows_[index], name);
            break;
        }
        case CatalogueColumn::TypeName:
            row.kind = internKind(internType(text), kinds_[row.kind].icon);
            break;
        default:
            setNumericCell(index, static_cast<int>(column), text);
    }
}

std::u16string_view CatalogueTable::name(RowIndex index) const {
    const Row& row = rows_[index];
    return names_.view(row.name, row.nameLength);
}

void CatalogueTable::setIconIndex(RowIndex index, int icon) {
    Row& row = rows_[index];
    row.kind = internKind(kinds_[row.kind].type, icon);
}

void CatalogueTable::setChecked(RowIndex index, bool checked) {
    Row& row = rows_[index];
    if ((row.checked != 0) == checked) return;
    row.checked = checked ? 1 : 0;
    Folder& folder = folders_[row.folder];
    if (checked) {
        ++folder.checked;
        ++checkedTotal_;
    } else {
        --folder.checked;
        --checkedTotal_;
    }
}

void CatalogueTable::setAllChecked(bool checked) {
    rows_.forEach([checked](Row& row) { row.checked = checked ? 1 : 0; });
    folders_.forEach([checked](Folder& folder) { folder.checked = checked ? folder.rowCount : 0; });
    checkedTotal_ = checked ? rows_.size() : 0;
}

void CatalogueTable::setFolderChecked(FolderId id, bool checked) {
    Folder& folder = folders_[id];
    for (RowIndex r : folderRows(id)) rows_[r].checked = checked ? 1 : 0;
    const std::size_t now = checked ? folder.rowCount : 0;
    checkedTotal_ = checkedTotal_ - folder.checked + now;
    folder.checked = static_cast<std::uint32_t>(now);
}

std::int64_t CatalogueTable::size(RowIndex row) const {
    return wideNumber(row, 2);
}
std::int64_t CatalogueTable::dataOffset(RowIndex row) const {
    return wideNumber(row, 3);
}

FileTime CatalogueTable::timeOf(RowIndex index, int which) const {
    const Row& row = rows_[index];
    auto half = [&](int column) -> std::uint32_t {
        std::int64_t value = 0;
        if (row.rawCells & (1u << (column - kFirstNumeric))) {
            value = parseLeadingInt64(rawText_.at(rawKey(index, column)));
        } else {
            const std::uint32_t bits = row.times[static_cast<std::size_t>(column - 4)];
            value = isHighHalf(column) ? std::int64_t{static_cast<std::int32_t>(bits)} : std::int64_t{bits};
        }
        return value < 0 ? 0u : static_cast<std::uint32_t>(value);
    };
    const int low = 4 + 2 * which;
    return makeFileTime(half(low), half(low + 1));
}

void CatalogueTable::clear() {
    rows_.clear();
    names_.clear();
    folders_.clear();
    folderTexts_.clear();
    rowLists_.clear();
    rowLists_.shrink_to_fit();
    rowListsLeft_ = 0;
    folderIndex_.clear();
    haveLastFolder_ = false;
    types_.clear();
    typeIndex_.clear();
    kinds_.clear();
    kindIndex_.clear();
    lastKind_ = 0;
    rawText_.clear();
    checkedTotal_ = 0;
}

std::optional<FolderId> CatalogueTable::findFolder(std::u16string_view text) const {
    std::optional<FolderId> found;
    folderIndex_.forEach(hashText(text), [&](std::uint32_t id) {
        if (folderText(id) != text) return false;
        found = id;
        return true;
    });
    return found;
}

FolderId CatalogueTable::internFolder(std::u16string_view text) {
    // A scan appends the files of one folder one after another.
    if (haveLastFolder_ && folders_[lastFolder_].live && folderText(lastFolder_) == text) {
        return lastFolder_;
    }
    std::optional<FolderId> id = findFolder(text);
    if (!id) {
        if (folders_.size() >= std::numeric_limits<FolderId>::max()) throw std::length_error("too many folders");
        id = static_cast<FolderId>(folders_.size());
        if (text.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("folder text too long");
        Folder folder;
        folder.text = folderTexts_.store(text);
        folder.textLength = static_cast<std::uint32_t>(text.size());
        folder.rowsStart = static_cast<std::uint32_t>(rowLists_.size());
        folders_.push_back(folder);
        folderIndex_.insert(hashText(text), *id, [this](FolderId f) { return hashText(folderText(f)); });
    }
    lastFolder_ = *id;
    haveLastFolder_ = true;
    return *id;
}

std::uint32_t CatalogueTable::internType(std::u16string_view text) {
    // There are few distinct type names, and neighbouring rows often share one.
    if (lastType_ < types_.size() && types_[lastType_] == text) return lastType_;
    if (types_.size() <= 16) {
        for (std::uint32_t i = 0; i < types_.size(); ++i) {
            if (types_[i] == text) return lastType_ = i;
        }
    }
    std::u16string key(text);
    auto [it, inserted] = typeIndex_.try_emplace(key, static_cast<std::uint32_t>(types_.size()));
    if (inserted) types_.push_back(std::move(key));
    return lastType_ = it->second;
}

std::uint32_t CatalogueTable::internKind(std::uint32_t type, int icon) {
    // Few pairs of type name and icon, and neighbouring rows often share one.
    if (lastKind_ < kinds_.size() && kinds_[lastKind_].type == type && kinds_[lastKind_].icon == icon) return lastKind_;
    const std::uint64_t key = (std::uint64_t{type} << 32) | static_cast<std::uint32_t>(icon);
    auto [it, inserted] = kindIndex_.try_emplace(key, static_cast<std::uint32_t>(kinds_.size()));
    if (inserted) kinds_.push_back(Kind{type, static_cast<std::int32_t>(icon)});
    return lastKind_ = it->second;
}

void CatalogueTable::storeName(Row& row, std::u16string_view name) {
    if (name.size() > std::numeric_limits<std::uint16_t>::max()) {
        throw std::length_error("name too long for the catalogue");
    }
    row.name = names_.store(name);
    row.nameLength = static_cast<std::uint16_t>(name.size());
}

void CatalogueTable::reserveRow(Folder& folder) {
    if (folder.rowCount < folder.rowCapacity) return;
    if (rowLists_.size() >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("catalogue table is full");
    if (folder.rowsStart + folder.rowCapacity == rowLists_.size()) {
        // The last run: it grows where it stands.
        rowLists_.push_back(0);
        ++folder.rowCapacity;
        return;
    }
    relocateRows(folder, std::max<std::size_t>(4, 2 * std::size_t{folder.rowCount}));
}

void CatalogueTable::relocateRows(Folder& folder, std::size_t capacity) {
    const std::size_t start = rowLists_.size();
    rowLists_.resize(start + capacity);
    std::copy_n(rowLists_.begin() + folder.rowsStart, folder.rowCount,
                rowLists_.begin() + static_cast<std::ptrdiff_t>(start));
    rowListsLeft_ += folder.rowCapacity;
    folder.rowsStart = static_cast<std::uint32_t>(start);
    folder.rowCapacity = static_cast<std::uint32_t>(capacity);
    if (rowListsLeft_ > rowLists_.size() / 2 && rowListsLeft_ > 4096) packRowLists();
}

void CatalogueTable::packRowLists() {
    std::vector<RowIndex> packed;
    packed.reserve(rowLists_.size() - rowListsLeft_);
    folders_.forEach([&](Folder& folder) {
        const auto start = static_cast<std::uint32_t>(packed.size());
        packed.insert(packed.end(), rowLists_.begin() + folder.rowsStart,
                      rowLists_.begin() + folder.rowsStart + folder.rowCount);
        folder.rowsStart = start;
        folder.rowCapacity = folder.rowCount;
    });
    rowLists_ = std::move(packed);
    rowListsLeft_ = 0;
}

void CatalogueTable::moveRowToFolder(RowIndex index, FolderId to) {
    Row& row = rows_[index];
    if (row.folder == to) return;
    Folder& from = folders_[row.folder];
    const auto fromBegin = rowLists_.begin() + from.rowsStart;
    const auto fromEnd = fromBegin + from.rowCount;
    std::copy(std::lower_bound(fromBegin, fromEnd, index) + 1, fromEnd, std::lower_bound(fromBegin, fromEnd, index));
    --from.rowCount;
    if (row.checked) --from.checked;
    Folder& dest = folders_[to];
    reserveRow(dest);
    const auto destBegin = rowLists_.begin() + dest.rowsStart;
    const auto destEnd = destBegin + dest.rowCount;
    const auto at = std::lower_bound(destBegin, destEnd, index);
    std::copy_backward(at, destEnd, destEnd + 1);
    *at = index;
    ++dest.rowCount;
    if (row.checked) ++dest.checked;
    row.folder = to;
}

std::size_t CatalogueTable::replaceFolderPrefix(std::u16string_view oldPrefix, std::u16string_view newPrefix) {
    // Every path that begins with the old prefix changes at once, so all new
    // texts are computed before any is entered into the index.
    std::vector<std::pair<FolderId, std::u16string>> renamed;
    forEachFolderWithPrefix(oldPrefix, [&](FolderId id) {
        std::u16string text(newPrefix);
        text += folderText(id).substr(oldPrefix.size());
        renamed.emplace_back(id, std::move(text));
    });
    std::size_t changedRows = 0;
    for (auto& [id, text] : renamed) {
        changedRows += folders_[id].rowCount;
        folders_[id].text = folderTexts_.store(text);
        folders_[id].textLength = static_cast<std::uint32_t>(text.size());
    }
    haveLastFolder_ = false;
    // Folders that now share a text become one: a later one joins the first.
    folderIndex_.clear();
    for (FolderId id = 0; id < folders_.size(); ++id) {
        Folder& folder = folders_[id];
        if (!folder.live) continue;
        const std::optional<FolderId> first = findFolder(folderText(id));
        if (!first) {
            folderIndex_.insert(hashText(folderText(id)), id, [this](FolderId f) { return hashText(folderText(f)); });
            continue;
        }
        Folder& into = folders_[*first];
        const std::span<const RowIndex> joining = folderRows(id);
        for (RowIndex r : joining) rows_[r].folder = *first;
        std::vector<RowIndex> merged;
        merged.reserve(std::size_t{into.rowCount} + joining.size());
        std::merge(rowLists_.begin() + into.rowsStart, rowLists_.begin() + into.rowsStart + into.rowCount,
                   joining.begin(), joining.end(), std::back_inserter(merged));
        rowListsLeft_ += folder.rowCapacity;
        folder.rowCount = folder.rowCapacity = 0;
        into.rowCount = 0;
        relocateRows(into, merged.size());
        std::copy(merged.begin(), merged.end(), rowLists_.begin() + into.rowsStart);
        into.rowCount = static_cast<std::uint32_t>(merged.size());
        into.checked += folder.checked;
        folder = Folder{};
        folder.live = false;
    }
    return changedRows;
}

}  // namespace bkf
