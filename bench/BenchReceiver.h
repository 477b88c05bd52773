#pragma once

#include <QObject>
#include <QString>

// Stands where the progress dialog stands in the benchmarks: counts the reports a
// worker posts and keeps its outcome, doing no work of its own that would be timed.
class BenchReceiver : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    qint64 progressCount = 0;
    QString error;
    QString success;

public slots:
    void updateProgress(const QString& status, int curProgress, const QString& progressText);
    void errorOccurred(const QString& text);
    void succeed(const QString& text);
};
