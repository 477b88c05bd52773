#include "ui/MessageBox.h"

#include "app/HelpLinks.h"
#include "app/WebConfig.h"
#include "ui/AppStyle.h"

#include <QLabel>
#include <QQueue>

namespace {

struct MessageBoxTestState
{
    bool enabled = false;
    QQueue<QMessageBox::StandardButton> answers;
    QList<MessageBox::Shown> shown;
};

MessageBoxTestState& messageBoxTestState()
{
    static MessageBoxTestState state;
    return state;
}

struct ErrorReporter
{
    std::function<void(const QString&)> send;
    QString destination;
};

ErrorReporter& errorReporter()
{
    static ErrorReporter reporter;
    return reporter;
}

QMessageBox::Icon iconOf(MessageBox::Kind kind)
{
    switch (kind) {
    case MessageBox::Kind::Information:
        return QMessageBox::Information;
    case MessageBox::Kind::Warning:
        return QMessageBox::Warning;
    case MessageBox::Kind::Question:
        return QMessageBox::Question;
    case MessageBox::Kind::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QMessageBox::StandardButton MessageBox::show(Kind kind, const UserText& text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultAnswer, QWidget* parent)
{
    const Qt::TextFormat format = text.isRich() ? Qt::RichText : Qt::PlainText;
    MessageBoxTestState& test = messageBoxTestState();
    if (test.enabled) {
        test.shown.append({kind, text.text(), format});
        return test.answers.isEmpty() ? defaultAnswer : test.answers.dequeue();
    }
    QMessageBox box(iconOf(kind), tr("Velliport"), QString(), buttons, parent);
    // The format before the text: QMessageBox would otherwise guess it from the text.
    box.setTextFormat(format);
    box.setText(text.text());
    AppStyle::applyDialogLook(&box);
    // Set after the look: a change of style resets the label's flags.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        // QMessageBox wraps rich text only; a long plain error would make a box as wide
        // as the screen.
        label->setWordWrap(true);
        if (text.isRich()) {
            label->setTextInteractionFlags(Qt::TextBrowserInteraction);
            // Help texts link to the program's own actions (starting Portwarden), which
            // the desktop's URL handler does not know.
            label->setOpenExternalLinks(false);
            QObject::connect(label, &QLabel::linkActivated, label,
                             [](const QString& link) { HelpLinks::activate(link); });
        } else {
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        }
    }
    box.setDefaultButton(defaultAnswer);
    const int answer = box.exec();
    // A box closed without a button (Escape with no Cancel button) counts as its default.
    return buttons.testFlag(QMessageBox::StandardButton(answer)) ? QMessageBox::StandardButton(answer)
                                                                 : defaultAnswer;
}

void MessageBox::report(const UserText& text)
{
    if (const auto& send = errorReporter().send)
        send(text.toPlainText());
}

UserText MessageBox::withReportNotice(const UserText& text)
{
    const ErrorReporter& reporter = errorReporter();
    if (!reporter.send || reporter.destination.isEmpty())
        return text;
    return text + UserText::plain(QLatin1String("\n\n") +
                                  tr("IDS_ERROR_REPORT_WILL_BE_SENT_TO_%1").arg(reporter.destination));
}

QMessageBox::StandardButton MessageBox::showInfo(const UserText& text, QWidget* parent)
{
    return show(Kind::Information, text, QMessageBox::Ok, QMessageBox::Ok, parent);
}

QMessageBox::StandardButton MessageBox::showWarning(const UserText& text, QWidget* parent)
{
    return show(Kind::Warning, text, QMessageBox::Ok, QMessageBox::Ok, parent);
}

bool MessageBox::showQuestion(const UserText& text, QWidget* parent)
{
    return show(Kind::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No, parent) ==
           QMessageBox::Yes;
}

QMessageBox::StandardButton MessageBox::showCritical(const UserText& text, QWidget* parent)
{
    const auto answer =
        show(Kind::Critical, withReportNotice(text), QMessageBox::Ok, QMessageBox::Ok, parent);
    report(text);
    return answer;
}

QMessageBox::StandardButton MessageBox::showError(const UserText& text, QWidget* parent)
{
    // Joined as text: the frame takes the kind of the error, and a rich error escapes it.
    UserText message = UserText::plain(QStringLiteral("An Error Occurred.\n\n")) + text;
    // Without a configured support address the box names no one to contact.
    const QString support = WebConfig::current().supportAddress;
    if (!support.isEmpty())
        message += UserText::plain(QStringLiteral("\n\nOr you can contact %1 for help.").arg(support));
    const auto answer =
        show(Kind::Critical, withReportNotice(message), QMessageBox::Ok, QMessageBox::Ok, parent);
    report(text);
    return answer;
}

void MessageBox::setErrorReporter(std::function<void(const QString&)> reporter, const QString& destination)
{
    errorReporter() = {std::move(reporter), destination};
}

void MessageBox::setTestMode(bool enabled)
{
    MessageBoxTestState& test = messageBoxTestState();
    test.enabled = enabled;
    test.answers.clear();
    test.shown.clear();
}

bool MessageBox::isTestMode()
{
    return messageBoxTestState().enabled;
}

void MessageBox::queueAnswer(QMessageBox::StandardButton answer)
{
    messageBoxTestState().answers.enqueue(answer);
}

QList<MessageBox::Shown> MessageBox::shownTexts()
{
    return messageBoxTestState().shown;
}

void MessageBox::clearShown()
{
    messageBoxTestState().shown.clear();
}
