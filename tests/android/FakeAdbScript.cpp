#include "tests/android/FakeAdbScript.h"

#include <QFile>
#include <QSaveFile>

FakeAdbScript::FakeAdbScript() : savedPath_(qgetenv("PATH"))
{
    if (!dir_.isValid())
        return;
    writeScript(QStringLiteral("adb"), "d=$(dirname \"$0\")\n"
                                       "printf '%s\\n' \"$*\" >> \"$d/calls.log\"\n"
                                       "[ \"$1\" = \"-s\" ] && shift 2\n"
                                       "[ -f \"$d/$1.err\" ] && cat \"$d/$1.err\" >&2\n"
                                       "[ -f \"$d/$1.out\" ] && cat \"$d/$1.out\"\n"
                                       "[ -f \"$d/$1.sleep\" ] && exec sleep \"$(cat \"$d/$1.sleep\")\"\n"
                                       "exit 0\n");
    qputenv("PATH", QFile::encodeName(dir_.path()) + ':' + savedPath_);
    valid_ = QFile::exists(dir_.filePath(QStringLiteral("adb")));
}

FakeAdbScript::~FakeAdbScript()
{
    qputenv("PATH", savedPath_);
}

bool FakeAdbScript::isValid() const
{
    return valid_;
}

QString FakeAdbScript::folder() const
{
    return dir_.path();
}

void FakeAdbScript::setReply(const QString& command, const QByteArray& out, const QByteArray& err)
{
    writeFile(command + QStringLiteral(".out"), out);
    writeFile(command + QStringLiteral(".err"), err);
}

void FakeAdbScript::setDelay(const QString& command, int seconds)
{
    writeFile(command + QStringLiteral(".sleep"), QByteArray::number(seconds));
}

QString FakeAdbScript::writeScript(const QString& name, const QByteArray& body)
{
    const QString path = dir_.filePath(name);
    writeFile(name, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                    QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    return path;
}

QStringList FakeAdbScript::calls() const
{
    QFile log(dir_.filePath(QStringLiteral("calls.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

int FakeAdbScript::callCount(const QString& callLine) const
{
    return int(calls().count(callLine));
}

void FakeAdbScript::writeFile(const QString& name, const QByteArray& content)
{
    QSaveFile file(dir_.filePath(name));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
        file.commit();
    }
}
