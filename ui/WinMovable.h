#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Lets the user drag a frameless window by pressing the left button anywhere on it that
// is not a control. Where windows cannot place themselves (Wayland), the drag is handed
// to the compositor instead.
class WinMovable : public QObject
{
    Q_OBJECT
public:
    // Watches window's mouse events; the window owns this object.
    explicit WinMovable(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool startSystemMove();

    QWidget* m_window;
    QPoint m_pressPos;
    bool m_dragging = false;
};
