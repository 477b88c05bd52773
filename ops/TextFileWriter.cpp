#include "ops/TextFileWriter.h"

#include "ops/OperationError.h"

namespace {

constexpr qsizetype FlushThreshold = 256 * 1024;

} // namespace

void TextFileWriter::open()
{
    if (!m_file.open(QIODevice::WriteOnly))
        throw OperationError(m_file.errorString());
}

// The text is encoded straight into the buffer: a QByteArray per line and a buffer
// given back at every flush made the allocator's work a large share of an export.
void TextFileWriter::write(QStringView text)
{
    const qsizetype used = m_buffer.size();
    m_buffer.resize(used + m_encoder.requiredSpace(text.size()));
    char* const end = m_encoder.appendToBuffer(m_buffer.data() + used, text);
    m_buffer.truncate(end - m_buffer.constData());
    if (m_buffer.size() >= FlushThreshold)
        flushBuffer();
}

void TextFileWriter::flushBuffer()
{
    if (!m_buffer.isEmpty() && m_file.write(m_buffer) != m_buffer.size())
        m_failed = true;
    m_buffer.truncate(0);
}

void TextFileWriter::finish()
{
    if (!m_file.isOpen())
        return;
    flushBuffer();
    // QSaveFile keeps small writes in its own buffer and commits a file whose last
    // buffer could not be written as if it were whole: the flush must be checked here.
    if (!m_file.flush())
        m_failed = true;
    // The first error says why; what commit reports after a cancel says only that.
    const QString writeError = m_file.errorString();
    if (m_failed)
        m_file.cancelWriting();
    if (!m_file.commit())
        throw OperationError(m_failed ? writeError : m_file.errorString());
}

void TextFileWriter::discard()
{
    m_buffer.clear();
    if (!m_file.isOpen())
        return;
    // Committing a cancelled file removes the temporary one at once.
    m_file.cancelWriting();
    m_file.commit();
}
