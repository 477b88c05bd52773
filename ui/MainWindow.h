#pragma once

#include "android/AdbDevice.h"
#include "android/AndroidDevice.h"
#include "db/ViberDataSet.h"
#include "ops/ExportProvenance.h"
#include "ui/AbsTreeItemModel.h"
#include "ui/MainActions.h"
#include "ui/VBBubbleViewMgr.h"

#include <QCommandLineOption>
#include <QItemSelection>
#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class AndroidMonitor;
class CommandContext;
class ItemModelMain;
class ItemModelSms;
class WifiKeepAlive;
class MessageListView;
class MyTreeView;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSplitter;
class QUrl;
class QWebEngineView;
struct _ViberCall;
struct _ViberChat;
struct _ViberMsg;
class _AbsDBItemNode;
class _AndroidDeviceItemNode;
class _LocalDbItemNode;

// The program's only main window: data sources in a tree, the selected source's or
// chat's messages in a sortable list and as chat bubbles. Long work runs on workers
// behind a modal progress form; device events that arrive while one runs wait until
// it has ended, so no data set a worker reads goes away under it. A command counts as
// one such step from its first question to its last worker, and holds what it uses
// (CommandContext): a phone that goes meanwhile stops it before its next step.
class LocalDatabaseLoader;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // What the window starts by itself. Tests turn these off: the device monitor ends
    // the ADB server when it goes, which a test must never do to a real one.
    struct Options
    {
        bool startDeviceMonitor = true;
        bool startUsbTipsTimer = true;
        bool loadVirtualDevices = true;
        // A local database to show once the window is up, at its first chat whose title
        // starts with openChat (its first chat without one).
        QString openDatabase;
        QString openChat;
        // How often a phone listed over WiFi is sent the heartbeat that keeps its agent up.
        std::chrono::milliseconds wifiKeepAliveInterval{35000};
    };
    // The options the command line asks for: "--open-database NAME", "--open-chat
    // TITLE" and "--no-usb-tips"; anything else is ignored.
    static Options optionsFromArguments(const QStringList& arguments);
    // Those options, for the program's --help and its manual page.
    static QList<QCommandLineOption> commandLineOptions();

    explicit MainWindow(QWidget* parent = nullptr);
    explicit MainWindow(const Options& options, QWidget* parent = nullptr);
    ~MainWindow() override;

    ItemModelMain* treeModel() const { return m_treeModel.get(); }
    ItemModelSms* messageModel() const { return m_smsModel.get(); }
    WifiKeepAlive* wifiKeepAlive() const { return m_keepAlive; }
    VBBubbleViewMgr* bubbleView() const { return m_bubbles.get(); }
    _ViberChat* currentChat() const { return m_currentChat; }

    // The data set of the current source: a device or local-database node's own, a chat
    // node's parent's, empty otherwise.
    ViberDataSetPtr currentSourceData() const;
    QList<_ViberMsg*> selectedMessages() const;
    void selectNode(const QModelIndex& index);
    void clearMessageView();
    void showMessages(const ViberDataSetPtr& data, _ViberChat* chat);
    // Whether a local database is being read in the background.
    bool isReadingDatabases() const;

    MainActions* actions() const { return m_actions; }
    // The context menus for the tree's current node and for the message list, with the
    // enabled states of this moment; the caller owns them. Null where there is no menu.
    QMenu* createTreeContextMenu();
    QMenu* createMessageContextMenu();

    // The chat name as the header shows it: cut to 17 characters and "..." when longer
    // than 20, at whole characters.
    static QString headerChatName(const QString& name);

public slots:
    void onMainTreeSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void onMainTreeContextMenu();
    void onSMSContextMenu();
    void updateActions();
    void onSMSItemSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void onSMSSortIndicatorChanged(int column, Qt::SortOrder order);
    void searchMessages();
    void searchCotnact();
    void miOpenDBFolder();
    void miClearCache();
    void miDeleteAll();
    void miUnmoutDevice();
    void androidDeviceConnected(const AdbDevice& device);
    void androidDeviceDisconnected(const QString& serial);
    void androidDeviceLoad(const AndroidDevice& device);
    void miConnectWifi();
    void androidUsbTips();
    void miViewAndroidCacheFiles();
    void miAbout();

    void miBackupToolbar();
    void miBackupAll();
    void miBackupChat();
    void miBackup();
    void miA2aToolbar();
    void miA2aAll();
    void miA2aChat();
    void miA2a();
    void miUndoLastTransfer();
    void miSearchHistories();
    void miDb2aToolbar();
    void miDb2aAll();
    void miDb2aChat();
    void miDb2a();
    void miExtractMediaToolbar();
    void miExtractMediaAll();
    void miExtractMediaChat();
    void miExtractMedia();
    void miExportToolbar();
    void miExportAll();
    void miExportChat();
    void miExport();
    void miExportCallToolbar();
    void miExportCallAll();
    void miExportCallChat();
    void miPrintToolbar();
    void miPrintAll();
    void miPrintChat();
    void miPrint();
    void miDeleteToolbar();
    void miDeleteChat();
    void miDelete();
    void miImportPCPort();
    void miImportPCPortToLocalDb();
    void miCheckUpdate();
    void miHelp();
    void miFeedback();
    void miHome();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // While a modal step runs, closing first ends that step (a worker is cancelled, a
    // box is closed); the window closes once it has returned.
    void closeEvent(QCloseEvent* event) override;

private:
    // Which messages a command takes: the selected rows, the list's current contents, or
    // the whole data set of the current source.
    enum class Selection { Sel, Chat, All };

    void buildWidgets();
    void buildMenus();
    VBBubbleViewMgr::Prompts bubblePrompts();
    void openAtStart();
    void openChatAtStart(_LocalDbItemNode* database);
    void listLocalDatabases();
    void loadVirtualDevices();
    void loadLocalDatabase(_LocalDbItemNode* node);
    // A local database read in the background: its chats fill in its row, and the
    // messages show when it is still selected.
    void localDatabaseRead(const QString& name, const ViberDataSetPtr& data);
    void localDatabaseFailed(const QString& name, const QString& error);
    void loadVirtualDevice(_AndroidDeviceItemNode* node, const QString& folder);
    // Asks for the password of a locked backup (again after a wrong one) and reads it on
    // a worker; true once the node holds its records, false when the user cancelled or
    // the backup could not be read (the user has been told).
    bool unlockBackup(_AndroidDeviceItemNode* node);
    // The current source, unlocked first when it is a locked backup; false when it stays
    // locked.
    bool unlockCurrentSource();
    void sortMessages(QList<_ViberMsg*>& messages) const;
    _AndroidDeviceItemNode* findDeviceNode(const QString& deviceId) const;
    // The phones a transfer from this tree node could write to: every phone that is not
    // the node's own device and no folder read as a device.
    QList<const _AndroidDeviceItemNode*> transferTargets(const AbsTreeItemModel::_ItemNode* node) const;
    void removeDeviceNode(_AndroidDeviceItemNode* node);
    // The heartbeat follows the phones in the tree that are reached over WiFi.
    void followWifiPhones();
    // After a step with a WiFi phone failed: when its agent no longer answers, offers the
    // WiFi dialog at the phone's address to connect it again.
    void offerWifiReconnect(const AndroidDevice& device);
    // The WiFi dialog, at a phone's address when one is given.
    void connectWifi(const QString& host, int controlPort);
    void showChatPicture(const _ViberChat& chat);
    // Runs a step that shows a modal form; device events that arrive meanwhile are
    // handled once the outermost such step has ended.
    void runModal(const std::function<void()>& step);
    void enterModal();
    void leaveModal();
    // A command from its first step to its last counts as one modal step, so device
    // events wait until it has ended; meanwhile the window tells its context of phones
    // that went.
    class CommandScope
    {
    public:
        CommandScope(MainWindow& window, CommandContext& command);
        ~CommandScope();
        CommandScope(const CommandScope&) = delete;
        CommandScope& operator=(const CommandScope&) = delete;

    private:
        MainWindow& m_window;
        CommandContext& m_command;
    };
    // The data set and the phone record of the current source, when there is one.
    void holdCurrentSource(CommandContext& command) const;
    // False, once the user has been told, when a phone of the command went away.
    bool commandGoesOn(const CommandContext& command);
    void connectActions();
    MainActions::Node nodeKind(const AbsTreeItemModel::_ItemNode* node) const;
    _AbsDBItemNode* currentSourceNode() const;
    QList<_ViberMsg*> messagesOf(Selection selection) const;
    // The tool bar's choice: selected rows, else the chat, else everything; nothing
    // when no tree node is current.
    std::optional<Selection> toolbarSelection() const;
    void showException(const std::exception& e);

    // The command families; each takes the messages its variant chose.
    // everything: the messages are all the source holds, so the run can tell which
    // stored messages the source no longer has.
    void backupMessages(const QList<_ViberMsg*>& messages, bool everything);
    struct BackupRunSource
    {
        QString name; // "phone:SERIAL" or a folder's path
        bool everything = false;
    };
    void backupTo(CommandContext& command, const QString& defaultName, const QList<_ViberMsg*>& messages,
                  const BackupRunSource& runSource);
    void restoreToAndroid(const QList<_ViberMsg*>& messages);
    // The kept copy's folder, empty when the phone could not be fetched.
    QString keepPhoneStateBeforeRestore(const AndroidDevice& target);
    // Loads the phone's current databases into its cache; false when that failed.
    bool fetchPhone(const AndroidDevice& target, const QString& archiveFolder);
    void reloadDevice(const AndroidDevice& target);
    void extractMedia(const QList<_ViberMsg*>& messages);
    void exportMessages(const QList<_ViberMsg*>& messages);
    void exportCalls(const QList<_ViberMsg*>& messages);
    // The provenance of an export of these messages from the current source.
    // Shows the local database's chat with the message selected; false when it is not
    // there (any more).
    bool showMessage(const QString& database, qint64 chatId, qint64 messageId);
    ExportProvenance provenanceOf(const QList<_ViberMsg*>& messages) const;
    void printMessages(const QList<_ViberMsg*>& messages);
    void openWebPage(const QUrl& page);
    // The daily version check and link query, and error reports to the configured site.
    void startWebServices();
    void deleteMessages(const QList<_ViberMsg*>& messages, Selection selection);
    void importPCPort(const QString& targetName);
    void reloadLocalDatabase(_LocalDbItemNode* node);
    void deferOrRun(std::function<void()> event);

    Options m_options;
    MainActions* m_actions = nullptr;
    std::unique_ptr<ItemModelMain> m_treeModel;
    std::unique_ptr<ItemModelSms> m_smsModel;
    std::unique_ptr<VBBubbleViewMgr> m_bubbles;
    _ViberChat* m_currentChat = nullptr;

    QSplitter* m_splitter = nullptr;
    QLineEdit* m_txtHandleKeyword = nullptr;
    QPushButton* m_btnSearchHandle = nullptr;
    MyTreeView* m_treeViewDS = nullptr;
    QLineEdit* m_txtSMSKeyword = nullptr;
    QPushButton* m_btnSearchSMS = nullptr;
    MessageListView* m_treeViewSMS = nullptr;
    QLabel* m_lbSMSCount = nullptr;
    QLabel* m_lbChatImg = nullptr;
    QLabel* m_lbChatName = nullptr;
    QWebEngineView* m_webViewSMS = nullptr;

    QPointer<AndroidMonitor> m_monitor;
    WifiKeepAlive* m_keepAlive = nullptr;
    LocalDatabaseLoader* m_databaseLoader = nullptr;
    bool m_openAtStartPending = false; // the database to open at start is being read
    int m_modalDepth = 0;
    bool m_closeRequested = false;
    QList<std::function<void()>> m_deferredEvents;
    // The commands running, the innermost last.
    QList<CommandContext*> m_commands;
};
