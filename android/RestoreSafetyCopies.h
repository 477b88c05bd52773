#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

struct AndroidDevice;

// Before messages are written into a phone, its current Viber databases are kept in the
// phone's cache folder: the archive the backup route fetched in "abfiles-before-restore",
// and a dated copy of the database files in "dbfiles-before-restore/<time>.dbdir". The
// newest copies are kept, so a person can go back to the state before any of their
// last transfers. Failures raise std::runtime_error with a UTF-8 message.
namespace RestoreSafetyCopies {

// Copies older than the newest KeptCopies are removed before a new one is made, so
// at most KeptCopies + 1 exist after a transfer.
inline constexpr int KeptCopies = 10;

// Creates the archive folder and removes the archives of an earlier transfer from it.
QString prepareArchiveFolder(const QString& cacheDir);

// Drops the oldest copies, then copies every file of the loaded "db" folder into a new
// folder named after now. Databases are copied as consistent file sets, with their
// write-ahead logs and journals. Returns the new folder.
QString keepDatabaseCopy(const QString& cacheDir, const QDateTime& now);

QString copiesFolder(const QString& cacheDir);

// A copy that holds a phone's databases from before a transfer that reached the phone.
struct KeptCopy
{
    QString folder;
    QString deviceUid; // the phone the transfer wrote into
    QDateTime transferredAt;
    qint64 messages = 0; // how many the transfer wrote
};

// What a copy records of its phone: the agent's id of the phone, else its serial.
QString phoneKey(const AndroidDevice& device);
// Records that a transfer into the phone succeeded after copy was kept.
void markTransferred(const QString& copy, const AndroidDevice& device, const QDateTime& when, qint64 messages);
// The copy of the newest transfer not yet undone; nothing when there is none.
std::optional<KeptCopy> lastTransfer(const QString& cacheDir);
// The copy was put back on the phone: it is kept, but no longer offered for an undo.
void markUndone(const KeptCopy& copy);

} // namespace RestoreSafetyCopies
