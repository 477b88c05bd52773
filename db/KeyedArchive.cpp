#include "db/KeyedArchive.h"

#include "db/PropertyList.h"

KeyedArchive::KeyedArchive(const QVariant& plist)
{
    const QVariantMap archive = plist.toMap();
    const QVariant objects = archive.value(QStringLiteral("$objects"));
    const QVariant top = archive.value(QStringLiteral("$top"));
    if (objects.typeId() != QMetaType::QVariantList || top.typeId() != QMetaType::QVariantMap)
        return;
    m_objects = objects.toList();
    m_top = top.toMap();
}

KeyedArchive KeyedArchive::fromBytes(const QByteArray& bytes)
{
    return KeyedArchive(PropertyList::read(bytes));
}

QVariant KeyedArchive::top(const QString& key) const
{
    return resolve(m_top.value(key));
}

QVariant KeyedArchive::resolve(const QVariant& value) const
{
    const qint64 index = PropertyList::uid(value);
    if (index < 0)
        return value;
    if (index == 0 || index >= m_objects.size())
        return {};
    return m_objects.at(index);
}

QVariant KeyedArchive::member(const QVariant& object, const QString& key) const
{
    if (object.typeId() != QMetaType::QVariantMap)
        return {};
    return resolve(object.toMap().value(key));
}

QByteArray KeyedArchive::data(const QVariant& value) const
{
    const QVariant resolved = resolve(value);
    if (resolved.typeId() == QMetaType::QByteArray)
        return resolved.toByteArray();
    const QVariant inner = member(resolved, QStringLiteral("NS.data"));
    return inner.typeId() == QMetaType::QByteArray ? inner.toByteArray() : QByteArray();
}

QString KeyedArchive::className(const QVariant& object) const
{
    const QVariant name = member(member(object, QStringLiteral("$class")), QStringLiteral("$classname"));
    return name.typeId() == QMetaType::QString ? name.toString() : QString();
}
