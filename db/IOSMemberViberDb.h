#pragma once

#include "app/SchemaCatalogue.h"
#include "db/AbsViberDb.h"

#include <QString>

// The iPhone app's "Contacts.data" of the ZMEMBER generation (senders and members are
// ZMEMBER rows, numbers in ZPHONENUMBER), as it lies in the app's group container or in
// an unencrypted backup. It only reads.
class IOSMemberViberDb : public AbsViberDb
{
public:
    explicit IOSMemberViberDb(const QString& path);
    ~IOSMemberViberDb() override;

    QString dbPath() const { return m_path; }

    void open() override;

protected:
    void loadInto(ViberDataSet& dataSet) override;

private:
    void loadMembers(ViberDataSet& dataSet);
    void loadCallLog(ViberDataSet& dataSet);

    QString m_path;
    SchemaCatalogue m_catalogue;
};
