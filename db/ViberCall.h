#pragma once

#include "db/ViberEntity.h"

struct _ViberPerson;

struct _ViberCall : _ViberEntity
{
    qint64 id = 0;
    qint64 token = 0;
    int duration = 0; // whole seconds
    double date = 0;
    int kind = 1; // ViberCallKind
    _ViberPerson* person = nullptr;
};
