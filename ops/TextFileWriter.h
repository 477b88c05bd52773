#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A UTF-8 text file with CR LF line ends, as the exported files have always been
// written, whatever the platform. Opening and finishing throw OperationError with the
// file's error text, so a full disk is never reported as success.
class TextFileWriter
{
public:
    explicit TextFileWriter(const QString& path) : m_file(path) {}

    void open();
    void write(const QString& text);
    void writeLine(const QString& text) { write(text + QLatin1String("\r\n")); }
    void finish();  // flushes, closes and throws when anything was lost
    void discard(); // closes and deletes the file, if open() made it
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }

private:
    void flushBuffer();

    QFile m_file;
    QByteArray m_buffer;
    bool m_failed = false;
    bool m_opened = false;
};
