#pragma once

#include "app/SchemaCatalogue.h"
#include "db/AbsViberDb.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

struct _ViberAtta;
struct _ViberPerson;

// The databases of today's Android Viber app (messages keyed by msg_date, send_type and
// user_id, extra_mime an integer code), read from the same unpacked layout as
// AndroidViberDb: "viber_messages" and the call log "viber_data". It only reads; the
// app's newer columns are asked for by name, so files of later versions still load.
class ModernAndroidViberDb : public AbsViberDb
{
public:
    // The codes of messages.extra_mime this reader knows by name.
    enum Kind : int {
        Text = 0,
        Picture = 1,
        OldVoice = 2,
        Video = 3,
        Sticker = 4,
        Location = 5,
        Formatted = 7,
        Link = 8,
        ContactCard = 9,
        File = 10,
        Notice = 1000,
        Call = 1002,
        Gif = 1005,
        ReactionHelper = 1007,
        DeletedBySender = 1008,
        Voice = 1009,
        InstantVideo = 1010,
    };

    // deviceRoot: the phone's external storage root as a path on the phone.
    // extractRoot: the local folder holding "ab-extract/apps/com.viber.voip" and
    // "ab-extract/sdcard". mediaRoot, when given, holds "ab-extract/sdcard" instead (see
    // AndroidViberDb).
    ModernAndroidViberDb(const QString& deviceRoot, const QString& extractRoot,
                         const QString& mediaRoot = {});
    ~ModernAndroidViberDb() override;

    QString messagesDbPath() const;
    QString dataDbPath() const;

    // This generation keeps coordinates in millionths of a degree, signed.
    static double microdegrees(qint64 value);

    // The local copy of a phone file of Viber's own media folders, below
    // "ab-extract/sdcard"; empty for anything else (other schemes, ".." segments,
    // controls, paths outside "Android/data/com.viber.voip/files/").
    QString localMediaPath(const QString& phoneUri) const;

    void open() override;

protected:
    void loadInto(ViberDataSet& dataSet) override;

private:
    void loadPeople(ViberDataSet& dataSet);
    void loadChats(ViberDataSet& dataSet);
    void loadMessages(ViberDataSet& dataSet);
    void loadCallLog(ViberDataSet& dataSet);
    _ViberPerson* personForNumber(ViberDataSet& dataSet, const QString& number);
    QList<_ViberMsg*> addCallsWithoutBubble(ViberDataSet& dataSet);
    void placeMedia(_ViberAtta& atta, int kind, const QString& uri, const QString& downloadId) const;

    QString m_deviceRoot;
    QString m_extractRoot;
    QString m_mediaRoot;
    SchemaCatalogue m_catalogue;

    // participants_info._id -> person: two cards of one person lead to one record.
    QHash<qint64, _ViberPerson*> m_personByInfo;
    // participants._id -> participants_info._id, for every row including the owner's.
    QHash<qint64, qint64> m_infoByParticipant;
    QHash<QString, _ViberPerson*> m_personByNumber; // canonical numbers
    qint64 m_nextMadeUpId = -1;
    QHash<qint64, _ViberCall*> m_callByToken;
    // The call log in its order, with each call's group id (0 for a one-to-one call).
    QList<QPair<_ViberCall*, qint64>> m_logCalls;
    QSet<const _ViberCall*> m_callsWithBubble;
    // Each person's one-to-one chat, the lowest id where there are several.
    QHash<const _ViberPerson*, _ViberChat*> m_directChat;
};
