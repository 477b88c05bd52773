#pragma once

#include <QList>
#include <QObject>

#include <functional>

class QPrintPreviewDialog;
class QPrinter;
class QWidget;
struct _ViberMsg;

// Prints messages as chat bubbles through the print preview; the pages are drawn by the
// same renderer as the PDF export.
class ViberMsgPrinter : public QObject
{
    Q_OBJECT
public:
    // The preview lays out every page on the GUI thread before it shows anything, again
    // whenever its page setup changes, and once more to print. Measured here: about 0.1 ms
    // a text message and 1 ms a picture message per layout, so up to 3000 messages keep
    // the window frozen for no more than a few seconds; beyond that the user is asked first.
    static constexpr int LargePrintMessages = 3000;

    explicit ViberMsgPrinter(QWidget* window = nullptr);

    // Sorts the messages by date and runs the preview (the messages must outlive the call);
    // false when the user declined a large print.
    bool print(QList<const _ViberMsg*> messages);
    bool print(const QList<_ViberMsg*>& messages);

    // Called with the preview dialog before it runs, so that a test can drive it.
    void setPreviewHook(std::function<void(QPrintPreviewDialog*)> hook) { m_previewHook = std::move(hook); }

    // Pages drawn by the last paint request.
    int lastPageCount() const { return m_lastPageCount; }

public slots:
    void onPaintRequested(QPrinter* printer);

private:
    QWidget* m_window;
    QList<const _ViberMsg*> m_messages;
    std::function<void(QPrintPreviewDialog*)> m_previewHook;
    int m_lastPageCount = 0;
};
