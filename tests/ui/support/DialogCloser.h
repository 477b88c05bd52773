#pragma once

#include <QObject>
#include <QQueue>
#include <QTimer>

#include <functional>

class QWidget;

// Drives the modal dialogs a test opens: each expectation waits until a modal widget of
// its class is the active one and then acts on it, in the order they were added. The
// actions run from a timer, that is inside the dialog's own event loop.
class DialogCloser : public QObject
{
    Q_OBJECT
public:
    using Action = std::function<void(QWidget*)>;

    explicit DialogCloser(QObject* parent = nullptr);

    void expect(const char* className, Action action);
    void expectAccept(const char* className);
    void expectReject(const char* className);

    template<class Dialog> void expect(std::function<void(Dialog*)> action)
    {
        expect(Dialog::staticMetaObject.className(),
               [action](QWidget* widget) { action(static_cast<Dialog*>(widget)); });
    }

    // Expectations whose dialog has not appeared yet.
    int pending() const { return int(m_expected.size()); }

private:
    void poll();

    struct Expectation
    {
        QByteArray className;
        Action action;
    };
    QQueue<Expectation> m_expected;
    QTimer m_timer;
};
