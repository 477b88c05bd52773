#pragma once

#include "db/ViberMsg.h"

#include <QList>
#include <QString>
#include <QThread>

class ProgressChannel;

// Copies the attachments of messages into one folder as "atta_yyyyMMdd-hhmmss.<suffix>",
// each stamped with its message's time.
class ExtractMediaFilesThread : public QThread
{
    Q_OBJECT
public:
    ExtractMediaFilesThread(const QList<_ViberMsg*>& messages, const QString& targetFolder,
                            ProgressChannel& progress, QObject* parent = nullptr);

    // Copies one message's attachment; returns the copy's path, or empty when nothing was copied.
    static QString extract(const _ViberMsg& msg, const QString& targetFolder);
    // Whether the message's attachment names a file extract() would copy, present or not.
    static bool namesMediaFile(const _ViberMsg& msg);

protected:
    void run() override;

private:
    QList<_ViberMsg*> m_messages;
    QString m_target;
    ProgressChannel& m_progress;
};
