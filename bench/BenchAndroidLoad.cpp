// Loads an extracted phone folder once, with the reader the program picks for its
// generation (AndroidViberDb or ModernAndroidViberDb), and prints, on one line,
// the load time, the record counts, the bytes the records' texts and extra blobs hold,
// the resident memory just before the load (to subtract from the peak that
// /usr/bin/time reports) and just after it. With --breakdown it also prints the bytes
// the message, attachment and call records take in their tables' blocks (a message's
// location chunk included), the heap chunks their strings and blobs take as glibc hands
// them out (headers and rounding included, shared data counted once), and the UTF-8
// bytes of the text values inside the extra blobs; that accounting needs memory of its
// own, so runs that measure the peak leave it out.
//
//   velliport-bench-load [--breakdown] EXTRACT_ROOT
//
// With --record FILE the load also writes the statements it ran, as it ran them, into
// FILE; --replay FILE runs them again with the SQLite C API alone and prints scan_s
// (open and every statement, each value read), the fair floor of the load.

#include "app/BlobCodec.h"
#include "app/HugePageHeap.h"
#include "db/ViberSourceDetector.h"

#include "bench/BenchMemory.h"
#include "bench/BenchQueryTrace.h"
#include <QCoreApplication>
#include <QElapsedTimer>

#include <QFile>
#include <QSet>
#include <QTextStream>

#include <malloc.h>

namespace {

// Heap chunks, each counted once however many records share it.
class ChunkCounter
{
public:
    qint64 chunk(const void* p)
    {
        if (!p || m_seen.contains(p))
            return 0;
        m_seen.insert(p);
        return qint64(malloc_usable_size(const_cast<void*>(p))) + qint64(sizeof(size_t));
    }
    qint64 strings(std::initializer_list<const QString*> texts)
    {
        qint64 bytes = 0;
        for (const QString* t : texts)
            bytes += chunk(const_cast<QString*>(t)->data_ptr().d_ptr());
        return bytes;
    }
    // A blob of a few bytes lives inside its record and takes no chunk.
    qint64 blob(const HeldBlob& b) { return chunk(b.storage()); }

private:
    QSet<const void*> m_seen;
};

// The UTF-8 bytes of the text values an extra blob holds (body, URIs, download ids).
qint64 blobTextBytes(const QByteArray& blob)
{
    qint64 bytes = 0;
    const QVariantMap map = BlobCodec::decodeMap(blob);
    for (const QVariant& value : map) {
        if (value.typeId() == QMetaType::QString)
            bytes += value.toString().toUtf8().size();
    }
    return bytes;
}

// Heap in use, whether glibc serves it from its arena or from separate mappings.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
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
    HugePageHeap::restartWithHugePages(argv);
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QStringList args = app.arguments();
    const bool breakdown = args.removeAll(QStringLiteral("--breakdown")) > 0;
    QString record;
    if (const qsizetype at = args.indexOf(QStringLiteral("--record")); at > 0 && at + 1 < args.size()) {
        record = args.takeAt(at + 1);
        args.removeAt(at);
        BenchQueryTrace::start();
    }
    if (args.size() == 3 && args.at(1) == QLatin1String("--replay")) {
        QFile log(args.at(2));
        if (!log.open(QIODevice::ReadOnly))
            return 1;
        try {
            const BenchQueryTrace::Replay r = BenchQueryTrace::replay(log.readAll());
            out << "scan_s=" << QString::number(r.seconds, 'f', 3) << " statements=" << r.statements
                << " rows=" << r.rows << " checksum=" << r.checksum << "\n";
        } catch (const std::exception& e) {
            QTextStream(stderr) << e.what() << "\n";
            return 1;
        }
        return 0;
    }
    if (args.size() < 2) {
        QTextStream(stderr)
            << "usage: velliport-bench-load [--breakdown] [--record FILE] EXTRACT_ROOT | --replay FILE\n";
        return 2;
    }
    const qint64 rssBefore = statusKb("VmRSS:");
    const qint64 heapBefore = heapInUse();
    try {
        const std::unique_ptr<AbsViberDb> db =
            ViberSourceDetector::androidReader(QStringLiteral("/storage/emulated/0"), args.at(1));
        QElapsedTimer timer;
        timer.start();
        const ViberDataSetPtr data = db->load();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const qint64 heapAdded = heapInUse() - heapBefore;
        if (!record.isEmpty()) {
            QFile log(record);
            if (!log.open(QIODevice::WriteOnly) || log.write(BenchQueryTrace::take()) < 0)
                throw std::runtime_error("cannot write the statements' log");
        }
        const qint64 rssAfter = statusKb("VmRSS:");

        qint64 texts = 0;
        qint64 extras = 0;
        ChunkCounter heap;
        qint64 recordAlloc = 0;
        qint64 stringAlloc = 0;
        qint64 blobAlloc = 0;
        qint64 blobTexts = 0;
        for (const _ViberMsg* m : data->messages) {
            const QString address = m->location.address(); // shares the text the record holds
            texts += textBytes({&m->text, &address});
            extras += m->extra.size();
            if (breakdown) {
                // a set location also takes the chunk that holds its coordinates and address
                constexpr qint64 LocationChunk = 2 * sizeof(double) + sizeof(QString) + sizeof(size_t);
                recordAlloc += qint64(sizeof(_ViberMsg)) + (m->location.isEmpty() ? 0 : LocationChunk);
                stringAlloc += heap.strings({&m->text, &address});
                blobAlloc += heap.blob(m->extra);
                blobTexts += blobTextBytes(m->extra.bytes());
            }
        }
        for (const _ViberAtta* a : data->attachments) {
            texts += textBytes({&a->fileId, &a->bucket, &a->fileName, &a->sourceUri, &a->localPath,
                                &a->sourcePath, &a->previewPath});
            if (breakdown) {
                recordAlloc += qint64(sizeof(_ViberAtta));
                stringAlloc += heap.strings({&a->fileId, &a->bucket, &a->fileName, &a->sourceUri,
                                             &a->localPath, &a->sourcePath, &a->previewPath});
            }
        }
        for (const _ViberPerson* p : data->persons)
            texts += textBytes({&p->number, &p->name, &p->avatarRef, &p->photoPath});
        for (const _ViberChat* c : data->chats)
            texts += textBytes({&c->name, &c->groupId});
        for (const _ViberCall* c : data->calls) {
            extras += c->extra.size();
            if (breakdown) {
                recordAlloc += qint64(sizeof(_ViberCall));
                blobAlloc += heap.blob(c->extra);
                blobTexts += blobTextBytes(c->extra.bytes());
            }
        }

        out << "load_s=" << QString::number(seconds, 'f', 3) << " chats=" << data->chats.size()
            << " persons=" << data->persons.size() << " messages=" << data->messages.size()
            << " attachments=" << data->attachments.size() << " calls=" << data->calls.size()
            << " text_bytes=" << texts << " extra_bytes=" << extras << " rss_before_kb=" << rssBefore
            << " rss_after_kb=" << rssAfter << " hwm_kb=" << statusKb("VmHWM:")
            << " heap_added=" << heapAdded;
        if (breakdown)
            out << " record_bytes=" << recordAlloc << " string_alloc=" << stringAlloc
                << " blob_alloc=" << blobAlloc << " blob_text_bytes=" << blobTexts;
        out << "\n";
    } catch (const std::exception& e) {
        QTextStream(stderr) << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    return 0;
}
