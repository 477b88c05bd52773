#pragma once

// One export format: begin() opens the output and writes its head, write() adds one
// record, end() finishes. Writers only format; the worker picks files and order.
template<typename Record> class AbsFormatExport
{
public:
    virtual ~AbsFormatExport() = default;
    virtual void begin() = 0;
    virtual void write(const Record& record) = 0;
    virtual void end() = 0;
};
