#include "tests/support/LocalDbFixture.h"

#include "app/Sqlite3DB.h"
#include "db/IOSViberDb.h"
#include "db/LocalDbWriteContext.h"
#include "db/ViberChat.h"
#include "db/ViberMsg.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <stdexcept>

namespace LocalDbFixture {

namespace {

QString readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
    return QString::fromUtf8(file.readAll());
}

QString schemaScript()
{
    return readFile(QString::fromLatin1(IOSViberDb::SchemaScript));
}

QString databaseIn(const QString& folder, const char* file)
{
    const QString path = QDir(folder).absoluteFilePath(QLatin1String(file));
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

} // namespace

QString readDataFile(const QString& relativePath)
{
    return readFile(TestEnvironment::dataDir() + QLatin1Char('/') + relativePath);
}

void runScript(const QString& databasePath, const QString& script)
{
    Sqlite3DB db;
    db.openThrow(databasePath, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
    db.executeScriptThrow(script);
}

QString createEmptyProgramStore(const QString& folder)
{
    const QString path = databaseIn(folder, ProgramFile);
    runScript(path, schemaScript());
    return path;
}

QString createProgramStore(const QString& folder)
{
    const QString path = createEmptyProgramStore(folder);
    runScript(path, readDataFile(QStringLiteral("localdb/program_sample.sql")));
    return path;
}

QString createGenuineStore(const QString& folder)
{
    const QString path = databaseIn(folder, GenuineFile);
    runScript(path, readDataFile(QStringLiteral("localdb/genuine_ios.sql")));
    return path;
}

void writeImage(const QString& path, QSize size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    if (!image.save(path))
        throw std::runtime_error("cannot write " + path.toStdString());
}

QStringList filesBelow(const QString& folder)
{
    QStringList files;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(root.relativeFilePath(it.next()));
    files.sort();
    return files;
}

void writeAll(IOSViberDb& db, const QList<_ViberMsg*>& messages, const QList<_ViberCall*>& calls)
{
    LocalDbWriteContext context;
    db.open();
    db.beginTran();
    const _ViberChat* previous = nullptr;
    qint64 conversation = 0;
    for (const _ViberMsg* msg : messages) {
        if (msg->chat != previous) {
            previous = msg->chat;
            conversation = db.findConversation(*msg->chat);
            if (conversation == 0)
                conversation = db.insertConversation(context, *msg->chat);
            db.linkParticipants(context, conversation, msg->chat->participants.values());
        }
        qint64 attachmentPk = 0;
        qint64 locationPk = 0;
        if (db.findDuplicateMessage(msg->token, msg->date, attachmentPk) == 0)
            db.insertMessage(context, conversation, *msg, attachmentPk, locationPk);
    }
    for (const _ViberCall* call : calls)
        db.insertCall(context, *call);
    db.refreshRecentsLines();
    db.execute(
        QStringLiteral("update ZCONVERSATION set ZDATE=(select max(ZDATE) from ZVIBERMESSAGE as m where "
                       "m.ZCONVERSATION=ZCONVERSATION.Z_PK)"));
    db.commitTran();
}

} // namespace LocalDbFixture
