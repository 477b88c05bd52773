#pragma once

#include <QString>
#include <QTemporaryDir>

// The iPhone app's Contacts.data of the ZMEMBER generation, built from the SQL under
// tests/data/ios-member into a temporary folder laid out as the app's group container:
// "com.viber/database/Contacts.data".
class IOSMemberFixture
{
public:
    static constexpr auto DatabaseFile = "com.viber/database/Contacts.data";

    // Throws std::runtime_error when the file cannot be built.
    IOSMemberFixture();

    QString folder() const { return m_dir.path(); }
    QString dbPath() const;

    // Builds the same file at path (its folder must exist).
    static void build(const QString& path);

private:
    QTemporaryDir m_dir;
};
