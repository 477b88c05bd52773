#pragma once

#include "db/ViberMsg.h"

#include <QList>
#include <QThread>

class IOSViberDb;
class ProgressChannel;

// Deletes messages and calls from a local database in one transaction, drops the
// conversations left empty, brings conversation dates up to date and compacts the file.
class DeleteViberMsgThread : public QThread
{
    Q_OBJECT
public:
    // The database is used by this worker alone while it runs; the messages were read from it.
    DeleteViberMsgThread(IOSViberDb& database, const QList<_ViberMsg*>& messages, ProgressChannel& progress,
                         QObject* parent = nullptr);

protected:
    void run() override;

private:
    void forgetGoneMarks();

    IOSViberDb& m_db;
    QList<_ViberMsg*> m_messages;
    ProgressChannel& m_progress;
};
