#pragma once

#include "ops/ArchiveWordIndex.h"
#include "ops/LocalMinutes.h"

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class FileBatch;
struct _ViberChat;
struct _ViberMsg;

// What turns an HTML export into one archive a browser opens from the disk: index.html,
// which lists every chat (plain HTML, readable without JavaScript) and searches all
// messages, and beside it the search files, of which a search loads only what it needs:
// search/words-N.js, the buckets of the word index (ArchiveWordIndex), and
// search/rows-N.js, the messages to show, newest first, RowsPerFile a file.
// "index.html?q=WORDS" opens with the newest messages that hold every word, or a word
// starting with it; each result links to its message's anchor in the page of the chat
// that holds it ("NAME-2.html#msg-ID"). Everything is written through the export's batch,
// so it lands with the pages or not at all.
class HtmlArchiveIndex
{
public:
    // The messages a file of rows holds: the hundred a search shows come from one such file
    // when they are of the same months, from a hundred at most.
    static constexpr qsizetype RowsPerFile = 500;
    // A result shows this much of its text at most (the whole is on the chat's page), which
    // keeps a file of rows near a megabyte even of the longest messages.
    static constexpr qsizetype ResultTextUnits = 2000;

    HtmlArchiveIndex(const QString& folder, FileBatch& batch);
    ~HtmlArchiveIndex(); // waits for the rows and words being made
    HtmlArchiveIndex(const HtmlArchiveIndex&) = delete;
    HtmlArchiveIndex& operator=(const HtmlArchiveIndex&) = delete;

    // The chat whose messages come next.
    void beginChat(const _ViberChat& chat);
    // A message of the chat, shown on its page number page (from 0); it is read until
    // finish() returns or the index goes.
    void add(const _ViberMsg& msg, int page);
    // Ends the chat; pages are the chat's pages in order, mediaPage its page of media
    // (empty when it has none).
    void endChat(const QStringList& pages, const QString& mediaPage);
    // Writes the search files, index.html and the search code.
    void finish();

private:
    struct Pending
    {
        const _ViberMsg* msg;
        int page;
    };
    struct Chat
    {
        QStringList pages;
        QString mediaPage;
        QString title;
        QString participants;
        qint64 messages = 0;
        double first = 0;
        double last = 0;
    };

    void addRows(const QList<Pending>& pending, qsizetype chat, const QString& chatTitle);
    void writeFile(const QString& name, QByteArray bytes);
    void writeRows(const std::vector<qint32>& byRank);
    void writeIndexPage(int buckets);

    QString m_folder;
    FileBatch& m_batch;
    QList<Chat> m_chats;
    // The messages with a text of the chat going on, with their pages. Their rows and
    // words are made a chat at a time on a thread of the pool, beside the pages being
    // written, into the members after m_pending, which only that chain of work touches
    // until finish() has waited for it.
    QList<Pending> m_pending;
    QFuture<void> m_indexing;
    // Each message's row as a JSON array, [chat, id, minute, sender, text] and its page
    // when not the chat's first, one after the other; where each ends, and its date.
    QByteArray m_rows;
    std::vector<qsizetype> m_rowEnds;
    std::vector<double> m_dates;
    ArchiveWordIndex m_words;
    LocalMinutes m_minutes;
    bool m_open = false; // a chat was begun and not ended
};
