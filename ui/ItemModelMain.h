#pragma once

#include <QImage>

#include "ui/AbsTreeItemModel.h"
#include "ui/TreeItemNodes.h"

#include <QHash>
#include <QPixmap>

// The data-source tree: "Devices" and "Local Databases", their sources, and each
// source's chats.
class ItemModelMain : public AbsTreeItemModel
{
    Q_OBJECT
public:
    explicit ItemModelMain(QObject* parent = nullptr);

    // A contact photo comes from the source's files: read as JPEG, else PNG, whatever its
    // name says. Qt's image allocation limit bounds what a damaged file can cost.
    static QImage loadPhoto(const QString& path);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    _RootDeviceItemNode* rootDevice() const { return m_rootDevice; }
    _ItemNode* rootLocalDb() const { return m_rootLocalDb; }

    _AndroidDeviceItemNode* addAndroidDevice(const AndroidDevice& device);
    _LocalDbItemNode* addLocalDb(const QString& name);
    // Replaces the source's chat nodes with one per chat of its data set, newest first.
    void loadChats(_AbsDBItemNode* node);

    QList<_AndroidDeviceItemNode*> deviceNodes() const;
    QList<_LocalDbItemNode*> localDbNodes() const;
    _LocalDbItemNode* findLocalDb(const QString& name, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;

    // The order of a source's chat nodes: a before b.
    static bool chatBefore(const _ViberChat* a, const _ViberChat* b);
    // "Last backup: …" of a local database, from its record of backup runs.
    static QString lastBackupText(const QString& localDatabase);

protected:
    bool isFixed(const _ItemNode* node) const override;

private:
    QPixmap resourceIcon(const QString& path) const;
    QPixmap chatIcon(const _ViberChat* chat) const;

    _RootDeviceItemNode* m_rootDevice = nullptr;
    _ItemNode* m_rootLocalDb = nullptr;
    mutable QHash<QString, QPixmap> m_icons; // resource pictures, scaled once
};
