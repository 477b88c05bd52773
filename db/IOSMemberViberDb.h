#pragma once

#include "app/SchemaCatalogue.h"
#include "db/AbsViberDb.h"

#include <QHash>
#include <QString>

#include <memory>

class IPhoneBackup;

// The iPhone app's "Contacts.data" of the ZMEMBER generation (senders and members are
// ZMEMBER rows, numbers in ZPHONENUMBER), as it lies in the app's group container or in
// an unencrypted backup. It only reads.
class IOSMemberViberDb : public AbsViberDb
{
public:
    explicit IOSMemberViberDb(const QString& path);
    // Reads the database copied out of an iPhone backup; media are found through the
    // backup's manifest.
    explicit IOSMemberViberDb(std::unique_ptr<IPhoneBackup> backup);
    ~IOSMemberViberDb() override;

    QString dbPath() const { return m_path; }

    void open() override;

protected:
    void loadInto(ViberDataSet& dataSet) override;

private:
    // Core Data's entity numbers by entity name, from Z_PRIMARYKEY.
    QHash<QString, int> entityNumbers();
    // The joins of the message query that bring a message's attachment ("a") and place
    // ("l"); empty when the file links none.
    QString attachmentJoin(const QHash<QString, int>& entities) const;
    QString placeJoin() const;
    void loadMembers(ViberDataSet& dataSet);
    void loadCallLog(ViberDataSet& dataSet);
    QString mediaFile(const QString& attachmentType, const QString& name);

    QString m_path;
    SchemaCatalogue m_catalogue;
    std::unique_ptr<IPhoneBackup> m_backup;
};
