#include "tests/ui/support/DialogCloser.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

DialogCloser::DialogCloser(QObject* parent) : QObject(parent)
{
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &DialogCloser::poll);
}

void DialogCloser::expect(const char* className, Action action)
{
    m_expected.enqueue({QByteArray(className), std::move(action)});
    m_timer.start();
}

void DialogCloser::expectAccept(const char* className)
{
    expect(className, [](QWidget* widget) {
        if (auto* dialog = qobject_cast<QDialog*>(widget))
            dialog->accept();
    });
}

void DialogCloser::expectReject(const char* className)
{
    expect(className, [](QWidget* widget) {
        if (auto* dialog = qobject_cast<QDialog*>(widget))
            dialog->reject();
    });
}

void DialogCloser::poll()
{
    if (m_expected.isEmpty()) {
        m_timer.stop();
        return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->inherits(m_expected.head().className.constData()))
        return;
    // Taken off the queue first: the action may open the next dialog, whose loop runs
    // inside this call.
    const Expectation next = m_expected.dequeue();
    next.action(modal);
}
