#include "ui/ProgressForm.h"

#include "ui/AppStyle.h"
#include "ui/MessageBox.h"

#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

ProgressForm::ProgressForm(const QString& title, QWidget* parent)
    : QDialog(parent), m_channel(this), m_progressBar(new QProgressBar(this)), m_lbProgress(new QLabel(this)),
      m_btnCancel(new QPushButton(tr("Cancel"), this)), m_lbStatus(new QLabel(title, this))
{
    AppStyle::applyDialogLook(this);
    setWindowTitle(title);
    setFixedSize(350, 122);

    m_lbStatus->setObjectName(QStringLiteral("lbStatus"));
    m_lbStatus->setGeometry(20, 12, 321, 22);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setGeometry(20, 40, 321, 23);
    m_progressBar->setOrientation(Qt::Horizontal);
    m_progressBar->setTextVisible(true);
    m_progressBar->setValue(0);
    m_lbProgress->setObjectName(QStringLiteral("lbProgress"));
    m_lbProgress->setGeometry(20, 66, 321, 18);
    m_lbProgress->setAlignment(Qt::AlignCenter);
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));
    m_btnCancel->setGeometry(135, 88, 80, 26);

    connect(this, &QDialog::finished, this, &ProgressForm::onFinish);
    connect(m_btnCancel, &QPushButton::pressed, this, &ProgressForm::cancel);
}

bool ProgressForm::run(QThread& worker)
{
    // Connected before the start, so that even a worker that ends at once is seen.
    connect(&worker, &QThread::finished, this, &ProgressForm::onWorkerFinished);
    worker.start();
    const int result = exec();
    if (!worker.isFinished()) {
        // The user may have cancelled a worker that is still winding down. Blocking in
        // wait() would freeze the windows until it notices; a local loop keeps them
        // painted while input stays held back until the worker is gone.
        QEventLoop loop;
        connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
        if (!worker.isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    // finished() has been emitted; only the thread's own exit is left.
    worker.wait(5000);
    disconnect(&worker, &QThread::finished, this, &ProgressForm::onWorkerFinished);
    return result == QDialog::Accepted && !m_channel.isCancelled();
}

void ProgressForm::onWorkerFinished()
{
    // A worker that ends without success or error would otherwise leave the form open
    // with nothing left to close it.
    if (!m_outcomeReceived && isVisible())
        errorOccurred(UserText::plain(tr("IDS_WORKER_ENDED_WITHOUT_RESULT")));
}

void ProgressForm::updateProgress(const QString& status, int curProgress, const QString& progressText)
{
    if (!status.isEmpty())
        m_lbStatus->setText(status);
    if (curProgress >= 0)
        m_progressBar->setValue(curProgress);
    m_lbProgress->setText(progressText.isEmpty() ? QStringLiteral("Progress:%1%").arg(m_progressBar->value())
                                                 : progressText);
}

void ProgressForm::errorOccurred(const UserText& text)
{
    // After a Cancel the form is gone and the user asked to hear no more of this run.
    if (m_outcomeReceived || !isVisible())
        return;
    m_outcomeReceived = true;
    MessageBox::showError(text, this);
    done(QDialog::Rejected);
}

void ProgressForm::succeed(const UserText& text)
{
    if (m_outcomeReceived || !isVisible())
        return;
    m_outcomeReceived = true;
    if (!text.isEmpty())
        MessageBox::showInfo(text, this);
    done(QDialog::Accepted);
}

void ProgressForm::onFinish(int result)
{
    m_channel.setCancelled(result == QDialog::Rejected);
}

void ProgressForm::tipsWait(const UserText& info)
{
    if (isVisible())
        MessageBox::showInfo(info, this);
    m_channel.setWaitingTips(false);
}

void ProgressForm::cancel()
{
    emit userCacel();
    done(QDialog::Rejected);
}

void ProgressForm::enableCancel(bool enabled)
{
    m_btnCancel->setEnabled(enabled);
}
