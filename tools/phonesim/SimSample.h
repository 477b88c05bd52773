#pragma once

#include "tools/phonesim/SimDevice.h"

#include <QString>

// The sample phone: Viber installed with a small message history in the shape of the
// app's database version 53 (two chats; texts, a picture whose thumbnail is gone, a
// call with its call-log row, a voice message, a video with its thumbnail, a location
// with its map thumbnail, a sticker, a contact's avatar) and the media files on the SD
// card. Viber runs on it.
namespace SimSample {

inline constexpr auto PicturePath = "/storage/emulated/0/viber/media/Viber Images/IMG-20231114-WA0001.jpg";
inline constexpr auto VideoPath = "/storage/emulated/0/viber/media/Viber Videos/VID-20231115-WA0002.mp4";
inline constexpr auto VideoThumbnailPath =
    "/storage/emulated/0/viber/media/.thumbnails/VID-20231115-WA0002.jpg";
inline constexpr auto VoicePath = "/storage/emulated/0/viber/media/.ptt/6d1f0c2a9b3e4f57";
inline constexpr auto AvatarPath = "/storage/emulated/0/viber/media/User photos/4915110000002.jpg";
inline constexpr auto StickerPath = "/storage/emulated/0/viber/.stickers/40133.png";
inline constexpr auto LocationMapUrl =
    "https://maps.googleapis.com/maps/api/staticmap?zoom=16&size=600x389&center=52.520008,13.404954";
// Messages rows; in WAL mode the newest two (_id 9 and 10) are only in the -wal.
inline constexpr int MessageCount = 10;

// The modern sample phone: today's app (messages keyed by msg_date, send_type, order_key
// and msg_info) on Android 13, from sample/modern_*.sql. The owner (+4917612345670), Jonas
// and Mia; a one-to-one chat with Jonas (texts, a picture, a voice message, an outgoing
// call with its messages_calls and calls rows, a text deleted on the phone, the helper row
// of Jonas's reaction) and the group "Harz hike" (texts; the newest one unread). order_key
// is a per-chat count, never the date. Both files are in WAL mode.
namespace Modern {
inline constexpr int SdkLevel = 33;
inline constexpr auto OwnerNumber = "+4917612345670";
inline constexpr auto PictureDownloadId =
    "0-02-05-a835bffd420eb6a1346cf5e2ee8984aa072301f057dc96bbedbdda336ff07bfb";
// The app names the file after the MD5 of the picture's download id.
inline constexpr auto PicturePath = "/storage/emulated/0/Android/data/com.viber.voip/files/.image/"
                                    "IMG-8e18664029d8fc9d55d86e956fc366a4-V.jpg";
inline constexpr auto VoicePath = "/storage/emulated/0/Android/data/com.viber.voip/files/.ptt/"
                                  "b8025a1d89f7ea0db97da306d1459da1.ptt";
inline constexpr qint64 PictureMessageId = 3;
// messages rows, of which the deleted text and the reaction helper are no messages to
// show; with walPending the newest two (_id 10 and 11) are only in the -wal.
inline constexpr int MessageRows = 11;
inline constexpr int ShownMessages = 9;
inline constexpr int LateRows = 2;
inline constexpr int ChatCount = 2;
} // namespace Modern

struct Options
{
    int sdkLevel = 28;
    bool rooted = true;
    bool agentInstalled = false;
    // Both databases in WAL mode with their newest rows only in the uncheckpointed
    // "-wal" beside them, as on a phone whose Viber has not checkpointed yet.
    bool walPending = false;
    // Today's app (SimSample::Modern) instead of database version 53; usually with
    // sdkLevel = Modern::SdkLevel.
    bool modern = false;
};

QString description(const QString& serial, int sdkLevel, bool rooted);
// The phone path of the location message's map thumbnail (named after the map URL).
QString locationThumbnailPath();

// Makes the device a sample phone; throws std::runtime_error when a file cannot be written.
void populate(SimDevice& device, const Options& options);

} // namespace SimSample
