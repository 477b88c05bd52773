#include "ui/MainWindow.h"

#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidLoadViberThread.h"
#include "android/AndroidMonitor.h"
#include "android/WifiKeepAlive.h"
#include "app/AppDirs.h"
#include "app/ErrorReport.h"
#include "app/HelpLinks.h"
#include "app/UpdateChecker.h"
#include "app/WebConfig.h"
#include "app/WebLinks.h"
#include "db/BackupPasswords.h"
#include "db/EncryptedBackup.h"
#include "db/IPhoneBackup.h"
#include "db/ViberChat.h"
#include "db/ViberMsg.h"
#include "db/ViberPerson.h"
#include "db/ViberSourceDetector.h"
#include "db/ViberText.h"
#include "ops/IPhoneBackupLoadThread.h"
#include "ui/AboutUsForm.h"
#include "ui/AndroidWIFIForm.h"
#include "ui/AppStyle.h"
#include "ui/BackupPasswordDialog.h"
#include "ui/CommandContext.h"
#include "ui/FileDialog.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/LocalDatabaseLoader.h"
#include "ui/MessageBox.h"
#include "ui/MessageListView.h"
#include "ui/MyTreeView.h"
#include "ui/ProgressForm.h"
#include "ui/TreeItemNodes.h"
#include "ui/VBBubbleViewMgr.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QSplitter>
#include <QStatusBar>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWebEngineView>

#include <algorithm>

namespace {

constexpr int ChatNameLimit = 20;
constexpr int ChatNameCut = 17;
constexpr int UsbTipsDelayMs = 10000;

QString usbTipsText()
{
    QString text =
        QStringLiteral("<b>Android device not found.</b><br/><br/>") +
        QStringLiteral("Want to connect Android device? If yes, please follow these steps:<br/><br/>");
    const QUrl howTo = WebLinks::usbDebuggingPage(WebConfig::current());
    text += howTo.isEmpty()
                ? QStringLiteral("* Enable USB debugging on your Android device.<br/><br/>")
                : QStringLiteral(
                      "* Enable USB debugging on your Android device. <a href=\"%1\">How to</a>?<br/><br/>")
                      .arg(howTo.toString(QUrl::FullyEncoded).toHtmlEscaped());
    return text + QStringLiteral("* ") + HelpLinks::usbSetupHelpText() + QStringLiteral("<br/><br/>") +
           QStringLiteral("* ") + HelpLinks::portwardenHelpText() + QStringLiteral("<br/><br/>");
}

// Wide enough for the longest date and time the system's short format writes, beside
// the direction icon: every month and weekday, two-digit days and hours, morning and
// afternoon.
int dateColumnWidth(const QAbstractItemView* view, const QSize& iconSize)
{
    const QLocale locale = QLocale::system();
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.font = view->font();
    option.fontMetrics = view->fontMetrics();
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.decorationSize = iconSize;
    option.decorationPosition = QStyleOptionViewItem::Left;
    int widest = 0;
    for (int month = 1; month <= 12; ++month) {
        for (int day = 22; day <= 28; ++day) {
            for (const QTime& time : {QTime(10, 58, 58), QTime(22, 58, 58)}) {
                option.text = locale.toString(QDateTime(QDate(2028, month, day), time), QLocale::ShortFormat);
                widest = std::max(
                    widest,
                    view->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), view).width());
            }
        }
    }
    // the sort indicator's room in the header, and a little air
    return widest + view->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, view) + 8;
}

QVBoxLayout* paneLayout(QWidget* pane)
{
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

// A keyword field with its search button, as the tree and the message list have.
QHBoxLayout* searchRow(QWidget* pane, const QString& fieldName, const QString& buttonName, QLineEdit*& field,
                       QPushButton*& button)
{
    auto* row = new QHBoxLayout;
    field = new QLineEdit(pane);
    field->setObjectName(fieldName);
    button = new QPushButton(pane);
    button->setObjectName(buttonName);
    button->setIcon(QIcon(QStringLiteral(":/res/search.png")));
    row->addWidget(field);
    row->addWidget(button);
    return row;
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : MainWindow(Options(), parent) {}

MainWindow::MainWindow(const Options& options, QWidget* parent)
    : QMainWindow(parent), m_options(options), m_treeModel(std::make_unique<ItemModelMain>()),
      m_smsModel(std::make_unique<ItemModelSms>()), m_bubbles(std::make_unique<VBBubbleViewMgr>())
{
    buildWidgets();
    m_treeViewDS->setModel(m_treeModel.get());
    m_treeViewSMS->setModel(m_smsModel.get());
    m_treeViewSMS->setRowHeightFor(m_smsModel->directionIconSize());
    m_treeViewSMS->setColumnWidth(0, dateColumnWidth(m_treeViewSMS, m_smsModel->directionIconSize()));
    m_treeViewSMS->setColumnWidth(1, 50);
    m_treeViewSMS->setColumnWidth(2, 120);
    m_treeViewSMS->header()->setSortIndicator(0, Qt::AscendingOrder);
    m_treeViewSMS->header()->setSortIndicatorShown(true);
    m_treeViewSMS->header()->setSectionsClickable(true);
    m_treeViewSMS->header()->setSectionsMovable(false);

    connect(m_treeViewDS, &MyTreeView::onSelectionChanged, this, &MainWindow::onMainTreeSelected);
    connect(m_treeViewDS, &MyTreeView::createContextMenu, this, &MainWindow::onMainTreeContextMenu);
    connect(m_treeViewSMS, &MessageListView::onSelectionChanged, this, &MainWindow::onSMSItemSelected);
    connect(m_treeViewSMS, &MessageListView::createContextMenu, this, &MainWindow::onSMSContextMenu);
    // Which commands apply depends on how many phones there are, too.
    connect(m_treeModel.get(), &QAbstractItemModel::rowsInserted, this, &MainWindow::updateActions);
    connect(m_treeModel.get(), &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateActions);
    // A WiFi phone's agent ends after its idle time; while the phone is listed it is kept up.
    m_keepAlive = new WifiKeepAlive(this, m_options.wifiKeepAliveInterval);
    m_databaseLoader = new LocalDatabaseLoader(this);
    connect(m_databaseLoader, &LocalDatabaseLoader::loaded, this, &MainWindow::localDatabaseRead);
    connect(m_databaseLoader, &LocalDatabaseLoader::failed, this, &MainWindow::localDatabaseFailed);
    connect(m_treeModel.get(), &QAbstractItemModel::rowsInserted, this, &MainWindow::followWifiPhones);
    connect(m_treeModel.get(), &QAbstractItemModel::rowsRemoved, this, &MainWindow::followWifiPhones);
    connect(m_btnSearchHandle, &QPushButton::pressed, this, &MainWindow::searchCotnact);
    connect(m_txtHandleKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchCotnact);
    connect(m_btnSearchSMS, &QPushButton::pressed, this, &MainWindow::searchMessages);
    connect(m_txtSMSKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchMessages);
    connect(m_treeViewSMS->header(), &QHeaderView::sortIndicatorChanged, this,
            &MainWindow::onSMSSortIndicatorChanged);

    m_bubbles->bind(m_webViewSMS);
    m_bubbles->setPrompts(bubblePrompts());
    setWindowTitle(tr("Velliport"));
    clearMessageView();
    m_lbChatImg->installEventFilter(this);
    buildMenus();

    if (m_options.startDeviceMonitor) {
        m_monitor = new AndroidMonitor(this);
        connect(m_monitor, &AndroidMonitor::deviceConnected, this, &MainWindow::androidDeviceConnected);
        connect(m_monitor, &AndroidMonitor::deviceDisconnected, this, &MainWindow::androidDeviceDisconnected);
        m_monitor->start();
    }
    if (m_options.startUsbTipsTimer)
        QTimer::singleShot(UsbTipsDelayMs, this, &MainWindow::androidUsbTips);

    listLocalDatabases();
    if (m_options.loadVirtualDevices)
        loadVirtualDevices();
    startWebServices();
    if (!m_options.openDatabase.isEmpty())
        QMetaObject::invokeMethod(this, &MainWindow::openAtStart, Qt::QueuedConnection);
}

QList<QCommandLineOption> MainWindow::commandLineOptions()
{
    return {
        {QStringLiteral("open-database"), QStringLiteral("The local database to show at the start."),
         QStringLiteral("name")},
        {QStringLiteral("open-chat"),
         QStringLiteral("The chat of that database to show: the first whose title starts with this text."),
         QStringLiteral("title")},
        {QStringLiteral("no-usb-tips"),
         QStringLiteral("No advice on connecting a phone when none is found.")}};
}

MainWindow::Options MainWindow::optionsFromArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addOptions(commandLineOptions());
    Options options;
    if (!parser.parse(arguments)) {
        qWarning("ignored the command line: %s", qUtf8Printable(parser.errorText()));
        return options;
    }
    options.openDatabase = parser.value(QStringLiteral("open-database"));
    options.openChat = parser.value(QStringLiteral("open-chat"));
    options.startUsbTipsTimer = !parser.isSet(QStringLiteral("no-usb-tips"));
    return options;
}

void MainWindow::openAtStart()
{
    _LocalDbItemNode* database = m_treeModel->findLocalDb(m_options.openDatabase);
    if (!database) {
        qWarning("there is no local database %s to open", qUtf8Printable(m_options.openDatabase));
        return;
    }
    m_treeViewDS->setCurrentIndex(m_treeModel->nodeIndex(database));
    if (database->data)
        openChatAtStart(database);
    else
        m_openAtStartPending = true;
}

void MainWindow::openChatAtStart(_LocalDbItemNode* database)
{
    if (database->childCount() == 0)
        return;
    const AbsTreeItemModel::_ItemNode* shown = database->child(0);
    for (int row = 0; row < database->childCount() && !m_options.openChat.isEmpty(); ++row) {
        const auto* node = static_cast<const _ChatSessionItemNode*>(database->child(row));
        if (node->chat && ViberText::chatTitle(*node->chat).startsWith(m_options.openChat)) {
            shown = node;
            break;
        }
    }
    m_treeViewDS->setCurrentIndex(m_treeModel->nodeIndex(shown));
    qDebug("showing the local database %s at the chat %s", qUtf8Printable(database->text),
           qUtf8Printable(shown->text));
}

void MainWindow::startWebServices()
{
    const WebConfig& config = WebConfig::current();
    if (!config.hasHost())
        return;
    auto* report = new ErrorReport(config, this);
    MessageBox::setErrorReporter(
        [report = QPointer<ErrorReport>(report)](const QString& text) {
            if (report)
                report->send(text);
        },
        report->destination());
    auto* checker = new UpdateChecker(this);
    connect(checker, &UpdateChecker::updateAvailable, this, [this](const QUrl& download) {
        bool yes = false;
        runModal([&] {
            yes = MessageBox::showQuestion(UserText::plain(UpdateChecker::newVersionQuestion()), this);
        });
        if (!yes)
            return;
        AppDirs::openUrl(download);
        close();
    });
    checker->startupChecks();
}

MainWindow::~MainWindow()
{
    // The monitor first: it ends the ADB server and waits for its poll round.
    delete m_monitor.data();
    m_treeViewSMS->setModel(nullptr);
    m_treeViewDS->setModel(nullptr);
}

void MainWindow::buildWidgets()
{
    setObjectName(QStringLiteral("MainWindow"));
    resize(1000, 680);
    setStyleSheet(AppStyle::styleSheet());

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    auto* centralLayout = new QHBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(Qt::Horizontal, central);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setHandleWidth(1);
    m_splitter->setChildrenCollapsible(false);
    centralLayout->addWidget(m_splitter);
    setCentralWidget(central);

    auto* left = new QWidget(m_splitter);
    auto* leftLayout = paneLayout(left);
    leftLayout->addLayout(searchRow(left, QStringLiteral("txtHandleKeyword"),
                                    QStringLiteral("btnSearchHandle"), m_txtHandleKeyword,
                                    m_btnSearchHandle));
    m_treeViewDS = new MyTreeView(left);
    m_treeViewDS->setObjectName(QStringLiteral("treeViewDS"));
    m_treeViewDS->setHeaderHidden(true);
    m_treeViewDS->setContextMenuPolicy(Qt::DefaultContextMenu);
    leftLayout->addWidget(m_treeViewDS);

    auto* middle = new QWidget(m_splitter);
    auto* middleLayout = paneLayout(middle);
    middleLayout->addLayout(searchRow(middle, QStringLiteral("txtSMSKeyword"), QStringLiteral("btnSearchSMS"),
                                      m_txtSMSKeyword, m_btnSearchSMS));
    m_treeViewSMS = new MessageListView(middle);
    m_treeViewSMS->setObjectName(QStringLiteral("treeViewSMS"));
    m_treeViewSMS->setSelectionMode(QAbstractItemView::ExtendedSelection);
    middleLayout->addWidget(m_treeViewSMS);
    m_lbSMSCount = new QLabel(QStringLiteral("Total: 0"), middle);
    m_lbSMSCount->setObjectName(QStringLiteral("lbSMSCount"));
    middleLayout->addWidget(m_lbSMSCount);

    auto* right = new QWidget(m_splitter);
    auto* rightLayout = paneLayout(right);
    rightLayout->setSpacing(0);
    auto* conversation = new QWidget(right);
    conversation->setObjectName(QStringLiteral("lbConversation"));
    auto* conversationLayout = new QHBoxLayout(conversation);
    m_lbChatImg = new QLabel(conversation);
    m_lbChatImg->setObjectName(QStringLiteral("lbChatImg"));
    m_lbChatImg->setFixedSize(32, 32);
    m_lbChatImg->setCursor(Qt::PointingHandCursor);
    m_lbChatImg->hide();
    m_lbChatName = new QLabel(conversation);
    m_lbChatName->setObjectName(QStringLiteral("lbChatName"));
    m_lbChatName->setTextFormat(Qt::PlainText);
    conversationLayout->addWidget(m_lbChatImg);
    conversationLayout->addWidget(m_lbChatName, 1);
    rightLayout->addWidget(conversation);
    m_webViewSMS = new QWebEngineView(right);
    m_webViewSMS->setObjectName(QStringLiteral("webViewSMS"));
    m_webViewSMS->setContextMenuPolicy(Qt::NoContextMenu);
    m_webViewSMS->setAcceptDrops(false);
    rightLayout->addWidget(m_webViewSMS, 1);

    m_splitter->setSizes({200, 450, 350});
    statusBar();
}

VBBubbleViewMgr::Prompts MainWindow::bubblePrompts()
{
    // The boxes a link click shows are modal steps like any other.
    VBBubbleViewMgr::Prompts prompts;
    prompts.information = [this](const QString& text) {
        runModal([&] { MessageBox::showInfo(UserText::plain(text), this); });
    };
    prompts.warning = [this](const QString& text) {
        runModal([&] { MessageBox::showWarning(UserText::plain(text), this); });
    };
    prompts.error = [this](const QString& text) {
        runModal([&] { MessageBox::showError(UserText::plain(text), this); });
    };
    prompts.saveFileName = [this](const QString& caption, const QString& proposedPath) {
        QString chosen;
        runModal([&] { chosen = FileDialog::getSaveFileName(this, caption, proposedPath, QString()); });
        return chosen;
    };
    return prompts;
}

void MainWindow::buildMenus()
{
    m_actions = new MainActions(this);
    m_actions->buildMenuBar(menuBar());
    auto* toolBar = addToolBar(tr("Tools"));
    toolBar->setObjectName(QStringLiteral("mainToolBar"));
    toolBar->setMovable(false);
    toolBar->setIconSize(QSize(32, 32));
    m_actions->buildToolBar(toolBar);
    connectActions();
}

void MainWindow::connectActions()
{
    const std::pair<MainActions::Id, void (MainWindow::*)()> commands[] = {
        {MainActions::BackupToolbar, &MainWindow::miBackupToolbar},
        {MainActions::A2aToolbar, &MainWindow::miA2aToolbar},
        {MainActions::Db2aToolbar, &MainWindow::miDb2aToolbar},
        {MainActions::ExtractMediaToolbar, &MainWindow::miExtractMediaToolbar},
        {MainActions::ExportToolbar, &MainWindow::miExportToolbar},
        {MainActions::ExportCallToolbar, &MainWindow::miExportCallToolbar},
        {MainActions::PrintToolbar, &MainWindow::miPrintToolbar},
        {MainActions::DeleteToolbar, &MainWindow::miDeleteToolbar},
        {MainActions::ImportPC, &MainWindow::miImportPCPort},
        {MainActions::ImportPCToLocalDb, &MainWindow::miImportPCPortToLocalDb},
        {MainActions::OpenDbFolder, &MainWindow::miOpenDBFolder},
        {MainActions::CheckUpdate, &MainWindow::miCheckUpdate},
        {MainActions::ClearCache, &MainWindow::miClearCache},
        {MainActions::ConnectWifi, &MainWindow::miConnectWifi},
        {MainActions::Help, &MainWindow::miHelp},
        {MainActions::Feedback, &MainWindow::miFeedback},
        {MainActions::About, &MainWindow::miAbout},
        {MainActions::BackupAll, &MainWindow::miBackupAll},
        {MainActions::BackupChat, &MainWindow::miBackupChat},
        {MainActions::BackupSel, &MainWindow::miBackup},
        {MainActions::A2aAll, &MainWindow::miA2aAll},
        {MainActions::A2aChat, &MainWindow::miA2aChat},
        {MainActions::A2aSel, &MainWindow::miA2a},
        {MainActions::Db2aAll, &MainWindow::miDb2aAll},
        {MainActions::Db2aChat, &MainWindow::miDb2aChat},
        {MainActions::Db2aSel, &MainWindow::miDb2a},
        {MainActions::ExtractMediaAll, &MainWindow::miExtractMediaAll},
        {MainActions::ExtractMediaChat, &MainWindow::miExtractMediaChat},
        {MainActions::ExtractMediaSel, &MainWindow::miExtractMedia},
        {MainActions::ExportAll, &MainWindow::miExportAll},
        {MainActions::ExportChat, &MainWindow::miExportChat},
        {MainActions::ExportSel, &MainWindow::miExport},
        {MainActions::ExportCallAll, &MainWindow::miExportCallAll},
        {MainActions::ExportCallChat, &MainWindow::miExportCallChat},
        {MainActions::PrintAll, &MainWindow::miPrintAll},
        {MainActions::PrintChat, &MainWindow::miPrintChat},
        {MainActions::PrintSel, &MainWindow::miPrint},
        {MainActions::DeleteAll, &MainWindow::miDeleteAll},
        {MainActions::DeleteChat, &MainWindow::miDeleteChat},
        {MainActions::DeleteSel, &MainWindow::miDelete},
        {MainActions::UnmountDevice, &MainWindow::miUnmoutDevice},
        {MainActions::ViewCacheFiles, &MainWindow::miViewAndroidCacheFiles},
        {MainActions::UndoTransfer, &MainWindow::miUndoLastTransfer},
        {MainActions::SearchHistories, &MainWindow::miSearchHistories},
    };
    // The commands that read no source's records; the others ask for a locked backup's
    // password first and run only once it has opened.
    const QList<MainActions::Id> sourceless = {
        MainActions::ImportPC,
        MainActions::ImportPCToLocalDb,
        MainActions::OpenDbFolder,
        MainActions::CheckUpdate,
        MainActions::ClearCache,
        MainActions::ConnectWifi,
        MainActions::Help,
        MainActions::Feedback,
        MainActions::About,
        MainActions::UnmountDevice,
        MainActions::ViewCacheFiles,
        MainActions::UndoTransfer,
        MainActions::SearchHistories,
    };
    for (const auto& command : commands) {
        QAction* action = m_actions->action(command.first);
        if (sourceless.contains(command.first)) {
            connect(action, &QAction::triggered, this, command.second);
            continue;
        }
        connect(action, &QAction::triggered, this, [this, slot = command.second] {
            if (unlockCurrentSource())
                (this->*slot)();
        });
    }
    connect(m_actions->action(MainActions::Exit), &QAction::triggered, this, &MainWindow::close);
}

void MainWindow::listLocalDatabases()
{
    for (const QString& name : AppDirs::localDatabaseNames())
        m_treeModel->addLocalDb(name);
    m_treeViewDS->expand(m_treeModel->nodeIndex(m_treeModel->rootLocalDb()));
}

void MainWindow::loadVirtualDevices()
{
    const QDir root(QDir(AppDirs::dataFolder()).absoluteFilePath(QStringLiteral("virtual_android")));
    for (const QFileInfo& folder : root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        AndroidDevice device;
        device.serial = AppDirs::md5Hex(folder.absoluteFilePath());
        device.model = folder.fileName();
        _AndroidDeviceItemNode* node = m_treeModel->addAndroidDevice(device);
        node->virtualFolder = folder.absoluteFilePath();
        // An encrypted backup is read once the user asks for it and gives its password:
        // nothing is asked, nor derived for seconds, at start-up.
        if (ViberSourceDetector::detect(node->virtualFolder) == ViberSourceDetector::Generation::IOSBackup &&
            EncryptedBackup::isEncrypted(
                QDir(node->virtualFolder).filePath(QLatin1String(IPhoneBackup::PropertiesFile)))) {
            node->locked = true;
            continue;
        }
        try {
            loadVirtualDevice(node, folder.absoluteFilePath());
            m_treeModel->loadChats(node);
        } catch (const std::exception& e) {
            MessageBox::showError(UserText::plain(QString::fromUtf8(e.what())));
        }
    }
}

void MainWindow::loadVirtualDevice(_AndroidDeviceItemNode* node, const QString& folder)
{
    // A folder of an iPhone backup (or a link to one) is read where it lies.
    if (ViberSourceDetector::detect(folder) == ViberSourceDetector::Generation::IOSBackup) {
        node->data = ViberSourceDetector::iosBackupReader(folder)->load();
        return;
    }
    const QString messages = QStringLiteral("ab-extract/apps/com.viber.voip/db/viber_messages");
    if (!QFileInfo(QDir(folder).filePath(messages)).isFile()) {
        const QString contacts =
            QFileInfo(QDir(folder).filePath(QLatin1String(AppDirs::LocalDatabaseFile))).isFile()
                ? QString::fromLatin1(AppDirs::LocalDatabaseFile)
                : QStringLiteral("Documents/Contacts.data");
        node->data = ViberSourceDetector::iosReader(folder, contacts)->load();
        return;
    }
    // SQLite may write beside a database it opens (a journal replayed, a WAL folded in),
    // so the databases of a folder the user keeps are read through a private copy that
    // goes when the load is done. The media stay where they are and the records point
    // at them in the user's folder, so they outlive the copy. Which storage root the
    // phone had is unknown; Android's usual one names the files for a transfer.
    QTemporaryDir copy;
    const QString dbFolder = QStringLiteral("ab-extract/apps/com.viber.voip/db");
    QDir().mkpath(QDir(copy.path()).filePath(dbFolder));
    const QDir source(QDir(folder).filePath(dbFolder));
    for (const QFileInfo& file : source.entryInfoList(QDir::Files))
        QFile::copy(file.absoluteFilePath(),
                    QDir(copy.path()).filePath(dbFolder + QLatin1Char('/') + file.fileName()));
    node->data =
        ViberSourceDetector::androidReader(QStringLiteral("/storage/emulated/0"), copy.path(), folder)
            ->load();
}

bool MainWindow::unlockBackup(_AndroidDeviceItemNode* node)
{
    if (!node->locked)
        return true;
    const QString folder = node->virtualFolder;
    const QString name = node->text;
    bool unlocked = false;
    runModal([&] {
        for (;;) {
            if (!BackupPasswords::password(folder)) {
                std::optional<SecretBytes> password = BackupPasswordDialog::ask(name, this);
                if (!password)
                    return;
                BackupPasswords::remember(folder, std::move(*password));
            }
            ProgressForm form(tr("IDS_IPHONE_BACKUP_READING"), this);
            IPhoneBackupLoadThread worker(folder, form.channel());
            const bool ok = form.run(worker);
            if (worker.wrongPassword()) {
                // The backup has forgotten it; the next round asks again.
                MessageBox::showWarning(UserText::plain(tr("IDS_IPHONE_BACKUP_WRONG_PASSWORD")), this);
                continue;
            }
            if (!ok || !worker.dataSet()) {
                // Not known to be right: a later try asks again rather than derive with it.
                BackupPasswords::forget(folder);
                return;
            }
            node->data = worker.dataSet();
            node->locked = false;
            unlocked = true;
            return;
        }
    });
    if (!unlocked)
        return false;
    m_treeModel->loadChats(node);
    m_treeModel->refreshNode(node);
    if (m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex()) == node)
        showMessages(node->data, nullptr);
    updateActions();
    return true;
}

bool MainWindow::unlockCurrentSource()
{
    _AbsDBItemNode* source = currentSourceNode();
    if (!source || source->type != AbsTreeItemModel::NodeAndroidDevice)
        return true;
    return unlockBackup(static_cast<_AndroidDeviceItemNode*>(source));
}

ViberDataSetPtr MainWindow::currentSourceData() const
{
    AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    if (node && node->type == AbsTreeItemModel::NodeChat)
        node = node->parent;
    if (!node ||
        (node->type != AbsTreeItemModel::NodeAndroidDevice && node->type != AbsTreeItemModel::NodeLocalDb))
        return {};
    return static_cast<_AbsDBItemNode*>(node)->data;
}

QList<_ViberMsg*> MainWindow::selectedMessages() const
{
    QList<_ViberMsg*> messages;
    const QModelIndexList rows = m_treeViewSMS->selectionModel()->selectedRows(0);
    for (const QModelIndex& index : rows) {
        if (auto* msg = m_smsModel->messageAt(index.row()))
            messages.append(msg);
    }
    return messages;
}

void MainWindow::selectNode(const QModelIndex& index)
{
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        m_treeViewDS->expand(up);
    QMetaObject::invokeMethod(
        m_treeViewDS,
        [view = QPointer<MyTreeView>(m_treeViewDS), index = QPersistentModelIndex(index)] {
            if (view && index.isValid())
                view->setCurrentIndex(index);
        },
        Qt::QueuedConnection);
}

void MainWindow::clearMessageView()
{
    m_currentChat = nullptr;
    m_smsModel->clear();
    m_bubbles->showBubble({});
    m_lbSMSCount->setText(tr("Messages: %1").arg(0));
    m_lbChatImg->hide();
    m_lbChatName->clear();
}

void MainWindow::sortMessages(QList<_ViberMsg*>& messages) const
{
    ItemModelSms::sortByTime(messages, m_treeViewSMS->header()->sortIndicatorOrder());
}

void MainWindow::showMessages(const ViberDataSetPtr& data, _ViberChat* chat)
{
    m_currentChat = chat;
    QList<_ViberMsg*> messages;
    if (chat) {
        messages = chat->messages;
        sortMessages(messages);
    } else if (data && !data->oldestFirst.isEmpty()) {
        // Sorted when it was read, off this thread; newest first, messages of the same
        // time come in the reverse of their stored order.
        messages = data->oldestFirst;
        if (m_treeViewSMS->header()->sortIndicatorOrder() == Qt::DescendingOrder)
            std::reverse(messages.begin(), messages.end());
    } else if (data) {
        messages = data->allMessages();
        sortMessages(messages);
    }
    const QHash<qint64, QDateTime> gone = data ? data->goneFromSource : QHash<qint64, QDateTime>();
    m_smsModel->setMessages(messages, gone);
    m_bubbles->showBubble(messages, gone);
    m_lbSMSCount->setText(tr("Messages: %1").arg(messages.size()));
    if (chat) {
        showChatPicture(*chat);
        m_lbChatName->setText(headerChatName(ViberText::chatTitle(*chat)));
    } else {
        m_lbChatImg->hide();
        m_lbChatName->setText(QStringLiteral("All"));
    }
}

void MainWindow::showChatPicture(const _ViberChat& chat)
{
    if (chat.participants.size() != 1)
        return;
    const QImage photo = ItemModelMain::loadPhoto(chat.participants.cbegin().value()->photoPath);
    if (photo.isNull()) {
        m_lbChatImg->hide();
        return;
    }
    m_lbChatImg->setPixmap(QPixmap::fromImage(photo.scaledToWidth(32, Qt::SmoothTransformation)));
    m_lbChatImg->show();
}

QString MainWindow::headerChatName(const QString& name)
{
    // Count and cut by user-perceived characters, so that an emoji sequence or a
    // surrogate pair is never split.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, name);
    int characters = 0;
    int cutAt = -1;
    while (finder.toNextBoundary() != -1) {
        ++characters;
        if (characters == ChatNameCut)
            cutAt = finder.position();
    }
    if (characters <= ChatNameLimit)
        return name;
    return name.left(cutAt) + QStringLiteral("...");
}

void MainWindow::onMainTreeSelected(const QItemSelection& selected, const QItemSelection&)
{
    updateActions();
    if (selected.isEmpty() || selected.indexes().isEmpty())
        return;
    AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(selected.indexes().first());
    if (!node) {
        clearMessageView();
        return;
    }
    switch (node->type) {
    case AbsTreeItemModel::NodeLocalDb: {
        auto* dbNode = static_cast<_LocalDbItemNode*>(node);
        clearMessageView();
        if (!dbNode->data) {
            // Read in the background: a history of millions of messages takes seconds.
            m_lbChatName->setText(tr("IDS_READING_DATABASE_%1").arg(dbNode->text));
            m_databaseLoader->load(dbNode->text);
            break;
        }
        showMessages(dbNode->data, nullptr);
        break;
    }
    case AbsTreeItemModel::NodeChat: {
        auto* chatNode = static_cast<_ChatSessionItemNode*>(node);
        showMessages(static_cast<_AbsDBItemNode*>(chatNode->parent)->data, chatNode->chat);
        break;
    }
    case AbsTreeItemModel::NodeAndroidDevice: {
        auto* device = static_cast<_AndroidDeviceItemNode*>(node);
        if (device->locked) {
            // unlockBackup shows the records once they are read.
            clearMessageView();
            unlockBackup(device);
            break;
        }
        showMessages(device->data, nullptr);
        break;
    }
    default:
        clearMessageView();
    }
}

void MainWindow::loadLocalDatabase(_LocalDbItemNode* node)
{
    node->data = LocalDatabaseLoader::loadNow(node->text);
    m_treeModel->loadChats(node);
    m_treeViewDS->expand(m_treeModel->nodeIndex(node));
}

bool MainWindow::isReadingDatabases() const
{
    return m_databaseLoader->isBusy();
}

void MainWindow::localDatabaseRead(const QString& name, const ViberDataSetPtr& data)
{
    _LocalDbItemNode* node = m_treeModel->findLocalDb(name);
    // Gone from the tree, or read again by a command meanwhile.
    if (!node || node->data)
        return;
    node->data = data;
    m_treeModel->loadChats(node);
    m_treeViewDS->expand(m_treeModel->nodeIndex(node));
    if (m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex()) == node)
        showMessages(node->data, nullptr);
    updateActions();
    if (m_openAtStartPending && name == m_options.openDatabase) {
        m_openAtStartPending = false;
        openChatAtStart(node);
    }
}

void MainWindow::localDatabaseFailed(const QString& name, const QString& error)
{
    if (m_openAtStartPending && name == m_options.openDatabase)
        m_openAtStartPending = false;
    const _LocalDbItemNode* node = m_treeModel->findLocalDb(name);
    if (!node || m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex()) != node)
        return;
    m_lbChatName->clear();
    runModal([&] { MessageBox::showError(UserText::plain(error)); });
}

void MainWindow::onMainTreeContextMenu()
{
    const std::unique_ptr<QMenu> menu(createTreeContextMenu());
    if (menu)
        runModal([&] { menu->exec(QCursor::pos()); });
}

void MainWindow::onSMSContextMenu()
{
    const std::unique_ptr<QMenu> menu(createMessageContextMenu());
    if (menu)
        runModal([&] { menu->exec(QCursor::pos()); });
}

QMenu* MainWindow::createTreeContextMenu()
{
    const AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    return m_actions->treeContextMenu(nodeKind(node), int(transferTargets(node).size()), this);
}

QMenu* MainWindow::createMessageContextMenu()
{
    const AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    return m_actions->messageContextMenu(nodeKind(node), int(transferTargets(node).size()),
                                         int(m_treeViewSMS->selectionModel()->selectedRows().size()), this);
}

MainActions::Node MainWindow::nodeKind(const AbsTreeItemModel::_ItemNode* node) const
{
    if (!node)
        return MainActions::Node::None;
    switch (node->type) {
    case AbsTreeItemModel::NodeRootLocalDb:
        return MainActions::Node::LocalDbRoot;
    case AbsTreeItemModel::NodeAndroidDevice:
        return MainActions::Node::Device;
    case AbsTreeItemModel::NodeLocalDb:
        return MainActions::Node::LocalDb;
    case AbsTreeItemModel::NodeChat:
        return node->parent && node->parent->type == AbsTreeItemModel::NodeAndroidDevice
                   ? MainActions::Node::DeviceChat
                   : MainActions::Node::LocalDbChat;
    default:
        return MainActions::Node::None;
    }
}

void MainWindow::updateActions()
{
    const AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    MainActions::Node source = nodeKind(node);
    // A local database still being read offers no command yet.
    if (source == MainActions::Node::LocalDbRoot ||
        (source == MainActions::Node::LocalDb && !static_cast<const _LocalDbItemNode*>(node)->data))
        source = MainActions::Node::None;
    m_actions->update(source, int(transferTargets(node).size()));
    // A folder read as a device was never written to: there is no transfer to undo.
    const _AbsDBItemNode* current = currentSourceNode();
    if (current && current->type == AbsTreeItemModel::NodeAndroidDevice &&
        static_cast<const _AndroidDeviceItemNode*>(current)->isVirtual())
        m_actions->action(MainActions::UndoTransfer)->setEnabled(false);
}

void MainWindow::onSMSItemSelected(const QItemSelection& selected, const QItemSelection&)
{
    if (selected.isEmpty() || selected.indexes().isEmpty())
        return;
    const QModelIndex first = selected.indexes().first();
    if (m_smsModel->messageAt(first.row()))
        m_bubbles->scrollToPos(first.row());
}

void MainWindow::onSMSSortIndicatorChanged(int column, Qt::SortOrder)
{
    if (column != 0) {
        m_treeViewSMS->header()->setSortIndicator(0, Qt::AscendingOrder);
        return;
    }
    QList<_ViberMsg*> messages = m_smsModel->messages();
    sortMessages(messages);
    const QHash<qint64, QDateTime> gone = m_smsModel->goneMessages();
    m_smsModel->setMessages(messages, gone);
    m_bubbles->showBubble(messages, gone);
}

void MainWindow::searchMessages()
{
    const QString keyword = m_txtSMSKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const QList<_ViberMsg*>& messages = m_smsModel->messages();
    if (messages.isEmpty()) {
        runModal([&] { MessageBox::showInfo(UserText::plain(tr("IDS_CAN_NOT_FOUND_AND_MESSAGES"))); });
        return;
    }
    const QModelIndex current = m_treeViewSMS->currentIndex();
    const int start = current.isValid() ? current.row() + 1 : 0;
    const int count = int(messages.size());
    for (int step = 0; step < count; ++step) {
        const int row = (start + step) % count;
        if (ViberText::summaryText(*messages[row]).contains(keyword, Qt::CaseInsensitive)) {
            m_treeViewSMS->setCurrentIndex(m_smsModel->indexOfRow(row));
            return;
        }
    }
    runModal(
        [&] { MessageBox::showInfo(UserText::plain(tr("IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0").arg(keyword))); });
}

void MainWindow::searchCotnact()
{
    AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    if (!node)
        return;
    AbsTreeItemModel::_ItemNode* source = nullptr;
    int start = 0;
    if (node->type == AbsTreeItemModel::NodeChat) {
        source = node->parent;
        start = source->indexOf(node) + 1;
    } else if (node->type == AbsTreeItemModel::NodeAndroidDevice ||
               node->type == AbsTreeItemModel::NodeLocalDb) {
        source = node;
    } else {
        return;
    }
    const QString keyword = m_txtHandleKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const int count = source->childCount();
    for (int step = 0; step < count; ++step) {
        const AbsTreeItemModel::_ItemNode* chat = source->child((start + step) % count);
        if (chat->text.contains(keyword, Qt::CaseInsensitive)) {
            m_treeViewDS->setCurrentIndex(m_treeModel->nodeIndex(chat));
            return;
        }
    }
    runModal([&] {
        MessageBox::showInfo(UserText::plain(tr("IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0").arg(keyword)));
    });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lbChatImg && event->type() == QEvent::MouseButtonPress && m_currentChat &&
        m_currentChat->participants.size() == 1) {
        const QString photo = m_currentChat->participants.cbegin().value()->photoPath;
        if (!photo.isEmpty() && QFileInfo(photo).isFile())
            AppDirs::shellOpen(photo);
    }
    return QMainWindow::eventFilter(watched, event);
}

_AndroidDeviceItemNode* MainWindow::findDeviceNode(const QString& deviceId) const
{
    for (_AndroidDeviceItemNode* node : m_treeModel->deviceNodes()) {
        if (node->device.deviceId() == deviceId)
            return node;
    }
    return nullptr;
}

QList<const _AndroidDeviceItemNode*>
MainWindow::transferTargets(const AbsTreeItemModel::_ItemNode* node) const
{
    if (node && node->type == AbsTreeItemModel::NodeChat)
        node = node->parent;
    // Devices are told apart by their id: a phone on WiFi has no serial.
    const QString sourceId = node && node->type == AbsTreeItemModel::NodeAndroidDevice
                                 ? static_cast<const _AndroidDeviceItemNode*>(node)->device.deviceId()
                                 : QString();
    QList<const _AndroidDeviceItemNode*> targets;
    for (const _AndroidDeviceItemNode* device : m_treeModel->deviceNodes()) {
        if (!device->isVirtual() && device->device.deviceId() != sourceId)
            targets.append(device);
    }
    return targets;
}

void MainWindow::removeDeviceNode(_AndroidDeviceItemNode* node)
{
    m_treeViewDS->setCurrentIndex(QModelIndex());
    clearMessageView();
    m_treeModel->removeNode(node);
}

void MainWindow::followWifiPhones()
{
    QHash<QString, simpleprotocol::SessionEndpoint> phones;
    for (const _AndroidDeviceItemNode* node : m_treeModel->deviceNodes()) {
        if (node->device.viaWifi)
            phones.insert(node->device.deviceId(), node->device.endpoint());
    }
    m_keepAlive->follow(phones);
}

void MainWindow::offerWifiReconnect(const AndroidDevice& device)
{
    if (!device.viaWifi)
        return;
    // Asked once the command has ended, so that the new connection replaces no phone a
    // command still holds.
    deferOrRun([this, device] {
        // Cancelled, or failed for another reason: a new connection would not help.
        constexpr int CheckWaitMs = 3000;
        if (simpleprotocol::wifiAgentAnswers(device.endpoint(), CheckWaitMs))
            return;
        bool reconnect = false;
        runModal([&] {
            reconnect = MessageBox::showQuestion(
                UserText::plain(tr("IDS_WIFI_RECONNECT_%1").arg(device.displayName())), this);
        });
        if (reconnect)
            connectWifi(device.host, device.port);
    });
}

void MainWindow::runModal(const std::function<void()>& step)
{
    if (m_closeRequested)
        return;
    enterModal();
    const auto leave = qScopeGuard([this] { leaveModal(); });
    step();
}

void MainWindow::enterModal()
{
    ++m_modalDepth;
}

void MainWindow::leaveModal()
{
    if (--m_modalDepth > 0)
        return;
    if (m_closeRequested) {
        m_deferredEvents.clear();
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    // Events are taken one at a time: handling one may run another modal step.
    while (m_modalDepth == 0 && !m_deferredEvents.isEmpty())
        m_deferredEvents.takeFirst()();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Also set when the window closes at once: a phone event already queued behind the
    // close must not open a progress form, whose event loop would swallow the quit.
    m_closeRequested = true;
    if (m_modalDepth == 0) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    if (QWidget* modal = QApplication::activeModalWidget())
        modal->close();
}

void MainWindow::deferOrRun(std::function<void()> event)
{
    if (m_modalDepth > 0)
        m_deferredEvents.append(std::move(event));
    else
        event();
}

void MainWindow::androidDeviceConnected(const AdbDevice& device)
{
    deferOrRun([this, device] {
        // A phone that is not ready would fail the connection with texts about the agent;
        // its state says what to do, and the monitor reports it again once that changes.
        if (!device.isOnline()) {
            if (device.readiness() != AdbDevice::Readiness::Passing)
                runModal([&] { MessageBox::showWarning(UserText::plain(device.notReadyText())); });
            return;
        }
        AndroidDevice connected;
        bool ok = false;
        runModal([&] {
            ProgressForm form(QString(), this);
            AndroidConnectWithUSBThread worker(device.serial, form.channel());
            ok = form.run(worker);
            if (ok)
                connected = worker.device();
        });
        if (ok)
            androidDeviceLoad(connected);
    });
}

void MainWindow::androidDeviceDisconnected(const QString& serial)
{
    // The node goes once the running command has ended; the command learns now, so that
    // it takes no further step with the phone.
    for (CommandContext* command : std::as_const(m_commands))
        command->deviceRemoved(serial);
    deferOrRun([this, serial] {
        for (_AndroidDeviceItemNode* node : m_treeModel->deviceNodes()) {
            if (!node->device.viaWifi && node->device.serial == serial) {
                removeDeviceNode(node);
                return;
            }
        }
    });
}

void MainWindow::androidDeviceLoad(const AndroidDevice& device)
{
    runModal([&] {
        if (device.storage.isEmpty() && !MessageBox::showQuestion(UserText::plain(
                                            tr("IDS_ANDROID_NO_EXTERNAL_STORAGE_CANNOT_READ_MEDIA"))))
            return;
        ProgressForm form(QString(), this);
        AndroidLoadViberThread worker(device, true, form.channel());
        if (!form.run(worker))
            return;
        if (_AndroidDeviceItemNode* old = findDeviceNode(device.deviceId()))
            removeDeviceNode(old);
        AndroidDevice loaded = device;
        loaded.loadedAt = QDateTime::currentDateTime();
        _AndroidDeviceItemNode* node = m_treeModel->addAndroidDevice(loaded);
        node->data = worker.dataSet();
        m_treeModel->loadChats(node);
        selectNode(m_treeModel->nodeIndex(node));
        if (worker.failedAttachments() > 0)
            MessageBox::showInfo(
                UserText::plain(QStringLiteral("Loaded successfully and %1 attachments skipped.")
                                    .arg(worker.failedAttachments())));
    });
}

void MainWindow::miConnectWifi()
{
    connectWifi(QString(), AndroidDevice::DefaultControlPort);
}

void MainWindow::connectWifi(const QString& host, int controlPort)
{
    AndroidDevice device;
    bool accepted = false;
    runModal([&] {
        AndroidWIFIForm form(this);
        form.setControlPort(controlPort);
        if (auto* address = form.findChild<QLineEdit*>(QStringLiteral("txtWifiSocket")))
            address->setText(host);
        QList<QPair<QString, QString>> usbPhones;
        for (const _AndroidDeviceItemNode* node : m_treeModel->deviceNodes()) {
            if (!node->device.viaWifi && !node->isVirtual())
                usbPhones.append({node->device.serial, node->device.displayName()});
        }
        form.setUsbPhones(usbPhones);
        accepted = form.exec() == QDialog::Accepted;
        if (accepted)
            device = form.device();
    });
    if (!accepted)
        return;
    if (_AndroidDeviceItemNode* old = findDeviceNode(device.deviceId()))
        removeDeviceNode(old);
    androidDeviceLoad(device);
}

void MainWindow::androidUsbTips()
{
    if (!m_treeModel->deviceNodes().isEmpty() || m_modalDepth > 0)
        return;
    runModal([&] { MessageBox::showInfo(UserText::rich(usbTipsText())); });
}

void MainWindow::miUnmoutDevice()
{
    AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    if (node && node->type == AbsTreeItemModel::NodeAndroidDevice)
        removeDeviceNode(static_cast<_AndroidDeviceItemNode*>(node));
}

void MainWindow::miViewAndroidCacheFiles()
{
    AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    if (!node || node->type != AbsTreeItemModel::NodeAndroidDevice)
        return;
    // A folder read as a device has no cache: what it was read from is its own folder.
    const auto* device = static_cast<_AndroidDeviceItemNode*>(node);
    AppDirs::openInExplorer(device->isVirtual() ? device->virtualFolder : device->device.cacheDir());
}

void MainWindow::miClearCache()
{
    AppDirs::clearDeviceCache();
    // Whatever is still there could not be removed: a file another program holds open,
    // or a folder the user may not write.
    const QString cache = QDir(AppDirs::dataFolder()).absoluteFilePath(QStringLiteral("android_cache"));
    constexpr int NamedFiles = 10;
    QStringList left;
    int leftCount = 0;
    QDirIterator it(cache, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        if (entry.isDir() && !entry.isSymLink())
            continue; // a folder stays because of what is in it, which is named
        if (++leftCount <= NamedFiles)
            left.append(QDir::toNativeSeparators(entry.filePath()));
    }
    if (QFileInfo::exists(cache) && leftCount == 0)
        left.append(QDir::toNativeSeparators(cache));
    if (leftCount > NamedFiles)
        left.append(tr("IDS_AND_%1_MORE").arg(leftCount - NamedFiles));
    runModal([&] {
        if (left.isEmpty())
            MessageBox::showInfo(UserText::plain(tr("IDS_SUC_CLEAR_CACHE")), this);
        else
            MessageBox::showWarning(
                UserText::plain(tr("IDS_CLEAR_CACHE_FAILED_%1").arg(left.join(QLatin1Char('\n')))), this);
    });
}

void MainWindow::miOpenDBFolder()
{
    AppDirs::openInExplorer(AppDirs::localDatabasesFolder());
}

void MainWindow::miDeleteAll()
{
    AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    if (node && node->type == AbsTreeItemModel::NodeChat)
        node = node->parent;
    if (!node || node->type != AbsTreeItemModel::NodeLocalDb)
        return;
    bool confirmed = false;
    runModal(
        [&] { confirmed = MessageBox::showQuestion(UserText::plain(tr("IDS_CONFIRM_DEL_THIS_LOCALDB"))); });
    if (!confirmed)
        return;
    const QString name = node->text;
    m_treeViewDS->setCurrentIndex(QModelIndex());
    clearMessageView();
    if (!AppDirs::removeLocalDatabase(name)) {
        runModal([&] {
            MessageBox::showError(
                UserText::plain(tr("IDS_DEL_LOCALDB_FAILED")
                                    .arg(QDir::toNativeSeparators(AppDirs::localDatabasePath(name)))));
        });
        return;
    }
    m_treeModel->removeNode(node);
    runModal([&] { MessageBox::showInfo(UserText::plain(tr("IDS_DEL_LOCALDB_SUC"))); });
}

void MainWindow::miAbout()
{
    runModal([&] {
        AboutUsForm about(this);
        about.exec();
    });
}
