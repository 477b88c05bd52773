#pragma once

#include "db/RecordTable.h"
#include "db/ViberAtta.h"
#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberMsg.h"
#include "db/ViberPerson.h"

#include <QDateTime>
#include <QHash>

#include <memory>

class DecryptedBackupMedia;

// Everything one load of one source produced. It owns every record; chats'
// participants and messages and all record-to-record pointers refer into it.
class ViberDataSet
{
public:
    RecordTable<_ViberChat> chats;
    RecordTable<_ViberPerson> persons;
    RecordTable<_ViberMsg> messages;
    RecordTable<_ViberAtta> attachments;
    RecordTable<_ViberCall> calls;
    // An encrypted backup's keys and decrypted media, kept while the history is shown:
    // the attachments' paths are made from them when first read (OnDemandFiles).
    std::shared_ptr<DecryptedBackupMedia> decryptedMedia;
    // Of a local database: the stored messages (by id) that the source they were backed
    // up from no longer held at a later complete backup, with when that was first seen.
    QHash<qint64, QDateTime> goneFromSource;
    // Every message oldest first, when the reader sorted them on its own thread (a local
    // database read for the window); empty otherwise.
    QList<_ViberMsg*> oldestFirst;

    QList<_ViberChat*> allChats() const { return chats.values(); }
    QList<_ViberMsg*> allMessages() const { return messages.values(); }

    // Ties a message to its chat (appending it to the chat's messages).
    static void addToChat(_ViberChat* chat, _ViberMsg* msg);
    // Ties an attachment and its message both ways.
    static void attach(_ViberMsg* msg, _ViberAtta* atta);
};

using ViberDataSetPtr = std::shared_ptr<ViberDataSet>;
