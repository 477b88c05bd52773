#pragma once

#include "app/ProgressChannel.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QThread;

// The modal dialog every worker reports to through its channel. It closes accepted on
// the worker's success and rejected on an error or a Cancel; a rejected close marks
// the channel cancelled, which the worker polls.
class ProgressForm : public QDialog
{
    Q_OBJECT
public:
    explicit ProgressForm(const QString& title, QWidget* parent = nullptr);

    // The channel to hand to the worker; its receiver is this form.
    ProgressChannel& channel() { return m_channel; }
    bool isCancelled() const { return m_channel.isCancelled(); }
    bool isWaitingTips() const { return m_channel.isWaitingTips(); }

    // Starts the worker, shows the form modally and, once it has closed, keeps the event
    // loop running until the worker has ended. True when the worker succeeded and the
    // user did not cancel.
    bool run(QThread& worker);

signals:
    void userCacel();

public slots:
    // value < 0 keeps the bar; an empty progressText shows the percentage.
    void updateProgress(const QString& status, int curProgress, const QString& progressText);
    void errorOccurred(const UserText& text);
    void succeed(const UserText& text);
    void onFinish(int result);
    void tipsWait(const UserText& info);
    void cancel();
    void enableCancel(bool enabled);

private:
    void onWorkerFinished();

    ProgressChannel m_channel;
    // Set once the worker's success or error has arrived; a later one is not shown.
    bool m_outcomeReceived = false;
    QProgressBar* m_progressBar;
    QLabel* m_lbProgress;
    QPushButton* m_btnCancel;
    QLabel* m_lbStatus;
};
