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

namespace {

// The search: every chat's file is loaded once, on the first search; words match in any
// order, whatever their case and accents. Results are built as text nodes, so nothing in
// a message can become markup.
constexpr auto SearchScript = R"JS((function () {
  "use strict";
  var chats = window.VP_CHATS || [], rows = {};
  window.VP = { chat: function (n, list) { rows[n] = list; } };
  function fold(s) { return s.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase(); }
  function load(done) {
    var left = chats.length;
    if (!left) { done(); return; }
    chats.forEach(function (c) {
      var s = document.createElement("script");
      s.src = "search/chat-" + c.n + ".js";
      s.onload = s.onerror = function () { if (--left === 0) done(); };
      document.head.appendChild(s);
    });
  }
  function show(q) {
    var words = fold(q).split(/\s+/).filter(Boolean), found = [];
    chats.forEach(function (c) {
      (rows[c.n] || []).forEach(function (r) {
        var text = fold(r[3]);
        if (words.length && words.every(function (w) { return text.indexOf(w) >= 0; }))
          found.push({ chat: c, row: r });
      });
    });
    found.sort(function (a, b) { return a.row[1] < b.row[1] ? 1 : a.row[1] > b.row[1] ? -1 : 0; });
    var box = document.getElementById("results"), list = document.createElement("ol");
    box.textContent = found.length + " messages found" + (found.length > 500 ? ", the newest 500 shown" : "");
    found.slice(0, 500).forEach(function (f) {
      var li = document.createElement("li"), a = document.createElement("a");
      a.href = f.chat.page + "#msg-" + f.row[0];
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

void HtmlArchiveIndex::beginChat(const _ViberChat& chat, const QString& pageFile)
{
    m_chat = &chat;
    m_rows = QJsonArray();
    m_chats.append({pageFile, ViberText::chatTitle(chat), ViberText::chatMembersText(chat)});
}

void HtmlArchiveIndex::add(const _ViberMsg& msg)
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
    m_rows.append(QJsonArray{msg.id, ExportMessagesJson::isoTime(msg.date), sender, msg.text});
}

void HtmlArchiveIndex::endChat()
{
    if (m_chats.isEmpty())
        return;
    const QString file = QDir(m_folder).filePath(QStringLiteral("search/chat-%1.js").arg(m_chats.size() - 1));
    QFile* out = m_batch.create(file);
    m_batch.write(out,
                  "VP.chat(" + QByteArray::number(m_chats.size() - 1) + ", " + scriptJson(m_rows) + ");\n");
    m_batch.finish(out);
    m_rows = QJsonArray();
}

void HtmlArchiveIndex::finish()
{
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
        "<th>Messages</th><th>First</th><th>Last</th></tr></thead><tbody>\n");
    QJsonArray list;
    for (qsizetype i = 0; i < m_chats.size(); ++i) {
        const Chat& chat = m_chats.at(i);
        html += QStringLiteral(
                    "<tr><td><a href=\"%1\">%2</a></td><td>%3</td><td>%4</td><td>%5</td><td>%6</td></tr>\n")
                    .arg(pageLink(chat.page), chat.title.toHtmlEscaped(), chat.participants.toHtmlEscaped())
                    .arg(chat.messages)
                    .arg(ExportMessagesJson::isoTime(chat.first).left(10),
                         ExportMessagesJson::isoTime(chat.last).left(10));
        list.append(QJsonObject{{QStringLiteral("n"), i},
                                {QStringLiteral("page"), pageLink(chat.page)},
                                {QStringLiteral("title"), chat.title}});
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
