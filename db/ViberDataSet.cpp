#include "db/ViberDataSet.h"

void ViberDataSet::addToChat(_ViberChat* chat, _ViberMsg* msg)
{
    msg->chat = chat;
    chat->messages.append(msg);
}

void ViberDataSet::attach(_ViberMsg* msg, _ViberAtta* atta)
{
    msg->attachment = atta;
    atta->message = msg;
}
