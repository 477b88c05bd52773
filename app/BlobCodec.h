#pragma once

#include <QByteArray>
#include <QVariant>
#include <QVariantMap>

class QIODevice;

// The "tinykv" blob that keeps a record's extra columns: the magic, then string keys
// each followed by a tagged value, up to the end of the data.
namespace BlobCodec {

QByteArray encodeMap(const QVariantMap& map);   // empty on a failed write
QVariantMap decodeMap(const QByteArray& bytes); // empty on any failure, never partial

bool writeMap(QIODevice& device, const QVariantMap& map);
bool readMap(QIODevice& device, QVariantMap& map);
bool writeValue(QIODevice& device, const QVariant& value);
bool readValue(QIODevice& device, QVariant& value);

} // namespace BlobCodec
