#pragma once

#include "db/ViberMsg.h"
#include "ops/AbsFormatExport.h"
#include "ops/TextFileWriter.h"

// A plain-text table: date, direction, name and the message's one-line summary.
class ExportMessagesTxt : public AbsFormatExport<_ViberMsg>
{
public:
    explicit ExportMessagesTxt(const QString& path) : m_file(path) {}
    void begin() override;
    void write(const _ViberMsg& msg) override;
    void end() override;

    static QString line(const QString& date, const QString& flag, const QString& name, const QString& text);

private:
    TextFileWriter m_file;
};
