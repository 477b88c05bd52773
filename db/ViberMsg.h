#pragma once

#include "db/RareLocation.h"
#include "db/ViberEntity.h"

#include <QList>
#include <QMetaType>
#include <QString>

struct _ViberChat;
struct _ViberAtta;
struct _ViberPerson;
struct _ViberCall;

struct _ViberMsg : _ViberEntity
{
    qint64 id = 0; // for a call message, the negated call id
    qint64 token = 0;
    qint64 seq = 0;
    double date = 0;
    double stateDate = 0;
    // Small codes in small fields: a load keeps hundreds of thousands of messages.
    qint16 status = 0;     // ViberStatus
    qint16 type = 0;       // ViberMsgType
    qint16 systemType = 0; // ViberSystemType, 0 for all but system messages
    RareLocation location;
    QString text;
    _ViberChat* chat = nullptr;
    _ViberAtta* attachment = nullptr;
    _ViberPerson* sender = nullptr;
    _ViberCall* call = nullptr;

    bool hasLocation() const { return location.latitude() != 0 && location.longitude() != 0; }
};

using ViberMsgList = QList<_ViberMsg*>;
Q_DECLARE_METATYPE(ViberMsgList)
