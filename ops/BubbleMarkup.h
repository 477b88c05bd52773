#pragma once

#include "app/Utf8Out.h"
#include "ops/BubbleText.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <functional>
#include <vector>

struct _ViberMsg;
struct _ViberAtta;

// The HTML of chat bubbles, shared by the bubble view and the HTML export so that both
// draw a message the same way. Texts go through BubbleText's escaping and every
// attribute value is escaped, quotes included: paths, URLs and names all come from
// databases and may hold anything. The markup is built as UTF-8, as the export writes
// it; the view turns a whole page into text once.
class BubbleMarkup
{
public:
    // Where one attachment's links point: the view links the files where they lie, the
    // export links the copies it makes.
    struct MediaLinks
    {
        QString file;    // the attachment itself
        QString preview; // the picture shown for it
    };
    using MediaLinker = std::function<MediaLinks(const _ViberAtta&)>;

    struct Options
    {
        MediaLinker media;
        QString voiceIcon;           // the picture before a voice message's link
        int pictureSize = 128;       // largest side of a picture message's thumbnail
        bool newWindowLinks = false; // picture links ask for a new window
        QString lineEnd;             // after blocks, so that a saved file reads line by line
        // The emoticon pictures, listed once for a run of many pages; without a list
        // each code is looked up on the disk.
        const BubbleText::EmoticonPictures* emoticonPictures = nullptr;
    };

    explicit BubbleMarkup(Options options);

    static QString escapeAttribute(const QString& value);
    // The nine background cells that draw a bubble's frame.
    static const QString& frameCells();

    // What one message adds to a page: a centred "dd MMM yyyy" line first when its day
    // is not lastDay (which it then becomes), then a centred line for notices and calls,
    // a bubble for the message kinds, nothing for the rest.
    void appendMessageOfDay(Utf8Out& out, const _ViberMsg& msg, QDate& lastDay) const;

    // The same as text, for one message alone.
    QString message(const _ViberMsg& msg) const;
    QString bubble(const _ViberMsg& msg) const;

    // "%1' %2''": whole minutes, then the remaining whole seconds.
    static QString durationText(double seconds);
    // A time of day in the system's short time format, as the message list shows times.
    QString clockText(const QTime& time) const;

private:
    void appendDaySeparator(Utf8Out& out, const QDate& day) const;
    // clock: the message's local time of day
    void appendMessage(Utf8Out& out, const _ViberMsg& msg, const QTime& clock) const;
    void appendBubble(Utf8Out& out, const _ViberMsg& msg, const QTime& clock) const;
    void appendCentred(Utf8Out& out, QStringView text) const;
    // A picture that links somewhere; both URLs are escaped here.
    void appendThumb(Utf8Out& out, QStringView link, QStringView picture, int size) const;
    void appendThumbBlock(Utf8Out& out, QStringView link, QStringView picture, int size) const;
    void appendTextBlock(Utf8Out& out, QStringView text) const;
    // A location: the preview of its place when there is one, else the configured map
    // service's picture, else a card with the coordinates and a link to the place's
    // page; the address below or in the card.
    void appendLocation(Utf8Out& out, const _ViberMsg& msg, const MediaLinks& links) const;
    void appendEscaped(Utf8Out& out, QStringView text) const;
    void appendLineEnd(Utf8Out& out) const { out += QLatin1StringView(m_lineEnd); }

    Options m_options;
    QByteArray m_lineEnd; // the options' line end, encoded once
    QString m_clockFormat;
    // The clock texts by minute of the day, made once each: the format parser cost more
    // than the rest of a bubble. Unused when the format shows seconds.
    mutable std::vector<QString> m_clockByMinute;
};
