#pragma once

#include "db/ViberMsg.h"
#include "ops/AbsFormatExport.h"
#include "ops/BubbleMarkup.h"

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QStringList>

#include <functional>
#include <vector>

class FileBatch;
class LocalFileIndex;

// One chat as XHTML pages of bubbles, with copies of its media in "files/" unless told
// to only link the names. A long chat is cut into pages of MessagesPerPage messages, or
// fewer where long texts would make a page larger than MaxPageBytes; every page links
// the one before and after it and the first message of every month of the chat, with
// plain links that need no script. A chat with pictures, videos or voice messages gets
// a page of them too. The first page has the name it is given; the others ask takeName
// for a free name from the first one's ("NAME-2", "NAME-media"). The pages are gathered
// in memory and written when the chat ends, once every month's page is known.
// sources answers whether a media file is there; it outlives the pages, as batch does,
// which puts the pages in place with the others of the export, and as the emoticon
// pictures listed for the export do.
class ExportMessagesHtml : public AbsFormatExport<_ViberMsg>
{
public:
    // A free file name for a page from the base name it would like (without ".html").
    using NameTaker = std::function<QString(const QString& base)>;

    static constexpr int MessagesPerPage = 1000;
    static constexpr qsizetype MaxPageBytes = 5'000'000;

    ExportMessagesHtml(const QString& folder, const QString& fileName, LocalFileIndex& sources,
                       FileBatch& batch, bool copyMediaFiles = true,
                       const BubbleText::EmoticonPictures* emoticonPictures = nullptr,
                       NameTaker takeName = {});
    // The archive's page of all chats, linked from every page; none without it.
    void setIndexPage(const QString& fileName) { m_indexPage = fileName; }
    void begin() override;
    void write(const _ViberMsg& msg) override;
    void end() override;

    // The page the last written message went to, counting from 0.
    int currentPage() const { return int(m_pages.size()) - 1; }
    // After end(): the chat's pages in order, and its media page (empty without media).
    const QStringList& pageNames() const { return m_pageNames; }
    const QString& mediaPageName() const { return m_mediaPageName; }

private:
    struct Page
    {
        QByteArray body;
        int messages = 0;
    };
    struct MonthMark
    {
        QDate month;
        int page;
        qint64 id;
    };
    struct Media
    {
        int type;
        QString file;
        QString picture; // the thumbnail shown, empty for voice messages
        double duration;
        int page;
        qint64 id;
        QDate day;
    };

    // Copies a media file into "files/" under a free name; returns the link to it.
    QString copyMedia(const QString& source, const QString& attachmentName = QString());
    void startPage();
    void render(QByteArray& body, const _ViberMsg& msg);
    QByteArray pageHead(const QString& title) const;
    // The links of page i to its neighbours, the media page and the index.
    QByteArray pageLinks(int i) const;
    // The months of the chat, by year only when a list of every month would not fit.
    QByteArray dateLinks() const;
    void writePage(const QString& fileName, const QByteArray& head, QByteArray body, const QByteArray& tail);
    void writeMediaPage();

    LocalFileIndex& m_sources;
    FileBatch& m_batch;
    QDir m_folder;
    QDir m_files;
    QString m_fileName;
    NameTaker m_takeName;
    QString m_indexPage;
    BubbleMarkup m_markup;
    QDate m_lastSeparator;
    bool m_copyMedia;
    QString m_title;
    std::vector<Page> m_pages;
    std::vector<MonthMark> m_months;
    std::vector<Media> m_media;
    // The attachment last linked and its links: a message moved to the next page is drawn
    // again, and its files must not be copied twice.
    const _ViberAtta* m_linkedAtta = nullptr;
    BubbleMarkup::MediaLinks m_links;
    QStringList m_pageNames;
    QString m_mediaPageName;
};
