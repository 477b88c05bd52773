#pragma once

#include <QString>

struct _ViberMsg;

// Where the media of a message written into a phone lives there, relative to the
// phone's external storage. Everything here comes from data (another phone's rows, a
// local database), so a path is only taken when it stays below "viber/media/".
namespace PhoneMediaPaths {

inline constexpr auto MediaPrefix = "viber/media/";

// The media-relative part ("viber/media/...") of a "file:" URI (decoded) or a plain
// absolute path, cleaned; empty for other schemes, relative names, ".." segments,
// control characters and paths without a "viber/media/" folder below the root.
QString mediaRelativePath(const QString& uriText);

// A file name from data made safe as the last part of a phone path; fallback when
// nothing usable is left.
QString phoneFileName(const QString& name, const QString& fallback);

struct Media
{
    QString mediaRelative;   // empty: the message has no media file to place
    QString previewRelative; // empty: no preview
    QString mediaLocal;      // the files on this computer that belong there
    QString previewLocal;
    // Voice messages: the row names the file by its bare name (the last part of
    // mediaRelative), which is where the app and the loader look for it.
    bool bareName = false;
};

// The phone-side files of an image, video or voice message with an attachment; an empty
// record for every other message.
Media forMessage(const _ViberMsg& message);

} // namespace PhoneMediaPaths
