// Manifest.plist, the keybag in it and every Files.file record of an encrypted iPhone
// backup come from the backup folder. Properties: reading any bytes as a property list,
// an archived MBFile or a keybag ends, without a fault, in a value, empty or a
// std::runtime_error; a record is only ever read from a property list.
#include "db/BackupFileRecord.h"
#include "db/BackupKeybag.h"
#include "db/PropertyList.h"

#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QVariant value = PropertyList::read(bytes);
    const std::optional<BackupFileRecord> record = BackupFileRecord::fromArchive(bytes);
    if (record && (!value.isValid() || record->size < 0))
        std::abort();
    try {
        const BackupKeybag keybag(bytes);
        if (keybag.classes().isEmpty())
            std::abort();
    } catch (const std::runtime_error&) {
    }
    return 0;
}
