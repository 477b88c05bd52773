#pragma once

struct _ViberMsg;
struct _ViberChat;
struct _ViberCall;
struct _ViberPerson;

// Less-than predicates of the program's sort orders.
namespace ViberSort {

inline bool msgByDate(const _ViberMsg* a, const _ViberMsg* b);
inline bool msgByDateNewestFirst(const _ViberMsg* a, const _ViberMsg* b);
// Each chat's messages together (chats by id), in time order within a chat. Messages
// without a chat come first, which keeps the order strict.
inline bool msgByChatThenDate(const _ViberMsg* a, const _ViberMsg* b);
inline bool chatByDate(const _ViberChat* a, const _ViberChat* b); // newest first
inline bool callByDate(const _ViberCall* a, const _ViberCall* b);
inline bool callByDateNewestFirst(const _ViberCall* a, const _ViberCall* b);
inline bool personByNumber(const _ViberPerson* a, const _ViberPerson* b);

} // namespace ViberSort

#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberMsg.h"
#include "db/ViberPerson.h"

#include <limits>

namespace ViberSort {

inline bool msgByDate(const _ViberMsg* a, const _ViberMsg* b)
{
    return a->date < b->date;
}

inline bool msgByDateNewestFirst(const _ViberMsg* a, const _ViberMsg* b)
{
    return a->date > b->date;
}

inline bool msgByChatThenDate(const _ViberMsg* a, const _ViberMsg* b)
{
    const qint64 chatA = a->chat ? a->chat->id : std::numeric_limits<qint64>::min();
    const qint64 chatB = b->chat ? b->chat->id : std::numeric_limits<qint64>::min();
    if (chatA != chatB)
        return chatA < chatB;
    return a->date < b->date;
}

inline bool chatByDate(const _ViberChat* a, const _ViberChat* b)
{
    return a->date > b->date;
}

inline bool callByDate(const _ViberCall* a, const _ViberCall* b)
{
    return a->date < b->date;
}

inline bool callByDateNewestFirst(const _ViberCall* a, const _ViberCall* b)
{
    return a->date > b->date;
}

inline bool personByNumber(const _ViberPerson* a, const _ViberPerson* b)
{
    return a->number < b->number;
}

} // namespace ViberSort
