#include "tools/phonesim/SimRootShell.h"

#include "app/FileSha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cstdio>
#include <unistd.h>

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

// A plain read and write, as dd copies: onto an existing file it truncates and writes
// in place (the file keeps its inode, owner and context); QFile::copy would go through a
// temporary file and a sync to the disk that no phone's dd makes. A full disk leaves
// half of the data.
bool copyAsDdDoes(const QString& from, const QString& to, bool diskFull)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    qint64 room = diskFull ? in.size() / 2 : -1;
    while (!in.atEnd()) {
        QByteArray block = in.read(1024 * 1024);
        if (room >= 0 && block.size() > room)
            block.truncate(room);
        if (block.isEmpty() || out.write(block) != block.size())
            return false;
        if (room >= 0 && (room -= block.size()) == 0)
            return false;
    }
    return out.flush();
}

QStringList operands(const QStringList& words)
{
    QStringList found;
    for (const QString& word : words.mid(1)) {
        if (!word.startsWith(u'-') || word.size() == 1)
            found.append(word);
    }
    return found;
}

} // namespace

SimRootShell::SimRootShell(const SimDevice& device) : m_device(device), m_attributes(device.folder()) {}

SimRootShell::Fault SimRootShell::nextFault()
{
    QFile counter(m_device.folder() + QStringLiteral("/root-commands.count"));
    qint64 count = 0;
    if (counter.open(QIODevice::ReadOnly))
        count = counter.readAll().trimmed().toLongLong();
    counter.close();
    ++count;
    QSaveFile out(counter.fileName());
    if (out.open(QIODevice::WriteOnly)) {
        out.write(QByteArray::number(count));
        out.commit();
    }
    const QString fault = m_device.value(QStringLiteral("rootFault")).toString();
    const qsizetype at = fault.indexOf(u'@');
    if (at < 0 || fault.mid(at + 1).toLongLong() != count)
        return Fault::None;
    const QString kind = fault.left(at);
    if (kind == QLatin1String("cut"))
        return Fault::Cut;
    if (kind == QLatin1String("drop"))
        return Fault::Drop;
    return kind == QLatin1String("full") ? Fault::Full : Fault::None;
}

SimRootShell::Result SimRootShell::run(const QString& command)
{
    Result result;
    QFile log(m_device.folder() + QStringLiteral("/root-commands.log"));
    if (log.open(QIODevice::Append))
        log.write(command.toUtf8().replace('\n', ' ') + '\n');
    const Fault fault = nextFault();
    if (fault == Fault::Cut) {
        result.dropConnection = true;
        return result;
    }
    QStringList words;
    for (const ShellWord& word : shellWords(command))
        words.append(expandWord(m_device, word));
    if (words.isEmpty())
        return result;
    result.exitCode = execute(words, fault == Fault::Full, result.output);
    result.dropConnection = fault == Fault::Drop;
    return result;
}

int SimRootShell::execute(const QStringList& words, bool diskFull, QByteArray& output)
{
    const QString program = words.first();
    if (program == QLatin1String("dd"))
        return dd(words, diskFull);
    // A full disk fails the other commands that write before they change anything;
    // reading a file or waiting for the disk needs no room.
    static const QStringList readers = {QStringLiteral("stat"), QStringLiteral("ls"),
                                        QStringLiteral("sha256sum"), QStringLiteral("sync")};
    if (diskFull && !readers.contains(program))
        return 1;
    if (program == QLatin1String("rm"))
        return rm(words);
    if (program == QLatin1String("mkdir"))
        return mkdir(words);
    if (program == QLatin1String("mv"))
        return mv(words);
    if (program == QLatin1String("ln"))
        return ln(words);
    if (program == QLatin1String("stat"))
        return stat(words, output);
    if (program == QLatin1String("ls"))
        return ls(words, output);
    if (program == QLatin1String("chown") || program == QLatin1String("chmod") ||
        program == QLatin1String("chcon"))
        return changeAttributes(words);
    if (program == QLatin1String("sha256sum"))
        return sha256sum(words, output);
    if (program == QLatin1String("sync"))
        return 0;
    if (program == QLatin1String("am") && words.value(1) == QLatin1String("force-stop") &&
        words.size() == 3) {
        if (words[2] == QLatin1String(SimDevice::ViberPackage))
            m_device.setViberRunning(false);
        return 0;
    }
    return 127;
}

int SimRootShell::dd(const QStringList& words, bool diskFull)
{
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
    if (!QFileInfo::exists(to))
        m_attributes.set(toPath, SimFileAttributes::createdByRoot(toPath));
    return copyAsDdDoes(from, to, diskFull) ? 0 : 1;
}

int SimRootShell::rm(const QStringList& words)
{
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
        if (removePath(local))
            m_attributes.forget(word);
        else
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}

int SimRootShell::mkdir(const QStringList& words)
{
    int failures = 0;
    for (const QString& word : operands(words)) {
        const QString local = m_device.fileFor(word);
        if (!local.isEmpty() && !QFileInfo::exists(local))
            m_device.noteWrite(word, QStringLiteral("mkdir"));
        failures += !local.isEmpty() && QDir().mkpath(local) ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}

// rename(2): the name takes the moved file's inode; nothing of the file it replaces
// stays. Two names of one inode leave both in place.
int SimRootShell::mv(const QStringList& words)
{
    const QStringList paths = operands(words);
    if (paths.size() != 2)
        return 1;
    const QString from = m_device.fileFor(paths[0]);
    const QString to = m_device.fileFor(paths[1]);
    if (from.isEmpty() || to.isEmpty() || !QFileInfo::exists(from))
        return 1;
    m_device.noteWrite(paths[1], QStringLiteral("mv"));
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return 1;
    if (QFileInfo::exists(from))
        return 0;
    m_attributes.move(paths[0], paths[1]);
    return 0;
}

// A hard link: a second name of the same file.
int SimRootShell::ln(const QStringList& words)
{
    const QStringList paths = operands(words);
    if (paths.size() != 2 || words.contains(QStringLiteral("-s")))
        return 1;
    const QString from = m_device.fileFor(paths[0]);
    const QString to = m_device.fileFor(paths[1]);
    if (from.isEmpty() || to.isEmpty() ||
        ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return 1;
    m_attributes.set(paths[1], m_attributes.of(paths[0]));
    return 0;
}

// stat -c FORMAT PATH...: %s size, %u and %g owner and group, %a mode in octal, %C the
// security context, %n the name.
int SimRootShell::stat(const QStringList& words, QByteArray& output)
{
    const qsizetype formatAt = words.indexOf(QStringLiteral("-c"));
    if (formatAt < 0 || formatAt + 1 >= words.size())
        return 1;
    const QString format = words[formatAt + 1];
    int failures = 0;
    for (const QString& path : words.mid(formatAt + 2)) {
        const QFileInfo info(m_device.fileFor(path));
        if (!info.exists()) {
            ++failures;
            continue;
        }
        const SimFileAttributes::Attributes a = m_attributes.of(path);
        QString line = format;
        line.replace(QLatin1String("%s"), QString::number(info.size()))
            .replace(QLatin1String("%u"), QString::number(a.uid))
            .replace(QLatin1String("%g"), QString::number(a.gid))
            .replace(QLatin1String("%a"), QString::number(a.mode, 8))
            .replace(QLatin1String("%C"), a.context)
            .replace(QLatin1String("%n"), path);
        output += line.toUtf8() + '\n';
    }
    return failures == 0 ? 0 : 1;
}

// ls [-a] [-Z] PATH...: a file's name, a folder's entries one per line (with -a also
// those beginning with a dot), with -Z each after its security context.
int SimRootShell::ls(const QStringList& words, QByteArray& output)
{
    const bool context = words.contains(QStringLiteral("-Z"));
    const bool all = words.contains(QStringLiteral("-a"));
    int failures = 0;
    for (const QString& path : operands(words)) {
        const QFileInfo info(m_device.fileFor(path));
        if (!info.exists()) {
            ++failures;
            continue;
        }
        QStringList names{path};
        if (info.isDir()) {
            const QDir::Filters filter =
                all ? QDir::AllEntries | QDir::Hidden | QDir::System : QDir::AllEntries;
            names = QDir(info.filePath()).entryList(filter, QDir::Name);
        }
        for (const QString& name : std::as_const(names)) {
            const QString full = info.isDir() ? path + u'/' + name : path;
            output += ((context ? m_attributes.of(full).context + u' ' : QString()) + name).toUtf8() + '\n';
        }
    }
    return failures == 0 ? 0 : 1;
}

// chown UID:GID PATH, chmod OCTAL PATH, chcon CONTEXT PATH
int SimRootShell::changeAttributes(const QStringList& words)
{
    const QStringList args = operands(words);
    if (args.size() != 2 || !QFileInfo::exists(m_device.fileFor(args[1])))
        return 1;
    SimFileAttributes::Attributes a = m_attributes.of(args[1]);
    bool ok = true;
    if (words.first() == QLatin1String("chown")) {
        const QStringList ids = args[0].split(u':');
        bool gidOk = ids.size() == 2;
        a.uid = ids[0].toInt(&ok);
        a.gid = ids.value(1).toInt(&gidOk);
        ok = ok && gidOk;
    } else if (words.first() == QLatin1String("chmod")) {
        a.mode = args[0].toInt(&ok, 8);
    } else {
        a.context = args[0];
        ok = a.context.startsWith(QLatin1String("u:"));
    }
    if (!ok)
        return 1;
    m_device.noteWrite(args[1], words.first());
    m_attributes.set(args[1], a);
    return 0;
}

int SimRootShell::sha256sum(const QStringList& words, QByteArray& output)
{
    int failures = 0;
    for (const QString& path : operands(words)) {
        // Through libcrypto, as the desktop hashes: Qt's own digest, several times slower,
        // made the simulated phone the slowest part of a write.
        const QString hex = FileSha256::hexOf(m_device.fileFor(path));
        if (hex.isEmpty()) {
            ++failures;
            continue;
        }
        output += hex.toLatin1() + "  " + path.toUtf8() + '\n';
    }
    return failures == 0 ? 0 : 1;
}
