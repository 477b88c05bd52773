// The main window's commands: which messages each variant takes, and the command
// families (backup, transfer to a phone, extract, export, call log, delete, import)
// that ask the user, run a worker behind the progress form and update the tree.

#include "ui/MainWindow.h"

#include "android/AndroidLoadViberThread.h"
#include "android/AndroidRestoreViberThread.h"
#include "android/AndroidUndoTransferThread.h"
#include "android/RestoreSafetyCopies.h"
#include "app/AppDirs.h"
#include "app/WebConfig.h"
#include "app/WebLinks.h"
#include "db/IOSViberDb.h"
#include "db/IPhoneBackup.h"
#include "db/PCViberAccounts.h"
#include "db/ViberChat.h"
#include "db/ViberMsg.h"
#include "db/ViberSourceDetector.h"
#include "db/ViberText.h"
#include "ops/BackupViberMsgThread.h"
#include "ops/DeleteViberMsgThread.h"
#include "ops/ExportDestination.h"
#include "ops/ExportMessagesThread.h"
#include "ops/ExportViberCallsThread.h"
#include "ops/ExtractMediaFilesThread.h"
#include "ui/CommandContext.h"
#include "ui/DataSourceSelForm.h"
#include "ui/FileDialog.h"
#include "ui/HistorySearchDialog.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/LocalDbSelForm.h"
#include "ui/MessageBox.h"
#include "ui/MessageListView.h"
#include "ui/MyTreeView.h"
#include "ui/ProgressForm.h"
#include "ui/TreeItemNodes.h"
#include "ui/ViberMsgPrinter.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QJsonObject>
#include <QSet>

namespace {

QString timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
}

} // namespace

_AbsDBItemNode* MainWindow::currentSourceNode() const
{
    AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    if (node && node->type == AbsTreeItemModel::NodeChat)
        node = node->parent;
    if (!node ||
        (node->type != AbsTreeItemModel::NodeAndroidDevice && node->type != AbsTreeItemModel::NodeLocalDb))
        return nullptr;
    return static_cast<_AbsDBItemNode*>(node);
}

QList<_ViberMsg*> MainWindow::messagesOf(Selection selection) const
{
    switch (selection) {
    case Selection::Sel:
        return selectedMessages();
    case Selection::Chat:
        return m_smsModel->messages();
    case Selection::All:
        if (const ViberDataSetPtr data = currentSourceData())
            return data->allMessages();
        return {};
    }
    return {};
}

std::optional<MainWindow::Selection> MainWindow::toolbarSelection() const
{
    if (m_treeViewSMS->selectionModel()->hasSelection())
        return Selection::Sel;
    const AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    if (!node)
        return std::nullopt;
    return node->type == AbsTreeItemModel::NodeChat ? Selection::Chat : Selection::All;
}

void MainWindow::showException(const std::exception& e)
{
    runModal([&] { MessageBox::showError(UserText::plain(QString::fromUtf8(e.what())), this); });
}

MainWindow::CommandScope::CommandScope(MainWindow& window, CommandContext& command)
    : m_window(window), m_command(command)
{
    m_window.enterModal();
    m_window.m_commands.append(&m_command);
}

MainWindow::CommandScope::~CommandScope()
{
    m_window.m_commands.removeOne(&m_command);
    m_window.leaveModal();
}

void MainWindow::holdCurrentSource(CommandContext& command) const
{
    const _AbsDBItemNode* source = currentSourceNode();
    if (!source)
        return;
    command.hold(source->data);
    if (source->type == AbsTreeItemModel::NodeAndroidDevice)
        command.hold(static_cast<const _AndroidDeviceItemNode*>(source)->device);
}

bool MainWindow::commandGoesOn(const CommandContext& command)
{
    const std::optional<AndroidDevice> gone = command.goneDevice();
    if (!gone)
        return true;
    runModal([&] {
        MessageBox::showWarning(
            UserText::plain(tr("IDS_PHONE_%1_DISCONNECTED_COMMAND_STOPPED").arg(gone->displayName())), this);
    });
    return false;
}

// Backup: from a phone into a local database.

void MainWindow::miBackupToolbar()
{
    if (const auto selection = toolbarSelection())
        backupMessages(messagesOf(*selection), *selection == Selection::All);
}

void MainWindow::miBackupAll()
{
    backupMessages(messagesOf(Selection::All), true);
}

void MainWindow::miBackupChat()
{
    backupMessages(messagesOf(Selection::Chat), false);
}

void MainWindow::miBackup()
{
    // A command on selected messages may still be triggered with none selected (a menu
    // built before the selection went): then there is nothing to take.
    if (const QList<_ViberMsg*> selected = messagesOf(Selection::Sel); !selected.isEmpty())
        backupMessages(selected, false);
}

void MainWindow::backupMessages(const QList<_ViberMsg*>& messages, bool everything)
{
    const _AbsDBItemNode* source = currentSourceNode();
    if (!source || source->type != AbsTreeItemModel::NodeAndroidDevice)
        return;
    CommandContext command;
    const CommandScope scope(*this, command);
    holdCurrentSource(command);
    // The database's record of its backups names a phone by its serial, as the command
    // line does, and a folder read in a phone's place by its path.
    const auto* device = static_cast<const _AndroidDeviceItemNode*>(source);
    const QString runSource = device->isVirtual() ? QFileInfo(device->virtualFolder).absoluteFilePath()
                                                  : QStringLiteral("phone:") + device->device.serial;
    backupTo(command, source->text + QStringLiteral("_Backup"), messages, {runSource, everything});
}

void MainWindow::backupTo(CommandContext& command, const QString& defaultName,
                          const QList<_ViberMsg*>& messages, const BackupRunSource& runSource)
{
    QStringList names;
    for (const _LocalDbItemNode* node : m_treeModel->localDbNodes())
        names.append(node->text);
    QString chosen;
    runModal([&] {
        LocalDbSelForm form(names, defaultName, this);
        if (form.exec() == QDialog::Accepted)
            chosen = form.selectedName();
    });
    if (chosen.isEmpty() || !commandGoesOn(command))
        return;

    // On a case-sensitive file system "work" and "Work" are two folders: a name that
    // matches an existing database but for case goes into that database.
    _LocalDbItemNode* node = m_treeModel->findLocalDb(chosen, Qt::CaseInsensitive);
    const bool created = !node;
    if (created)
        node = m_treeModel->addLocalDb(chosen);
    const QString name = node->text;

    bool ok = false;
    runModal([&] {
        ProgressForm form(QString(), this);
        BackupViberMsgThread worker(messages, AppDirs::localDatabasePath(name), form.channel());
        worker.setRunSource(runSource.name, runSource.everything);
        ok = form.run(worker);
    });
    if (!ok) {
        // A failed backup leaves nothing behind, so a database it was to create goes
        // from the tree again.
        if (created &&
            !QFileInfo::exists(
                QDir(AppDirs::localDatabasePath(name)).filePath(QLatin1String(AppDirs::LocalDatabaseFile))))
            m_treeModel->removeNode(node);
        return;
    }
    reloadLocalDatabase(node);
    selectNode(m_treeModel->nodeIndex(node));
}

void MainWindow::reloadLocalDatabase(_LocalDbItemNode* node)
{
    m_treeViewDS->setCurrentIndex(QModelIndex());
    clearMessageView();
    m_treeModel->removeChildren(node);
    node->data.reset();
    try {
        loadLocalDatabase(node);
    } catch (const std::exception& e) {
        showException(e);
    }
}

// Transfer into a phone: from another phone (A2A) or from a local database (Db2A).

void MainWindow::miA2aToolbar()
{
    if (const auto selection = toolbarSelection())
        restoreToAndroid(messagesOf(*selection));
}

void MainWindow::miA2aAll()
{
    restoreToAndroid(messagesOf(Selection::All));
}

void MainWindow::miA2aChat()
{
    restoreToAndroid(messagesOf(Selection::Chat));
}

void MainWindow::miA2a()
{
    if (const QList<_ViberMsg*> selected = messagesOf(Selection::Sel); !selected.isEmpty())
        restoreToAndroid(selected);
}

void MainWindow::miDb2aToolbar()
{
    miA2aToolbar();
}

void MainWindow::miDb2aAll()
{
    miA2aAll();
}

void MainWindow::miDb2aChat()
{
    miA2aChat();
}

void MainWindow::miDb2a()
{
    miA2a();
}

void MainWindow::restoreToAndroid(const QList<_ViberMsg*>& messages)
{
    const _AbsDBItemNode* source = currentSourceNode();
    if (!source)
        return;
    QList<DataSourceSelForm::Item> candidates;
    QStringList names;
    for (const _AndroidDeviceItemNode* node : transferTargets(source)) {
        candidates.append(
            {QStringLiteral(":res/android.png"), node->device.displayName(), node->device.deviceId()});
        names.append(node->device.displayName());
    }
    // Two phones of one model look alike in the list; their ids tell them apart.
    for (DataSourceSelForm::Item& item : candidates) {
        if (names.count(item.text) > 1)
            item.text += QStringLiteral(" (%1)").arg(item.value.toString());
    }
    if (candidates.isEmpty())
        return;
    CommandContext command;
    const CommandScope scope(*this, command);
    holdCurrentSource(command);
    QVariant chosen;
    runModal([&] {
        DataSourceSelForm form(this);
        chosen = form.select(tr("IDS_SEL_ONE_ANDROID_DEVICE"), candidates);
    });
    const _AndroidDeviceItemNode* targetNode = chosen.isValid() ? findDeviceNode(chosen.toString()) : nullptr;
    if (!targetNode)
        return;
    const AndroidDevice target = targetNode->device;
    command.hold(target);
    if (!commandGoesOn(command))
        return;

    bool go = true;
    runModal([&] {
        if (target.storage.isEmpty())
            go = MessageBox::showQuestion(
                UserText::plain(tr("IDS_ANDROID_NO_EXTERNAL_STORAGE_CONFIRM_IGNORE_ATTACHMENTS")), this);
        if (go)
            MessageBox::showInfo(UserText::plain(tr("IDS_BEFORE_RESTORE_VIBER_TO_ANDROID_RELOAD_FIRST")),
                                 this);
    });
    if (!go || !commandGoesOn(command))
        return;
    const QString kept = keepPhoneStateBeforeRestore(target);
    if (!commandGoesOn(command) || kept.isEmpty())
        return;
    if (AndroidRestoreViberThread::writesModernViber(target)) {
        runModal(
            [&] { go = MessageBox::showQuestion(UserText::plain(tr("IDS_MODERN_TRANSFER_NOTICE")), this); });
        if (!go || !commandGoesOn(command))
            return;
    }

    bool ok = false;
    runModal([&] {
        ProgressForm form(QString(), this);
        AndroidRestoreViberThread worker(target, messages, form.channel());
        worker.setKeptCopy(kept);
        ok = form.run(worker);
    });
    if (!ok)
        offerWifiReconnect(target);
    else if (commandGoesOn(command))
        reloadDevice(target);
}

// The phone's current databases are fetched and kept before anything is written to it.
QString MainWindow::keepPhoneStateBeforeRestore(const AndroidDevice& target)
{
    const QString cacheDir = target.cacheDir();
    try {
        const QString archives = RestoreSafetyCopies::prepareArchiveFolder(cacheDir);
        if (!fetchPhone(target, archives))
            return QString();
        return RestoreSafetyCopies::keepDatabaseCopy(cacheDir, QDateTime::currentDateTime());
    } catch (const std::exception& e) {
        showException(e);
        return QString();
    }
}

bool MainWindow::fetchPhone(const AndroidDevice& target, const QString& archiveFolder)
{
    bool ok = false;
    runModal([&] {
        ProgressForm form(QString(), this);
        AndroidLoadViberThread worker(target, true, form.channel());
        if (!archiveFolder.isEmpty())
            worker.setArchiveFolder(archiveFolder);
        ok = form.run(worker);
    });
    if (!ok)
        offerWifiReconnect(target);
    return ok;
}

void MainWindow::miUndoLastTransfer()
{
    const _AbsDBItemNode* source = currentSourceNode();
    if (!source || source->type != AbsTreeItemModel::NodeAndroidDevice ||
        static_cast<const _AndroidDeviceItemNode*>(source)->isVirtual())
        return;
    CommandContext command;
    const CommandScope scope(*this, command);
    const AndroidDevice target = static_cast<const _AndroidDeviceItemNode*>(source)->device;
    command.hold(target);
    // What the phone holds now is fetched first, so that the question counts what the
    // undo would lose.
    if (!fetchPhone(target, QString()) || !commandGoesOn(command))
        return;
    const AndroidUndoTransferThread::Plan plan = AndroidUndoTransferThread::plan(target);
    bool go = false;
    runModal([&] {
        if (!plan.copy)
            MessageBox::showError(UserText::plain(plan.refusal), this);
        else
            go = MessageBox::showQuestion(UserText::plain(plan.confirmation()), this);
    });
    if (!go || !commandGoesOn(command))
        return;
    bool ok = false;
    runModal([&] {
        ProgressForm form(QString(), this);
        AndroidUndoTransferThread worker(target, form.channel());
        ok = form.run(worker);
    });
    if (commandGoesOn(command))
        reloadDevice(target);
}

void MainWindow::reloadDevice(const AndroidDevice& target)
{
    ViberDataSetPtr loaded;
    runModal([&] {
        ProgressForm form(QString(), this);
        AndroidLoadViberThread worker(target, false, form.channel());
        if (form.run(worker))
            loaded = worker.dataSet();
    });
    if (!loaded)
        offerWifiReconnect(target);
    _AndroidDeviceItemNode* node = findDeviceNode(target.deviceId());
    if (!loaded || !node)
        return;
    if (nodeKind(m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex())) == MainActions::Node::DeviceChat &&
        currentSourceNode() == node) {
        m_treeViewDS->setCurrentIndex(QModelIndex());
        clearMessageView();
    }
    m_treeModel->removeChildren(node);
    node->data = loaded;
    m_treeModel->loadChats(node);
}

// Attachments, exports and the call log.

void MainWindow::miExtractMediaToolbar()
{
    if (const auto selection = toolbarSelection())
        extractMedia(messagesOf(*selection));
}

void MainWindow::miExtractMediaAll()
{
    extractMedia(messagesOf(Selection::All));
}

void MainWindow::miExtractMediaChat()
{
    extractMedia(messagesOf(Selection::Chat));
}

void MainWindow::miExtractMedia()
{
    if (const QList<_ViberMsg*> selected = messagesOf(Selection::Sel); !selected.isEmpty())
        extractMedia(selected);
}

void MainWindow::extractMedia(const QList<_ViberMsg*>& messages)
{
    CommandContext command;
    const CommandScope scope(*this, command);
    holdCurrentSource(command);
    QString folder;
    runModal([&] {
        folder = FileDialog::getExistingDirectory(this, tr("IDS_TITLE_SEL_OUTPUT_FOLDER_EXTRACT_MEDIA_FILES"),
                                                  QDir::homePath());
    });
    if (folder.isEmpty() || !commandGoesOn(command))
        return;
    const QString target = QDir(folder).filePath(QStringLiteral("attachments(%1)").arg(timeStamp()));
    runModal([&] {
        ProgressForm form(QString(), this);
        ExtractMediaFilesThread worker(messages, target, form.channel());
        form.run(worker);
    });
}

void MainWindow::miExportToolbar()
{
    if (const auto selection = toolbarSelection())
        exportMessages(messagesOf(*selection));
}

void MainWindow::miExportAll()
{
    exportMessages(messagesOf(Selection::All));
}

void MainWindow::miExportChat()
{
    exportMessages(messagesOf(Selection::Chat));
}

void MainWindow::miExport()
{
    if (const QList<_ViberMsg*> selected = messagesOf(Selection::Sel); !selected.isEmpty())
        exportMessages(selected);
}

void MainWindow::exportMessages(const QList<_ViberMsg*>& messages)
{
    // In the order of ExportDestination::Filter.
    const QStringList filters = {tr("Text Files(*.txt)"), tr("Doc Files(*.doc)"),   tr("CSV Files(*.csv)"),
                                 tr("PDF Files(*.pdf)"),  tr("HTML Files(*.html)"), tr("JSON Files(*.json)")};
    CommandContext command;
    const CommandScope scope(*this, command);
    holdCurrentSource(command);
    QString chosen;
    QString filter;
    runModal([&] {
        chosen =
            FileDialog::getSaveFileName(this, tr("IDS_SEL_EXPORT_MESSAGES_PATH"),
                                        QDir::home().filePath(QStringLiteral("chats(%1)").arg(timeStamp())),
                                        filters.join(QStringLiteral(";;")), &filter);
    });
    if (chosen.isEmpty() || !commandGoesOn(command))
        return;
    const auto kind = ExportDestination::Filter(std::max(0, int(filters.indexOf(filter))));
    const ExportDestination destination = ExportDestination::forFilter(kind, chosen);
    runModal([&] {
        ProgressForm form(QString(), this);
        ExportMessagesThread worker(messages, destination.path, destination.format, form.channel());
        worker.setProvenance(provenanceOf(messages));
        form.run(worker);
    });
}

ExportProvenance MainWindow::provenanceOf(const QList<_ViberMsg*>& messages) const
{
    ExportProvenance::Source source;
    const _AbsDBItemNode* node = currentSourceNode();
    if (node && node->type == AbsTreeItemModel::NodeLocalDb) {
        source.kind = QStringLiteral("local database");
        source.path = AppDirs::localDatabasePath(node->text);
        source.databases = {QDir(source.path).filePath(QLatin1String(AppDirs::LocalDatabaseFile))};
    } else if (node) {
        const auto* device = static_cast<const _AndroidDeviceItemNode*>(node);
        if (IPhoneBackup::isBackupFolder(device->virtualFolder)) {
            source.kind = QStringLiteral("iPhone backup");
            source.path = device->virtualFolder;
            source.databases = {QDir(source.path).filePath(QLatin1String(IPhoneBackup::ManifestFile)),
                                IPhoneBackup::storedPathOf(source.path,
                                                           QLatin1String(IPhoneBackup::ViberGroupDomain),
                                                           QLatin1String(IPhoneBackup::ViberDatabase))};
        } else if (device->isVirtual()) {
            source.kind = QStringLiteral("folder read as a phone");
            source.path = device->virtualFolder;
        } else {
            const QDir cache(device->device.cacheDir());
            source.kind = QStringLiteral("Android phone");
            source.path = device->device.serial;
            source.databases = {cache.filePath(QStringLiteral("viber_messages")),
                                cache.filePath(QStringLiteral("viber_data"))};
            source.device = QJsonObject{{QStringLiteral("serial"), device->device.serial},
                                        {QStringLiteral("model"), device->device.model},
                                        {QStringLiteral("android_sdk"), device->device.sdkLevel}};
        }
    }
    ExportProvenance provenance;
    provenance.setSource(source);
    // A whole source is "all"; a chat or a selection names the chats it came from.
    const ViberDataSetPtr data = currentSourceData();
    QStringList chats;
    if (!data || messages.size() != data->messages.size()) {
        QSet<const _ViberChat*> seen;
        for (const _ViberMsg* msg : messages) {
            if (msg->chat && !seen.contains(msg->chat)) {
                seen.insert(msg->chat);
                chats.append(ViberText::chatTitle(*msg->chat));
            }
        }
    }
    provenance.setSelection(chats, {}, {}, {});
    return provenance;
}

void MainWindow::miSearchHistories()
{
    CommandContext command;
    const CommandScope scope(*this, command);
    std::optional<LocalHistorySearch::Hit> chosen;
    runModal([&] {
        HistorySearchDialog dialog(this);
        if (dialog.exec() == QDialog::Accepted)
            chosen = dialog.chosen();
    });
    if (chosen && commandGoesOn(command) &&
        !showMessage(chosen->database, chosen->hit.chatId, chosen->hit.id))
        MessageBox::showWarning(UserText::plain(tr("IDS_SEARCH_HIT_GONE")), this);
}

bool MainWindow::showMessage(const QString& database, qint64 chatId, qint64 messageId)
{
    _LocalDbItemNode* node = m_treeModel->findLocalDb(database);
    if (!node)
        return false;
    // The hit's chat is wanted now: a database not read yet is read at once.
    if (!node->data) {
        try {
            loadLocalDatabase(node);
        } catch (const std::exception& e) {
            showException(e);
            return true; // the user has been told why
        }
    }
    m_treeViewDS->setCurrentIndex(m_treeModel->nodeIndex(node));
    for (int row = 0; row < node->childCount(); ++row) {
        const auto* chatNode = static_cast<const _ChatSessionItemNode*>(node->child(row));
        if (!chatNode->chat || chatNode->chat->id != chatId)
            continue;
        m_treeViewDS->setCurrentIndex(m_treeModel->nodeIndex(chatNode));
        for (int message = 0; message < m_smsModel->rowCount(); ++message) {
            const _ViberMsg* msg = m_smsModel->messageAt(message);
            if (msg && msg->id == messageId) {
                const QModelIndex index = m_smsModel->index(message, 0);
                m_treeViewSMS->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                                                   QItemSelectionModel::Rows);
                m_treeViewSMS->scrollTo(index);
                return true;
            }
        }
    }
    return false;
}

void MainWindow::miExportCallToolbar()
{
    if (m_treeViewSMS->selectionModel()->hasSelection()) {
        exportCalls(messagesOf(Selection::Chat));
        return;
    }
    const AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    if (!node)
        return;
    exportCalls(messagesOf(node->type == AbsTreeItemModel::NodeChat ? Selection::Chat : Selection::All));
}

void MainWindow::miExportCallAll()
{
    exportCalls(messagesOf(Selection::All));
}

void MainWindow::miExportCallChat()
{
    exportCalls(messagesOf(Selection::Chat));
}

void MainWindow::exportCalls(const QList<_ViberMsg*>& messages)
{
    CommandContext command;
    const CommandScope scope(*this, command);
    holdCurrentSource(command);
    QString path;
    runModal([&] {
        path = FileDialog::getSaveFileName(
            this, tr("IDS_SEL_EXPORT_MESSAGES_PATH"),
            QDir::home().filePath(QStringLiteral("calls(%1).txt").arg(timeStamp())), QString());
    });
    if (path.isEmpty() || !commandGoesOn(command))
        return;
    QList<_ViberCall*> calls;
    for (const _ViberMsg* msg : messages) {
        if (msg->call)
            calls.append(msg->call);
    }
    runModal([&] {
        ProgressForm form(QString(), this);
        ExportViberCallsThread worker(calls, path, form.channel());
        worker.setProvenance(provenanceOf(messages));
        form.run(worker);
    });
}

// Deleting from local databases.

void MainWindow::miDeleteToolbar()
{
    if (m_treeViewSMS->selectionModel()->hasSelection()) {
        miDelete();
        return;
    }
    const AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    if (!node)
        return;
    if (node->type == AbsTreeItemModel::NodeChat)
        miDeleteChat();
    else
        miDeleteAll();
}

void MainWindow::miDeleteChat()
{
    deleteMessages(messagesOf(Selection::Chat), Selection::Chat);
}

void MainWindow::miDelete()
{
    if (const QList<_ViberMsg*> selected = messagesOf(Selection::Sel); !selected.isEmpty())
        deleteMessages(selected, Selection::Sel);
}

void MainWindow::deleteMessages(const QList<_ViberMsg*>& messages, Selection selection)
{
    _AbsDBItemNode* source = currentSourceNode();
    if (!source || source->type != AbsTreeItemModel::NodeLocalDb || messages.isEmpty())
        return;
    auto* node = static_cast<_LocalDbItemNode*>(source);
    CommandContext command;
    const CommandScope scope(*this, command);
    command.hold(node->data);
    bool confirmed = false;
    runModal([&] {
        confirmed = MessageBox::showQuestion(UserText::plain(selection == Selection::Sel
                                                                 ? tr("IDS_CONFIRM_DEL_SEL_MESSAGES")
                                                                 : tr("IDS_CONFIRM_DEL_THIS_CHAT")),
                                             this);
    });
    if (!confirmed)
        return;
    const bool hadChat = m_currentChat != nullptr;
    const qint64 chatId = hadChat ? m_currentChat->id : 0;

    bool ok = false;
    try {
        IOSViberDb database(AppDirs::localDatabasePath(node->text),
                            QString::fromLatin1(AppDirs::LocalDatabaseFile), IOSViberDb::OpenForWriting);
        database.open();
        runModal([&] {
            ProgressForm form(QString(), this);
            DeleteViberMsgThread worker(database, messages, form.channel());
            ok = form.run(worker);
        });
    } catch (const std::exception& e) {
        showException(e);
        return;
    }
    if (!ok)
        return;
    reloadLocalDatabase(node);
    for (int row = 0; hadChat && row < node->childCount(); ++row) {
        const auto* chatNode = static_cast<const _ChatSessionItemNode*>(node->child(row));
        if (chatNode->chat && chatNode->chat->id == chatId) {
            selectNode(m_treeModel->nodeIndex(chatNode));
            return;
        }
    }
    selectNode(m_treeModel->nodeIndex(node));
}

// Importing Viber Desktop's history.

void MainWindow::miImportPCPort()
{
    importPCPort(QString());
}

void MainWindow::miImportPCPortToLocalDb()
{
    const AbsTreeItemModel::_ItemNode* node = m_treeModel->nodeFromIndex(m_treeViewDS->currentIndex());
    if (node && node->type == AbsTreeItemModel::NodeLocalDb)
        importPCPort(node->text);
}

void MainWindow::importPCPort(const QString& targetName)
{
    CommandContext command;
    const CommandScope scope(*this, command);
    const QStringList accounts = PCViberAccounts::accountFolders(QDir::homePath());
    if (accounts.isEmpty()) {
        runModal(
            [&] { MessageBox::showWarning(UserText::plain(tr("IDS_THERE_IS_NO_PC_VIBER_ACCOUNT")), this); });
        return;
    }
    QList<DataSourceSelForm::Item> items;
    for (const QString& account : accounts)
        items.append({QString(), QFileInfo(account).fileName(), account});
    QVariant chosen;
    runModal([&] {
        DataSourceSelForm form(this);
        chosen = form.select(tr("IDS_SEL_ONE_PC_VIBER_ACCOUNT"), items);
    });
    if (!chosen.isValid())
        return;
    const QString account = chosen.toString();
    ViberDataSetPtr data;
    try {
        data = ViberSourceDetector::desktopReader(
                   QDir(account).filePath(QLatin1String(PCViberAccounts::DatabaseFile)))
                   ->load();
    } catch (const std::exception& e) {
        showException(e);
        return;
    }
    const QString name =
        targetName.isEmpty() ? QStringLiteral("ViberPC-") + QFileInfo(account).fileName() : targetName;
    command.hold(data);
    backupTo(command, name, data->allMessages(), {QFileInfo(account).absoluteFilePath(), true});
}

// Printing.

void MainWindow::miPrintToolbar()
{
    if (const auto selection = toolbarSelection())
        printMessages(messagesOf(*selection));
}

void MainWindow::miPrintAll()
{
    printMessages(messagesOf(Selection::All));
}

void MainWindow::miPrintChat()
{
    printMessages(messagesOf(Selection::Chat));
}

void MainWindow::miPrint()
{
    if (const QList<_ViberMsg*> selected = messagesOf(Selection::Sel); !selected.isEmpty())
        printMessages(selected);
}

void MainWindow::printMessages(const QList<_ViberMsg*>& messages)
{
    if (messages.isEmpty())
        return;
    CommandContext command;
    const CommandScope scope(*this, command);
    holdCurrentSource(command);
    runModal([&] {
        ViberMsgPrinter printer(this);
        printer.print(messages);
    });
}

// Pages of the maker's web site; without a configured site the menu says so.

void MainWindow::openWebPage(const QUrl& page)
{
    if (page.isEmpty()) {
        runModal([&] { MessageBox::showInfo(UserText::plain(WebLinks::noWebSiteText()), this); });
        return;
    }
    AppDirs::openUrl(page);
}

void MainWindow::miCheckUpdate()
{
    openWebPage(WebLinks::checkUpdatePage(WebConfig::current()));
}

void MainWindow::miHelp()
{
    openWebPage(WebLinks::helpPage(WebConfig::current()));
}

void MainWindow::miFeedback()
{
    openWebPage(WebLinks::feedbackPage(WebConfig::current()));
}

void MainWindow::miHome()
{
    openWebPage(WebLinks::homePage(WebConfig::current()));
}
