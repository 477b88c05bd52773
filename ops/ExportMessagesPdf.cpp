#include "ops/ExportMessagesPdf.h"

#include "ops/OperationError.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>

namespace {

// Pages are laid out in screen pixels, as on the screen and the printer preview.
constexpr int ScreenResolution = 96;

} // namespace

ExportMessagesPdf::ExportMessagesPdf(const QString& path) : m_path(path), m_writer(path)
{
    m_writer.setResolution(ScreenResolution);
    m_writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                       QMarginsF(20, 20, 20, 20), QPageLayout::Point));
    m_writer.setCreator(QStringLiteral("Velliport"));
}

void ExportMessagesPdf::begin()
{
    if (!m_renderer.begin(&m_writer)) {
        QFile probe(m_path);
        probe.open(QIODevice::WriteOnly);
        throw OperationError(probe.errorString().isEmpty() ? QStringLiteral("Cannot write %1").arg(m_path)
                                                           : probe.errorString());
    }
}

void ExportMessagesPdf::write(const _ViberMsg& msg)
{
    m_renderer.drawMessage(msg);
}

void ExportMessagesPdf::end()
{
    m_renderer.end();
}
