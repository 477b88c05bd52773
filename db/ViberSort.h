#pragma once

#include <QList>

struct _ViberMsg;
struct _ViberChat;
struct _ViberCall;
struct _ViberPerson;

// Less-than predicates of the program's sort orders.
namespace ViberSort {

inline bool msgByDate(const _ViberMsg* a, const _ViberMsg* b);
inline bool msgByDateNewestFirst(const _ViberMsg* a, const _ViberMsg* b);
// Sorts each chat's messages together (chats by id), in time order within a chat, and
// messages of the same chat and time in the order they had. Messages without a chat come
// first. The keys are copied into one array first: comparing records and their chats in
// place made the sort a large share of exporting a big history chat by chat.
void sortByChatThenDate(QList<_ViberMsg*>& messages);
// Sorts by time, messages of the same time in the order they had, as std::stable_sort
// with msgByDate or msgByDateNewestFirst does, with the dates copied beside the records
// first: comparing records in place held the window for most of a second over two million
// messages.
void sortByDate(QList<_ViberMsg*>& messages, bool newestFirst);
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
