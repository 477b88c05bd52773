// Message texts and names come from databases. Properties: an escaped attribute value
// holds no markup and no quote; a bubble text holds no markup but the line breaks and
// emoji pictures it makes itself, and their attributes hold no quote of the text's.
#include "app/AppDirs.h"
#include "ops/BubbleMarkup.h"
#include "ops/BubbleText.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

// An asset folder with one emoticon picture, so that emoticon codes become pictures.
const QString& assets()
{
    static QTemporaryDir folder;
    static const bool made = [] {
        QDir().mkpath(folder.filePath(QStringLiteral("vb_emoji")));
        QFile picture(folder.filePath(QStringLiteral("vb_emoji/(smiley).png")));
        return picture.open(QIODevice::WriteOnly);
    }();
    if (!made)
        std::abort();
    static const QString path = folder.path();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    AppDirs::setAssetFolder(assets());
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    const QString attribute = BubbleMarkup::escapeAttribute(text);
    for (const QChar c : {QChar(u'<'), QChar(u'>'), QChar(u'"'), QChar(u'\'')}) {
        if (attribute.contains(c))
            std::abort();
    }

    static const QRegularExpression ownMarkup(
        QStringLiteral("<br/>|<img src=\"(?:vb_)?emoji/[^\"<>]*\\.png\" style=\"vertical-align:top;\" />"));
    QString bubble = BubbleText::escapeForBubble(text);
    bubble.remove(ownMarkup);
    if (bubble.contains(QLatin1Char('<')) || bubble.contains(QLatin1Char('>')))
        std::abort();
    return 0;
}
