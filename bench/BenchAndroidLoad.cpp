// Loads an extracted phone folder with AndroidViberDb once and prints, on one line,
// the load time, the record counts, the bytes the records' texts and extra blobs hold,
// and the resident memory just before the load (to subtract from the peak that
// /usr/bin/time reports).
//
//   velliport-bench-load EXTRACT_ROOT

#include "db/AndroidViberDb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <malloc.h>

namespace {

qint64 statusKb(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

qint64 textBytes(std::initializer_list<const QString*> texts)
{
    qint64 bytes = 0;
    for (const QString* t : texts)
        bytes += t->size() * qint64(sizeof(QChar));
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc < 2) {
        QTextStream(stderr) << "usage: velliport-bench-load EXTRACT_ROOT\n";
        return 2;
    }
    const qint64 rssBefore = statusKb("VmRSS:");
    const qint64 heapBefore = qint64(mallinfo2().uordblks);
    try {
        AndroidViberDb db(QStringLiteral("/storage/emulated/0"), app.arguments().at(1));
        QElapsedTimer timer;
        timer.start();
        const ViberDataSetPtr data = db.load();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;

        qint64 texts = 0;
        qint64 extras = 0;
        for (const _ViberMsg* m : data->messages) {
            texts += textBytes({&m->text, &m->address});
            extras += m->extra.size();
        }
        for (const _ViberAtta* a : data->attachments)
            texts += textBytes({&a->fileId, &a->bucket, &a->fileName, &a->sourceUri, &a->localPath,
                                &a->sourcePath, &a->previewPath});
        for (const _ViberPerson* p : data->persons)
            texts += textBytes({&p->number, &p->name, &p->avatarRef, &p->photoPath});
        for (const _ViberChat* c : data->chats)
            texts += textBytes({&c->name, &c->groupId});
        for (const _ViberCall* c : data->calls)
            extras += c->extra.size();

        out << "load_s=" << QString::number(seconds, 'f', 3) << " chats=" << data->chats.size()
            << " persons=" << data->persons.size() << " messages=" << data->messages.size()
            << " attachments=" << data->attachments.size() << " calls=" << data->calls.size()
            << " text_bytes=" << texts << " extra_bytes=" << extras << " rss_before_kb=" << rssBefore
            << " hwm_kb=" << statusKb("VmHWM:")
            << " heap_added=" << qint64(mallinfo2().uordblks) - heapBefore << "\n";
    } catch (const std::exception& e) {
        QTextStream(stderr) << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    return 0;
}
