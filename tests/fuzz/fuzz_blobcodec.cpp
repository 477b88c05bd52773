// The extra-column blob comes from databases of any origin. Properties: decoding never
// fails unsafely, and what decodes encodes to bytes that come back unchanged through
// another decode and encode (bytes, not maps, are compared: a NaN equals nothing); the
// held form of any bytes stores them back exactly and decodes as they do.
#include "app/BlobCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray held = BlobCodec::held(bytes);
    if (BlobCodec::stored(held) != bytes)
        std::abort();
    // The fuzzer's bytes also stand for held blobs: their stored form must never fail
    // unsafely either.
    BlobCodec::decodeMap(BlobCodec::stored(bytes));
    // Held, stored bytes decode as they do; stored bytes that begin with the held form's
    // marker are no blob of ours and decode to nothing.
    const QVariantMap map = BlobCodec::decodeMap(bytes);
    const bool marked = bytes.startsWith('\xff');
    if (BlobCodec::decodeMap(held).keys() != (marked ? QStringList() : map.keys()))
        std::abort();
    if (map.isEmpty())
        return 0;
    const QByteArray again = BlobCodec::encodeMap(map);
    if (again.isEmpty() || BlobCodec::encodeMap(BlobCodec::decodeMap(again)) != again)
        std::abort();
    return 0;
}
