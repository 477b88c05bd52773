#pragma once

#include <QObject>

#include <array>

class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

// Every command of the main window as an action with its text and icon, and the menus
// that show them: the menu bar, the tool bar, and the context menus of the data-source
// tree and of the message list. The window connects each action to its slot; which
// actions are enabled follows the current source (a device or a local database) and
// the number of phones connected.
class MainActions : public QObject
{
    Q_OBJECT
public:
    enum Id {
        BackupToolbar,
        A2aToolbar,
        Db2aToolbar,
        ExtractMediaToolbar,
        ExportToolbar,
        ExportCallToolbar,
        PrintToolbar,
        DeleteToolbar,
        ImportPC,
        ImportPCToLocalDb,
        OpenDbFolder,
        Exit,
        CheckUpdate,
        ClearCache,
        ConnectWifi,
        Help,
        Feedback,
        About,
        BackupAll,
        BackupChat,
        BackupSel,
        A2aAll,
        A2aChat,
        A2aSel,
        Db2aAll,
        Db2aChat,
        Db2aSel,
        ExtractMediaAll,
        ExtractMediaChat,
        ExtractMediaSel,
        ExportAll,
        ExportChat,
        ExportSel,
        ExportCallAll,
        ExportCallChat,
        PrintAll,
        PrintChat,
        PrintSel,
        DeleteAll,
        DeleteChat,
        DeleteSel,
        UnmountDevice,
        ViewCacheFiles,
        UndoTransfer,
        SearchHistories,
        ActionCount
    };

    // What the tree's current node is, as far as the commands care.
    enum class Node { None, LocalDbRoot, Device, LocalDb, DeviceChat, LocalDbChat };

    explicit MainActions(QObject* parent = nullptr);

    QAction* action(Id id) const { return m_actions[id]; }

    void buildMenuBar(QMenuBar* bar) const;
    void buildToolBar(QToolBar* bar) const;
    // targets: how many phones the current source could be transferred to (neither the
    // source itself nor a folder read as a device); the transfers need one.
    // Built on each request with the enabled states of that moment; the caller owns
    // the menu. Nothing for the devices root or no node.
    QMenu* treeContextMenu(Node node, int targets, QWidget* parent) const;
    // The commands on selected messages, each disabled while no message is selected.
    QMenu* messageContextMenu(Node source, int targets, int selected, QWidget* parent) const;

    // Enables the tool-bar commands for the current source; Node::None (a root or
    // nothing) disables all of them.
    void update(Node source, int targets) const;

private:
    QMenu* menuOf(std::initializer_list<Id> ids, QWidget* parent) const;

    std::array<QAction*, ActionCount> m_actions{};
};
