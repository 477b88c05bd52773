#include "app/UserText.h"

#include <QList>
#include <QRegularExpression>

namespace {

// Longer than any entity name or number the program's texts use: past it, "&" is text.
constexpr qsizetype MaxEntityLength = 10;

// Decodes the entity that starts with the "&" at text[at] into out; the number of
// characters it took, or 0 when there is none (the "&" is then text).
qsizetype decodeEntity(QStringView text, qsizetype at, QString& out)
{
    const qsizetype end = text.indexOf(u';', at + 1);
    if (end < 0 || end == at + 1 || end - at - 1 > MaxEntityLength)
        return 0;
    const QStringView name = text.mid(at + 1, end - at - 1);
    if (name.startsWith(u'#')) {
        bool ok = false;
        const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
        const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
        // No NUL, no half of a surrogate pair, nothing past Unicode's last character.
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return 0;
        const char32_t character = code;
        out += QString::fromUcs4(&character, 1);
        return end - at + 1;
    }
    static const struct
    {
        const char* name;
        char16_t character;
    } named[] = {{"amp", u'&'},  {"lt", u'<'},    {"gt", u'>'},
                 {"quot", u'"'}, {"apos", u'\''}, {"nbsp", u' '}}; // a console shows no other space
    for (const auto& entity : named) {
        if (name == QLatin1StringView(entity.name)) {
            out += QChar(entity.character);
            return end - at + 1;
        }
    }
    return 0;
}

QString decodeEntities(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            if (const qsizetype taken = decodeEntity(text, i, out)) {
                i += taken - 1;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The value of an attribute of a tag's text ("a href=\"…\""), entities decoded; empty
// when the tag has none.
QString attribute(const QString& tag, const QRegularExpression& pattern)
{
    const QRegularExpressionMatch match = pattern.match(tag);
    if (!match.hasMatch())
        return {};
    for (int group = 2; group <= 4; ++group) {
        if (match.capturedLength(group) > 0)
            return decodeEntities(match.capturedView(group));
    }
    return {};
}

QRegularExpression attributePattern(const char* name)
{
    return QRegularExpression(
        QStringLiteral("\\s%1\\s*=\\s*(\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))").arg(QLatin1StringView(name)),
        QRegularExpression::CaseInsensitiveOption);
}

// The index of the ">" that ends the tag opened at text[at], skipping quoted attribute
// values; -1 when the text ends first.
qsizetype tagEnd(const QString& text, qsizetype at)
{
    QChar quote;
    for (qsizetype i = at + 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'>') {
            return i;
        }
    }
    return -1;
}

bool isBlock(const QString& name)
{
    static const QStringList blocks = {QStringLiteral("p"),  QStringLiteral("div"),  QStringLiteral("li"),
                                       QStringLiteral("tr"), QStringLiteral("h1"),   QStringLiteral("h2"),
                                       QStringLiteral("h3"), QStringLiteral("h4"),   QStringLiteral("ul"),
                                       QStringLiteral("ol"), QStringLiteral("table")};
    return blocks.contains(name);
}

void breakLine(QString& out)
{
    if (!out.isEmpty() && !out.endsWith(u'\n'))
        out += u'\n';
}

// Spaces at the ends of lines and empty lines at the ends of the text are markup's
// layout, not words.
QString tidy(const QString& text)
{
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        line = line.trimmed();
    return lines.join(u'\n').trimmed();
}

QString richToPlain(const QString& html)
{
    static const QRegularExpression href = attributePattern("href");
    static const QRegularExpression alt = attributePattern("alt");
    struct OpenLink
    {
        QString href;
        qsizetype textStart;
    };
    QList<OpenLink> links;
    QString out;
    out.reserve(html.size());
    for (qsizetype i = 0; i < html.size(); ++i) {
        const QChar c = html[i];
        if (c == u'&') {
            if (const qsizetype taken = decodeEntity(html, i, out)) {
                i += taken - 1;
                continue;
            }
            out += c;
            continue;
        }
        if (c.isSpace()) {
            // Markup's white space is one space, however long or broken over lines.
            if (!out.isEmpty() && !out.endsWith(u' ') && !out.endsWith(u'\n'))
                out += u' ';
            continue;
        }
        const qsizetype end = c == u'<' ? tagEnd(html, i) : -1;
        const QChar next = i + 1 < html.size() ? html[i + 1] : QChar();
        if (end < 0 || !(next.isLetter() || next == u'/' || next == u'!')) {
            out += c;
            continue;
        }
        const QString tag = html.mid(i + 1, end - i - 1);
        i = end;
        const bool closing = tag.startsWith(u'/');
        qsizetype nameEnd = closing ? 1 : 0;
        while (nameEnd < tag.size() && tag[nameEnd].isLetterOrNumber())
            ++nameEnd;
        const QString name = tag.mid(closing ? 1 : 0, nameEnd - (closing ? 1 : 0)).toLower();
        if (name == QLatin1String("br")) {
            out += u'\n';
        } else if (isBlock(name)) {
            breakLine(out);
        } else if (name == QLatin1String("img")) {
            out += attribute(tag, alt);
        } else if (name == QLatin1String("a") && !closing) {
            links.append({attribute(tag, href), out.size()});
        } else if (name == QLatin1String("a") && !links.isEmpty()) {
            const OpenLink link = links.takeLast();
            const QString linkText = out.mid(link.textStart).trimmed();
            if (linkText.isEmpty())
                out += link.href;
            else if (!link.href.isEmpty() && linkText != link.href)
                out += QStringLiteral(" <%1>").arg(link.href);
        } else if (!closing && (name == QLatin1String("style") || name == QLatin1String("script") ||
                                name == QLatin1String("head") || name == QLatin1String("title"))) {
            // Their content is no text to read.
            const qsizetype close = html.indexOf(QStringLiteral("</") + name, i, Qt::CaseInsensitive);
            const qsizetype closeEnd = close < 0 ? -1 : tagEnd(html, close);
            i = closeEnd < 0 ? html.size() : closeEnd;
        }
    }
    return tidy(out);
}

} // namespace

QString UserText::toPlainText() const
{
    return m_kind == Kind::Rich ? richToPlain(m_text) : m_text;
}

QString UserText::toHtml() const
{
    if (m_kind == Kind::Rich)
        return m_text;
    // Element content, never an attribute value: "&", "<" and ">" are all that markup
    // reads there, and quotes stay as the translator wrote them.
    QString html;
    html.reserve(m_text.size());
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        const QChar c = m_text[i];
        if (c == u'&')
            html += QLatin1String("&amp;");
        else if (c == u'<')
            html += QLatin1String("&lt;");
        else if (c == u'>')
            html += QLatin1String("&gt;");
        else if (c == u'\n')
            html += QLatin1String("<br/>");
        else if (c != u'\r' || i + 1 >= m_text.size() || m_text[i + 1] != u'\n')
            html += c;
    }
    return html;
}

UserText UserText::operator+(const UserText& other) const
{
    if (m_kind == Kind::Plain && other.m_kind == Kind::Plain)
        return plain(m_text + other.m_text);
    return rich(toHtml() + other.toHtml());
}
