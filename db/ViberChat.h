#pragma once

#include "db/ViberEntity.h"

#include <QHash>
#include <QList>
#include <QString>

struct _ViberPerson;
struct _ViberMsg;

struct _ViberChat : _ViberEntity
{
    qint64 id = 0;   // negative for a chat a loader made up
    double date = 0; // latest activity, seconds since 2001-01-01 UTC
    QString name;
    QString groupId;                           // non-empty exactly for group chats
    QHash<qint64, _ViberPerson*> participants; // the other members; never the owner
    QList<_ViberMsg*> messages;                // in the order the loader appended them

    bool isGroup() const { return !groupId.isEmpty(); }
};
