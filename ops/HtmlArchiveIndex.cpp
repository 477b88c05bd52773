#include "ops/HtmlArchiveIndex.h"

#include "db/ViberChat.h"
#include "db/ViberMsg.h"
#include "db/ViberPerson.h"
#include "db/ViberText.h"
#include "ops/ExportMessagesJson.h"
#include "ops/FileBatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <utility>

namespace {

// The search: the search files are loaded once, on the first search; words match in any
// order, whatever their case and accents. Results are built as text nodes, so nothing in
// a message can become markup. A chat's rows come as one JSON text, which JSON.parse
// reads many times faster than a script's parser reads the same array written out; and a
// chat's texts are folded in one call on all of them joined, as a call for each text made
// a search of 200,000 messages take a second.
constexpr auto SearchScript = R"JS((function () {
  "use strict";
  var chats = window.VP_CHATS || [], rows = {}, folded = {};
  window.VP = { chat: function (n, list) { rows[n] = JSON.parse(list); } };
  function fold(s) { return s.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase(); }
  function foldAll(list) {
    var joined = list.map(function (r) { return r[3]; }).join("\u0001"), texts = fold(joined).split("\u0001");
    // A text that holds the separator itself is folded alone.
    return texts.length === list.length ? texts : list.map(function (r) { return fold(r[3]); });
  }
  function load(done) {
    var parts = [];
    chats.forEach(function (c) { if (parts.indexOf(c.s) < 0) parts.push(c.s); });
    var left = parts.length;
    if (!left) { done(); return; }
    parts.forEach(function (p) {
      var s = document.createElement("script");
      s.src = "search/part-" + p + ".js";
      s.onload = s.onerror = function () { if (--left === 0) done(); };
      document.head.appendChild(s);
    });
  }
  function show(q) {
    var words = fold(q).split(/\s+/).filter(Boolean), found = [];
    chats.forEach(function (c) {
      var list = rows[c.n] || [], texts = folded[c.n] || (folded[c.n] = foldAll(list));
      for (var i = 0; i < list.length; ++i) {
        var text = texts[i];
        if (words.length && words.every(function (w) { return text.indexOf(w) >= 0; }))
          found.push({ chat: c, row: list[i] });
      }
    });
    found.sort(function (a, b) { return a.row[1] < b.row[1] ? 1 : a.row[1] > b.row[1] ? -1 : 0; });
    var box = document.getElementById("results"), list = document.createElement("ol");
    box.textContent = found.length + " messages found" + (found.length > 500 ? ", the newest 500 shown" : "");
    found.slice(0, 500).forEach(function (f) {
      var li = document.createElement("li"), a = document.createElement("a");
      a.href = (f.row[4] ? f.chat.pages[f.row[4]] : f.chat.page) + "#msg-" + f.row[0];
      a.className = "hit";
      a.textContent = f.chat.title;
      li.appendChild(a);
      li.appendChild(document.createTextNode(" " + f.row[1] + " " + f.row[2] + ": " + f.row[3]));
      list.appendChild(li);
    });
    box.appendChild(list);
  }
  var q = new URLSearchParams(location.search).get("q");
  if (q) {
    document.getElementById("q").value = q;
    document.getElementById("results").textContent = "Searching…";
    load(function () { show(q); });
  }
})();
)JS";

// A search file holds the rows of whole chats up to about this size: a file per chat made
// a search of 500 chats wait for 500 loads.
constexpr qsizetype PartBytes = 2 * 1024 * 1024;

// A JSON string appended as UTF-8 in a script: quotes, backslashes and controls escaped,
// "<" too so that no text can end the script element, U+2028 and U+2029 as older script
// parsers took them for line ends, and half a surrogate pair as U+FFFD. Built by hand:
// a QJsonArray per message took more time than the page it searches.
void appendJsonString(QByteArray& out, QStringView value)
{
    qsizetype used = out.size();
    out.resize(used + 2 + 6 * value.size());
    char* const start = out.data();
    char* p = start + used;
    const auto escaped = [&p](char16_t c) {
        static const char Hex[] = "0123456789abcdef";
        *p++ = '\\';
        *p++ = 'u';
        *p++ = Hex[(c >> 12) & 0xf];
        *p++ = Hex[(c >> 8) & 0xf];
        *p++ = Hex[(c >> 4) & 0xf];
        *p++ = Hex[c & 0xf];
    };
    *p++ = '"';
    const char16_t* in = value.utf16();
    const char16_t* const end = in + value.size();
    while (in != end) {
        const char16_t c = *in++;
        if (c < 0x80) {
            if (c == u'"' || c == u'\\') {
                *p++ = '\\';
                *p++ = char(c);
            } else if (c < 0x20 || c == u'<') {
                escaped(c);
            } else {
                *p++ = char(c);
            }
        } else if (c < 0x800) {
            *p++ = char(0xc0 | (c >> 6));
            *p++ = char(0x80 | (c & 0x3f));
        } else if (c == 0x2028 || c == 0x2029) {
            escaped(c);
        } else if (!QChar::isSurrogate(c)) {
            *p++ = char(0xe0 | (c >> 12));
            *p++ = char(0x80 | ((c >> 6) & 0x3f));
            *p++ = char(0x80 | (c & 0x3f));
        } else if (QChar::isHighSurrogate(c) && in != end && QChar::isLowSurrogate(*in)) {
            const char32_t code = QChar::surrogateToUcs4(c, *in++);
            *p++ = char(0xf0 | (code >> 18));
            *p++ = char(0x80 | ((code >> 12) & 0x3f));
            *p++ = char(0x80 | ((code >> 6) & 0x3f));
            *p++ = char(0x80 | (code & 0x3f));
        } else {
            *p++ = char(0xef);
            *p++ = char(0xbf);
            *p++ = char(0xbd);
        }
    }
    *p++ = '"';
    out.truncate(p - start);
}

// JSON inside a script element: "</" would end the element.
QByteArray scriptJson(const QJsonArray& value)
{
    return QJsonDocument(value).toJson(QJsonDocument::Compact).replace("</", "<\\/");
}

QString pageLink(const QString& file)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(file));
}

} // namespace

HtmlArchiveIndex::HtmlArchiveIndex(const QString& folder, FileBatch& batch) : m_folder(folder), m_batch(batch)
{
    QDir(folder).mkpath(QStringLiteral("search"));
}

void HtmlArchiveIndex::beginChat(const _ViberChat& chat)
{
    m_rows.clear();
    m_chats.append({{}, {}, ViberText::chatTitle(chat), ViberText::chatMembersText(chat)});
    m_open = true;
}

void HtmlArchiveIndex::add(const _ViberMsg& msg, int page)
{
    Chat& chat = m_chats.last();
    if (chat.messages++ == 0)
        chat.first = msg.date;
    chat.last = msg.date;
    if (msg.text.isEmpty())
        return;
    const QString sender = ViberText::isOutgoing(msg) ? QStringLiteral("Me")
                           : msg.sender               ? ViberText::personLabel(*msg.sender)
                                                      : chat.title;
    char time[ExportMessagesJson::IsoTimeSize];
    const qsizetype timeSize = ExportMessagesJson::formatIsoTime(time, msg.date);
    if (!m_rows.isEmpty())
        m_rows += ',';
    m_rows += '[';
    m_rows += QByteArray::number(msg.id);
    m_rows += ',';
    appendJsonString(m_rows, timeSize > 0 ? QString::fromLatin1(time, timeSize)
                                          : ExportMessagesJson::isoTime(msg.date));
    m_rows += ',';
    appendJsonString(m_rows, sender);
    m_rows += ',';
    appendJsonString(m_rows, msg.text);
    if (page > 0) {
        m_rows += ',';
        m_rows += QByteArray::number(page);
    }
    m_rows += ']';
}

void HtmlArchiveIndex::writePart()
{
    if (m_part.isEmpty())
        return;
    const QString file = QDir(m_folder).filePath(QStringLiteral("search/part-%1.js").arg(m_parts++));
    QFile* out = m_batch.create(file);
    m_batch.write(out, std::exchange(m_part, QByteArray()));
    m_batch.finish(out);
}

void HtmlArchiveIndex::endChat(const QStringList& pages, const QString& mediaPage)
{
    if (!m_open)
        return;
    m_open = false;
    m_chats.last().pages = pages;
    m_chats.last().mediaPage = mediaPage;
    m_chats.last().part = m_parts;
    // The rows' JSON as a string in single quotes: only backslashes and those quotes need
    // a backslash more, as the JSON escapes every control and line end.
    m_part += "VP.chat(" + QByteArray::number(m_chats.size() - 1) + ",'[";
    m_part += m_rows.replace('\\', "\\\\").replace('\'', "\\'");
    m_part += "]');\n";
    m_rows.clear();
    if (m_part.size() >= PartBytes)
        writePart();
}

void HtmlArchiveIndex::finish()
{
    writePart();
    QFile* script = m_batch.create(QDir(m_folder).filePath(QStringLiteral("files/archive.js")));
    m_batch.write(script, SearchScript);
    m_batch.finish(script);

    QString html = QStringLiteral(
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>Velliport archive</title>\n"
        "<style>body{font-family:sans-serif;margin:1em 2em}table{border-collapse:collapse}"
        "td,th{padding:.2em .6em;text-align:left;border-bottom:1px solid #ddd}#results li{margin:.3em 0}"
        "</style></head><body>\n<h1>Velliport archive</h1>\n"
        "<form action=\"index.html\" method=\"get\"><input type=\"search\" name=\"q\" id=\"q\" "
        "placeholder=\"Search all messages\"> <button type=\"submit\">Search</button></form>\n"
        "<div id=\"results\"></div>\n<table id=\"chats\"><thead><tr><th>Chat</th><th>Participants</th>"
        "<th>Messages</th><th>First</th><th>Last</th><th>Pages</th><th>Media</th></tr></thead><tbody>\n");
    QJsonArray list;
    for (qsizetype i = 0; i < m_chats.size(); ++i) {
        const Chat& chat = m_chats.at(i);
        const QString media = chat.mediaPage.isEmpty()
                                  ? QString()
                                  : QStringLiteral("<a href=\"%1\">Media</a>").arg(pageLink(chat.mediaPage));
        // One arg() for all: a later one would take the "%2" of an earlier link's "%2B" for its own.
        html +=
            QStringLiteral("<tr><td><a href=\"%1\">%2</a></td><td>%3</td><td>%4</td><td>%5</td><td>%6</td>"
                           "<td>%7</td><td>%8</td></tr>\n")
                .arg(pageLink(chat.pages.value(0)), chat.title.toHtmlEscaped(),
                     chat.participants.toHtmlEscaped(), QString::number(chat.messages),
                     ExportMessagesJson::isoTime(chat.first).left(10),
                     ExportMessagesJson::isoTime(chat.last).left(10), QString::number(chat.pages.size()),
                     media);
        QJsonObject entry{{QStringLiteral("n"), i},
                          {QStringLiteral("page"), pageLink(chat.pages.value(0))},
                          {QStringLiteral("title"), chat.title},
                          {QStringLiteral("s"), chat.part}};
        // Only a chat of several pages lists them: its search rows name theirs by number.
        if (chat.pages.size() > 1) {
            QJsonArray pages;
            for (const QString& page : chat.pages)
                pages.append(pageLink(page));
            entry.insert(QStringLiteral("pages"), pages);
        }
        list.append(entry);
    }
    html += QStringLiteral("</tbody></table>\n");
    QByteArray bytes = html.toUtf8();
    bytes += "<script>var VP_CHATS = " + scriptJson(list) +
             ";</script>\n"
             "<script src=\"files/archive.js\"></script>\n</body></html>\n";
    QFile* index = m_batch.create(QDir(m_folder).filePath(QStringLiteral("index.html")));
    m_batch.write(index, bytes);
    m_batch.finish(index);
}
