#include "ops/TextFileWriter.h"

#include "ops/FileBatch.h"
#include "ops/FileWrites.h"
#include "ops/OperationError.h"

#include <utility>

TextFileWriter::TextFileWriter(const QString& path, FileBatch* batch) : m_path(path), m_batch(batch) {}

TextFileWriter::~TextFileWriter() = default;

void TextFileWriter::open()
{
    if (m_batch) {
        m_batchFile = m_batch->create(m_path);
        return;
    }
    auto file = std::make_unique<QSaveFile>(m_path);
    // Unbuffered: the writer gathers its own blocks, and a block QSaveFile kept would be
    // written by a flush that reports a disk taking part of it without saying why.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw OperationError(file->errorString());
    m_file = std::move(file);
}

// The text is encoded straight into the buffer: a QByteArray per line and a buffer
// given back at every flush made the allocator's work a large share of an export. A
// line ending in half a surrogate pair is not joined to the next one.
void TextFileWriter::write(QStringView text)
{
    Utf8Out::append(m_buffer, text, m_encoder);
    flushIfFull();
}

void TextFileWriter::writeUtf8(QByteArrayView text)
{
    m_buffer.append(text);
    flushIfFull();
}

void TextFileWriter::flushBuffer()
{
    if (m_buffer.isEmpty())
        return;
    if (m_batchFile) {
        // The block goes to the batch's thread whole, and the next one starts in room of
        // its own: one allocation per 64 KiB written, beside the encoding.
        m_batch->write(m_batchFile, std::exchange(m_buffer, QByteArray()));
        m_buffer.reserve(FlushThreshold + FlushThreshold / 2);
        return;
    }
    if (!FileWrites::writeAll(*m_file, m_buffer))
        m_failed = true;
    m_buffer.truncate(0);
}

void TextFileWriter::finish()
{
    if (!isOpen())
        return;
    flushBuffer();
    if (m_batchFile) {
        m_batch->finish(std::exchange(m_batchFile, nullptr));
        return;
    }
    finishAlone();
}

void TextFileWriter::finishAlone()
{
    // The first error says why; what commit reports after a cancel says only that.
    const QString writeError = m_file->errorString();
    if (m_failed)
        m_file->cancelWriting();
    if (!m_file->commit())
        throw OperationError(m_failed ? writeError : m_file->errorString());
}

void TextFileWriter::discard()
{
    m_buffer.clear();
    if (m_batchFile) {
        m_batch->discard(std::exchange(m_batchFile, nullptr));
        return;
    }
    if (m_file && m_file->isOpen()) {
        // Committing a cancelled file removes the temporary one at once.
        m_file->cancelWriting();
        m_file->commit();
    }
    m_file.reset();
}
