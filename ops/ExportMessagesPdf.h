#pragma once

#include "db/ViberMsg.h"
#include "ops/AbsFormatExport.h"
#include "ops/PageRenderer.h"

#include <QPdfWriter>
#include <QSaveFile>

// One chat as A4 PDF pages of chat bubbles.
class ExportMessagesPdf : public AbsFormatExport<_ViberMsg>
{
public:
    // footer: the line every page carries (the export's id); closing: the lines of a last
    // page saying where the messages came from, none without.
    explicit ExportMessagesPdf(const QString& path, const QString& footer = QString(),
                               const QStringList& closing = QStringList());
    void begin() override;
    void write(const _ViberMsg& msg) override;
    void end() override;

    const PageRenderer& renderer() const { return m_renderer; }

private:
    QSaveFile m_file;
    QPdfWriter m_writer; // writes into m_file, which it must not outlive
    PageRenderer m_renderer;
    QStringList m_closing;
};
