#pragma once

#include "app/Utf8Out.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <memory>

class FileBatch;

// A UTF-8 text file with CR LF line ends, as the exported files have always been
// written, whatever the platform. The text goes to a temporary file beside the target,
// which replaces the target only once it is complete: a full disk or a cancel leaves
// the file the name held before, or none, never a cut one. Alone, the writer puts its
// file in place when it finishes; given a batch, the batch puts it in place with the
// others of the export. Opening and finishing throw OperationError with the file's
// error text, so a full disk is never reported as success; in a batch, whose thread
// writes the file, a write may throw it too.
class TextFileWriter
{
public:
    explicit TextFileWriter(const QString& path, FileBatch* batch = nullptr);
    ~TextFileWriter();

    void open();
    void write(QStringView text);
    void write(const QString& text) { write(QStringView(text)); }
    void writeUtf8(QByteArrayView text); // text already in UTF-8, written as it is
    // Text that build appends through a Utf8Out goes straight into the block being
    // gathered, without a copy of its own.
    template<class Build> void writeBuilt(Build&& build)
    {
        Utf8Out out(m_buffer);
        build(out);
        flushIfFull();
    }
    void writeLine(QStringView text)
    {
        write(text);
        write(u"\r\n");
    }
    void writeLine(const QString& text) { writeLine(QStringView(text)); }
    void finish();  // writes the rest and puts the file in place; throws when anything was lost
    void discard(); // drops what was written; the target is left as it was
    bool isOpen() const { return m_batchFile || (m_file && m_file->isOpen()); }
    QString path() const { return m_path; }

private:
    // Large enough that a write costs little per byte, small beside what an export holds.
    static constexpr qsizetype FlushThreshold = 64 * 1024;

    void flushIfFull()
    {
        if (m_buffer.size() >= FlushThreshold)
            flushBuffer();
    }
    void flushBuffer();
    void finishAlone();

    QString m_path;
    FileBatch* m_batch;
    std::unique_ptr<QSaveFile> m_file; // alone
    QFile* m_batchFile = nullptr;      // in a batch: the batch's, until finished or discarded
    QStringEncoder m_encoder = Utf8Out::makeEncoder();
    QByteArray m_buffer; // keeps its capacity from flush to flush
    bool m_failed = false;
};
