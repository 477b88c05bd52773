#include "ops/ExportMessagesPdf.h"

#include "ops/OperationError.h"

#include <QPageLayout>
#include <QPageSize>

namespace {

// Pages are laid out in screen pixels, as on the screen and the printer preview.
constexpr int ScreenResolution = 96;

} // namespace

ExportMessagesPdf::ExportMessagesPdf(const QString& path, const QString& footer, const QStringList& closing)
    : m_file(path), m_writer(&m_file), m_closing(closing)
{
    m_renderer.setFooter(footer);
    m_writer.setResolution(ScreenResolution);
    m_writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                       QMarginsF(20, 20, 20, 20), QPageLayout::Point));
    m_writer.setCreator(QStringLiteral("Velliport"));
}

void ExportMessagesPdf::begin()
{
    // The PDF is written to a temporary file that takes the final name only when
    // complete, so a failed export never leaves a cut PDF that looks finished.
    if (!m_file.open(QIODevice::WriteOnly))
        throw OperationError(m_file.errorString());
    if (!m_renderer.begin(&m_writer))
        throw OperationError(QStringLiteral("Cannot write %1").arg(m_file.fileName()));
}

void ExportMessagesPdf::write(const _ViberMsg& msg)
{
    m_renderer.drawMessage(msg);
}

void ExportMessagesPdf::end()
{
    if (!m_closing.isEmpty())
        m_renderer.drawClosingPage(m_closing);
    m_renderer.end();
    if (!m_file.commit())
        throw OperationError(m_file.errorString());
}
