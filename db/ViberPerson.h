#pragma once

#include "db/ViberEntity.h"

#include <QString>

struct _ViberPerson : _ViberEntity
{
    qint64 id = 0;
    QString number;
    QString name;
    QString avatarRef;   // the source's reference to the Viber profile picture
    QString photoPath;   // local copy of the contact's photo
    QString abPhotoPath; // address-book photo of a local database
};
