// The results page end to end: a real backup scanned, files chosen with the
// check boxes of all three views, and the save writing exactly the chosen
// files with the content the backup writer put in (its manifest).
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "app/save_flow.h"
#include "tests/app/qt_printers.h"
#include "tests/app/window_fixture.h"
#include "tools/content.h"
#include "widgets/catalogue_models.h"
#include "widgets/catalogue_views.h"
#include "widgets/check_box_delegate.h"
#include "widgets/folder_contents_model.h"

namespace bkf::gui {
namespace {

namespace fs = std::filesystem;

class ResultsPageTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(dest_.isValid());
        frame_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get()));
    }

    // Data\A (4 files), Data\B (3), Data\B\C (2), Other (2); every name unique.
    QString writeTreeBackup() {
        const QString path = file(QStringLiteral("tree.bkf"));
        tools::FileSink sink(path.toStdU16String());
        tools::BackupWriter w(sink);
        w.beginSet({.name = u"Daily"});
        int n = 0;
        const auto folder = [&](std::u16string_view name, int files) {
            w.directory({.name = tools::folderName(name)});
            for (int i = 0; i < files; ++i, ++n) {
                tools::FileItem f;
                f.name = u"f" + QString::number(n).toStdU16String() + u".dat";
                f.content =
                    tools::Content::random(700 + static_cast<std::uint64_t>(n) * 1311, static_cast<std::uint64_t>(n));
                w.file(f);
            }
        };
        folder(u"Data/A", 4);
        folder(u"Data/B", 3);
        folder(u"Data/B/C", 2);
        folder(u"Other", 2);
        w.finish();
        sink.close();
        manifest_ = w.manifest();
        return path;
    }

    CatalogueViews& views() { return view().views(); }
    Catalogue& catalogue() { return view().catalogue(); }
    NodeId node(std::initializer_list<std::u16string_view> labels) {
        NodeId at = kNoNode;
        for (auto label : labels) at = catalogue().tree().findChild(at, label);
        return at;
    }

    void clickBox(QAbstractItemView& v, const QModelIndex& i, Qt::MouseButton button = Qt::LeftButton) {
        v.scrollTo(i);
        QTest::mouseClick(v.viewport(), button, {}, CheckBoxDelegate::checkBoxRect(v, i).center());
    }
    int listRow(const QString& name) {
        for (int r = 0; r < views().listModel().rowCount(); ++r)
            if (views().listModel().text(r, 0) == name) return r;
        ADD_FAILURE() << "no row " << name.toStdString();
        return 0;
    }

    // Saves to the destination folder and returns the files written, by name.
    std::map<std::string, fs::path> save(const std::function<void()>& start) {
        ui_.fileAnswers.push_back(dest_.path());
        start();
        waitWhile([this] { return frame_->saveFlow().saving(); });
        std::map<std::string, fs::path> out;
        for (const auto& e : fs::recursive_directory_iterator(fs::path(dest_.path().toStdU16String())))
            if (e.is_regular_file()) out[e.path().filename().string()] = e.path();
        return out;
    }
    static std::uint64_t fileHash(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return tools::hashBytes(bytes);
    }
    // The manifest's hash for a file name.
    std::uint64_t expectedHash(const std::string& name) {
        for (const tools::ManifestEntry& e : manifest_)
            if (QString::fromStdU16String(e.displayPath).endsWith(QString::fromStdString("\\" + name))) return e.hash;
        ADD_FAILURE() << "not in the manifest: " << name;
        return 0;
    }

    QTemporaryDir dest_;
};

TEST_F(ResultsPageTest, MarksSetInEveryViewDecideExactlyWhatIsSaved) {
    recover(writeTreeBackup());
    ASSERT_EQ(view().pageNumber(), 2);
    ASSERT_EQ(catalogue().table().rowCount(), 11u);
    ASSERT_EQ(catalogue().table().checkedCount(), 11u);

    // The tree: Data\B and everything below it unchecked.
    const NodeId b = node({u"BKF", u"BACKUP SET 1(Daily)", u"Data", u"B"});
    ASSERT_NE(b, kNoNode);
    clickBox(*views().folderTree(), views().treeModel().indexOf(b));
    EXPECT_EQ(catalogue().table().checkedCount(), 6u);
    // The list: one file of B checked again, and Data\B\C's row checked (2 files).
    views().selectNode(b);
    clickBox(*views().folderList(), views().listModel().index(listRow("f5.dat"), 0));
    clickBox(*views().folderList(), views().listModel().index(listRow("C"), 0));
    EXPECT_EQ(catalogue().tree().mark(b), FolderMark::Partial);
    // The pane: f0 and f10 unchecked.
    for (const char* name : {"f0.dat", "f10.dat"}) {
        for (RowIndex r = 0; r < catalogue().table().rowCount(); ++r)
            if (catalogue().table().name(r) == QString::fromLatin1(name).toStdU16String())
                clickBox(*views().cataloguePane(), views().paneModel().index(static_cast<int>(r), 0));
    }
    for (NodeId n = 0; n < catalogue().tree().nodeCount(); ++n)
        EXPECT_EQ(catalogue().tree().mark(n), catalogue().markFromEntries(n)) << n;

    const std::set<std::string> chosen{"f1.dat", "f2.dat", "f3.dat", "f5.dat", "f7.dat", "f8.dat", "f9.dat"};
    std::set<std::string> checked;
    for (RowIndex r = 0; r < catalogue().table().rowCount(); ++r)
        if (catalogue().table().checked(r))
            checked.insert(QString::fromStdU16String(std::u16string(catalogue().table().name(r))).toStdString());
    ASSERT_EQ(checked, chosen);

    // Saved from the tree's menu: exactly the checked files, each with its content.
    ui_.menuAnswers = {ID_TREE_SAVE_FILES};
    const auto files = save([&] {
        const QModelIndex i = views().treeModel().indexOf(b);
        QTest::mouseClick(views().folderTree()->viewport(), Qt::RightButton, {},
                          views().folderTree()->visualRect(i).center() + QPoint(20, 0));
    });
    std::set<std::string> saved;
    for (const auto& [name, path] : files) {
        saved.insert(name);
        EXPECT_EQ(fileHash(path), expectedHash(name)) << name;
    }
    EXPECT_EQ(saved, chosen);
    ASSERT_FALSE(ui_.messages.empty());
    EXPECT_TRUE(ui_.messages.back().text.contains(QStringLiteral("Saved: 7 file(s)")))
        << ui_.messages.back().text.toStdString();
}

TEST_F(ResultsPageTest, ThePanesSaveFileSavesTheOneRowItWasOpenedOn) {
    recover(writeTreeBackup());
    ASSERT_EQ(view().pageNumber(), 2);
    // Even an unchecked row: the menu names the row, not the marks.
    clickBox(*views().cataloguePane(), views().paneModel().index(3, 0));
    ASSERT_FALSE(catalogue().table().checked(3));
    const std::string name = QString::fromStdU16String(std::u16string(catalogue().table().name(3))).toStdString();

    ui_.menuAnswers = {ID_PANE_SAVE_FILE};
    const auto files = save([&] {
        QTest::mouseClick(views().cataloguePane()->viewport(), Qt::RightButton, {},
                          views().cataloguePane()->visualRect(views().paneModel().index(3, 1)).center());
    });
    ASSERT_EQ(files.size(), 1u);
    ASSERT_EQ(files.begin()->first, name);
    EXPECT_EQ(fileHash(files.begin()->second), expectedHash(name));

    // The next save takes the checked entries again.
    EXPECT_EQ(frame_->saveFlow().chosenRow(), std::nullopt);
    const auto all = save([&] { view().onSaveFiles(); });
    EXPECT_EQ(all.size(), 1u + 10u) << "one from before, ten checked now (in a second folder)";
    EXPECT_EQ(frame_->saveFlow().lastFolder(), dest_.path()) << "the folder dialog opens there next time";
    EXPECT_EQ(ui_.folderStarts.back(), dest_.path());
}

}  // namespace
}  // namespace bkf::gui
