#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

class FileBatch;
struct _ViberChat;
struct _ViberMsg;

// What turns an HTML export into one archive a browser opens from the disk: index.html,
// which lists every chat (plain HTML, readable without JavaScript) and searches all
// messages, and beside it compact search files (search/part-N.js, each the rows of whole
// chats), loaded only when a search is made. "index.html?q=WORDS" opens with that search's
// results; each result links to its message's anchor in the page of the chat that holds
// it ("NAME-2.html#msg-ID"). Everything is written through the export's batch, so it
// lands with the pages or not at all.
class HtmlArchiveIndex
{
public:
    HtmlArchiveIndex(const QString& folder, FileBatch& batch);

    // The chat whose messages come next.
    void beginChat(const _ViberChat& chat);
    // A message of the chat, shown on its page number page (from 0).
    void add(const _ViberMsg& msg, int page);
    // Ends the chat's search rows; pages are the chat's pages in order, mediaPage its
    // page of media (empty when it has none).
    void endChat(const QStringList& pages, const QString& mediaPage);
    // Writes the last search file, index.html and the search code.
    void finish();

private:
    void writePart();

    struct Chat
    {
        QStringList pages;
        QString mediaPage;
        QString title;
        QString participants;
        qint64 messages = 0;
        double first = 0;
        double last = 0;
        int part = 0; // the search file of its rows
    };

    QString m_folder;
    FileBatch& m_batch;
    QList<Chat> m_chats;
    // The current chat's rows, [id, time, sender, text] and the page when not the first,
    // as JSON without the brackets; the search file being filled, and how many are written.
    QByteArray m_rows;
    QByteArray m_part;
    int m_parts = 0;
    bool m_open = false; // a chat was begun and not ended
};
