#include "tools/phonesim/SimFileAttributes.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QSaveFile>

namespace {

const QString ViberFolder = QStringLiteral("/data/data/com.viber.voip/");

using Table = QMap<QString, SimFileAttributes::Attributes>;

Table readTable(const QString& file)
{
    Table table;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return table;
    for (const QByteArray& line : in.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 5)
            continue;
        table.insert(QString::fromUtf8(fields[0]),
                     {fields[1].toInt(), fields[2].toInt(), fields[3].toInt(nullptr, 8), QString::fromUtf8(fields[4])});
    }
    return table;
}

void writeTable(const QString& file, const Table& table)
{
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        out.write(QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                      .arg(it.key())
                      .arg(it->uid)
                      .arg(it->gid)
                      .arg(it->mode, 0, 8)
                      .arg(it->context)
                      .toUtf8());
    }
    out.commit();
}

QString clean(const QString& phonePath)
{
    return QDir::cleanPath(u'/' + phonePath);
}

} // namespace

SimFileAttributes::SimFileAttributes(const QString& deviceFolder)
    : m_file(deviceFolder + QStringLiteral("/attributes.tsv"))
{}

SimFileAttributes::Attributes SimFileAttributes::placeDefault(const QString& phonePath)
{
    if (phonePath.startsWith(ViberFolder))
        return {ViberUid, ViberUid, 0660, QLatin1String(ViberContext)};
    if (phonePath.startsWith(QLatin1String("/data/")))
        return {0, 0, 0600, QStringLiteral("u:object_r:system_data_file:s0")};
    return {0, 9997, 0660, QStringLiteral("u:object_r:fuse:s0")};
}

SimFileAttributes::Attributes SimFileAttributes::createdByRoot(const QString& phonePath)
{
    // The type follows the folder, the level the creating process: root's files lack
    // the app's categories.
    if (clean(phonePath).startsWith(ViberFolder))
        return {0, 0, 0600, QStringLiteral("u:object_r:app_data_file:s0")};
    return placeDefault(clean(phonePath));
}

SimFileAttributes::Attributes SimFileAttributes::of(const QString& phonePath) const
{
    const QString path = clean(phonePath);
    return readTable(m_file).value(path, placeDefault(path));
}

void SimFileAttributes::set(const QString& phonePath, const Attributes& attributes)
{
    Table table = readTable(m_file);
    table.insert(clean(phonePath), attributes);
    writeTable(m_file, table);
}

void SimFileAttributes::forget(const QString& phonePath)
{
    Table table = readTable(m_file);
    if (table.remove(clean(phonePath)) > 0)
        writeTable(m_file, table);
}

void SimFileAttributes::move(const QString& from, const QString& to)
{
    const Attributes moved = of(from);
    Table table = readTable(m_file);
    table.remove(clean(from));
    table.insert(clean(to), moved);
    writeTable(m_file, table);
}
