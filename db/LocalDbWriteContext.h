#pragma once

#include <QtGlobal>

// State of one run of writes into a local database, owned by the caller for that run.
struct LocalDbWriteContext
{
    // The last ZUID handed out; -1 until it has been read from the file.
    qint64 uidCounter = -1;
};
