#pragma once

#include "app/SchemaCatalogue.h"
#include "db/AbsViberDb.h"

#include <QString>

// The message database of the Android Viber app ("viber_messages"), read from a
// working copy that the load or restore worker placed below a local folder laid out
// like an unpacked backup archive. It never talks to the phone.
class AndroidViberDb : public AbsViberDb
{
public:
    // deviceRoot: the phone's external storage root as a path on the phone.
    // extractRoot: the local folder holding "ab-extract/apps/com.viber.voip" and
    // "ab-extract/sdcard".
    AndroidViberDb(const QString& deviceRoot, const QString& extractRoot);
    ~AndroidViberDb() override;

    QString messagesDbPath() const;
    // The app's second database, the call log, kept beside the messages file.
    QString dataDbPath() const;

    QString deviceRoot() const { return m_deviceRoot; }
    QString extractRoot() const { return m_extractRoot; }
    QString mediaDir() const { return m_mediaDir; }
    const SchemaCatalogue& catalogue() const { return m_catalogue; }

    // Viber stores coordinates as integers without the decimal point and keeps a fixed
    // number of digits before it: two for latitude, three for longitude. Zero or less
    // means no coordinate.
    static double scaledCoordinate(qint64 value, int integerDigits);

    // Opens the working copy read-write and removes the rows the app only marked as
    // deleted, so that they never reach a data set or a merge.
    void open() override;

protected:
    void loadInto(ViberDataSet& dataSet) override;

private:
    QString m_deviceRoot;
    QString m_extractRoot;
    QString m_mediaDir;
    SchemaCatalogue m_catalogue;
};
