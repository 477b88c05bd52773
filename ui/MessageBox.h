#pragma once

#include "app/UserText.h"

#include <QCoreApplication>
#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// The program's message boxes: modal, frameless, styled and draggable, titled with the
// product name. A box shows a rich text as rich text, its links clickable, and a plain
// one as it stands (Qt::PlainText), so that "<" in a file name is never taken for markup.
// Tests switch on test mode, in which no box is shown: each box takes the next queued
// answer (Ok, or No for a question, when none is queued) and is recorded.
class MessageBox
{
    Q_DECLARE_TR_FUNCTIONS(MessageBox)
public:
    enum class Kind { Information, Warning, Question, Critical };
    struct Shown
    {
        Kind kind;
        // What the box's label is given, and how it reads it.
        QString text;
        Qt::TextFormat format;
    };

    static QMessageBox::StandardButton showInfo(const UserText& text, QWidget* parent = nullptr);
    static QMessageBox::StandardButton showWarning(const UserText& text, QWidget* parent = nullptr);
    // True only when the user answers Yes.
    static bool showQuestion(const UserText& text, QWidget* parent = nullptr);
    // Both report the text they are given once the box is closed.
    static QMessageBox::StandardButton showCritical(const UserText& text, QWidget* parent = nullptr);
    static QMessageBox::StandardButton showError(const UserText& text, QWidget* parent = nullptr);

    // Where showCritical and showError send their error report, as plain text; none by
    // default. It is called in test mode too, so a test can see the report. With a
    // destination (the host the report goes to) the box tells the user before the report
    // is sent; a reporter that sends nowhere is given none.
    static void setErrorReporter(std::function<void(const QString&)> reporter,
                                 const QString& destination = QString());

    static void setTestMode(bool enabled);
    static bool isTestMode();
    static void queueAnswer(QMessageBox::StandardButton answer);
    static QList<Shown> shownTexts();
    static void clearShown();

private:
    static QMessageBox::StandardButton show(Kind kind, const UserText& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultAnswer, QWidget* parent);
    static void report(const UserText& text);
    // The box text with the notice that an error report will be sent, when one will.
    static UserText withReportNotice(const UserText& text);
};
