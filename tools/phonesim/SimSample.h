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

struct Options
{
    int sdkLevel = 28;
    bool rooted = true;
    bool agentInstalled = false;
    // Both databases in WAL mode with their newest rows only in the uncheckpointed
    // "-wal" beside them, as on a phone whose Viber has not checkpointed yet.
    bool walPending = false;
};

QString description(const QString& serial, int sdkLevel, bool rooted);
// The phone path of the location message's map thumbnail (named after the map URL).
QString locationThumbnailPath();

// Makes the device a sample phone; throws std::runtime_error when a file cannot be written.
void populate(SimDevice& device, const Options& options);

} // namespace SimSample
