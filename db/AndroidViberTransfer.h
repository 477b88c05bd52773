#pragma once

#include <QList>
#include <QString>

#include <functional>

class AndroidViberDb;
struct _ViberCall;
struct _ViberMsg;

// Adds messages of any source to a working copy of a phone's databases and rebuilds
// the phone's messages so that every row, the phone's own and the added ones, gets its
// _id in date order. The phone's rows keep every column value but _id, and every table
// that names a message by _id is renumbered with it. Each step is one transaction: a
// failure or a cancel (thrown by a callback) leaves the working copy as it was.
class AndroidViberTransfer
{
public:
    struct MediaTexts
    {
        QString bodyText; // the preview's reference on the phone
        QString uriText;  // the media file's reference on the phone
    };
    // Called once for every message that is going to be written; may throw to cancel.
    using MediaResolver = std::function<MediaTexts(const _ViberMsg&)>;
    // Called with the number of entries done and their total; may throw to cancel.
    using ProgressReport = std::function<void(qint64 done, qint64 total)>;

    struct Result
    {
        qint64 queued = 0;              // messages with a chat that are no system message
        qint64 duplicates = 0;          // of those, already on the phone or queued twice
        qint64 written = 0;             // messages rows added
        QList<const _ViberCall*> calls; // the calls of the queued call messages
    };

    explicit AndroidViberTransfer(AndroidViberDb& work);

    Result mergeMessages(const QList<_ViberMsg*>& messages, const MediaResolver& media,
                         const ProgressReport& progress);

    // Adds calls to the call log ("calls" of viber_data) unless one with the same token
    // lies within a minute; returns the number of rows added.
    static qint64 mergeCalls(const QString& dataDbPath, const QList<const _ViberCall*>& calls,
                             const ProgressReport& progress);

    // The call log's "aggregate_hash" of a number: the MD5 of its UTF-8 bytes read as four
    // little-endian 32-bit words, combined by exclusive or.
    static qint32 numberHash(const QString& number);

    // The tables and columns of the Android databases that hold a messages _id.
    struct MessageReference
    {
        const char* table;
        const char* column;
    };
    static const QList<MessageReference>& messageReferences();

private:
    void renumberByDate(qint64 lastPhoneId, qint64 oldSequence);

    AndroidViberDb& m_work;
};
