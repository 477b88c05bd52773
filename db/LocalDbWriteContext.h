#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>

#include <optional>

// What makes two ZRECENT rows one call: token and type text; for calls without a token
// (0) also the exact date, since those of one kind would otherwise all be one call.
struct RecentCallKey
{
    qint64 token = 0;
    QString type;
    double date = 0;

    static RecentCallKey of(qint64 token, const QString& type, double date)
    {
        return {token, type, token == 0 ? date : 0.0};
    }
    friend bool operator==(const RecentCallKey&, const RecentCallKey&) = default;
};

inline size_t qHash(const RecentCallKey& key, size_t seed = 0)
{
    return qHashMulti(seed, key.token, key.type, key.date);
}

// State of one run of writes into a local database, owned by the caller for that run.
// It mirrors rows the run has written, so a run whose transaction is rolled back ends
// with its context.
struct LocalDbWriteContext
{
    // The last ZUID handed out; -1 until it has been read from the file.
    qint64 uidCounter = -1;
    // The calls in ZRECENT by RecentCallKey, read once per run and kept up to date
    // by its inserts: ZRECENT has no index on the token, and looking a call up in the
    // table grows with every call written, so a large backup became quadratic.
    std::optional<QHash<RecentCallKey, qint64>> recentCalls;
    // ZPHONENUMBERINDEX rows by canonical number, as found or written by this run: every
    // message names its sender, and asking the table each time cost more than its insert.
    QHash<QString, qint64> personPks;
};
