#pragma once

#include "android/AndroidDevice.h"
#include "db/ViberDataSet.h"
#include "ui/AbsTreeItemModel.h"

// The node kinds of the data-source tree. Chat nodes point into the data set that their
// source node holds, so a source node must outlive its chat nodes (it owns them).

class _RootDeviceItemNode : public AbsTreeItemModel::_ItemNode
{
public:
    explicit _RootDeviceItemNode(const QString& text)
        : _ItemNode(AbsTreeItemModel::NodeRootDevice, text, nullptr)
    {}
};

// A source whose records have been (or will be) loaded; an empty handle until then.
class _AbsDBItemNode : public AbsTreeItemModel::_ItemNode
{
public:
    _AbsDBItemNode(int type, const QString& text, _ItemNode* parent) : _ItemNode(type, text, parent) {}

    ViberDataSetPtr data;
};

class _AndroidDeviceItemNode : public _AbsDBItemNode
{
public:
    _AndroidDeviceItemNode(const AndroidDevice& device, _ItemNode* parent)
        : _AbsDBItemNode(AbsTreeItemModel::NodeAndroidDevice, device.displayName(), parent), device(device)
    {}

    AndroidDevice device;
    // The folder read in place of a phone (an unpacked Viber folder or an iPhone backup
    // below "virtual_android"); empty for a phone. Such a device is a source only: there
    // is no phone to write to.
    QString virtualFolder;
    // An encrypted iPhone backup listed without its records: they are read once the
    // user has given its password.
    bool locked = false;

    bool isVirtual() const { return !virtualFolder.isEmpty(); }
};

// Text: the database's folder name under the local-database root.
class _LocalDbItemNode : public _AbsDBItemNode
{
public:
    _LocalDbItemNode(const QString& name, _ItemNode* parent)
        : _AbsDBItemNode(AbsTreeItemModel::NodeLocalDb, name, parent)
    {}
};

class _ChatSessionItemNode : public AbsTreeItemModel::_ItemNode
{
public:
    _ChatSessionItemNode(_ViberChat* chat, const QString& text, _ItemNode* parent)
        : _ItemNode(AbsTreeItemModel::NodeChat, text, parent), chat(chat)
    {}

    _ViberChat* chat; // lives in the parent's data set
};
