#include "ops/HtmlAssets.h"

#include "app/AppDirs.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Plain read and write: QFile::copy spends a temporary file and a disk sync on each of
// these small pictures. A file already there is kept; a copy that fails is removed, as a
// missing picture is better than a cut one.
void copyNewFile(const QString& source, const QString& destination)
{
    QFile in(source);
    QFile out(destination);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return;
    bool ok = true;
    while (ok && !in.atEnd()) {
        const QByteArray chunk = in.read(64 * 1024);
        ok = !chunk.isEmpty() && out.write(chunk) == chunk.size();
    }
    if (!ok || !out.flush())
        out.remove();
}

} // namespace

HtmlAssets::HtmlAssets(const QString& exportFolder) : m_assets(AppDirs::assetFolder()), m_out(exportFolder) {}

void HtmlAssets::copyPageFiles()
{
    const QDir source(m_assets.filePath(QStringLiteral("vbbb")));
    const QDir target(m_out.filePath(QStringLiteral("files")));
    QDir().mkpath(target.path());
    if (!source.exists())
        return;
    const QStringList files = source.entryList(QDir::Files);
    for (const QString& name : files)
        copyNewFile(source.filePath(name), target.filePath(name));
}

void HtmlAssets::use(const QString& relativePath)
{
    if (m_used.contains(relativePath))
        return;
    m_used.insert(relativePath);
    const QString source = AppDirs::pathInside(m_assets.path(), relativePath);
    const QString target = AppDirs::pathInside(m_out.path(), relativePath);
    if (source.isEmpty() || target.isEmpty() || !QFileInfo(source).isFile())
        return;
    QDir().mkpath(QFileInfo(target).path());
    copyNewFile(source, target);
}
