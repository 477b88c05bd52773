#include "tools/cli/CliProgress.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTextStream>
#include <QThread>

namespace {

constexpr int BarWidth = 30;
// A bar redrawn for every message would cost more than the export.
constexpr int RedrawMs = 100;

} // namespace

CliProgress::CliProgress(QTextStream& errors, bool terminal, bool quiet, QObject* parent)
    : QObject(parent), m_errors(errors), m_terminal(terminal), m_quiet(quiet), m_channel(this)
{
    m_sinceDrawn.start();
}

CliProgress::Outcome CliProgress::run(QThread& worker)
{
    QEventLoop loop;
    connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker.start();
    loop.exec();
    worker.wait();
    // Reports posted just before the end are still queued.
    QCoreApplication::sendPostedEvents(this);
    endBar();
    if (!m_error.isEmpty())
        return Outcome::Failed;
    // A signal that came after the worker's last look at Cancel did not stop it: what it
    // reported done is done, and saying "nothing was changed" would be false.
    if (m_reported)
        return Outcome::Succeeded;
    return Outcome::Cancelled;
}

void CliProgress::updateProgress(const QString& status, int curProgress, const QString& progressText)
{
    if (!status.isEmpty())
        m_status = status;
    if (m_quiet)
        return;
    const int value = qBound(-1, curProgress, 100);
    if (m_terminal) {
        if (m_barShown && value < 100 && m_sinceDrawn.elapsed() < RedrawMs)
            return;
        m_sinceDrawn.restart();
        const int filled = value < 0 ? 0 : value * BarWidth / 100;
        const QString bar = QString(filled, QLatin1Char('#')) + QString(BarWidth - filled, QLatin1Char('-'));
        m_errors << "\r\033[K" << m_status << " [" << bar << "] "
                 << (value < 0 ? QString() : QStringLiteral("%1% ").arg(value)) << progressText;
        m_errors.flush();
        m_barShown = true;
        return;
    }
    // Plain lines for logs: one whenever the status changes and one per tenth of the way.
    const bool newStep = value >= 0 && value / 10 != m_lastPlainValue / 10;
    if (!status.isEmpty() || newStep) {
        if (value >= 0)
            m_lastPlainValue = value;
        m_errors << m_status << (value < 0 ? QString() : QStringLiteral(" %1%").arg(value))
                 << (progressText.isEmpty() ? QString() : QStringLiteral(" ") + progressText) << '\n';
        m_errors.flush();
    }
}

void CliProgress::errorOccurred(const UserText& text)
{
    m_reported = true;
    m_error = text.isEmpty() ? UserText::plain(QStringLiteral("the operation failed")) : text;
}

void CliProgress::succeed(const UserText& text)
{
    m_reported = true;
    m_success = text;
}

// Nobody can read tips on a console run: the worker goes on at once.
void CliProgress::tipsWait(const UserText& info)
{
    if (!m_quiet && !info.isEmpty()) {
        endBar();
        m_errors << info.toPlainText() << '\n';
        m_errors.flush();
    }
    m_channel.setWaitingTips(false);
}

void CliProgress::enableCancel(bool) {}

void CliProgress::cancel()
{
    m_interrupted = true;
    m_channel.setCancelled(true);
}

void CliProgress::endBar()
{
    if (m_barShown) {
        m_errors << '\n';
        m_errors.flush();
        m_barShown = false;
    }
}
