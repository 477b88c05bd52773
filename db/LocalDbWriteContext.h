#pragma once

#include <QHash>
#include <QPair>
#include <QString>
#include <QtGlobal>

#include <optional>

// State of one run of writes into a local database, owned by the caller for that run.
// It mirrors rows the run has written, so a run whose transaction is rolled back ends
// with its context.
struct LocalDbWriteContext
{
    // The last ZUID handed out; -1 until it has been read from the file.
    qint64 uidCounter = -1;
    // The calls in ZRECENT by token and type text, read once per run and kept up to date
    // by its inserts: ZRECENT has no index on the token, and looking a call up in the
    // table grows with every call written, so a large backup became quadratic.
    std::optional<QHash<QPair<qint64, QString>, qint64>> recentCalls;
    // ZPHONENUMBERINDEX rows by canonical number, as found or written by this run: every
    // message names its sender, and asking the table each time cost more than its insert.
    QHash<QString, qint64> personPks;
};
