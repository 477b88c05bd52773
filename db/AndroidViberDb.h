#pragma once

#include "app/SchemaCatalogue.h"
#include "db/AbsViberDb.h"
#include "db/ColumnInsert.h"
#include "db/CoordinateScale.h"

#include <QHash>
#include <QString>

#include <optional>
#include <span>

struct _ViberChat;
struct _ViberMsg;
struct _ViberPerson;

// The message database of the Android Viber app ("viber_messages"), read from and
// merged into a working copy that the load or restore worker placed below a local
// folder laid out like an unpacked backup archive. It never talks to the phone.
class AndroidViberDb : public AbsViberDb
{
public:
    // deviceRoot: the phone's external storage root as a path on the phone.
    // extractRoot: the local folder holding "ab-extract/apps/com.viber.voip" and
    // "ab-extract/sdcard". mediaRoot, when given, holds "ab-extract/sdcard" instead: a
    // folder read through a private copy of its databases keeps its media where it is.
    AndroidViberDb(const QString& deviceRoot, const QString& extractRoot, const QString& mediaRoot = {});
    ~AndroidViberDb() override;

    QString messagesDbPath() const;
    // The app's second database, the call log, kept beside the messages file.
    QString dataDbPath() const;

    QString deviceRoot() const { return m_deviceRoot; }
    QString extractRoot() const { return m_extractRoot; }
    QString mediaDir() const { return m_mediaDir; }
    const SchemaCatalogue& catalogue() const { return m_catalogue; }

    // Opens the working copy read-write and removes the rows the app only marked as
    // deleted, so that they never reach a merge. A load leaves them in the file and
    // passes over them instead.
    void open() override;

    // Merging records of any source into the working copy. Every operation opens
    // first and throws the library's exception when a statement fails; look-ups and
    // records the rules decline to write give 0. The caller keeps one ownerInfoId
    // (initially 0) for a whole merge: the participants_info row of the phone's owner.
    //
    // Order of a merge: createMergeIndexes(); begin a transaction; per chat
    // findConversation() or insertConversation(); per message findDuplicateMessage()
    // and, when it gives 0, insertMessage(); fixConversations(); commit;
    // dropMergeIndexes(true).

    // Indexes that keep every per-message look-up of the merge off full scans. Left
    // over from an interrupted merge they are simply reused.
    void createMergeIndexes();
    // Removes every index createMergeIndexes() adds, so the phone gets back exactly
    // the indexes it had; then VACUUM when asked (outside a transaction). Failing
    // statements are only logged.
    void dropMergeIndexes(bool vacuum);

    qint64 ownerParticipantInfo(qint64& ownerInfoId);
    qint64 findParticipantInfo(const _ViberPerson* person);
    qint64 insertParticipantInfo(const _ViberPerson* person);
    qint64 ensureParticipant(qint64 conversationId, qint64 participantInfoId);
    qint64 addParticipant(qint64 conversationId, const _ViberPerson* person);
    qint64 findConversation(const _ViberChat* chat);
    qint64 insertConversation(qint64& ownerInfoId, const _ViberChat* chat);
    // Whether insertMessage() writes the message (unless the phone holds it already):
    // a kind the phone has, in a chat, with someone the row can name. A merge asks
    // before it makes the message's conversation, which must not exist without it.
    static bool isWritable(const _ViberMsg& message);
    // A message already on the phone has the same token and a date within a minute;
    // without a token (0), the same date.
    qint64 findDuplicateMessage(qint64 dateMs, qint64 token);
    // How far apart two dates of one token may lie and still be one message.
    static qint64 duplicateWindowMs(qint64 token);
    // bodyText and uriText: the phone-side references of the message's preview and
    // media file, written as given. Returns the new messages _id, 0 when skipped:
    // notices, calls of no known kind or already on the phone, and messages that no
    // participant can be named for.
    qint64 insertMessage(qint64 conversationId, qint64& ownerInfoId, const _ViberMsg& message,
                         const QString& bodyText, const QString& uriText);
    // Makes every conversation's date, last message, media count and participant
    // columns, and every participant's last message, agree with the rows.
    void fixConversations();

    // What android_metadata.locale holds after a merge into a file whose indexes use
    // Android's LOCALIZED collation: no device locale is ever spelled like this, so
    // the app's database opener rebuilds those indexes with the phone's own collator.
    static constexpr auto ReindexLocale = "kestrune-reindex";

protected:
    void openForLoad() override;
    void loadInto(ViberDataSet& dataSet) override;

private:
    void requireTransactionKept(bool wasInTransaction, const QString& error) const;
    // Drops the named indexes where they exist; a failure is worth a warning only.
    void dropIndexes(std::span<const char* const> names, bool wasInTransaction);
    // One participants_info row: participant type 0 is the phone's owner, 1 anyone else.
    qint64 writeParticipantInfo(const QString& number, const QString& name, int participantType);
    void resetMergeState();
    void removeDeletedMessages();
    // The filter that passes over the rows the app marked deleted, when the table can
    // mark them; empty otherwise.
    QString notMarkedDeleted(const QString& table) const;
    qint64 insertCallMessage(qint64 conversationId, const _ViberMsg& message);
    void markLocalizedIndexesStale();
    // The factor of the phone's own location rows, read once per merge before the first
    // location is written, so that the merged rows use it too.
    const CoordinateScale& mergeCoordinateScale();

    QString m_deviceRoot;
    QString m_extractRoot;
    QString m_mediaDir;
    SchemaCatalogue m_catalogue;
    bool m_markedRowsRemoved = false;

    ColumnInsert m_participantInfoInsert{"participants_info"};
    ColumnInsert m_conversationInsert{"conversations"};
    ColumnInsert m_messageInsert{"messages"};
    ColumnInsert m_callInsert{"messages_calls"};
    // Chats this adapter found or made a conversation for in this merge: a chat the
    // rules cannot find again (a group without a numeric id, a chat of several or no
    // persons without one) gets one conversation per merge rather than one per message,
    // and a found one is looked up once.
    QHash<const _ViberChat*, qint64> m_chatConversations;
    std::optional<CoordinateScale> m_mergeCoordinateScale;
};
