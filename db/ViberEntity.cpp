#include "db/ViberEntity.h"

#include "app/BlobCodec.h"

void _ViberEntity::setExtra(const QVariantMap& map)
{
    extra = BlobCodec::encodeMap(map);
}

QVariantMap _ViberEntity::extraMap() const
{
    return BlobCodec::decodeMap(extra.bytes());
}
