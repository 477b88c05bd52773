#pragma once

#include "app/ProgressChannel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QThread;
class QTextStream;

// Stands where the GUI's progress dialog stands for a console run: draws a bar with the
// counts on standard error when that is a terminal, writes a plain line now and then
// otherwise, and nothing with quiet. cancel() sets the channel's cancel flag, exactly as
// the dialog's Cancel button does.
class CliProgress : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Succeeded, Failed, Cancelled };

    CliProgress(QTextStream& errors, bool terminal, bool quiet, QObject* parent = nullptr);

    ProgressChannel& channel() { return m_channel; }
    // Starts the worker and returns when it has ended. A worker that ends without a
    // report was cancelled.
    Outcome run(QThread& worker);
    // The worker's texts as it posted them; a console prints them as plain text.
    UserText errorText() const { return m_error; }
    UserText successText() const { return m_success; }
    bool interrupted() const { return m_interrupted; }
    void cancel();

public slots:
    void updateProgress(const QString& status, int curProgress, const QString& progressText);
    void errorOccurred(const UserText& text);
    void succeed(const UserText& text);
    void tipsWait(const UserText& info);
    void enableCancel(bool enabled);

private:
    void endBar();

    QTextStream& m_errors;
    bool m_terminal;
    bool m_quiet;
    ProgressChannel m_channel;
    QString m_status;
    UserText m_error;
    UserText m_success;
    bool m_reported = false;
    bool m_interrupted = false;
    bool m_barShown = false;
    int m_lastPlainValue = -1;
    QElapsedTimer m_sinceDrawn;
};
