#include "ui/WinMovable.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

WinMovable::WinMovable(QWidget* window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
}

bool WinMovable::startSystemMove()
{
    // A Wayland client never learns or sets its own position, so moving the window by
    // hand does nothing there; the compositor has to run the drag.
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return false;
    QWindow* handle = m_window->windowHandle();
    return handle && handle->startSystemMove();
}

bool WinMovable::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        m_pressPos = mouse->position().toPoint();
        m_dragging = mouse->button() == Qt::LeftButton;
        if (m_dragging && startSystemMove())
            m_dragging = false;
        break;
    }
    case QEvent::MouseMove:
        if (m_dragging && !m_pressPos.isNull()) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            m_window->move(m_window->pos() + mouse->position().toPoint() - m_pressPos);
        }
        break;
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
