#include "ui/MainActions.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

namespace {

struct ActionSpec
{
    MainActions::Id id;
    const char* key; // a translation key, or the English text where there is none
    const char* icon;
};

// In the order of the Id enumeration.
constexpr ActionSpec Specs[] = {
    {MainActions::BackupToolbar, "IDS_MI_BACKUP_TOOLBAR", ":res/backup.png"},
    {MainActions::A2aToolbar, "IDS_MI_A2A_TOOLBAR", ":res/a2a.png"},
    {MainActions::Db2aToolbar, "IDS_MI_DB2A_TOOLBAR", ":res/db2a.png"},
    {MainActions::ExtractMediaToolbar, "IDS_MI_EXTRACT_MEDIA_TOOLBAR", ":res/extract_media.png"},
    {MainActions::ExportToolbar, "IDS_MI_EXPORT_TOOLBAR", ":res/export.png"},
    {MainActions::ExportCallToolbar, "IDS_MI_EXPORT_CALL_TOOLBAR", ":res/export_calls.png"},
    {MainActions::PrintToolbar, "IDS_MI_PRINT_TOOLBAR", ":res/print.png"},
    {MainActions::DeleteToolbar, "IDS_MI_DELETE_TOOLBAR", ":res/delete.png"},
    {MainActions::ImportPC, "IDS_MI_IMPORT_FROM_PC", nullptr},
    {MainActions::ImportPCToLocalDb, "IDS_MI_IMPORT_FROM_PC", nullptr},
    {MainActions::OpenDbFolder, "IDS_MI_OPEN_DB_FOLDER", ":res/open_db_folder.png"},
    {MainActions::Exit, "IDS_MI_EXIT", ":res/exit.png"},
    {MainActions::CheckUpdate, "IDS_MI_CHECK_UPDATE", ":res/check-update.png"},
    {MainActions::ClearCache, "IDS_CLEAR_CACHE", ":res/clear-cache.png"},
    {MainActions::ConnectWifi, "Connect Android Phone via WiFi", ":res/connect-via-wifi.png"},
    {MainActions::Help, "IDS_MI_HELP", ":res/help.png"},
    {MainActions::Feedback, "IDS_MI_FEEDBACK", ":res/feedback.png"},
    {MainActions::About, "IDS_MI_ABOUT", ":res/about.png"},
    {MainActions::BackupAll, "IDS_MI_BACKUP_ALL", ":res/backup.png"},
    {MainActions::BackupChat, "IDS_MI_BACKUP_CHAT", ":res/backup.png"},
    {MainActions::BackupSel, "IDS_MI_BACKUP_SEL", ":res/backup.png"},
    {MainActions::A2aAll, "IDS_MI_A2A_ALL", ":res/a2a.png"},
    {MainActions::A2aChat, "IDS_MI_A2A_CHAT", ":res/a2a.png"},
    {MainActions::A2aSel, "IDS_MI_A2A_SEL", ":res/a2a.png"},
    {MainActions::Db2aAll, "IDS_MI_DB2A_ALL", ":res/db2a.png"},
    {MainActions::Db2aChat, "IDS_MI_DB2A_CHAT", ":res/db2a.png"},
    {MainActions::Db2aSel, "IDS_MI_DB2A_SEL", ":res/db2a.png"},
    {MainActions::ExtractMediaAll, "IDS_MI_EXTRACT_MEDIA_All", ":res/extract_media.png"},
    {MainActions::ExtractMediaChat, "IDS_MI_EXTRACT_MEDIA_CHAT", ":res/extract_media.png"},
    {MainActions::ExtractMediaSel, "IDS_MI_EXTRACT_MEDIA_SEL", ":res/extract_media.png"},
    {MainActions::ExportAll, "IDS_MI_EXPORT_ALL", ":res/export.png"},
    {MainActions::ExportChat, "IDS_MI_EXPORT_CHAT", ":res/export.png"},
    {MainActions::ExportSel, "IDS_MI_EXPORT_SEL", ":res/export.png"},
    {MainActions::ExportCallAll, "IDS_MI_EXPORT_CALL_ALL", ":res/export_calls.png"},
    {MainActions::ExportCallChat, "IDS_MI_EXPORT_CALL_CHAT", ":res/export_calls.png"},
    {MainActions::PrintAll, "IDS_MI_PRINT_ALL", ":res/print.png"},
    {MainActions::PrintChat, "IDS_MI_PRINT_CHAT", ":res/print.png"},
    {MainActions::PrintSel, "IDS_MI_PRINT_SEL", ":res/print.png"},
    {MainActions::DeleteAll, "IDS_MI_DELETE_ALL", ":res/delete.png"},
    {MainActions::DeleteChat, "IDS_MI_DELETE_CHAT", ":res/delete.png"},
    {MainActions::DeleteSel, "IDS_MI_DELETE_SEL", ":res/delete.png"},
    {MainActions::UnmountDevice, "IDS_MI_UNMOUNT_DEVICE", ":res/unmount.png"},
    {MainActions::ViewCacheFiles, "View Cache Files", nullptr},
    {MainActions::UndoTransfer, "IDS_MI_UNDO_LAST_TRANSFER", nullptr},
    {MainActions::SearchHistories, "IDS_MI_SEARCH_HISTORIES", ":res/search.png"},
};
static_assert(std::size(Specs) == MainActions::ActionCount);

constexpr MainActions::Id ToolbarIds[] = {MainActions::BackupToolbar, MainActions::A2aToolbar,
                                          MainActions::Db2aToolbar,   MainActions::ExtractMediaToolbar,
                                          MainActions::ExportToolbar, MainActions::ExportCallToolbar,
                                          MainActions::PrintToolbar,  MainActions::DeleteToolbar};

bool isDeviceSource(MainActions::Node node)
{
    return node == MainActions::Node::Device || node == MainActions::Node::DeviceChat;
}

bool isLocalDbSource(MainActions::Node node)
{
    return node == MainActions::Node::LocalDb || node == MainActions::Node::LocalDbChat;
}

} // namespace

MainActions::MainActions(QObject* parent) : QObject(parent)
{
    for (const ActionSpec& spec : Specs) {
        auto* action = new QAction(QCoreApplication::translate("MainWindow", spec.key), this);
        if (spec.icon)
            action->setIcon(QIcon(QLatin1String(spec.icon)));
        m_actions[spec.id] = action;
    }
    m_actions[SearchHistories]->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    for (Id id : ToolbarIds)
        m_actions[id]->setEnabled(false);
}

void MainActions::buildMenuBar(QMenuBar* bar) const
{
    QMenu* file = bar->addMenu(QCoreApplication::translate("MainWindow", "File"));
    file->setObjectName(QStringLiteral("menuFile"));
    file->addActions({action(BackupToolbar), action(A2aToolbar), action(Db2aToolbar)});
    file->addSeparator();
    file->addActions({action(ExtractMediaToolbar), action(ExportToolbar), action(ExportCallToolbar),
                      action(PrintToolbar), action(DeleteToolbar), action(ImportPC), action(OpenDbFolder)});
    file->addSeparator();
    file->addAction(action(Exit));

    QMenu* tools = bar->addMenu(QCoreApplication::translate("MainWindow", "Tools"));
    tools->setObjectName(QStringLiteral("menuTools"));
    tools->addAction(action(SearchHistories));
    tools->addSeparator();
    tools->addActions({action(CheckUpdate), action(ClearCache), action(ConnectWifi)});
    tools->addSeparator();
    tools->addAction(action(UndoTransfer));

    QMenu* help = bar->addMenu(QCoreApplication::translate("MainWindow", "Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    help->addActions({action(Help), action(Feedback), action(About)});
}

void MainActions::buildToolBar(QToolBar* bar) const
{
    bar->addActions({action(BackupToolbar), action(A2aToolbar), action(Db2aToolbar)});
    bar->addSeparator();
    bar->addActions({action(ExtractMediaToolbar), action(ExportToolbar), action(ExportCallToolbar),
                     action(PrintToolbar), action(DeleteToolbar)});
}

QMenu* MainActions::menuOf(std::initializer_list<Id> ids, QWidget* parent) const
{
    auto* menu = new QMenu(parent);
    for (Id id : ids)
        menu->addAction(action(id));
    return menu;
}

QMenu* MainActions::treeContextMenu(Node node, int targets, QWidget* parent) const
{
    for (Id id : {A2aAll, A2aChat, Db2aAll, Db2aChat})
        action(id)->setEnabled(targets > 0);
    switch (node) {
    case Node::LocalDbRoot:
        return menuOf({OpenDbFolder, ImportPC}, parent);
    case Node::Device:
        return menuOf({BackupAll, A2aAll, ExtractMediaAll, ExportAll, ExportCallAll, PrintAll, UndoTransfer,
                       UnmountDevice, ViewCacheFiles},
                      parent);
    case Node::LocalDb:
        return menuOf(
            {Db2aAll, ExtractMediaAll, ExportAll, ExportCallAll, PrintAll, DeleteAll, ImportPCToLocalDb},
            parent);
    case Node::DeviceChat:
        return menuOf({BackupChat, A2aChat, ExtractMediaChat, ExportChat, ExportCallChat, PrintChat}, parent);
    case Node::LocalDbChat:
        return menuOf({Db2aChat, ExtractMediaChat, ExportChat, ExportCallChat, PrintChat, DeleteChat},
                      parent);
    case Node::None:
        break;
    }
    return nullptr;
}

QMenu* MainActions::messageContextMenu(Node source, int targets, int selected, QWidget* parent) const
{
    const bool any = selected > 0;
    for (Id id : {BackupSel, ExtractMediaSel, ExportSel, PrintSel, DeleteSel})
        action(id)->setEnabled(any);
    action(A2aSel)->setEnabled(any && targets > 0);
    action(Db2aSel)->setEnabled(any && targets > 0);
    if (isDeviceSource(source))
        return menuOf({BackupSel, A2aSel, ExtractMediaSel, ExportSel, PrintSel}, parent);
    if (isLocalDbSource(source))
        return menuOf({Db2aSel, ExtractMediaSel, ExportSel, PrintSel, DeleteSel}, parent);
    return nullptr;
}

void MainActions::update(Node source, int targets) const
{
    const bool device = isDeviceSource(source);
    const bool localDb = isLocalDbSource(source);
    action(BackupToolbar)->setEnabled(device);
    action(A2aToolbar)->setEnabled(device && targets > 0);
    action(Db2aToolbar)->setEnabled(localDb && targets > 0);
    for (Id id : {ExtractMediaToolbar, ExportToolbar, ExportCallToolbar, PrintToolbar})
        action(id)->setEnabled(device || localDb);
    action(DeleteToolbar)->setEnabled(localDb);
    action(UndoTransfer)->setEnabled(device);
}
