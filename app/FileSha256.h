#pragma once

#include <QString>

// The SHA-256 of a file's contents as lower-case hex, the way sha256sum prints it.
// libcrypto's digest uses the processor's SHA instructions: a phone database or an
// export of hundreds of megabytes hashes several times faster than with Qt's own.
class FileSha256
{
public:
    // Empty when the file cannot be opened or read to its end.
    static QString hexOf(const QString& path);

private:
    static QString digest(const QString& path);
};
