#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <QStringEncoder>

// A UTF-8 text file with CR LF line ends, as the exported files have always been
// written, whatever the platform. The text goes to a temporary file beside the target,
// which replaces the target only once it is complete: a full disk or a cancel leaves
// the file the name held before, or none, never a cut one. Opening and finishing throw
// OperationError with the file's error text, so a full disk is never reported as success.
class TextFileWriter
{
public:
    explicit TextFileWriter(const QString& path) : m_file(path) {}

    void open();
    void write(QStringView text);
    void write(const QString& text) { write(QStringView(text)); }
    void writeLine(QStringView text)
    {
        write(text);
        write(u"\r\n");
    }
    void writeLine(const QString& text) { writeLine(QStringView(text)); }
    void finish();  // writes the rest and puts the file in place; throws when anything was lost
    void discard(); // drops what was written; the target is left as it was
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }

private:
    void flushBuffer();

    QSaveFile m_file;
    // Stateless: a line ending in half a surrogate pair is not joined to the next one.
    QStringEncoder m_encoder{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    QByteArray m_buffer; // keeps its capacity from flush to flush
    bool m_failed = false;
};
