#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"

namespace bkf {
namespace {

constexpr FileTime kTime = 128573640000000000ULL;  // some day in 2008

RowIndex addFile(Catalogue& c, std::u16string_view path, std::int64_t size = 1) {
    const RowIndex row = c.appendEntry(path, size, 1000, kTime, kTime + 1, kTime + 2);
    c.addFolderPath(path);
    return row;
}

NodeId nodeAt(const Catalogue& c, std::initializer_list<std::u16string_view> labels) {
    NodeId at = kNoNode;
    for (auto label : labels) {
        at = c.tree().findChild(at, label);
        if (at == kNoNode) return kNoNode;
    }
    return at;
}

std::vector<std::u16string> childLabels(const CatalogueTree& t, NodeId n) {
    std::vector<std::u16string> labels;
    for (NodeId c = n == kNoNode ? t.root() : t.firstChild(n); c != kNoNode; c = t.nextSibling(c)) {
        labels.emplace_back(t.label(c));
    }
    return labels;
}

TEST(CatalogueTable, CellsFromTypedValues) {
    Catalogue c;
    const FileTime highBit = makeFileTime(7, 0x80000001u);
    c.appendEntry(u"BKF\\BACKUP SET 1(Daily)\\Data\\report.doc", 5368709120LL, 6442450944LL, kTime, highBit, 0);
    const auto& t = c.table();
    EXPECT_EQ(t.cell(0, CatalogueColumn::Path), u"BKF\\BACKUP SET 1(Daily)\\Data\\report.doc");
    EXPECT_EQ(t.cell(0, CatalogueColumn::TypeName), u"DOC File");
    EXPECT_EQ(t.cell(0, CatalogueColumn::Size), u"5368709120");
    EXPECT_EQ(t.cell(0, CatalogueColumn::DataOffset), u"6442450944");
    EXPECT_EQ(t.cell(0, CatalogueColumn::ModifiedLow), decimalText(fileTimeLow(kTime)));
    EXPECT_EQ(t.cell(0, CatalogueColumn::ModifiedHigh), decimalText(fileTimeHigh(kTime)));
    EXPECT_EQ(t.cell(0, CatalogueColumn::AccessedLow), u"7");
    EXPECT_EQ(t.cell(0, CatalogueColumn::AccessedHigh), u"-2147483647") << "high half is signed";
    EXPECT_EQ(t.cell(0, CatalogueColumn::CreatedLow), u"0");
    EXPECT_EQ(t.modified(0), kTime);
    EXPECT_EQ(t.accessed(0), FileTime{7}) << "a negative high cell reads as 0";
    EXPECT_EQ(t.size(0), 5368709120LL);
    EXPECT_FALSE(t.checked(0)) << "new entries are unchecked";
    EXPECT_EQ(t.name(0), u"report.doc");
}

TEST(CatalogueTable, TextCellsComeBackExactly) {
    Catalogue c;
    const std::array<std::u16string_view, kNumericCellCount> cells = {u"007",        u"12abc", u"",   u"-5",
                                                                      u"4294967296", u"-0",    u" 3", u"2147483647"};
    c.appendEntryText(u"BKF\\S\\a.txt", cells);
    const auto& t = c.table();
    for (int i = 0; i < kNumericCellCount; ++i) {
        EXPECT_EQ(t.cell(0, static_cast<CatalogueColumn>(i + 2)), cells[static_cast<std::size_t>(i)]) << i;
    }
    EXPECT_EQ(t.size(0), 7);
    EXPECT_EQ(t.dataOffset(0), 12);
    // Low "" = 0, high -5 counts as 0; low 4294967296 keeps its low 32 bits (0), high "-0" = 0.
    EXPECT_EQ(t.modified(0), 0u);
    EXPECT_EQ(t.accessed(0), 0u);
    EXPECT_EQ(t.created(0), makeFileTime(3, 2147483647u));
    // Replacing a kept text by a canonical one drops it; the other way round keeps it.
    Catalogue& m = c;
    m.table().setCell(0, CatalogueColumn::Size, u"42");
    m.table().setCell(0, CatalogueColumn::CreatedHigh, u"0x10");
    EXPECT_EQ(t.cell(0, CatalogueColumn::Size), u"42");
    EXPECT_EQ(t.cell(0, CatalogueColumn::CreatedHigh), u"0x10");
    EXPECT_EQ(t.created(0), makeFileTime(3, 0));
}

TEST(CatalogueTable, SizesAndOffsetsOfAnyWidthComeBackExactly) {
    // Rows keep sizes and offsets in 48 bits; wider ones (a damaged block may
    // claim any 64-bit length) must read back all the same, typed or as text.
    struct Case {
        const char* name;
        std::int64_t value;
    };
    const Case cases[] = {
        {"the largest that fits", (std::int64_t{1} << 47) - 1},
        {"one beyond", std::int64_t{1} << 47},
        {"the smallest that fits", -(std::int64_t{1} << 47)},
        {"one below", -(std::int64_t{1} << 47) - 1},
        {"the 64-bit maximum", std::numeric_limits<std::int64_t>::max()},
        {"the 64-bit minimum", std::numeric_limits<std::int64_t>::min()},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Catalogue c;
        c.appendEntry(u"BKF\\S\\typed.bin", k.value, k.value, kTime, kTime, kTime);
        const std::u16string text = decimalText(k.value);
        const std::array<std::u16string_view, kNumericCellCount> cells = {text, text, u"1", u"2",
                                                                          u"3", u"4", u"5", u"6"};
        c.appendEntryText(u"BKF\\S\\text.bin", cells);
        for (RowIndex r = 0; r < 2; ++r) {
            EXPECT_EQ(c.table().size(r), k.value);
            EXPECT_EQ(c.table().dataOffset(r), k.value);
            EXPECT_EQ(c.table().cell(r, CatalogueColumn::Size), text);
            EXPECT_EQ(c.table().cell(r, CatalogueColumn::DataOffset), text);
        }
        c.table().setCell(1, CatalogueColumn::Size, u"12");
        EXPECT_EQ(c.table().size(1), 12);
        EXPECT_EQ(c.table().cell(1, CatalogueColumn::Size), u"12");
        EXPECT_EQ(c.table().dataOffset(1), k.value);
    }
}

TEST(CatalogueTree, AddFolderPathBuildsNodesInFirstSeenOrder) {
    Catalogue c;
    addFile(c, u"BKF\\BACKUP SET 1(x)\\Data\\Sub\\a.txt");
    addFile(c, u"BKF\\BACKUP SET 1(x)\\data\\b.txt");
    addFile(c, u"BKF\\BACKUP SET 1(x)\\Data\\c.txt");
    c.addFolderPath(u"BKF\\BACKUP SET 2(y)\\Empty\\");
    addFile(c, u"BKF\\BACKUP SET 0\\loose.txt");
    const auto& t = c.tree();
    EXPECT_EQ(childLabels(t, kNoNode), std::vector<std::u16string>{u"BKF"});
    EXPECT_EQ(childLabels(t, t.root()),
              (std::vector<std::u16string>{u"BACKUP SET 1(x)", u"BACKUP SET 2(y)", u"BACKUP SET 0"}));
    const NodeId set1 = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)"});
    EXPECT_EQ(childLabels(t, set1), (std::vector<std::u16string>{u"Data", u"data"})) << "labels are case-sensitive";
    const NodeId sub = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Data", u"Sub"});
    ASSERT_NE(sub, kNoNode);
    EXPECT_TRUE(childLabels(t, sub).empty()) << "a file name is never a node";
    EXPECT_EQ(c.folderPathOf(sub), u"BACKUP SET 1(x)\\Data\\Sub\\");
    EXPECT_EQ(c.folderPathOf(t.root()), u"");
    EXPECT_TRUE(t.expanded(sub));
    EXPECT_EQ(t.mark(sub), FolderMark::Unchecked);
    EXPECT_EQ(t.nodeCount(), 8u);
}

TEST(CatalogueTree, AddFolderPathSeesChangesMadeBetweenCalls) {
    Catalogue c;
    addFile(c, u"BKF\\S\\D\\a.txt");
    const NodeId d = nodeAt(c, {u"BKF", u"S", u"D"});
    c.tree().setExpanded(d, false);
    addFile(c, u"BKF\\S\\D\\b.txt");
    EXPECT_TRUE(c.tree().expanded(d)) << "adding a path expands every node on it";
    c.tree().setLabel(d, u"E");
    addFile(c, u"BKF\\S\\D\\c.txt");
    EXPECT_EQ(childLabels(c.tree(), nodeAt(c, {u"BKF", u"S"})), (std::vector<std::u16string>{u"E", u"D"}));
}

// The marks as the folder views define them, computed the slow way from the cells.
struct Reference {
    const Catalogue& c;
    bool below(RowIndex row, NodeId node) const { return c.table().path(row).starts_with(c.displayPrefixOf(node)); }
    FolderMark mark(NodeId node) const {
        std::size_t total = 0, checked = 0;
        for (RowIndex r = 0; r < c.table().rowCount(); ++r) {
            if (!below(r, node)) continue;
            ++total;
            checked += c.table().checked(r) ? 1 : 0;
        }
        if (checked == total) return FolderMark::Checked;
        return checked == 0 ? FolderMark::Unchecked : FolderMark::Partial;
    }
    std::vector<RowIndex> direct(NodeId node) const {
        std::vector<RowIndex> rows;
        const auto prefix = c.displayPrefixOf(node);
        for (RowIndex r = 0; r < c.table().rowCount(); ++r) {
            const auto path = c.table().path(r);
            if (path.starts_with(prefix) && path.find(u'\\', prefix.size()) == std::u16string::npos) {
                rows.push_back(r);
            }
        }
        return rows;
    }
};

void expectIndexAgreesWithCells(const Catalogue& c, const char* when) {
    const Reference ref{c};
    for (NodeId n = 0; n < c.tree().nodeCount(); ++n) {
        EXPECT_EQ(c.markFromEntries(n), ref.mark(n)) << when << " node " << utf16ToUtf8(c.tree().pathFromTop(n));
        const auto rows = c.rowsInFolder(n);
        EXPECT_EQ(std::vector<RowIndex>(rows.begin(), rows.end()), ref.direct(n)) << when;
    }
}

Catalogue& sampleCatalogue(Catalogue& c) {
    addFile(c, u"BKF\\BACKUP SET 1(x)\\Data\\a.txt");
    addFile(c, u"BKF\\BACKUP SET 1(x)\\Data\\Sub\\b.txt");
    addFile(c, u"BKF\\BACKUP SET 1(x)\\Database\\c.txt");
    addFile(c, u"BKF\\BACKUP SET 1(x)\\Data\\a.txt");  // stored twice in the backup
    addFile(c, u"BKF\\BACKUP SET 2(Data)\\Data\\d.txt");
    addFile(c, u"BKF\\BACKUP SET 2(Data)\\Other\\BACKUP SET 1(x)\\Data\\e.txt");
    c.addFolderPath(u"BKF\\BACKUP SET 1(x)\\Data\\Empty\\");
    return c;
}

TEST(CatalogueMarks, FolderMarksFollowTheEntriesBelowThePrefix) {
    Catalogue c;
    sampleCatalogue(c);
    const NodeId root = c.tree().root();
    const NodeId data = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Data"});
    const NodeId sub = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Data", u"Sub"});
    const NodeId empty = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Data", u"Empty"});

    c.setFolderMark(data, true);
    // Only paths that begin with the folder's path: not Database, not the
    // look-alike path inside set 2.
    std::vector<bool> checked;
    for (RowIndex r = 0; r < c.table().rowCount(); ++r) checked.push_back(c.table().checked(r));
    EXPECT_EQ(checked, (std::vector<bool>{true, true, false, true, false, false}));
    EXPECT_EQ(c.tree().mark(sub), FolderMark::Checked) << "marks go down the subtree";
    EXPECT_EQ(c.tree().mark(empty), FolderMark::Checked);
    c.refreshAncestorMarks(data);
    EXPECT_EQ(c.tree().mark(root), FolderMark::Partial);
    EXPECT_EQ(c.tree().mark(nodeAt(c, {u"BKF", u"BACKUP SET 1(x)"})), FolderMark::Partial);

    // Unchecking the one file of Sub makes Data partial; the empty folder counts as checked.
    ASSERT_TRUE(c.markFile(sub, u"b.txt", false).has_value());
    c.refreshAncestorMarks(sub);
    EXPECT_EQ(c.tree().mark(data), FolderMark::Partial);
    EXPECT_EQ(c.markFromEntries(empty), FolderMark::Checked);
    EXPECT_EQ(c.tree().mark(sub), FolderMark::Checked) << "refresh changes only the ancestors";
    expectIndexAgreesWithCells(c, "after marking");
}

TEST(CatalogueMarks, MarkingOneFileTakesTheFirstOfTwoEqualPaths) {
    Catalogue c;
    sampleCatalogue(c);
    const NodeId data = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Data"});
    EXPECT_EQ(c.markFile(data, u"a.txt", true), RowIndex{0});
    EXPECT_TRUE(c.table().checked(0));
    EXPECT_FALSE(c.table().checked(3));
    EXPECT_EQ(c.markFile(data, u"missing.txt", true), std::nullopt);
    EXPECT_EQ(c.markFile(data, u"b.txt", true), std::nullopt) << "b.txt lies in Sub, not directly in Data";
    c.setFolderMark(data, false);
    EXPECT_FALSE(c.table().checked(0));
    c.setFolderMark(data, true);
    EXPECT_TRUE(c.table().checked(3)) << "a folder mark reaches both copies";
}

TEST(CatalogueMarks, MarkingOneEntryBringsItsFolderAndAncestorsInLine) {
    Catalogue c;
    sampleCatalogue(c);
    c.markAllAfterLoad();
    const NodeId data = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Data"});
    const NodeId sub = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Data", u"Sub"});
    EXPECT_EQ(c.tree().findFolder(c.table().path(1)), sub);
    EXPECT_EQ(c.tree().findFolder(u"BKF\\BACKUP SET 1(x)\\Nowhere\\f.txt"), kNoNode);
    EXPECT_EQ(c.tree().findFolder(u"no backslash"), kNoNode);

    // The second copy of a.txt: its own row changes, not the first copy's.
    EXPECT_EQ(c.markEntry(3, false), data);
    EXPECT_TRUE(c.table().checked(0));
    EXPECT_FALSE(c.table().checked(3));
    EXPECT_EQ(c.tree().mark(data), FolderMark::Partial);
    EXPECT_EQ(c.tree().mark(sub), FolderMark::Checked);
    EXPECT_EQ(c.tree().mark(c.tree().root()), FolderMark::Partial);
    c.markEntry(3, true);
    for (NodeId n = 0; n < c.tree().nodeCount(); ++n) EXPECT_EQ(c.tree().mark(n), FolderMark::Checked);
    c.markEntry(1, false);
    EXPECT_EQ(c.tree().mark(sub), FolderMark::Unchecked) << "its only file";
    EXPECT_EQ(c.tree().mark(data), FolderMark::Partial);
    expectIndexAgreesWithCells(c, "after marking entries");
}

TEST(CatalogueMarks, EmptyCatalogueAndMarkAllAfterLoad) {
    Catalogue empty;
    empty.markAllAfterLoad();  // nothing to do, nothing to break
    empty.addFolderPath(u"BKF\\S\\D\\");
    const NodeId d = nodeAt(empty, {u"BKF", u"S", u"D"});
    empty.refreshAncestorMarks(d);
    EXPECT_EQ(empty.tree().mark(empty.tree().root()), FolderMark::Checked);
    EXPECT_EQ(empty.tree().mark(nodeAt(empty, {u"BKF", u"S"})), FolderMark::Checked);

    Catalogue c;
    sampleCatalogue(c);
    c.markAllAfterLoad();
    EXPECT_EQ(c.table().checkedCount(), c.table().rowCount());
    for (NodeId n = 0; n < c.tree().nodeCount(); ++n) {
        EXPECT_EQ(c.tree().mark(n), FolderMark::Checked);
        EXPECT_EQ(c.tree().expanded(n), n == c.tree().root());
    }
    expectIndexAgreesWithCells(c, "after load");
}

TEST(CatalogueRename, RewritesOnlyPathsThatBeginWithTheFolder) {
    Catalogue c;
    sampleCatalogue(c);
    const NodeId data = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Data"});
    ASSERT_TRUE(c.renameFolder(data, u"Old"));
    const auto& t = c.table();
    EXPECT_EQ(t.path(0), u"BKF\\BACKUP SET 1(x)\\Old\\a.txt");
    EXPECT_EQ(t.path(1), u"BKF\\BACKUP SET 1(x)\\Old\\Sub\\b.txt");
    EXPECT_EQ(t.path(2), u"BKF\\BACKUP SET 1(x)\\Database\\c.txt");
    EXPECT_EQ(t.path(4), u"BKF\\BACKUP SET 2(Data)\\Data\\d.txt");
    EXPECT_EQ(t.path(5), u"BKF\\BACKUP SET 2(Data)\\Other\\BACKUP SET 1(x)\\Data\\e.txt");
    EXPECT_EQ(c.tree().label(data), u"Old");
    EXPECT_EQ(c.folderPathOf(nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Old", u"Sub"})), u"BACKUP SET 1(x)\\Old\\Sub\\");
    // A file added under the new name lands in the renamed node.
    addFile(c, u"BKF\\BACKUP SET 1(x)\\Old\\f.txt");
    EXPECT_EQ(c.tree().nodeCount(), 11u);
    expectIndexAgreesWithCells(c, "after rename");

    EXPECT_FALSE(c.renameFolder(data, u"")) << "an empty name changes nothing";
    EXPECT_FALSE(c.renameFolder(c.tree().root(), u"Root")) << "the root keeps its label";
    EXPECT_EQ(c.tree().label(c.tree().root()), u"BKF");
    EXPECT_EQ(t.path(0), u"BKF\\BACKUP SET 1(x)\\Old\\a.txt");
}

TEST(CatalogueRename, ToASiblingsNameJoinsBothFolders) {
    Catalogue c;
    sampleCatalogue(c);
    const NodeId data = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Data"});
    const NodeId database = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Database"});
    ASSERT_TRUE(c.renameFolder(database, u"Data"));
    // Both nodes now stand for the same paths: marking either marks all three files.
    c.setFolderMark(database, true);
    EXPECT_TRUE(c.table().checked(0));
    EXPECT_TRUE(c.table().checked(2));
    EXPECT_EQ(c.countsBelow(data).total, 4u);
    EXPECT_EQ(c.rowsInFolder(data).size(), 3u);
    EXPECT_EQ(c.tree().findChild(nodeAt(c, {u"BKF", u"BACKUP SET 1(x)"}), u"Data"), data)
        << "the first of two equal labels is found";
    expectIndexAgreesWithCells(c, "after joining rename");
    // And apart again.
    ASSERT_TRUE(c.renameFolder(database, u"Database"));
    EXPECT_EQ(c.table().path(2), u"BKF\\BACKUP SET 1(x)\\Database\\c.txt");
    EXPECT_EQ(c.table().path(0), u"BKF\\BACKUP SET 1(x)\\Database\\a.txt")
        << "paths that were joined stay joined: the rename rewrites every path with the prefix";
    expectIndexAgreesWithCells(c, "after renaming back");
}

// Random operations, with the cells as the witness after every step.
TEST(CatalogueMarks, RandomOperationsKeepTheIndexTrue) {
    std::mt19937 rng(12345);
    const std::array<std::u16string, 4> names = {u"a", u"b", u"A", u"ab"};
    for (int round = 0; round < 20; ++round) {
        Catalogue c;
        for (int i = 0; i < 60; ++i) {
            std::u16string path = u"BKF\\BACKUP SET " + asciiToUtf16(std::to_string(rng() % 2)) + u"\\";
            const int depth = static_cast<int>(rng() % 4);
            for (int d = 0; d < depth; ++d) path += names[rng() % names.size()] + u"\\";
            path += u"f" + asciiToUtf16(std::to_string(rng() % 5)) + u".txt";
            addFile(c, path);
        }
        for (int step = 0; step < 40; ++step) {
            const NodeId node = static_cast<NodeId>(rng() % c.tree().nodeCount());
            switch (rng() % 5) {
                case 0:
                    c.setFolderMark(node, rng() % 2 == 0);
                    break;
                case 1:
                    c.markFile(node, u"f" + asciiToUtf16(std::to_string(rng() % 5)) + u".txt", rng() % 2);
                    break;
                case 2:
                    c.renameFolder(node, names[rng() % names.size()]);
                    break;
                case 3:
                    c.table().setChecked(static_cast<RowIndex>(rng() % c.table().rowCount()), rng() % 2);
                    break;
                case 4:
                    c.refreshAncestorMarks(node);
                    for (NodeId a = c.tree().parent(node); a != kNoNode; a = c.tree().parent(a)) {
                        ASSERT_EQ(c.tree().mark(a), Reference{c}.mark(a));
                    }
                    break;
            }
        }
        expectIndexAgreesWithCells(c, "random operations");
        std::size_t checked = 0;
        for (RowIndex r = 0; r < c.table().rowCount(); ++r) checked += c.table().checked(r);
        ASSERT_EQ(c.table().checkedCount(), checked);
        if (HasFailure()) return;
    }
}

TEST(CatalogueTable, SetPathMovesTheRowBetweenFolders) {
    Catalogue c;
    sampleCatalogue(c);
    c.table().setChecked(2, true);
    c.table().setCell(2, CatalogueColumn::Path, u"BKF\\BACKUP SET 1(x)\\Data\\c.txt");
    EXPECT_EQ(c.table().path(2), u"BKF\\BACKUP SET 1(x)\\Data\\c.txt");
    const NodeId data = nodeAt(c, {u"BKF", u"BACKUP SET 1(x)", u"Data"});
    EXPECT_EQ(c.rowsInFolder(data).size(), 3u);
    EXPECT_EQ(c.countsBelow(data).checked, 1u);
    c.table().setCell(2, CatalogueColumn::Path, u"no-folder.txt");
    EXPECT_EQ(c.table().name(2), u"no-folder.txt");
    expectIndexAgreesWithCells(c, "after setting paths");
}

}  // namespace
}  // namespace bkf
