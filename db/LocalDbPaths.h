#pragma once

#include <QString>

// Where the files of a local database live. Every name that comes from a database row
// (file names, sticker numbers, phone numbers) passes through here, so that no such
// value can make a path outside the folder it is meant for.
namespace LocalDbPaths {

inline constexpr auto AttachmentsFolder = "Documents/Attachments";
inline constexpr auto PreviewFolder = "Documents/AttachmentsPreview";
inline constexpr auto BigPreviewFolder = "Documents/BigAttachmentsPreview";
inline constexpr auto VoiceFolder = "Documents/VoiceMessages";
inline constexpr auto FileMessagesFolder = "Documents/FileMessages"; // the iPhone app's shared files
inline constexpr auto MapImageFolder = "Documents/CustomLocationImage";
inline constexpr auto ContactIconFolder = "Documents/ContactIcons";

// "%1_%2.jpg": the latitude with up to 8 significant digits padded with "0" to at least
// six decimals, and the longitude truncated toward zero. Writer and reader both name
// map images with it.
QString mapImageName(double latitude, double longitude);

// A name from data made safe for one folder: no separators, no "." or "..", bounded
// length; empty when nothing usable is left.
QString safeFileName(const QString& name);

// The name a copy of an attachment's file takes: the file's own name, or the
// attachment's when the file's has no suffix (an iPhone backup stores every file under
// its hash), made safe; empty when neither is usable.
QString mediaCopyName(const QString& localPath, const QString& attachmentName);

// The base name (up to the first ".") of a video file plus ".jpg", made safe.
QString videoPreviewName(const QString& fileName);

// "Documents/stickers/%1/100/%2.png" for a decimal sticker number; empty for any other id.
QString stickerRelativePath(const QString& fileId);

// The absolute path of name in subFolder of the database folder; empty when the name
// is not usable.
QString fileIn(const QString& folder, const char* subFolder, const QString& name);

QString attachmentPath(const QString& folder, const QString& fileName);
QString previewPath(const QString& folder, const QString& fileName);
QString bigPreviewPath(const QString& folder, const QString& fileName);
QString voicePath(const QString& folder, const QString& fileName);
QString mapImagePath(const QString& folder, double latitude, double longitude);
QString stickerPath(const QString& folder, const QString& fileId);
// Contact photos are named by the canonical form of the number.
QString contactIconPath(const QString& folder, const QString& number);

} // namespace LocalDbPaths
