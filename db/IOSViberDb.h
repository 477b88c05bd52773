#pragma once

#include "app/SchemaCatalogue.h"
#include "db/AbsViberDb.h"
#include "db/ColumnInsert.h"
#include "db/LocalDbWriteContext.h"
#include "db/MessageKeyIndex.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

struct _ViberPerson;
struct _ViberChat;
struct _ViberMsg;
struct _ViberCall;

// A local database: a folder holding an SQLite file in the shape of the iOS Viber
// app's Core Data store, plus the media files in that app's folder layout. The same
// adapter reads a genuine iOS store, which has more tables and columns; everything
// beyond the program's own schema is looked up in the catalogue first.
class IOSViberDb : public AbsViberDb
{
public:
    // Writing (the default) opens read-write, creates a missing file from the schema
    // script, removes orphaned rows and makes missing picture previews. Browsing opens
    // read-only: a missing file is an error and nothing in the folder changes.
    static constexpr int OpenForWriting = 0;
    static constexpr int OpenForBrowsing = 1;

    static constexpr auto SchemaScript = ":res/ios_viber_db.sql";

    IOSViberDb(const QString& folder, const QString& databaseFile, int openFlag = OpenForWriting);
    ~IOSViberDb() override;

    void open() override;

    QString folder() const { return m_folder; }
    QString databaseFile() const { return m_databaseFile; }
    QString databasePath() const;
    int openFlag() const { return m_openFlag; }
    const SchemaCatalogue& catalogue() const { return m_catalogue; }
    int entityNumber(const QString& name) const { return m_entities.value(name); }
    QString joinTable() const { return m_joinTable; }
    QString joinConversationColumn() const { return m_joinConversationColumn; }
    QString joinPhoneColumn() const { return m_joinPhoneColumn; }

    // Writing. Every operation opens first and throws the library's exception when a
    // statement fails; records the rules decline to write give 0.
    qint64 nextUid(LocalDbWriteContext& context, bool increment);
    qint64 findPerson(const _ViberPerson* person);
    qint64 insertPerson(LocalDbWriteContext& context, const _ViberPerson* person);
    qint64 findConversation(const _ViberChat& chat);
    qint64 insertConversation(LocalDbWriteContext& context, const _ViberChat& chat);
    void linkParticipants(LocalDbWriteContext& context, qint64 conversationPk,
                          const QList<_ViberPerson*>& persons);
    // Inside a transaction, before a run of about runMessages messages: when the message
    // table holds no row yet, or not many more than the run brings, the stored keys and
    // the run's own are kept in memory and findDuplicateMessage() answers from there
    // until the database is opened again. An empty table's indexes are also dropped, to
    // be built once from the finished table by finishMessageRun(), so that a backup into
    // a new database asks no query and updates no index per message. The caller calls
    // finishMessageRun() before it commits; closing without a commit rolls all back.
    void startMessageRun(qint64 runMessages = 0);
    void finishMessageRun();
    // The stored message with the same token within a minute, or without a token at the
    // same date; 0 when there is none. attachmentPk: its attachment's row, or 0.
    qint64 findDuplicateMessage(qint64 token, double date, qint64& attachmentPk);
    qint64 findDuplicateMessage(qint64 token, double date);
    qint64 insertMessage(LocalDbWriteContext& context, qint64 conversationPk, const _ViberMsg& message,
                         qint64& attachmentPk, qint64& locationPk);
    // added, when given, tells whether the call was new to the database.
    qint64 insertCall(LocalDbWriteContext& context, const _ViberCall& call, bool* added = nullptr);
    void refreshRecentsLines();

protected:
    void loadInto(ViberDataSet& dataSet) override;

private:
    void createSchema();
    void prepare();
    void requireTables() const;
    void removeOrphans();
    bool hasAddressBook() const;
    qint64 findOrInsertPerson(LocalDbWriteContext& context, const _ViberPerson* person);

    void loadChats(ViberDataSet& dataSet);
    void loadParticipants(ViberDataSet& dataSet);
    void loadPersons(ViberDataSet& dataSet);
    void loadMessages(ViberDataSet& dataSet);
    void loadAttachments(ViberDataSet& dataSet);
    void loadCalls(ViberDataSet& dataSet);

    QString m_folder;
    QString m_databaseFile;
    int m_openFlag;
    bool m_prepared = false;

    SchemaCatalogue m_catalogue;
    QHash<QString, int> m_entities;
    int m_conversationEntity = 0;
    int m_phoneEntity = 0;
    QString m_joinTable;
    QString m_joinConversationColumn;
    QString m_joinPhoneColumn;
    QString m_linkSql;
    QString m_findChatSql;
    QByteArray m_messageConversationColumn; // "Z%1_CONVERSATION" of a genuine store

    MessageKeyIndex m_runKeys;
    bool m_runKeysComplete = false; // every stored message is in m_runKeys
    QStringList m_deferredIndexes;  // statements that make the dropped indexes again

    ColumnInsert m_personInsert{"ZPHONENUMBERINDEX"};
    ColumnInsert m_conversationInsert{"ZCONVERSATION"};
    ColumnInsert m_messageInsert{"ZVIBERMESSAGE"};
    ColumnInsert m_locationInsert{"ZVIBERLOCATION"};
    ColumnInsert m_attachmentInsert{"ZATTACHMENT"};
    ColumnInsert m_recentInsert{"ZRECENT"};
    ColumnInsert m_recentsLineInsert{"ZRECENTSLINE"};
};
