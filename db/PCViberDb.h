#pragma once

#include "app/SchemaCatalogue.h"
#include "db/AbsViberDb.h"

#include <QString>

// The message database of the Viber desktop app ("viber.db" in an account folder of
// "ViberPC"). It only reads.
class PCViberDb : public AbsViberDb
{
public:
    explicit PCViberDb(const QString& path);
    ~PCViberDb() override;

    QString dbPath() const { return m_path; }
    const SchemaCatalogue& catalogue() const { return m_catalogue; }

    void open() override;

    // The desktop app writes Windows paths; records keep "/" on every platform.
    static QString normalisedPath(const QString& path);

protected:
    void loadInto(ViberDataSet& dataSet) override;

private:
    QString m_path;
    SchemaCatalogue m_catalogue;
};
