#pragma once

#include <QByteArray>
#include <QVariantMap>

// The base of every record: the source row's columns that the record has no field
// for, kept as an extra-column blob.
struct _ViberEntity
{
    virtual ~_ViberEntity();

    void setExtra(const QVariantMap& map);
    QVariantMap extraMap() const; // empty for an empty or damaged blob

    QByteArray extra;
};
