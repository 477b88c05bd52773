#pragma once

#include "db/ViberEntity.h"

#include <QString>

struct _ViberMsg;

struct _ViberAtta : _ViberEntity
{
    qint64 id = 0;
    qint64 fileSize = 0;
    qint64 seq = 0;
    double duration = 0; // seconds, for audio and video
    QString fileId;      // for a sticker, its number in decimal
    QString bucket;
    QString fileName;
    QString sourceUri;   // Android extra_uri
    QString localPath;   // the media file on this computer, when present
    QString sourcePath;  // the source's own path or body text
    QString previewPath; // thumbnail, sticker image or map image
    _ViberMsg* message = nullptr;
};
