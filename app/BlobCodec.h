#pragma once

#include <QByteArray>
#include <QVariant>
#include <QVariantMap>

class QIODevice;

// The "tinykv" blob that keeps a record's extra columns: the magic, then string keys
// each followed by a tagged value, up to the end of the data.
namespace BlobCodec {

QByteArray encodeMap(const QVariantMap& map); // empty on a failed write
// Empty on any failure, never partial. Takes what records hold: the held form below, of
// which a stored blob is one unless it begins with the marker byte 0xff.
QVariantMap decodeMap(const QByteArray& bytes);

// A loaded record holds its blob in a shorter form than the stored one, as a load keeps
// hundreds of thousands: the keys of Android's rows become one byte, numbers and
// lengths take the bytes they need, the usual media folders one byte. The held form of
// any bytes gives them back exactly: stored(held(bytes)) == bytes, so the blob a local
// database stores is what it has always been. A stored blob comes in an allocation of its
// own exact size; a held one may carry spare room, as the record that keeps it copies it.
QByteArray held(const QByteArray& stored);
QByteArray stored(const QByteArray& held);

bool writeMap(QIODevice& device, const QVariantMap& map);
bool readMap(QIODevice& device, QVariantMap& map);
bool writeValue(QIODevice& device, const QVariant& value);
bool readValue(QIODevice& device, QVariant& value);

} // namespace BlobCodec
