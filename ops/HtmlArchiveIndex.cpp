#include "ops/HtmlArchiveIndex.h"

#include "app/Prefetch.h"
#include "db/ViberChat.h"
#include "db/ViberMsg.h"
#include "db/ViberPerson.h"
#include "db/ViberText.h"
#include "ops/ExportMessagesJson.h"
#include "ops/FileBatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <future>
#include <utility>

namespace {

// The search. A query's words are folded and split as ArchiveWordIndex does; for each, the
// bucket of its first two characters is loaded (every bucket for a word of one letter),
// and the messages of every word in it that starts with the query's word are marked.
// Only the rows of the messages shown are loaded, a hundred at a time. Results are built
// as text nodes, so nothing in a message can become markup; the list enters the page
// whole, once its rows are there.
constexpr auto SearchScript = R"JS((function () {
  "use strict";
  var chats = window.VP_CHATS || [], info = window.VP_SEARCH || { rows: 0, per: 1, buckets: 1 };
  var buckets = {}, rowFiles = {}, requested = {}, Shown = 100;
  window.VP = {
    words: function (n, json) { buckets[n] = JSON.parse(json); },
    rows: function (n, json) { rowFiles[n] = JSON.parse(json); }
  };
  var Alone = /^[\u3040-\u30ff\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff\u{20000}-\u{2ffff}]$/u;
  var Word = /[\u3040-\u30ff\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff\u{20000}-\u{2ffff}]|(?:(?![\u3040-\u30ff\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff\u{20000}-\u{2ffff}])[\p{L}\p{M}\p{N}])+/gu;
  function words(text) {
    var folded = text.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase().replace(/\u03c2/g, "\u03c3");
    return (folded.match(Word) || []).map(function (w) { return w.slice(0, 32); });
  }
  function bucketsFor(w) {
    if (w.length < 2 && !Alone.test(w)) {
      var all = [];
      for (var b = 0; b < info.buckets; ++b) all.push(b);
      return all;
    }
    var h = 2166136261;
    for (var i = 0; i < 2 && i < w.length; ++i) h = Math.imul(h ^ w.charCodeAt(i), 16777619);
    return [(h >>> 0) % info.buckets];
  }
  function load(paths, done) {
    var left = 1;
    function one() { if (--left === 0) done(); }
    paths.forEach(function (p) {
      if (requested[p]) return;
      requested[p] = true;
      ++left;
      var s = document.createElement("script");
      s.src = p;
      s.onload = s.onerror = one;
      document.head.appendChild(s);
    });
    one();
  }
  function marked(w) {
    var hit = new Uint8Array(info.rows);
    bucketsFor(w).forEach(function (b) {
      var list = buckets[b] || {};
      for (var word in list) {
        if (word.lastIndexOf(w, 0) !== 0) continue;
        var ranks = list[word].split(","), r = 0;
        for (var i = 0; i < ranks.length; ++i) { r += parseInt(ranks[i], 36); hit[r] = 1; }
      }
    });
    return hit;
  }
  function show(found, from, box, list) {
    var slice = found.slice(from, from + Shown), paths = [];
    slice.forEach(function (r) {
      var p = "search/rows-" + Math.floor(r / info.per) + ".js";
      if (paths.indexOf(p) < 0) paths.push(p);
    });
    load(paths, function () {
      slice.forEach(function (r) {
        var file = rowFiles[Math.floor(r / info.per)], row = file && file[r % info.per], chat = row && chats[row[0]];
        if (!chat) return;
        var li = document.createElement("li"), a = document.createElement("a");
        a.href = (row[5] ? chat.pages[row[5]] : chat.page) + "#msg-" + row[1];
        a.className = "hit";
        a.textContent = chat.title;
        li.appendChild(a);
        li.appendChild(document.createTextNode(" " + row[2] + " " + row[3] + ": " + row[4]));
        list.appendChild(li);
      });
      if (!list.parentNode) {
        box.textContent = found.length + " messages found";
        box.appendChild(list);
      }
      var more = document.getElementById("more");
      if (more) more.remove();
      if (from + Shown >= found.length) return;
      more = document.createElement("button");
      more.id = "more";
      more.type = "button";
      more.textContent = "Show " + Math.min(Shown, found.length - from - Shown) + " more";
      more.onclick = function () { more.disabled = true; show(found, from + Shown, box, list); };
      box.appendChild(more);
    });
  }
  function search(q) {
    var ws = words(q), paths = [], box = document.getElementById("results");
    ws.forEach(function (w) {
      bucketsFor(w).forEach(function (b) {
        var p = "search/words-" + b + ".js";
        if (paths.indexOf(p) < 0) paths.push(p);
      });
    });
    load(paths, function () {
      var hit = ws.length ? marked(ws[0]) : new Uint8Array(0);
      for (var i = 1; i < ws.length; ++i) {
        var more = marked(ws[i]);
        for (var r = 0; r < hit.length; ++r) hit[r] &= more[r];
      }
      var found = [];
      for (var r = 0; r < hit.length; ++r) if (hit[r]) found.push(r);
      show(found, 0, box, document.createElement("ol"));
    });
  }
  var q = new URLSearchParams(location.search).get("q");
  if (q) {
    document.getElementById("q").value = q;
    document.getElementById("results").textContent = "Searching…";
    search(q);
  }
})();
)JS";

// A JSON string appended as UTF-8, itself inside a JavaScript string in single quotes (the
// search files hand JSON.parse their rows so): quotes, backslashes and controls escaped
// for JSON, "<" too so that no text can end a script element, U+2028 and U+2029 as older
// script parsers took them for line ends, and half a surrogate pair as U+FFFD; then each
// backslash doubled and each single quote escaped for the outer string. Built by hand: a
// QJsonArray per message took more time than the page it searches.
void appendQuotedJsonString(QByteArray& out, QStringView value)
{
    qsizetype used = out.size();
    out.resize(used + 2 + 7 * value.size());
    char* const start = out.data();
    char* p = start + used;
    const auto escaped = [&p](char16_t c) {
        static const char Hex[] = "0123456789abcdef";
        *p++ = '\\';
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
            if (c == u'"') {
                *p++ = '\\';
                *p++ = '\\';
                *p++ = '"';
            } else if (c == u'\\') {
                *p++ = '\\';
                *p++ = '\\';
                *p++ = '\\';
                *p++ = '\\';
            } else if (c == u'\'') {
                *p++ = '\\';
                *p++ = '\'';
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

// A text longer than a result shows, cut.
QString resultText(const QString& text)
{
    qsizetype size = HtmlArchiveIndex::ResultTextUnits;
    if (text.at(size - 1).isHighSurrogate())
        --size;
    return text.left(size) + QStringLiteral("…");
}

QString pageLink(const QString& file)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(file));
}

} // namespace

HtmlArchiveIndex::HtmlArchiveIndex(const QString& folder, FileBatch& batch)
    : m_folder(folder), m_batch(batch), m_indexing(QtFuture::makeReadyFuture())
{
    QDir(folder).mkpath(QStringLiteral("search"));
}

HtmlArchiveIndex::~HtmlArchiveIndex()
{
    try {
        m_indexing.waitForFinished();
    } catch (const std::exception&) {
        // Reached without finish() only when the export failed already: that failure is
        // the one reported.
    }
}

void HtmlArchiveIndex::beginChat(const _ViberChat& chat)
{
    m_chats.append({{}, {}, ViberText::chatTitle(chat), ViberText::chatMembersText(chat)});
    m_open = true;
}

void HtmlArchiveIndex::add(const _ViberMsg& msg, int page)
{
    Chat& chat = m_chats.last();
    if (chat.messages++ == 0)
        chat.first = msg.date;
    chat.last = msg.date;
    if (!msg.text.isEmpty())
        m_pending.append({&msg, page});
}

// The rows of a chat's messages. A chat has few senders, so each label is quoted once; a
// row reads the text through a view, as a copy would write to its shared header and each
// of those was a miss of the cache. The time is the minute in local time, as a person
// reads it in a result.
void HtmlArchiveIndex::addRows(const QList<Pending>& pending, qsizetype chat, const QString& chatTitle)
{
    const QByteArray chatNumber = QByteArray::number(chat);
    QHash<const _ViberPerson*, QByteArray> senders; // a message without one: the chat's title
    const auto quoted = [](const QString& text) {
        QByteArray out;
        appendQuotedJsonString(out, text);
        return out;
    };
    const QByteArray me = quoted(QStringLiteral("Me"));
    for (qsizetype i = 0; i < pending.size(); ++i) {
        // The messages of a chat lie scattered: each one's record and text is asked for
        // ahead, as waiting for them took half of the indexing.
        if (i + 8 < pending.size())
            prefetchRecord(pending.at(i + 8).msg);
        if (i + 4 < pending.size())
            prefetchAt(pending.at(i + 4).msg->text.constData());
        const Pending& p = pending.at(i);
        const _ViberMsg& msg = *p.msg;
        m_rows += '[';
        m_rows += chatNumber;
        m_rows += ',';
        m_rows += QByteArray::number(msg.id);
        m_rows += ",\"";
        m_minutes.append(m_rows, msg.date);
        m_rows += "\",";
        if (ViberText::isOutgoing(msg)) {
            m_rows += me;
        } else {
            auto sender = senders.constFind(msg.sender);
            if (sender == senders.constEnd())
                sender = senders.insert(msg.sender,
                                        quoted(msg.sender ? ViberText::personLabel(*msg.sender) : chatTitle));
            m_rows += *sender;
        }
        m_rows += ',';
        if (msg.text.size() <= ResultTextUnits)
            appendQuotedJsonString(m_rows, msg.text);
        else
            appendQuotedJsonString(m_rows, resultText(msg.text));
        if (p.page > 0) {
            m_rows += ',';
            m_rows += QByteArray::number(p.page);
        }
        m_rows += ']';
        m_words.add(msg.text);
        m_rowEnds.push_back(m_rows.size());
        m_dates.push_back(msg.date);
    }
}

void HtmlArchiveIndex::endChat(const QStringList& pages, const QString& mediaPage)
{
    if (!m_open)
        return;
    m_open = false;
    m_chats.last().pages = pages;
    m_chats.last().mediaPage = mediaPage;
    m_indexing = m_indexing.then(QtFuture::Launch::Async,
                                 [this, pending = std::exchange(m_pending, {}), chat = m_chats.size() - 1,
                                  title = m_chats.last().title] { addRows(pending, chat, title); });
}

void HtmlArchiveIndex::writeFile(const QString& name, QByteArray bytes)
{
    QFile* out = m_batch.create(QDir(m_folder).filePath(name));
    m_batch.write(out, std::move(bytes));
    m_batch.finish(out);
}

// Each file's rows as JSON in a string in single quotes, which JSON.parse reads many times
// faster than a script's parser reads the same array written out.
void HtmlArchiveIndex::writeRows(const std::vector<qint32>& byRank)
{
    const qsizetype count = qsizetype(byRank.size());
    for (qsizetype first = 0; first < count; first += RowsPerFile) {
        const QByteArray number = QByteArray::number(first / RowsPerFile);
        const qsizetype last = std::min(count, first + RowsPerFile);
        const auto rowStart = [this](qint32 message) { return message ? m_rowEnds[message - 1] : 0; };
        qsizetype size = 0;
        for (qsizetype rank = first; rank < last; ++rank)
            size += m_rowEnds[byRank[rank]] - rowStart(byRank[rank]) + 1;
        QByteArray file;
        file.reserve(size + number.size() + 16);
        file += "VP.rows(" + number + ",'[";
        for (qsizetype rank = first; rank < last; ++rank) {
            const qint32 message = byRank[rank];
            if (rank > first)
                file += ',';
            file += QByteArrayView(m_rows).sliced(rowStart(message), m_rowEnds[message] - rowStart(message));
        }
        file += "]');\n";
        writeFile(QStringLiteral("search/rows-%1.js").arg(QLatin1StringView(number)), std::move(file));
    }
}

void HtmlArchiveIndex::finish()
{
    m_indexing.waitForFinished();
    if (!m_pending.isEmpty()) // a chat that was not ended
        addRows(std::exchange(m_pending, {}), m_chats.size() - 1, m_chats.last().title);
    // Ranks from the newest message on, so that a search meets the newest results first
    // and those of one time share a file of rows; messages of the same time keep their
    // order. Sorting the dates with the numbers beside them keeps the sort in the cache.
    std::vector<std::pair<double, qint32>> newestFirst(m_dates.size());
    for (qsizetype i = 0; i < qsizetype(m_dates.size()); ++i)
        newestFirst[i] = {-m_dates[i], qint32(i)};
    std::sort(newestFirst.begin(), newestFirst.end());
    std::vector<qint32> byRank(newestFirst.size());
    for (qsizetype rank = 0; rank < qsizetype(byRank.size()); ++rank)
        byRank[rank] = newestFirst[rank].second;
    // The word buckets are made while the rows are handed to the batch (or after, when no
    // thread is to be had).
    const int buckets = m_words.suitableBuckets();
    auto words = std::async(std::launch::async | std::launch::deferred,
                            [&] { return m_words.bucketsJson(byRank, buckets); });
    writeRows(byRank);
    const QList<QByteArray> wordFiles = words.get();
    for (int b = 0; b < buckets; ++b) {
        const QByteArray number = QByteArray::number(b);
        // Words hold letters, marks and digits only: no quote or backslash to escape.
        writeFile(QStringLiteral("search/words-%1.js").arg(QLatin1StringView(number)),
                  "VP.words(" + number + ",'" + wordFiles.at(b) + "');\n");
    }
    writeFile(QStringLiteral("files/archive.js"), SearchScript);
    writeIndexPage(buckets);
}

void HtmlArchiveIndex::writeIndexPage(int buckets)
{
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
                          {QStringLiteral("title"), chat.title}};
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
    const QJsonObject search{{QStringLiteral("rows"), qint64(m_dates.size())},
                             {QStringLiteral("per"), RowsPerFile},
                             {QStringLiteral("buckets"), buckets}};
    bytes += "<script>var VP_CHATS = " + scriptJson(list) +
             ";\nvar VP_SEARCH = " + QJsonDocument(search).toJson(QJsonDocument::Compact) +
             ";</script>\n"
             "<script src=\"files/archive.js\"></script>\n</body></html>\n";
    writeFile(QStringLiteral("index.html"), std::move(bytes));
}
