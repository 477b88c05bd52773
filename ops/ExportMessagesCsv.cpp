#include "ops/ExportMessagesCsv.h"

#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberPerson.h"
#include "db/ViberText.h"

#include <algorithm>

using namespace ViberText;

QString ExportMessagesCsv::escape(const QString& value)
{
    // A carriage return is a line break to CSV readers too, so it is quoted like a line
    // feed; left bare, it would split the row when the file is read back.
    const bool plain = std::none_of(value.cbegin(), value.cend(), [](QChar c) {
        return c == QLatin1Char('"') || c == QLatin1Char(',') || c == QLatin1Char('\n') ||
               c == QLatin1Char('\r');
    });
    if (plain)
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void ExportMessagesCsv::begin()
{
    m_file.open();
    m_file.writeLine(QStringLiteral("date,send,person,number,content"));
}

void ExportMessagesCsv::row(const QString& date, const QString& send, const QString& person,
                            const QString& number, const QString& content)
{
    m_file.writeLine(date + QLatin1Char(',') + send + QLatin1Char(',') + person + QLatin1Char(',') + number +
                     QLatin1Char(',') + content);
}

void ExportMessagesCsv::write(const _ViberMsg& msg)
{
    const QString date =
        ViberDates::refToLocalShown(msg.date).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (msg.type == ViberMsgType::Call) {
        // A call row says who and which way as the message rows do: an outgoing call is
        // the owner's, the others the person's.
        if (const _ViberCall* call = msg.call) {
            const QString send =
                call->kind == ViberCallKind::Outgoing ? QStringLiteral("1") : QStringLiteral("0");
            const _ViberPerson* person = call->person;
            if (!person && msg.chat && msg.chat->participants.size() == 1)
                person = msg.chat->participants.cbegin().value();
            row(date, send, person ? escape(person->name) : QString(),
                person ? escape(person->number) : QString(), escape(callText(*call)));
        }
        return;
    }
    if (msg.type == ViberMsgType::System) {
        row(date, QStringLiteral("0"), QString(), QString(), escape(systemLineText(msg)));
        return;
    }
    // A chat with oneself ("My Notes") names no one but has a name; a chat of neither is
    // nothing to show.
    if (!msg.chat || (msg.chat->participants.isEmpty() && msg.chat->name.trimmed().isEmpty()))
        return;
    const QString send = isOutgoing(msg) ? QStringLiteral("1") : QStringLiteral("0");
    const QString content = escape(summaryText(msg));
    if (msg.chat->participants.isEmpty()) {
        row(date, send, QString(), escape(chatTitle(*msg.chat)), content);
    } else if (msg.chat->participants.size() == 1) {
        const _ViberPerson* peer = msg.chat->participants.cbegin().value();
        row(date, send, escape(peer->name), escape(peer->number), content);
    } else if (msg.sender) {
        row(date, send, escape(msg.sender->name), escape(msg.sender->number), content);
    } else {
        const QString group =
            msg.chat->name.isEmpty() ? QStringLiteral("Group-") + msg.chat->groupId : msg.chat->name;
        row(date, send, QString(), escape(group), content);
    }
}

void ExportMessagesCsv::end()
{
    m_file.finish();
}
