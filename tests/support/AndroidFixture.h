#pragma once

#include <QString>
#include <QTemporaryDir>

// A phone's Viber databases built from the SQL under tests/data/android into a
// temporary folder laid out as AndroidViberDb expects an unpacked backup archive:
// "ab-extract/apps/com.viber.voip/db/viber_messages" and ".../viber_data".
class AndroidFixture
{
public:
    enum class Shape {
        Version53,               // the app's database version 53
        WithoutThumbnailColumns, // a generation whose messages lack thumbnail_x/thumbnail_y
        Modern                   // today's app (rows in tests/data/android-modern, the simulator's schema)
    };

    // Throws std::runtime_error when a file cannot be built.
    explicit AndroidFixture(Shape shape = Shape::Version53);

    QString extractRoot() const { return m_dir.path(); }
    QString deviceRoot() const { return QStringLiteral("/storage/emulated/0"); }
    QString messagesPath() const;
    QString dataPath() const;

    // Runs further statements on the messages file, for rows a single test needs.
    void runOnMessages(const QString& sql) const;

private:
    QTemporaryDir m_dir;
};
