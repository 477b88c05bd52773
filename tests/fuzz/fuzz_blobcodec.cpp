// The extra-column blob comes from databases of any origin. Property: decoding never
// fails unsafely, and what decodes encodes to bytes that come back unchanged through
// another decode and encode (bytes, not maps, are compared: a NaN equals nothing).
#include "app/BlobCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QVariantMap map = BlobCodec::decodeMap(bytes);
    if (map.isEmpty())
        return 0;
    const QByteArray again = BlobCodec::encodeMap(map);
    if (again.isEmpty() || BlobCodec::encodeMap(BlobCodec::decodeMap(again)) != again)
        std::abort();
    return 0;
}
