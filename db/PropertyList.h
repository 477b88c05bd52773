#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// Apple's property lists, binary ("bplist00", as Finder, iTunes and the phone write
// them) and XML (as some tools write them), read into QVariant:
//   dict → QVariantMap, array and set → QVariantList, data → QByteArray,
//   string → QString, integer → qint64, real → double, true/false → bool,
//   date → QDateTime (UTC), null → QVariant holding std::nullptr_t,
//   UID (binary lists only) → QVariantMap {"CF$UID": qint64}, the form XML lists and
//   NSKeyedArchiver's own XML output give it, so that both read alike.
// The bytes come from a backup someone hands us: every offset, count, length and the
// nesting depth is checked against the file before it is followed, and anything
// malformed (a cycle, a reference out of range, a count larger than the file can hold,
// an unknown element) gives an invalid QVariant. Reading never throws.
class PropertyList
{
public:
    static constexpr qint64 MaxSize = 64 * 1024 * 1024;
    static constexpr qint64 MaxObjects = 4 * 1024 * 1024;
    // Elements of all arrays and dictionaries together, shared ones counted each time:
    // bounds the work on a list whose objects overlap or refer to each other many times.
    static constexpr qint64 MaxElements = 8 * 1024 * 1024;
    static constexpr int MaxDepth = 64;
    static constexpr auto UidKey = "CF$UID";

    static QVariant read(const QByteArray& data);
    // Empty for a missing, unreadable or larger than MaxSize file.
    static QVariant readFile(const QString& path);

    // The index of a UID value; -1 for any other value.
    static qint64 uid(const QVariant& value);
    static QVariant makeUid(qint64 index);
};
