#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// An object graph as NSKeyedArchiver writes it into a property list: "$objects" holds
// every object, "$top" names the roots, and objects refer to each other by UID (an index
// into "$objects", read by PropertyList as {"CF$UID": n}); index 0 is "$null".
// References are followed one step at a time, so a graph that refers to itself cannot
// make a look-up loop. Every look-up of something absent or malformed gives empty.
class KeyedArchive
{
public:
    // Invalid unless the value is such an archive.
    explicit KeyedArchive(const QVariant& plist);
    static KeyedArchive fromBytes(const QByteArray& bytes);

    bool isValid() const { return !m_objects.isEmpty(); }
    // The root object "$top" names by key.
    QVariant top(const QString& key = QStringLiteral("root")) const;
    // The object a UID refers to; any other value as it is. "$null" and a UID out of
    // range give an invalid QVariant.
    QVariant resolve(const QVariant& value) const;
    // The entry key of a dictionary object, resolved.
    QVariant member(const QVariant& object, const QString& key) const;
    // The bytes of a data value: plain data, or the "NS.data" of an NSData object.
    QByteArray data(const QVariant& value) const;
    // The "$classname" of a dictionary object's "$class".
    QString className(const QVariant& object) const;

private:
    QVariantList m_objects;
    QVariantMap m_top;
};
