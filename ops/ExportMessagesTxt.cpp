#include "ops/ExportMessagesTxt.h"

#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberText.h"

#include <QLocale>

using namespace ViberText;

QString ExportMessagesTxt::line(const QString& date, const QString& flag, const QString& name,
                                const QString& text)
{
    QString oneLine = text;
    oneLine.remove(QLatin1Char('\r'));
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return date.leftJustified(30) + flag.leftJustified(6) + name.leftJustified(40) + oneLine;
}

void ExportMessagesTxt::begin()
{
    m_file.open();
    m_file.writeLine(line(QStringLiteral("Date"), QStringLiteral("Flag"), QStringLiteral("Name"),
                          QStringLiteral("Message")));
}

void ExportMessagesTxt::write(const _ViberMsg& msg)
{
    const QString date =
        QLocale::system().toString(ViberDates::refToLocalShown(msg.date), QLocale::ShortFormat);
    if (msg.type == ViberMsgType::Call) {
        if (msg.call)
            m_file.writeLine(line(date, QStringLiteral("<Call>"), QString(), callText(*msg.call)));
        return;
    }
    if (msg.type == ViberMsgType::System) {
        m_file.writeLine(line(date, QStringLiteral("<System>"), QString(), systemLineText(msg)));
        return;
    }
    // A chat with oneself ("My Notes") names no one but has a name; a chat of neither is
    // nothing to show.
    if (!msg.chat || (msg.chat->participants.isEmpty() && msg.chat->name.trimmed().isEmpty()))
        return;
    QString name;
    if (msg.chat->participants.isEmpty())
        name = chatTitle(*msg.chat);
    else if (msg.chat->participants.size() == 1 || !msg.sender)
        name = chatMembersText(*msg.chat);
    else
        name = personLabelWithNumber(*msg.sender);
    m_file.writeLine(
        line(date, isOutgoing(msg) ? QStringLiteral("To") : QStringLiteral("From"), name, summaryText(msg)));
}

void ExportMessagesTxt::end()
{
    m_file.finish();
}
