#include "tools/cli/CliPassword.h"

#include <QFile>
#include <QTextStream>

#include <termios.h>
#include <unistd.h>

namespace {

// A password is a line; a longer "line" is some other file given by mistake.
constexpr qint64 MaxLength = 4096;

// Overwrites the text's own buffer before it goes: the password's copy for the keys is
// the SecretBytes.
void wipe(QString& text)
{
    text.fill(QChar(u'\0'));
    text.clear();
}

std::optional<SecretBytes> fromLine(QString line, QString& errorText)
{
    if (line.endsWith(u'\r'))
        line.chop(1);
    if (line.isEmpty() || line.size() > MaxLength) {
        errorText = QStringLiteral("the password is empty or not a single line");
        wipe(line);
        return std::nullopt;
    }
    SecretBytes password = SecretBytes::fromUtf8(line);
    wipe(line);
    return password;
}

// Terminal echo off while the line is typed, back as it was afterwards whatever happens.
class EchoOff
{
public:
    EchoOff()
    {
        m_active = tcgetattr(STDIN_FILENO, &m_saved) == 0;
        if (!m_active)
            return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        m_active = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff()
    {
        if (m_active)
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios m_saved{};
    bool m_active = false;
};

} // namespace

namespace CliPassword {

std::optional<SecretBytes> read(const QString& passwordFile, QTextStream& in, QTextStream& errors,
                                const QString& prompt, QString& errorText)
{
    if (passwordFile == QLatin1String("-"))
        return fromLine(in.readLine(MaxLength + 1), errorText);
    if (!passwordFile.isEmpty()) {
        QFile file(passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            errorText = QStringLiteral("cannot read the password file %1").arg(passwordFile);
            return std::nullopt;
        }
        QTextStream lines(&file);
        return fromLine(lines.readLine(MaxLength + 1), errorText);
    }
    if (!isatty(STDIN_FILENO)) {
        errorText = QStringLiteral("give the password with --password-file FILE (- reads standard input)");
        return std::nullopt;
    }
    errors << prompt;
    errors.flush();
    QString line;
    {
        const EchoOff echoOff;
        line = in.readLine(MaxLength + 1);
    }
    errors << '\n';
    errors.flush();
    return fromLine(line, errorText);
}

} // namespace CliPassword
