#include "ui/MessageBox.h"

#include "app/HelpLinks.h"
#include "app/WebConfig.h"
#include "ui/AppStyle.h"

#include <QLabel>
#include <QQueue>
#include <QTextDocument>

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

QMessageBox::StandardButton MessageBox::show(Kind kind, const QString& text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultAnswer, QWidget* parent)
{
    MessageBoxTestState& test = messageBoxTestState();
    if (test.enabled) {
        test.shown.append({kind, text});
        return test.answers.isEmpty() ? defaultAnswer : test.answers.dequeue();
    }
    QMessageBox box(iconOf(kind), tr("Velliport"), text, buttons, parent);
    AppStyle::applyDialogLook(&box);
    // Help texts link to the program's own actions (starting Portwarden), which the
    // desktop's URL handler does not know.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        label->setOpenExternalLinks(false);
        QObject::connect(label, &QLabel::linkActivated, label,
                         [](const QString& link) { HelpLinks::activate(link); });
    }
    box.setDefaultButton(defaultAnswer);
    const int answer = box.exec();
    // A box closed without a button (Escape with no Cancel button) counts as its default.
    return buttons.testFlag(QMessageBox::StandardButton(answer)) ? QMessageBox::StandardButton(answer)
                                                                 : defaultAnswer;
}

void MessageBox::report(const QString& text)
{
    if (const auto& send = errorReporter().send)
        send(text);
}

QString MessageBox::withReportNotice(const QString& text)
{
    const ErrorReporter& reporter = errorReporter();
    if (!reporter.send || reporter.destination.isEmpty())
        return text;
    const QString notice = tr("IDS_ERROR_REPORT_WILL_BE_SENT_TO_%1").arg(reporter.destination);
    if (Qt::mightBeRichText(text))
        return text + QLatin1String("<br/><br/>") + notice.toHtmlEscaped();
    return text + QLatin1String("\n\n") + notice;
}

QMessageBox::StandardButton MessageBox::showInfo(const QString& text, QWidget* parent)
{
    return show(Kind::Information, text, QMessageBox::Ok, QMessageBox::Ok, parent);
}

QMessageBox::StandardButton MessageBox::showWarning(const QString& text, QWidget* parent)
{
    return show(Kind::Warning, text, QMessageBox::Ok, QMessageBox::Ok, parent);
}

bool MessageBox::showQuestion(const QString& text, QWidget* parent)
{
    return show(Kind::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No, parent) ==
           QMessageBox::Yes;
}

QMessageBox::StandardButton MessageBox::showCritical(const QString& text, QWidget* parent)
{
    const auto answer =
        show(Kind::Critical, withReportNotice(text), QMessageBox::Ok, QMessageBox::Ok, parent);
    report(text);
    return answer;
}

QMessageBox::StandardButton MessageBox::showError(const QString& text, QWidget* parent)
{
    // The box shows rich text, in which an error naming "<" or "&" would lose words.
    QString message = QStringLiteral("An Error Occurred. <br/><br/>%1").arg(text.toHtmlEscaped());
    // Without a configured support address the box names no one to contact.
    const QString support = WebConfig::current().supportAddress;
    if (!support.isEmpty())
        message += QLatin1String("<br/><br/> Or you can contact ") + support.toHtmlEscaped() +
                   QLatin1String(" for help.");
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
