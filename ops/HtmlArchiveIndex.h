#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QList>
#include <QString>

class FileBatch;
struct _ViberChat;
struct _ViberMsg;

// What turns an HTML export into one archive a browser opens from the disk: index.html,
// which lists every chat (plain HTML, readable without JavaScript) and searches all
// messages, and beside it a compact search file per chat (search/chat-N.js), loaded only
// when a search is made. "index.html?q=WORDS" opens with that search's results; each
// result links to its message's anchor in the chat's page ("#msg-ID"). Everything is
// written through the export's batch, so it lands with the pages or not at all.
class HtmlArchiveIndex
{
public:
    HtmlArchiveIndex(const QString& folder, FileBatch& batch);

    // The chat whose messages come next, and the page that shows them.
    void beginChat(const _ViberChat& chat, const QString& pageFile);
    void add(const _ViberMsg& msg);
    // Writes the chat's search file.
    void endChat();
    // Writes index.html and the search code.
    void finish();

private:
    struct Chat
    {
        QString page;
        QString title;
        QString participants;
        qint64 messages = 0;
        double first = 0;
        double last = 0;
    };

    QString m_folder;
    FileBatch& m_batch;
    QList<Chat> m_chats;
    QJsonArray m_rows; // of the current chat: [id, time, sender, text]
    const _ViberChat* m_chat = nullptr;
};
