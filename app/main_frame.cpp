#include "app/main_frame.h"

#include "app/export_flow.h"
#include "app/open_file_flow.h"
#include "app/recovery_flow.h"
#include "app/save_flow.h"
#include "app/snapshot_flow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <algorithm>

#include "app/about_dialog.h"
#include "app/app_ids.h"
#include "app/folder_setting_dialog.h"
#include "app/lock_keys.h"
#include "app/search_dialog.h"
#include "widgets/document.h"
#include "widgets/hover_button.h"
#include "widgets/recovery_view.h"
#include "widgets/resources_init.h"
#include "widgets/ui_services.h"

namespace bkf::gui {

namespace {

struct CommandInfo {
    int id;
    const char* menuText;
    const char* prompt;  // status-bar prompt and tooltip
    const char* image;   // base name of the toolbar and menu images; null: none
};

const CommandInfo kCommands[] = {
    {ID_RECOVER, "Recover...", "Recover", "recover"},
    {ID_SAVE_SNAPSHOT, "Save Recovery Snapshot...", "Save Recovery ", "save_snapshot"},
    {ID_LOAD_SNAPSHOT, "Load Recovery Snapshot...", "Load Recovery", "load_snapshot"},
    {ID_APP_EXIT, "E&xit", "", nullptr},
    {ID_LIVE_UPDATE, "&Live Update", "LiveUpdate", "live_update"},
    {ID_SETTINGS, "Settings...", "Settings", nullptr},
    {ID_SEARCH_FILES, "Search Files...", "Search Files..", "search"},
    {ID_VERIFY_FILES, "Verify Files...", "Verify the checked files against their checksums", nullptr},
    {ID_EXPORT_ARCHIVE, "Export to Archive...", "Export the checked files into one archive", nullptr},
    {ID_ABOUT, "&About Ormilo Tarvik BKF...", "About..", "about"},
    {ID_HELP, "&Help", "Help..", "help"},
};

const int kToolBarOrder[] = {ID_RECOVER,     ID_SAVE_SNAPSHOT, ID_LOAD_SNAPSHOT, ID_SEARCH_FILES,
                             ID_LIVE_UPDATE, ID_HELP,          ID_ABOUT};

QSettings barSettings() {
    return QSettings(kOrganisation, kProductName);
}

const QString kNormalGeometryKey = QStringLiteral("Window/NormalGeometry");
const QString kMaximizedKey = QStringLiteral("Window/Maximized");
// A kept geometry smaller than this is not worth restoring.
constexpr QSize kSmallestKeptSize(320, 240);

}  // namespace

QRect defaultNormalGeometry(const QRect& available) {
    QRect r(QPoint(0, 0), QSize(available.width() * 4 / 5, available.height() * 4 / 5));
    r.moveCenter(available.center());
    return r;
}

QString withTrailingSeparator(const QString& folder) {
    QString out = folder;
    if (!out.endsWith(QLatin1Char('/')) && !out.endsWith(QLatin1Char('\\'))) out += QLatin1Char('/');
    return out;
}

MainFrame::MainFrame(UiServices& ui, FrameOptions options, QWidget* parent)
    : QMainWindow(parent), ui_(ui), document_(std::make_unique<Document>()) {
    settings_.logPath = std::move(options.logPath);
    initResources();
    setObjectName(QStringLiteral("MainFrame"));
    // The log of an earlier run goes before anything of this run can write one.
    bkf::deleteOldLog(settings_.logPath);

    logo_ = new HoverButton(this);
    setControlId(logo_, IDC_LOGO_BUTTON);
    const QPixmap logo(QStringLiteral(":/images/logo.png"));
    logo_->setImages(logo, logo);
    logo_->setToolTip(kVisitHomePageTip);
    logo_->setCursor(Qt::PointingHandCursor);
    connect(logo_, &HoverButton::clicked, this, &MainFrame::onVisitHomePage);

    view_ = new RecoveryView(*document_, ui_, this);
    setCentralWidget(view_);
    const FlowContext context{*document_, ui_, *view_, settings_};
    flow_ = std::make_unique<RecoveryFlow>(context);
    snapshots_ = std::make_unique<SnapshotFlow>(context);
    saves_ = std::make_unique<SaveFlow>(context);
    exports_ = std::make_unique<ExportFlow>(context);
    opens_ = std::make_unique<OpenFileFlow>(context);
    connect(this, &MainFrame::saveSnapshotRequested, snapshots_.get(), &SnapshotFlow::saveSnapshot);
    connect(this, &MainFrame::loadSnapshotRequested, snapshots_.get(), &SnapshotFlow::loadSnapshot);
    setExitSnapshotSave([this] { snapshots_->saveSnapshotNow(); });

    createStatusBar();
    createActions();
    createMenus();
    createToolBar();
    restoreBarLayout();

    startFolder_ = withTrailingSeparator(options.startFolder.isEmpty() ? QDir::currentPath() : options.startFolder);

    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &MainFrame::onHelp);

    connect(this, &MainFrame::settingsRequested, this, [this] {
        FolderSettingDialog dialog(*this, ui_);
        ui_.runDialog(dialog);
    });
    connect(this, &MainFrame::searchRequested, this, [this] {
        // The dialog's worker reads the catalogue: nothing may change it meanwhile.
        document_->setActivity(Activity::Searching);
        SearchDialog dialog(document_->catalogue(), ui_, this);
        ui_.runDialog(dialog);
        document_->setActivity(Activity::Idle);
    });

    qApp->installEventFilter(this);
    placeLogo();
}

MainFrame::~MainFrame() {
    // The flows end their workers first; then the view, whose models read
    // the document, goes before the document does.
    opens_.reset();
    exports_.reset();
    saves_.reset();
    snapshots_.reset();
    flow_.reset();
    delete view_;
    view_ = nullptr;
}

void MainFrame::createActions() {
    for (const CommandInfo& info : kCommands) {
        auto* action = new QAction(QString::fromUtf8(info.menuText), this);
        action->setData(info.id);
        action->setObjectName(QStringLiteral("command-") + QString::number(info.id));
        if (*info.prompt) {
            action->setStatusTip(QString::fromUtf8(info.prompt));
            action->setToolTip(QString::fromUtf8(info.prompt));
        }
        if (info.image) {
            QIcon icon;
            icon.addPixmap(
                QPixmap(QStringLiteral(":/images/menu_") + QLatin1String(info.image) + QStringLiteral(".png")));
            icon.addPixmap(
                QPixmap(QStringLiteral(":/images/tb_") + QLatin1String(info.image) + QStringLiteral(".png")));
            action->setIcon(icon);
        }
        const int id = info.id;
        connect(action, &QAction::triggered, this, [this, id] { onCommand(id); });
        addAction(action);
    }
}

QAction* MainFrame::commandAction(int id) const {
    for (QAction* action : actions())
        if (action->data().toInt() == id) return action;
    return nullptr;
}

void MainFrame::createMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("Menu Bar"));
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menu-file"));
    file->addAction(commandAction(ID_RECOVER));
    file->addSeparator();
    file->addAction(commandAction(ID_SAVE_SNAPSHOT));
    file->addAction(commandAction(ID_LOAD_SNAPSHOT));
    file->addAction(commandAction(ID_EXPORT_ARCHIVE));
    file->addAction(commandAction(ID_APP_EXIT));
    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("menu-tools"));
    tools->addAction(commandAction(ID_LIVE_UPDATE));
    tools->addAction(commandAction(ID_SETTINGS));
    tools->addAction(commandAction(ID_SEARCH_FILES));
    tools->addAction(commandAction(ID_VERIFY_FILES));
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("menu-help"));
    help->addAction(commandAction(ID_ABOUT));
    help->addAction(commandAction(ID_HELP));
}

void MainFrame::createToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Standard"));
    bar->setObjectName(QStringLiteral("Standard"));
    bar->setIconSize(QSize(42, 35));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (int id : kToolBarOrder) bar->addAction(commandAction(id));
}

void MainFrame::createStatusBar() {
    QStatusBar* bar = statusBar();
    setControlId(bar, 59393, QStringLiteral("statusBar"));
    auto indicator = [bar](const QString& text, const QString& name) {
        auto* label = new QLabel(text, bar);
        label->setObjectName(name);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addPermanentWidget(label);
        return label;
    };
    capsIndicator_ = indicator(QStringLiteral("CAP"), QStringLiteral("indicator-caps"));
    numIndicator_ = indicator(QStringLiteral("NUM"), QStringLiteral("indicator-num"));
    scrollIndicator_ = indicator(QStringLiteral("SCRL"), QStringLiteral("indicator-scroll"));
    // A command's prompt replaces the message while the pointer is on it;
    // afterwards the pane says "Ready" again.
    connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& message) {
        if (message.isEmpty()) bar->showMessage(kReadyText);
    });
    bar->showMessage(kReadyText);
    if (const auto keys = systemLockKeys()) capsOn_ = keys->caps, numOn_ = keys->num, scrollOn_ = keys->scroll;
    updateLockIndicators();
}

void MainFrame::updateLockIndicators() {
    capsIndicator_->setEnabled(capsOn_);
    numIndicator_->setEnabled(numOn_);
    scrollIndicator_->setEnabled(scrollOn_);
}

// Qt tells nothing of the lock keys' state: on Windows it is asked; elsewhere
// it is followed from the presses of the lock keys seen by the program.
bool MainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat() && watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
            if (const auto keys = systemLockKeys()) {
                capsOn_ = keys->caps, numOn_ = keys->num, scrollOn_ = keys->scroll;
            } else {
                if (key->key() == Qt::Key_CapsLock) capsOn_ = !capsOn_;
                if (key->key() == Qt::Key_NumLock) numOn_ = !numOn_;
                if (key->key() == Qt::Key_ScrollLock) scrollOn_ = !scrollOn_;
            }
            updateLockIndicators();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainFrame::saveBarLayout() {
    QSettings settings = barSettings();
    settings.setValue(kBarLayoutKey, saveState());
    settings.sync();
}

bool MainFrame::restoreBarLayout() {
    const QByteArray state = barSettings().value(kBarLayoutKey).toByteArray();
    return !state.isEmpty() && restoreState(state);
}

void MainFrame::saveWindowPlacement() {
    QSettings settings = barSettings();
    settings.setValue(kNormalGeometryKey, normalGeometry());
    settings.setValue(kMaximizedKey, isMaximized());
    settings.sync();
}

bool MainFrame::restoreWindowPlacement() {
    const QSettings settings = barSettings();
    const QRect kept = settings.value(kNormalGeometryKey).toRect();
    const QScreen* keptOn = kept.isValid() ? QGuiApplication::screenAt(kept.center()) : nullptr;
    if (keptOn && kept.width() >= kSmallestKeptSize.width() && kept.height() >= kSmallestKeptSize.height()) {
        // On the screen it was kept on, made to fit should that screen have shrunk.
        const QRect available = keptOn->availableGeometry();
        QRect r(kept.topLeft(), kept.size().boundedTo(available.size()));
        r.moveLeft(std::clamp(r.left(), available.left(), available.right() + 1 - r.width()));
        r.moveTop(std::clamp(r.top(), available.top(), available.bottom() + 1 - r.height()));
        setGeometry(r);
    } else {
        const QScreen* primary = QGuiApplication::primaryScreen();
        if (primary) setGeometry(defaultNormalGeometry(primary->availableGeometry()));
    }
    return settings.value(kMaximizedKey, true).toBool();
}

void MainFrame::placeLogo() {
    logo_->setGeometry(width() - 170, 24, 170, 56);
    logo_->raise();
}

void MainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    placeLogo();
}

void MainFrame::onCommand(int id) {
    switch (id) {
        case ID_RECOVER:
            onRecover();
            break;
        case ID_SAVE_SNAPSHOT:
            onSaveSnapshot();
            break;
        case ID_LOAD_SNAPSHOT:
            onLoadSnapshot();
            break;
        case ID_LIVE_UPDATE:
            onLiveUpdate();
            break;
        case ID_SETTINGS:
            onSettings();
            break;
        case ID_SEARCH_FILES:
            onSearchFiles();
            break;
        case ID_VERIFY_FILES:
            onVerifyFiles();
            break;
        case ID_EXPORT_ARCHIVE:
            exports_->exportArchive();
            break;
        case ID_ABOUT:
            onAbout();
            break;
        case ID_HELP:
            onHelp();
            break;
        case ID_APP_EXIT:
            close();
            break;
        default:
            break;
    }
}

void MainFrame::onRecover() {
    view_->onRecover();
}

void MainFrame::onSaveSnapshot() {
    if (!document_->isOpen()) return;
    if (document_->filling()) {
        ui_.messageBox(this, kStopScanningText, MessageStyle{Buttons::Ok, Icon::Exclamation});
        return;
    }
    emit saveSnapshotRequested();
}

void MainFrame::onLoadSnapshot() {
    if (document_->isOpen()) return;
    emit loadSnapshotRequested();
}

void MainFrame::onSettings() {
    emit settingsRequested();
}

void MainFrame::onSearchFiles() {
    if (!document_->isOpen()) return;
    if (document_->filling()) {
        ui_.messageBox(this, kStopScanningText, MessageStyle{Buttons::Ok, Icon::Exclamation});
        return;
    }
    emit searchRequested();
}

void MainFrame::onVerifyFiles() {
    if (!document_->isOpen()) return;
    if (document_->filling()) {
        ui_.messageBox(this, kStopScanningText, MessageStyle{Buttons::Ok, Icon::Exclamation});
        return;
    }
    saves_->verifyFiles();
}

void MainFrame::onLiveUpdate() {
    ui_.messageBox(this,
                   kProductName + QStringLiteral(" ") + kProductVersion +
                       QStringLiteral(" is installed.\r\nUpdates come with the installer or the package manager "
                                      "that installed it."),
                   MessageStyle{Buttons::Ok, Icon::Information});
}

void MainFrame::onAbout() {
    AboutDialog dialog(this);
    ui_.runDialog(dialog);
}

void MainFrame::onHelp() {
    const QString path = startFolder_ + kHelpFileName;
    if (!QFileInfo::exists(path)) {
        ui_.messageBox(this, kHelpMissingText, MessageStyle{Buttons::Ok, Icon::Exclamation});
        return;
    }
    ui_.openUrl(QUrl::fromLocalFile(path));
}

void MainFrame::onVisitHomePage() {
    ui_.openUrl(QUrl(kHomePage));
}

void MainFrame::saveRecoverySnapshotOnExit() {
    if (exitSnapshotSave_) exitSnapshotSave_();
}

void MainFrame::closeEvent(QCloseEvent* event) {
    // The layout and the window's placement are kept even when the user then decides to stay.
    saveBarLayout();
    saveWindowPlacement();
    if (ui_.messageBox(this, kReallyExitText, MessageStyle{Buttons::YesNo, Icon::Question}) != Answer::Yes) {
        event->ignore();
        return;
    }
    if (document_->isOpen() &&
        ui_.messageBox(this, kSaveSnapshotOnExitText, MessageStyle{Buttons::YesNo, Icon::Question}) == Answer::Yes)
        saveRecoverySnapshotOnExit();
    event->accept();
    // The exit handler ends the process without destructors: the files saved
    // for Open go first.
    opens_->removeFiles();
    if (exitHandler_) exitHandler_();
}

}  // namespace bkf::gui
