#pragma once

#include "db/ViberCall.h"
#include "ops/ExportProvenance.h"

#include <QList>
#include <QString>
#include <QThread>

class ProgressChannel;

// Writes the call log, newest call first, as a plain-text table, with its provenance and
// a SHA-256 list beside it.
class ExportViberCallsThread : public QThread
{
    Q_OBJECT
public:
    ExportViberCallsThread(const QList<_ViberCall*>& calls, const QString& path, ProgressChannel& progress,
                           QObject* parent = nullptr);

    static QString line(const _ViberCall& call);
    void setProvenance(const ExportProvenance& provenance) { m_provenance = provenance; }

protected:
    void run() override;

private:
    QList<_ViberCall*> m_calls;
    QString m_path;
    ProgressChannel& m_progress;
    ExportProvenance m_provenance;
};
