#include "ui/ItemModelMain.h"

#include "app/AppDirs.h"
#include "db/BackupRuns.h"
#include "db/ViberChat.h"
#include "db/ViberPerson.h"
#include "db/ViberSort.h"
#include "db/ViberText.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QSize>

#include <algorithm>

namespace {

constexpr int IconWidth = 18;
constexpr int RowHeight = 25;

constexpr int MaxIconAspect = 4; // height over width kept of a strip-shaped picture

QPixmap scaledIcon(const QImage& image)
{
    if (image.isNull())
        return {};
    // A picture a thousand times taller than wide would scale to a huge strip.
    const QImage kept = image.height() / MaxIconAspect > image.width()
                            ? image.copy(0, 0, image.width(), image.width() * MaxIconAspect)
                            : image;
    return QPixmap::fromImage(kept.scaledToWidth(IconWidth, Qt::FastTransformation));
}

} // namespace

QImage ItemModelMain::loadPhoto(const QString& path)
{
    QImage image;
    if (path.isEmpty())
        return image;
    if (!image.load(path, "JPEG"))
        image.load(path, "PNG");
    return image;
}

ItemModelMain::ItemModelMain(QObject* parent) : AbsTreeItemModel(parent)
{
    m_rootDevice = static_cast<_RootDeviceItemNode*>(
        appendNode(std::make_unique<_RootDeviceItemNode>(tr("IDS_ROOT_DEVICE"))));
    m_rootLocalDb = appendNode(std::make_unique<_ItemNode>(NodeRootLocalDb, tr("IDS_ROOT_LOCALDB"), nullptr));
}

bool ItemModelMain::isFixed(const _ItemNode* node) const
{
    return node == m_rootDevice || node == m_rootLocalDb;
}

int ItemModelMain::columnCount(const QModelIndex&) const
{
    return 1;
}

QString ItemModelMain::lastBackupText(const QString& localDatabase)
{
    // Read when asked: a scheduled run may have added one since the tree was made.
    const QList<BackupRuns::Run> runs = BackupRuns::runsIn(AppDirs::localDatabasePath(localDatabase));
    if (runs.isEmpty())
        return tr("IDS_NO_BACKUP_RUN_RECORDED");
    const BackupRuns::Run& last = runs.constFirst();
    QString outcome = BackupRuns::outcomeName(last.outcome);
    if (!last.message.isEmpty())
        outcome += QStringLiteral(": ") + last.message.left(200);
    return tr("IDS_LAST_BACKUP_%1_%2")
        .arg(QLocale::system().toString(last.started.toLocalTime(), QLocale::ShortFormat), outcome);
}

QVariant ItemModelMain::headerData(int, Qt::Orientation, int) const
{
    return {};
}

QVariant ItemModelMain::data(const QModelIndex& index, int role) const
{
    const _ItemNode* node = nodeFromIndex(index);
    if (!node || index.row() < 0 || index.column() < 0)
        return {};
    const bool locked =
        node->type == NodeAndroidDevice && static_cast<const _AndroidDeviceItemNode*>(node)->locked;
    switch (role) {
    case Qt::DisplayRole:
        return locked ? QStringLiteral("\U0001F512 ") + node->text : node->text;
    case Qt::ToolTipRole:
        if (node->type == NodeLocalDb)
            return QString(node->text + QLatin1Char('\n') + lastBackupText(node->text));
        return locked ? node->text + QLatin1Char('\n') + tr("IDS_IPHONE_BACKUP_LOCKED") : node->text;
    case Qt::DecorationRole:
        switch (node->type) {
        case NodeRootDevice:
            return resourceIcon(QStringLiteral(":res/devices.png"));
        case NodeRootLocalDb:
            return resourceIcon(QStringLiteral(":res/databases.png"));
        case NodeAndroidDevice:
            return resourceIcon(QStringLiteral(":res/android.png"));
        case NodeLocalDb:
            return resourceIcon(QStringLiteral(":res/database.png"));
        case NodeChat:
            return chatIcon(static_cast<const _ChatSessionItemNode*>(node)->chat);
        default:
            return {};
        }
    case Qt::SizeHintRole:
        return QSize(0, RowHeight);
    default:
        return {};
    }
}

QPixmap ItemModelMain::resourceIcon(const QString& path) const
{
    const auto it = m_icons.constFind(path);
    if (it != m_icons.constEnd())
        return *it;
    const QPixmap icon = scaledIcon(QImage(path));
    m_icons.insert(path, icon);
    return icon;
}

QPixmap ItemModelMain::chatIcon(const _ViberChat* chat) const
{
    if (!chat || chat->participants.size() != 1)
        return resourceIcon(QStringLiteral(":res/group.png"));
    const QString path = chat->participants.cbegin().value()->photoPath;
    const QFileInfo file(path);
    if (path.isEmpty() || !file.isFile())
        return resourceIcon(QStringLiteral(":res/contact.png"));
    // Painting asks for the icon again and again; a reload of the source rewrites the
    // photo in place, so the key carries the file's time and size.
    const QString key = QStringLiteral("photo|%1|%2|%3")
                            .arg(path)
                            .arg(file.lastModified().toMSecsSinceEpoch())
                            .arg(file.size());
    auto it = m_icons.constFind(key);
    if (it == m_icons.constEnd())
        it = m_icons.insert(key, scaledIcon(loadPhoto(path)));
    return it->isNull() ? resourceIcon(QStringLiteral(":res/contact.png")) : *it;
}

_AndroidDeviceItemNode* ItemModelMain::addAndroidDevice(const AndroidDevice& device)
{
    return static_cast<_AndroidDeviceItemNode*>(
        appendNode(std::make_unique<_AndroidDeviceItemNode>(device, m_rootDevice)));
}

_LocalDbItemNode* ItemModelMain::addLocalDb(const QString& name)
{
    return static_cast<_LocalDbItemNode*>(
        appendNode(std::make_unique<_LocalDbItemNode>(name, m_rootLocalDb)));
}

bool ItemModelMain::chatBefore(const _ViberChat* a, const _ViberChat* b)
{
    // Equal dates fall back to the id, so the list is the same on every load.
    if (ViberSort::chatByDate(a, b))
        return true;
    if (ViberSort::chatByDate(b, a))
        return false;
    return a->id < b->id;
}

void ItemModelMain::loadChats(_AbsDBItemNode* node)
{
    if (!node)
        return;
    removeChildren(node);
    QList<_ViberChat*> chats = node->data ? node->data->allChats() : QList<_ViberChat*>();
    std::sort(chats.begin(), chats.end(), &ItemModelMain::chatBefore);
    std::vector<std::unique_ptr<_ItemNode>> nodes;
    nodes.reserve(static_cast<size_t>(chats.size()));
    for (_ViberChat* chat : chats)
        nodes.push_back(std::make_unique<_ChatSessionItemNode>(chat, ViberText::chatTitle(*chat), node));
    appendNodes(node, std::move(nodes));
}

QList<_AndroidDeviceItemNode*> ItemModelMain::deviceNodes() const
{
    QList<_AndroidDeviceItemNode*> nodes;
    for (const auto& child : m_rootDevice->children) {
        if (child->type == NodeAndroidDevice)
            nodes.append(static_cast<_AndroidDeviceItemNode*>(child.get()));
    }
    return nodes;
}

QList<_LocalDbItemNode*> ItemModelMain::localDbNodes() const
{
    QList<_LocalDbItemNode*> nodes;
    for (const auto& child : m_rootLocalDb->children) {
        if (child->type == NodeLocalDb)
            nodes.append(static_cast<_LocalDbItemNode*>(child.get()));
    }
    return nodes;
}

_LocalDbItemNode* ItemModelMain::findLocalDb(const QString& name, Qt::CaseSensitivity cs) const
{
    const QList<_LocalDbItemNode*> nodes = localDbNodes();
    const auto it = std::find_if(nodes.begin(), nodes.end(),
                                 [&](const _LocalDbItemNode* n) { return n->text.compare(name, cs) == 0; });
    return it == nodes.end() ? nullptr : *it;
}
