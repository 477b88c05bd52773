#pragma once

#include "ops/BubbleText.h"

#include <QDate>
#include <QString>

#include <functional>

struct _ViberMsg;
struct _ViberAtta;

// The HTML of chat bubbles, shared by the bubble view and the HTML export so that both
// draw a message the same way. Texts go through BubbleText::escapeForBubble and every
// attribute value is escaped, quotes included: paths, URLs and names all come from
// databases and may hold anything.
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

    QString centred(const QString& text) const;
    // A centred "dd MMM yyyy" line.
    QString daySeparator(const QDate& day) const;
    // A picture that links somewhere; both URLs are escaped here.
    QString thumb(const QString& link, const QString& picture, int size) const;
    // What one message adds to a page after its day separator: a centred line for
    // notices and calls, a bubble for the message kinds, nothing for the rest.
    QString message(const _ViberMsg& msg) const;
    QString bubble(const _ViberMsg& msg) const;

    // "%1' %2''": whole minutes, then the remaining whole seconds.
    static QString durationText(double seconds);

private:
    QString block(const QString& content) const;
    QString escaped(const QString& text) const;

    Options m_options;
};
