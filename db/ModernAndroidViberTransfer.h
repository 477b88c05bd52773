#pragma once

#include "db/AndroidViberTransfer.h"
#include "db/ModernOrderKeys.h"
#include "db/TokenDates.h"
#include "db/ViberCall.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class ColumnInsert;
class SchemaCatalogue;
class Sqlite3DB;
struct _ViberChat;
struct _ViberMsg;
struct _ViberPerson;
struct ModernMessageRow;

// Adds messages of any source to a working copy of the messages database of today's
// Android Viber ("viber_messages" with msg_date, send_type, order_key and msg_info).
// Nothing the phone holds changes: its rows keep every column, _id included, and the
// added rows take the next ids, placed in each chat's order by their order_key. One
// transaction: a failure or a cancel (thrown by a callback) leaves the file as it was.
class ModernAndroidViberTransfer
{
public:
    // The media's URI on the phone, empty where the file does not go; kind: the row's
    // extra_mime.
    using MediaResolver = std::function<QString(const _ViberMsg&, int kind)>;
    using ProgressReport = AndroidViberTransfer::ProgressReport;

    struct Result
    {
        qint64 queued = 0;     // messages with a chat that are no system message
        qint64 duplicates = 0; // of those, already on the phone or queued twice
        qint64 written = 0;    // messages rows added
        // Messages left out because the phone's Viber could not tell whose they are: a
        // sender or chat partner without a phone number.
        qint64 withoutIdentity = 0;
        qint64 conversationsAdded = 0;
        qint64 lastPhoneId = 0; // the added rows have greater ids
        // The calls of the written call messages, each with the token its message row
        // got, which is how the app ties a call-log row to its bubble.
        QList<_ViberCall> calls;
    };

    // dataDbPath: the phone's call log ("viber_data"), when it has one: a call it holds
    // is on the phone, with or without a bubble.
    explicit ModernAndroidViberTransfer(const QString& messagesDbPath, const QString& dataDbPath = {});
    ~ModernAndroidViberTransfer();

    Result mergeMessages(const QList<_ViberMsg*>& messages, const MediaResolver& media,
                         const ProgressReport& progress);

private:
    struct Template
    {
        qint64 status = 0;
        qint64 flag = 0;
        bool found = false;
    };
    struct SeenRow
    {
        qint64 date;
        qint64 conversationId;
        int sendType;
        size_t bodyHash;
    };
    // What a row without a token is told apart by, kept per (conversation, send_type).
    struct SeenText
    {
        qint64 date;
        size_t bodyHash;
    };
    struct Entry
    {
        qint64 dateMs = 0;
        _ViberMsg* message = nullptr;
    };

    void readPhone();
    void readCallLog();
    void readTemplates();
    bool isDuplicate(const SeenRow& row, qint64 token) const;
    bool isDuplicateWithoutToken(const SeenRow& row) const;
    // 0 when the person has no number the phone could know them by, or is not on the
    // phone and create is false.
    qint64 personInfoId(const _ViberPerson& person, bool create);
    // 0 for a chat the app could not find again, or that is not on the phone and create
    // is false.
    qint64 conversationFor(const _ViberChat& chat, qint64 dateMs, bool create);
    qint64 participantRow(qint64 conversationId, qint64 infoId);
    // Returns the token the row got.
    qint64 writeMessage(qint64 conversationId, const _ViberMsg& message, const ModernMessageRow& row,
                        qint64 dateMs, qint64 senderInfo);
    void writeCallRow(qint64 conversationId, qint64 messageId, const _ViberCall& call, qint64 token,
                      qint64 dateMs);
    qint64 freshToken(qint64 dateMs, const _ViberMsg& message) const;

    QString m_path;
    QString m_dataPath;
    std::unique_ptr<Sqlite3DB> m_db;
    std::unique_ptr<SchemaCatalogue> m_catalogue;
    std::unique_ptr<ColumnInsert> m_insertMessage;
    ModernOrderKeys m_orderKeys;

    qint64 m_ownerInfo = 0;
    QString m_ownerNumber;
    QHash<QString, qint64> m_infoByNumber; // canonical number → participants_info._id
    QHash<QString, qint64> m_infoByMember; // member_id → participants_info._id
    QHash<qint64, QString> m_userIdOfInfo; // participants_info._id → what user_id names it by
    QHash<qint64, qint64> m_directByInfo;  // the person's one-to-one conversation
    QHash<qint64, qint64> m_groupById;     // group_id → conversation
    QHash<qint64, int> m_typeOfConversation;
    QHash<qint64, qint64> m_newestOfNew; // conversations made here → their newest date
    QHash<qint64, qint64> m_groupOfConversation;
    QHash<QPair<qint64, qint64>, qint64> m_participant; // (conversation, info) → participants._id
    TokenDates m_datesByToken;
    TokenDates m_callDatesByToken;                           // the call log's
    QHash<QPair<qint64, int>, QList<SeenText>> m_rowsByChat; // (conversation, send_type)
    QHash<QPair<int, int>, Template> m_templates;            // (send_type, conversation_type)
};
