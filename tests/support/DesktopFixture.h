#pragma once

#include <QString>
#include <QTemporaryDir>

// A desktop Viber account folder built from the SQL under tests/data/desktop into a
// temporary folder: "ViberPC/491701111111/viber.db".
class DesktopFixture
{
public:
    enum class Shape {
        NumberKeyed,      // the older generation: PttDuration, no Duration
        WithDuration,     // Messages.Duration added, as later generations have it
        WithoutDurations, // neither Duration nor PttDuration
        ContactKeyed      // the newer generation (tests/data/desktop-contact)
    };

    // Throws std::runtime_error when the file cannot be built.
    explicit DesktopFixture(Shape shape = Shape::NumberKeyed);

    QString dbPath() const;

private:
    QTemporaryDir m_dir;
};
