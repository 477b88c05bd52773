#pragma once

#include "db/HeldBlob.h"

#include <QVariantMap>

// The base of every record: the source row's columns that the record has no field
// for, kept as an extra-column blob. Nothing virtual: each kind of record lives in a
// table of its own type and is never deleted through this base, and a table pointer
// would cost each of a load's hundreds of thousands of records 8 bytes.
struct _ViberEntity
{
    void setExtra(const QVariantMap& map);
    QVariantMap extraMap() const; // empty for an empty or damaged blob

    HeldBlob extra;
};
