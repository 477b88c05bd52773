#pragma once

#include "db/ViberMsg.h"
#include "ops/AbsFormatExport.h"
#include "ops/TextFileWriter.h"

// CSV with the columns date, send, person, number, content.
class ExportMessagesCsv : public AbsFormatExport<_ViberMsg>
{
public:
    explicit ExportMessagesCsv(const QString& path) : m_file(path) {}
    void begin() override;
    void write(const _ViberMsg& msg) override;
    void end() override;

    // Quotes a value holding a double quote, a comma, a line feed or a carriage return,
    // doubling its quotes.
    static QString escape(const QString& value);

private:
    void row(const QString& date, const QString& send, const QString& person, const QString& number,
             const QString& content);

    TextFileWriter m_file;
};
