#pragma once

#include <QString>
#include <QTemporaryDir>

class Sqlite3DB;

// The iPhone app's Contacts.data of the ZMEMBER generation, built from the SQL under
// tests/data/ios-member into a temporary folder laid out as the app's group container:
// "com.viber/database/Contacts.data".
class IOSMemberFixture
{
public:
    static constexpr auto DatabaseFile = "com.viber/database/Contacts.data";

    // The same rows in the tables of two app versions.
    enum class Shape {
        Of2023, // a message names its attachment (ZVIBERMESSAGE.ZATTACHMENT)
        Of2017, // a join table links attachments and messages; no ZCONVERSATION.ZINTERLOCUTOR
    };

    // Throws std::runtime_error when the file cannot be built.
    explicit IOSMemberFixture(Shape shape = Shape::Of2023);

    QString folder() const { return m_dir.path(); }
    QString dbPath() const;

    // Builds the same file at path (its folder must exist).
    static void build(const QString& path, Shape shape = Shape::Of2023);
    // Turns an open file of today's shape, rows included, into the given one.
    static void reshape(Sqlite3DB& db, Shape shape);

private:
    QTemporaryDir m_dir;
};
