#pragma once

#include "db/ViberDataSet.h"

#include <QDate>
#include <QDateTime>
#include <QString>

// A made-up but lifelike message history for demos and screenshots: several chats
// over several days, a group with several senders, photos with previews, a voice
// note, a video, stickers, a location, emoticons and emoji in texts, calls and
// contact photos.
class DemoHistory
{
public:
    // Draws the media into mediaFolder (which must stay until the history is written)
    // and builds the records that refer to them. The history ends on the day of now,
    // or the day before while today's messages would still lie in the future.
    explicit DemoHistory(const QString& mediaFolder, const QDateTime& now = QDateTime::currentDateTime());

    ViberDataSetPtr dataSet() const { return m_set; }

    // Writes the whole history into a new local database folder through the backup
    // worker, as a backup from a phone would. Throws std::runtime_error with the
    // worker's message when it fails, and refuses a folder that exists already.
    void writeLocalDatabase(const QString& databaseFolder) const;

private:
    void build(const QDate& today);
    QString media(const QString& name) const;

    QString m_mediaFolder;
    ViberDataSetPtr m_set;
};
