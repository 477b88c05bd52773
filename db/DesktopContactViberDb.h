#pragma once

#include "app/SchemaCatalogue.h"
#include "db/AbsViberDb.h"

#include <QString>

// The desktop app's "viber.db" of the contact-keyed generation (Events.ContactID,
// Messages.Info), as older desktop versions left it unencrypted. It only reads.
class DesktopContactViberDb : public AbsViberDb
{
public:
    // The codes of Messages.Type this reader knows by name.
    enum Kind : int {
        ReactionHelper = 0,
        Text = 1,
        Picture = 2,
        Video = 3,
        Sticker = 4,
        Location = 5,
        Voice = 6,
        InstantVideo = 7,
        Business = 8,
        Link = 9,
        ContactCard = 10,
        File = 11,
        ServiceLine = 15,
        DeletedBySender = 72,
    };

    explicit DesktopContactViberDb(const QString& path);
    ~DesktopContactViberDb() override;

    QString dbPath() const { return m_path; }

    // Names may carry Unicode bidi isolates (U+2066 to U+2069) around them.
    static QString cleanName(const QString& name);

    void open() override;

protected:
    void loadInto(ViberDataSet& dataSet) override;

private:
    qint64 ownerContactId();

    QString m_path;
    SchemaCatalogue m_catalogue;
};
