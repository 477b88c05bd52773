#pragma once

#include <QString>

struct _ViberMsg;

// The columns of a message row of today's Android Viber that depend on the message's
// kind: extra_mime and the texts, media and place the app reads for it. Built from a
// record of any source.
struct ModernMessageRow
{
    int kind = 0; // messages.extra_mime: a ModernAndroidViberDb::Kind
    QString body;
    QString msgInfo = QStringLiteral("{}"); // the app's own value for "no info"
    QString uri;                            // the media file on the phone, a file: URI
    QString downloadId;
    qint64 durationMs = 0;
    qint64 uploadId = 0; // a sticker's id
    bool hasLocation = false;
    qint64 latitude = 0; // millionths of a degree
    qint64 longitude = 0;

    // False for messages this generation cannot hold (system lines, calls without a
    // kind the call log takes).
    static bool isWritable(const _ViberMsg& message);
    // uriText: where the message's media file was placed on the phone, empty for none.
    static ModernMessageRow build(const _ViberMsg& message, const QString& uriText);

    // Whether a row of this kind names a media file in extra_uri.
    static bool hasMedia(int kind);

    // Where the app keeps a message's media file, relative to the phone's external
    // storage ("Android/data/com.viber.voip/files/.image/IMG-<hex>-V.jpg"); empty for a
    // message without a media file. kind: the row's, as build() gave it.
    static QString mediaRelativePath(const _ViberMsg& message, int kind);
};
