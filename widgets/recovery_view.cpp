#include "widgets/recovery_view.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "engine/scan.h"
#include "widgets/ax_image.h"
#include "widgets/catalogue_models.h"
#include "widgets/catalogue_views.h"
#include "widgets/document.h"
#include "widgets/hover_button.h"
#include "widgets/qt_shell_lookup.h"
#include "widgets/qt_text.h"
#include "widgets/resources_init.h"
#include "widgets/ui_services.h"
#include "widgets/view_ids.h"

namespace bkf::gui {

QColor viewBackground() {
    return QColor(255, 255, 153);
}

namespace {

QFont pixelFont(const QString& family, int pixels) {
    QFont f(family);
    f.setPixelSize(pixels);
    f.setWeight(QFont::Normal);
    return f;
}

HoverButton* imageButton(QWidget* parent, int id, const QString& hover, const QString& normal) {
    auto* b = new HoverButton(parent);
    setControlId(b, id);
    b->setImages(QPixmap(hover), QPixmap(normal));
    b->setToolTip(kAddFilesTip);
    return b;
}

}  // namespace

RecoveryView::RecoveryView(Document& document, UiServices& ui, QWidget* parent)
    : QWidget(parent), document_(document), ui_(ui) {
    initResources();
    setObjectName(QStringLiteral("RecoveryView"));
    createControls();
    connect(&document_, &Document::openChanged, this,
            [this](bool open) { open ? showResultsPage() : showSelectionPage(); });
    connect(&document_, &Document::catalogueCleared, this, &RecoveryView::reloadCatalogue);
    showSelectionPage();
    layoutControls();
}

RecoveryView::~RecoveryView() {
    // The views and their models go before the catalogue does.
    delete views_;
}

bkf::Catalogue& RecoveryView::catalogue() {
    return document_.catalogue();
}

CatalogueTableModel& RecoveryView::catalogueModel() {
    return views_->paneModel();
}

CatalogueTreeModel& RecoveryView::treeModel() {
    return views_->treeModel();
}

bool RecoveryView::viewsBusy() const {
    return document_.filling();
}

void RecoveryView::createControls() {
    const QFont arial = pixelFont(QStringLiteral("Arial"), 16);

    prompt_ = new QLabel(kPromptText, this);
    setControlId(prompt_, IDC_PROMPT);
    prompt_->setFont(arial);

    pathEdit_ = new QLineEdit(this);
    setControlId(pathEdit_, IDC_PATH_EDIT);
    pathEdit_->setFont(pixelFont(QStringLiteral("Ms Sans Serif"), 16));
    // A dropped file goes to the view, which puts its path here.
    pathEdit_->setAcceptDrops(false);
    setAcceptDrops(true);

    browse_ = new QPushButton(QStringLiteral("&Browse..."), this);
    setControlId(browse_, IDC_BROWSE);
    connect(browse_, &QPushButton::clicked, this, &RecoveryView::onBrowseBackupFile);

    next_ = imageButton(this, IDC_NEXT, QStringLiteral(":/images/next_hover.png"), QStringLiteral(":/images/next.png"));
    connect(next_, &HoverButton::clicked, this, &RecoveryView::onRecover);

    views_ = new CatalogueViews(document_.catalogue(), ui_, this);
    views_->setBusyTest([this] { return viewsBusy(); });
    connect(views_, &CatalogueViews::saveFilesRequested, this, &RecoveryView::onSaveFiles);
    connect(views_, &CatalogueViews::saveRowRequested, this, &RecoveryView::saveRowRequested);
    connect(views_, &CatalogueViews::openRowRequested, this, &RecoveryView::openRowRequested);

    captionBand_ = new AxImage(this);
    setControlId(captionBand_, IDC_CAPTION_BAND);

    searchingText_ = new QLabel(kSearchingText, this);
    setControlId(searchingText_, IDC_PROGRESS_TEXT, kSearchingTextName);
    searchingText_->setFont(arial);

    progressText_ = new QLabel(this);
    setControlId(progressText_, IDC_PROGRESS_TEXT);
    progressText_->setFont(arial);

    foundFilesText_ = new QLabel(this);
    setControlId(foundFilesText_, IDC_FOUND_FILES);
    foundFilesText_->setFont(arial);

    progressBar_ = new QProgressBar(this);
    setControlId(progressBar_, IDC_STOP, kProgressBarName);
    progressBar_->setRange(0, 100);
    progressBar_->setTextVisible(false);

    stop_ = imageButton(this, IDC_STOP, QStringLiteral(":/images/stop_hover.png"), QStringLiteral(":/images/stop.png"));
    back_ = imageButton(this, IDC_BACK, QStringLiteral(":/images/back_hover.png"), QStringLiteral(":/images/back.png"));
    save_ = imageButton(this, IDC_SAVE, QStringLiteral(":/images/save_hover.png"), QStringLiteral(":/images/save.png"));
    // Screen readers get each control's description string. The progress bar
    // shares Stop's id but is no button: it keeps Qt's own description.
    for (QWidget* w :
         std::initializer_list<QWidget*>{prompt_, pathEdit_, browse_, next_, views_->folderList(), captionBand_,
                                         searchingText_, progressText_, foundFilesText_, stop_, back_, save_})
        w->setAccessibleDescription(controlDescription(w->property("controlId").toInt()));

    connect(stop_, &HoverButton::clicked, this, &RecoveryView::onStopRecovery);
    connect(back_, &HoverButton::clicked, this, &RecoveryView::onBack);
    connect(save_, &HoverButton::clicked, this, &RecoveryView::onSaveFiles);
}

void RecoveryView::layoutControls() {
    const int cx = width();
    const int cy = height();
    const int a = (cy + 100) / 2;
    const int m = cy / 2;
    const int h = cx / 2;

    if (h > 300) {
        prompt_->setGeometry(h - 300, m - 42, 550, 24);
        pathEdit_->setGeometry(h - 300, m - 12, 550, 24);
        browse_->setGeometry(h + 255, m - 12, 60, 24);
        browse_->setFont(font());
    } else {
        prompt_->setGeometry(20, m - 42, cx - 90, 24);
        pathEdit_->setGeometry(20, m - 12, cx - 90, 24);
        browse_->setGeometry(cx - 65, m - 12, 45, 24);
        // "Browse..." has to fit 45 pixels here.
        QFont narrow = font();
        narrow.setPixelSize(11);
        narrow.setStretch(QFont::Condensed);
        browse_->setFont(narrow);
    }
    next_->setGeometry(cx - 102, cy - 49, 92, 39);

    views_->folderTree()->setGeometry(10, 20, 290, a - 20);
    views_->folderList()->setGeometry(300, 20, cx - 320, a - 20);
    captionBand_->setGeometry(10, a, cx - 30, 20);
    views_->cataloguePane()->setGeometry(10, a + 20, cx - 30, cy - a - 70);
    searchingText_->setGeometry(20, cy - 44, 300 - 20, 20);
    progressText_->setGeometry(cx - 280, cy - 44, 280, 20);
    foundFilesText_->setGeometry(cx - 280, cy - 19, 280, 15);
    progressBar_->setGeometry(20, cy - 24, cx - 430, 15);
    stop_->setGeometry(cx - 390, cy - 41, 80, 39);
    back_->setGeometry(cx - 194, cy - 41, 77, 39);
    save_->setGeometry(cx - 102, cy - 41, 77, 39);
}

namespace {

// The local file a drag carries (the first one), or an empty text.
QString droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return {};
    return QDir::toNativeSeparators(urls.front().toLocalFile());
}

}  // namespace

void RecoveryView::dragEnterEvent(QDragEnterEvent* event) {
    if (page_ == 1 && !droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void RecoveryView::dropEvent(QDropEvent* event) {
    const QString path = droppedFile(event->mimeData());
    if (page_ != 1 || path.isEmpty()) {
        event->ignore();
        return;
    }
    pathEdit_->setText(path);
    event->acceptProposedAction();
}

void RecoveryView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutControls();
}

void RecoveryView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), viewBackground());
}

QString RecoveryView::backupFilePath() const {
    return pathEdit_->text();
}

void RecoveryView::setBackupFilePath(const QString& path) {
    pathEdit_->setText(path);
}

void RecoveryView::showResultsPage() {
    prompt_->hide();
    pathEdit_->hide();
    browse_->hide();
    next_->hide();
    captionBand_->setPicture(QPixmap(QStringLiteral(":/images/caption_band.png")));
    for (QWidget* w :
         std::initializer_list<QWidget*>{views_->cataloguePane(), views_->folderList(), views_->folderTree(), stop_,
                                         progressBar_, searchingText_, progressText_, foundFilesText_, captionBand_})
        w->show();
    page_ = 2;
    update();
    emit pageChanged(page_);
}

void RecoveryView::showSelectionPage() {
    for (QWidget* w : std::initializer_list<QWidget*>{views_->cataloguePane(), views_->folderList(),
                                                      views_->folderTree(), next_, save_, back_, stop_})
        w->hide();
    progressBar_->setValue(0);
    progressBar_->hide();
    searchingText_->hide();
    progressText_->hide();
    foundFilesText_->clear();
    foundFilesText_->hide();
    captionBand_->clear();
    captionBand_->hide();
    update();
    for (QWidget* w : std::initializer_list<QWidget*>{pathEdit_, browse_, next_, prompt_}) w->show();
    const bool changed = page_ != 1;
    page_ = 1;
    if (changed) emit pageChanged(page_);
}

void RecoveryView::setProgress(int percent) {
    progressBar_->setValue(std::clamp(percent, 0, 100));
}
void RecoveryView::setProgressText(const QString& text) {
    progressText_->setText(text);
}
void RecoveryView::setFoundFilesText(const QString& text) {
    foundFilesText_->setText(text);
}
void RecoveryView::setSearchingVisible(bool visible) {
    searchingText_->setVisible(visible);
}

void RecoveryView::setSearchingText(const QString& text) {
    if (!text.isEmpty()) searchingText_->setText(text);
    searchingText_->setVisible(!text.isEmpty());
}

void RecoveryView::showStopButton(bool shown) {
    stop_->setVisible(shown);
}
void RecoveryView::showProgressBar(bool shown) {
    progressBar_->setVisible(shown);
}
void RecoveryView::setProgressIndeterminate(bool on) {
    progressBar_->setRange(0, on ? 0 : 100);
}
void RecoveryView::showBackButton(bool shown) {
    back_->setVisible(shown);
}
void RecoveryView::showSaveButton(bool shown) {
    save_->setVisible(shown);
}

void RecoveryView::catalogueAppended() {
    views_->catalogueAppended();
}

void RecoveryView::reloadCatalogue() {
    views_->reload();
}

void RecoveryView::onRecover() {
    if (!document_.isOpen())
        emit recoverRequested();
    else if (!document_.filling())
        emit saveFilesRequested();
}

void RecoveryView::onBrowseBackupFile() {
    const QString path = ui_.openFileName(this, kBrowseCaption, kBackupFilter);
    if (!path.isEmpty()) pathEdit_->setText(path);
}

void RecoveryView::onBack() {
    if (document_.isOpen()) document_.close();
}

void RecoveryView::onStopRecovery() {
    emit stopRequested();
}

void RecoveryView::onSaveFiles() {
    emit saveFilesRequested();
}

}  // namespace bkf::gui
