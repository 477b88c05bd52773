// Message texts and names come from databases. Properties: an escaped attribute value
// holds no markup and no quote; a bubble text holds no markup but the line breaks and
// emoji pictures it makes itself, and their attributes hold no quote of the text's; the
// bubble text built straight into UTF-8 is the encoding of the one built as text (each
// lone surrogate half a U+FFFD, as the export's files have it), for
// the input read as UTF-8 and as UTF-16 (where surrogate halves may stand alone).
#include "app/AppDirs.h"
#include "ops/BubbleMarkup.h"
#include "ops/BubbleText.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>

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

    QString units(qsizetype(size / 2), Qt::Uninitialized); // the bytes may lie unaligned
    std::memcpy(units.data(), data, size_t(units.size()) * sizeof(QChar));
    for (const QString& input : {text, units}) {
        QByteArray utf8;
        Utf8Out out(utf8);
        BubbleText::appendForBubble(out, input);
        QStringEncoder whole(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        if (utf8 != QByteArray(whole.encode(BubbleText::escapeForBubble(input))))
            std::abort();
    }
    return 0;
}
