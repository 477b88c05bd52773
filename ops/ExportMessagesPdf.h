#pragma once

#include "db/ViberMsg.h"
#include "ops/AbsFormatExport.h"
#include "ops/PageRenderer.h"

#include <QPdfWriter>

// One chat as A4 PDF pages of chat bubbles.
class ExportMessagesPdf : public AbsFormatExport<_ViberMsg>
{
public:
    explicit ExportMessagesPdf(const QString& path);
    void begin() override;
    void write(const _ViberMsg& msg) override;
    void end() override;

    const PageRenderer& renderer() const { return m_renderer; }

private:
    QString m_path;
    QPdfWriter m_writer;
    PageRenderer m_renderer;
};
