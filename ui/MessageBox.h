#pragma once

#include <QCoreApplication>
#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// The program's message boxes: modal, frameless, styled and draggable, titled with the
// product name. Tests switch on test mode, in which no box is shown: each box takes the
// next queued answer (Ok, or No for a question, when none is queued) and is recorded.
class MessageBox
{
    Q_DECLARE_TR_FUNCTIONS(MessageBox)
public:
    enum class Kind { Information, Warning, Question, Critical };
    struct Shown
    {
        Kind kind;
        QString text;
    };

    static QMessageBox::StandardButton showInfo(const QString& text, QWidget* parent = nullptr);
    static QMessageBox::StandardButton showWarning(const QString& text, QWidget* parent = nullptr);
    // True only when the user answers Yes.
    static bool showQuestion(const QString& text, QWidget* parent = nullptr);
    // Both report the text they are given once the box is closed.
    static QMessageBox::StandardButton showCritical(const QString& text, QWidget* parent = nullptr);
    static QMessageBox::StandardButton showError(const QString& text, QWidget* parent = nullptr);

    // Where showCritical and showError send their error report; none by default. It is
    // called in test mode too, so a test can see the report. With a destination (the
    // host the report goes to) the box tells the user before the report is sent; a
    // reporter that sends nowhere is given none.
    static void setErrorReporter(std::function<void(const QString&)> reporter,
                                 const QString& destination = QString());

    static void setTestMode(bool enabled);
    static bool isTestMode();
    static void queueAnswer(QMessageBox::StandardButton answer);
    static QList<Shown> shownTexts();
    static void clearShown();

private:
    static QMessageBox::StandardButton show(Kind kind, const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultAnswer, QWidget* parent);
    static void report(const QString& text);
    // The box text with the notice that an error report will be sent, when one will.
    static QString withReportNotice(const QString& text);
};
