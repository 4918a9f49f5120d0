#include "app/search_dialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <iterator>
#include <utility>

#include "app/dialog_background.h"
#include "catalogue/catalogue.h"
#include "widgets/dialog_units.h"
#include "widgets/qt_text.h"
#include "widgets/ui_services.h"
#include "widgets/view_ids.h"

namespace bkf::gui {

namespace {

// Result list columns and their widths in pixels.
struct ColumnInfo {
    const char* title;
    int width;
};
constexpr std::array<ColumnInfo, SearchResultModel::kColumnCount> kColumns = {{
    {"File Name", 400},
    {"File Type", 200},
    {"File Size", 200},
}};

}  // namespace

// ---- SearchResultModel ----

SearchResultModel::SearchResultModel(bkf::ShellLookup& shell, QObject* parent)
    : QAbstractTableModel(parent), shell_(shell) {}

int SearchResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(matches_.size());
}

int SearchResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant SearchResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const bkf::SearchMatch& m = matchAt(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case NameColumn:
                return qstr(m.path);
            case TypeColumn:
                return qstr(shell_.shellTypeName(m.path));
            case SizeColumn:
                return qstr(m.sizeText);
            default:
                return {};
        }
    }
    if (role == Qt::DecorationRole && index.column() == NameColumn) {
        int icon = shell_.shellFileIcon(m.path);
        if (icon < 0 || icon >= kShellIconCount) icon = IconFile;
        QIcon& cached = icons_[static_cast<std::size_t>(icon)];
        if (cached.isNull()) cached = shellIcon(icon);
        return cached;
    }
    return {};
}

QVariant SearchResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) return {};
    return QString::fromLatin1(kColumns[static_cast<std::size_t>(section)].title);
}

void SearchResultModel::append(std::vector<bkf::SearchMatch>&& matches) {
    if (matches.empty()) return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(matches.size()) - 1);
    matches_.insert(matches_.end(), std::make_move_iterator(matches.begin()), std::make_move_iterator(matches.end()));
    endInsertRows();
}

void SearchResultModel::clear() {
    beginResetModel();
    matches_.clear();
    endResetModel();
}

// ---- SearchDialog ----

// Layout 422 x 201 dialog units; controls in the order of the layout.
SearchDialog::SearchDialog(bkf::Catalogue& catalogue, UiServices& ui, QWidget* parent)
    : QDialog(parent),
      catalogue_(catalogue),
      ui_(ui),
      model_(catalogue.shell()),
      bridge_([this](JobBridge::Clock::time_point deadline) {
          drainQueue(deadline);
          return queue_.hasBatches();
      }),
      job_(*this) {
    setObjectName(QStringLiteral("SearchDialog"));
    setWindowTitle(kSearchDialogCaption);
    setFixedSize(dluSize(422, 201));
    setFont(dialogFont());

    auto* close = new QPushButton(kSearchOkButtonText, this);
    setControlId(close, IDC_CLOSE, QStringLiteral("close"));
    close->setAutoDefault(false);
    close->setGeometry(dluRect(184, 181, 50, 14));
    connect(close, &QPushButton::clicked, this, &SearchDialog::reject);

    list_ = new QTreeView(this);
    setControlId(list_, IDC_RESULT_LIST, QStringLiteral("resultList"));
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setIconSize(QSize(16, 16));
    list_->setModel(&model_);
    list_->header()->setStretchLastSection(false);
    for (std::size_t c = 0; c < kColumns.size(); ++c)
        list_->header()->resizeSection(static_cast<int>(c), kColumns[c].width);
    list_->setGeometry(dluRect(20, 42, 376, 103));

    auto* stringLabel = new QLabel(kSearchStringLabel, this);
    setControlId(stringLabel, IDC_STRING_LABEL, QStringLiteral("stringLabel"));
    stringLabel->setGeometry(labelRect(26, 20, 43, 10, 79));

    edit_ = new QLineEdit(kInitialSearchPattern, this);
    setControlId(edit_, IDC_SEARCH_EDIT, QStringLiteral("searchEdit"));
    edit_->setGeometry(dluRect(79, 18, 216, 12));

    search_ = new QPushButton(kSearchButtonText, this);
    setControlId(search_, IDC_SEARCH, QStringLiteral("search"));
    search_->setDefault(true);
    search_->setGeometry(dluRect(328, 17, 64, 15));
    connect(search_, &QPushButton::clicked, this, &SearchDialog::onSearch);

    progress_ = new QProgressBar(this);
    setControlId(progress_, IDC_PROGRESS, QStringLiteral("progress"));
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->setGeometry(dluRect(23, 165, 372, 9));

    auto* totalLabel = new QLabel(kSearchTotalLabel, this);
    setControlId(totalLabel, IDC_TOTAL_LABEL, QStringLiteral("totalLabel"));
    totalLabel->setGeometry(labelRect(24, 151, 66, 11, 91));

    count_ = new QLabel(this);
    setControlId(count_, IDC_COUNT, QStringLiteral("count"));
    count_->setGeometry(dluRect(91, 151, 81, 9));

    stop_ = new QPushButton(kSearchStopButtonText, this);
    setControlId(stop_, IDC_STOP, QStringLiteral("stop"));
    stop_->setAutoDefault(false);
    stop_->setGeometry(search_->geometry());
    connect(stop_, &QPushButton::clicked, this, &SearchDialog::onStopSearch);

    showIdle();
    edit_->setFocus();
}

SearchDialog::~SearchDialog() {
    // The search thread reports to this object: let it end first.
    job_.stop();
    job_.wait();
}

void SearchDialog::showIdle() {
    progress_->hide();
    stop_->hide();
    search_->show();
}

void SearchDialog::onSearch() {
    if (searching_ || job_.busy()) return;
    job_.wait();  // the previous search thread has reported its end
    queue_.reset();
    search_->hide();
    stop_->show();
    progress_->setValue(0);
    progress_->show();
    model_.clear();
    count_->setText(QStringLiteral("0"));
    searching_ = true;
    bridge_.start();
    if (!job_.start(catalogue_.table(), edit_->text().toStdU16String())) {
        // A closed dialog's job does not search any more.
        searching_ = false;
        bridge_.stop();
        showIdle();
    }
}

void SearchDialog::onStopSearch() {
    job_.stop();
}

void SearchDialog::reject() {
    if (searching_ || !job_.requestClose()) {
        ui_.messageBox(this, kSearchStopFirstText, MessageStyle{Buttons::Ok, Icon::Exclamation});
        return;
    }
    QDialog::reject();
}

void SearchDialog::searchBatch(std::vector<bkf::SearchMatch>&& matches, const bkf::SearchProgress& progress) {
    queue_.push(std::move(matches));
    queue_.progress(progress);
}

void SearchDialog::searchFinished(const bkf::SearchOutcome& outcome) {
    queue_.finish(outcome);
}

void SearchDialog::drainQueue(JobBridge::Clock::time_point deadline) {
    queue_.drainUntil(deadline, [&](std::vector<bkf::SearchMatch>& matches) { model_.append(std::move(matches)); });
    if (const auto progress = queue_.takeProgress()) {
        count_->setText(QString::number(progress->matchCount));
        progress_->setValue(progress->percent);
    }
    if (const auto finished = queue_.takeOutcome()) {
        count_->setText(QString::number(finished->matchCount));
        bridge_.stop();
        searching_ = false;
        showIdle();
        emit searchEnded();
    }
}

void SearchDialog::paintEvent(QPaintEvent*) {
    paintDialogBackground(*this);
}

}  // namespace bkf::gui
