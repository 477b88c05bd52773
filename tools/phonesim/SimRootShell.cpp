#include "tools/phonesim/SimRootShell.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// One word of a shell command line after quote removal. wild marks the characters
// that were * or ? outside quotes: only those take part in file-name expansion.
struct ShellWord
{
    QString text;
    QList<bool> wild;

    bool hasWildcard() const { return wild.contains(true); }
};

// Splits a command line as the phone's sh does: blanks separate words, double and
// single quotes group and keep * and ? literal, a backslash outside single quotes
// escapes the next character.
QList<ShellWord> shellWords(const QString& command)
{
    QList<ShellWord> words;
    ShellWord current;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (quote.isNull() && c.isSpace()) {
            if (inWord)
                words.append(current);
            current = ShellWord();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == quote) {
            quote = QChar();
        } else if (quote.isNull() && (c == u'"' || c == u'\'')) {
            quote = c;
        } else if (c == u'\\' && quote != u'\'' && i + 1 < command.size()) {
            current.text.append(command.at(++i));
            current.wild.append(false);
        } else {
            current.text.append(c);
            current.wild.append(quote.isNull() && (c == u'*' || c == u'?'));
        }
    }
    if (inWord)
        words.append(current);
    return words;
}

// The phone paths a word names after file-name expansion, sorted like sh sorts them.
// A pattern that matches nothing stays as it is, as in sh.
QStringList expandWord(const SimDevice& device, const ShellWord& word)
{
    if (!word.hasWildcard())
        return {word.text};
    QStringList found{QString()};
    qsizetype start = 0;
    for (;;) {
        qsizetype end = word.text.indexOf(u'/', start);
        const bool last = end < 0;
        if (last)
            end = word.text.size();
        const QString part = word.text.mid(start, end - start);
        const QString separator = last ? QString() : QStringLiteral("/");
        bool wild = false;
        QString pattern;
        for (qsizetype i = start; i < end; ++i) {
            const QChar c = word.text.at(i);
            if (word.wild.at(i)) {
                wild = true;
                pattern += c == u'*' ? QStringLiteral("[^/]*") : QStringLiteral("[^/]");
            } else {
                pattern += QRegularExpression::escape(QString(c));
            }
        }
        const QRegularExpression matcher(QRegularExpression::anchoredPattern(pattern));
        QStringList next;
        for (const QString& prefix : found) {
            if (!wild) {
                next.append(prefix + part + separator);
                continue;
            }
            const QString local = device.fileFor(prefix.isEmpty() ? QStringLiteral("/") : prefix);
            if (local.isEmpty())
                continue;
            const QStringList names = QDir(local).entryList(
                QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
            for (const QString& name : names) {
                // a leading dot is matched only by a pattern that spells it
                if (name.startsWith(u'.') && !part.startsWith(u'.'))
                    continue;
                if (matcher.match(name).hasMatch())
                    next.append(prefix + name + separator);
            }
        }
        if (next.isEmpty())
            return {word.text};
        found = next;
        if (last)
            return found;
        start = end + 1;
    }
}

bool removePath(const QString& local)
{
    const QFileInfo info(local);
    if (info.isDir() && !info.isSymLink())
        return QDir(local).removeRecursively();
    return QFile::remove(local);
}

// A plain read and write, as dd copies: QFile::copy goes through a temporary file and a
// sync to the disk that no phone's dd makes, which made staging a large database slower
// here than on a phone.
bool copyAsDdDoes(const QString& from, const QString& to)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray block = in.read(1024 * 1024);
        if (block.isEmpty() || out.write(block) != block.size())
            return false;
    }
    return out.flush();
}

} // namespace

SimRootShell::SimRootShell(const SimDevice& device) : m_device(device) {}

int SimRootShell::run(const QString& command)
{
    QStringList words;
    for (const ShellWord& word : shellWords(command))
        words.append(expandWord(m_device, word));
    if (words.isEmpty())
        return 127;
    const QString program = words.first();
    if (program == QLatin1String("dd")) {
        QString fromPath;
        QString toPath;
        for (const QString& word : words.mid(1)) {
            if (word.startsWith(QLatin1String("if=")))
                fromPath = word.mid(3);
            else if (word.startsWith(QLatin1String("of=")))
                toPath = word.mid(3);
        }
        const QString from = m_device.fileFor(fromPath);
        const QString to = m_device.fileFor(toPath);
        if (from.isEmpty() || to.isEmpty() || !QFileInfo(from).isFile() ||
            !QFileInfo(QFileInfo(to).absolutePath()).isDir())
            return 1;
        m_device.noteRead(fromPath, QStringLiteral("dd"));
        m_device.noteWrite(toPath, QStringLiteral("dd"));
        QFile::remove(to);
        return copyAsDdDoes(from, to) ? 0 : 1;
    }
    if (program == QLatin1String("rm")) {
        int failures = 0;
        bool force = false;
        bool recursive = false;
        for (const QString& word : words.mid(1)) {
            if (word.startsWith(u'-') && word.size() > 1) {
                force = force || word.contains(u'f');
                recursive = recursive || word.contains(u'r') || word.contains(u'R');
                continue;
            }
            const QString local = m_device.fileFor(word);
            const QFileInfo info(local);
            if (local.isEmpty() || (!info.exists() && !info.isSymLink())) {
                failures += force ? 0 : 1; // rm -f is quiet about what is not there
                continue;
            }
            if (info.isDir() && !info.isSymLink() && !recursive) {
                ++failures;
                continue;
            }
            m_device.noteWrite(word, QStringLiteral("rm"));
            failures += removePath(local) ? 0 : 1;
        }
        return failures == 0 ? 0 : 1;
    }
    if (program == QLatin1String("mkdir")) {
        int failures = 0;
        for (const QString& word : words.mid(1)) {
            if (word.startsWith(u'-'))
                continue;
            const QString local = m_device.fileFor(word);
            if (!local.isEmpty() && !QFileInfo::exists(local))
                m_device.noteWrite(word, QStringLiteral("mkdir"));
            failures += !local.isEmpty() && QDir().mkpath(local) ? 0 : 1;
        }
        return failures == 0 ? 0 : 1;
    }
    if (program == QLatin1String("am") && words.value(1) == QLatin1String("force-stop") &&
        words.size() == 3) {
        if (words[2] == QLatin1String(SimDevice::ViberPackage))
            m_device.setViberRunning(false);
        return 0;
    }
    return 127;
}
