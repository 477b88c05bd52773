#include "ops/TextFileWriter.h"

#include "ops/OperationError.h"

namespace {

constexpr qsizetype FlushThreshold = 256 * 1024;

} // namespace

void TextFileWriter::open()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw OperationError(m_file.errorString());
    m_opened = true;
}

void TextFileWriter::write(const QString& text)
{
    m_buffer += text.toUtf8();
    if (m_buffer.size() >= FlushThreshold)
        flushBuffer();
}

void TextFileWriter::flushBuffer()
{
    if (!m_buffer.isEmpty() && m_file.write(m_buffer) != m_buffer.size())
        m_failed = true;
    m_buffer.clear();
}

void TextFileWriter::finish()
{
    if (!m_file.isOpen())
        return;
    flushBuffer();
    if (!m_file.flush())
        m_failed = true;
    const QString error = m_file.errorString();
    m_file.close();
    if (m_failed)
        throw OperationError(error);
}

void TextFileWriter::discard()
{
    m_buffer.clear();
    m_file.close();
    // A path that could not be opened holds someone else's file, or a folder.
    if (m_opened)
        m_file.remove();
}
