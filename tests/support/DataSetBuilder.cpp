#include "tests/support/DataSetBuilder.h"

#include "db/ViberCodes.h"
#include "db/ViberDates.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

_ViberPerson* DataSetBuilder::person(qint64 id, const QString& number, const QString& name)
{
    _ViberPerson* p = m_set->persons.obtain(id);
    p->number = number;
    p->name = name;
    return p;
}

_ViberChat* DataSetBuilder::chat(qint64 id, const QList<_ViberPerson*>& participants, const QString& name,
                                 const QString& groupId)
{
    _ViberChat* c = m_set->chats.obtain(id);
    c->name = name;
    c->groupId = groupId;
    for (_ViberPerson* p : participants)
        c->participants.insert(p->id, p);
    return c;
}

double DataSetBuilder::ref(const QDateTime& when)
{
    return ViberDates::unixSecondsToRef(when.toSecsSinceEpoch());
}

_ViberMsg* DataSetBuilder::message(_ViberChat* chat, int type, const QDateTime& when, const QString& text,
                                   bool outgoing, _ViberPerson* sender)
{
    _ViberMsg* m = m_set->messages.obtain(m_nextMessage++);
    m->type = type;
    m->date = ref(when);
    m->stateDate = m->date;
    m->token = 1000000 + m->id;
    m->text = text;
    m->status = outgoing ? ViberStatus::Delivered : ViberStatus::Received;
    m->sender = sender;
    if (chat) {
        ViberDataSet::addToChat(chat, m);
        chat->date = qMax(chat->date, m->date);
    }
    return m;
}

_ViberAtta* DataSetBuilder::attach(_ViberMsg* msg, const QString& localPath, const QString& previewPath,
                                   const QString& fileName)
{
    _ViberAtta* a = m_set->attachments.obtain(m_nextAttachment++);
    a->localPath = localPath;
    a->previewPath = previewPath;
    a->fileName = fileName.isEmpty() ? QFileInfo(localPath).fileName() : fileName;
    ViberDataSet::attach(msg, a);
    return a;
}

_ViberMsg* DataSetBuilder::callMessage(_ViberChat* chat, _ViberPerson* person, int kind, int duration,
                                       const QDateTime& when)
{
    _ViberCall* call = m_set->calls.obtain(m_nextCall++);
    call->kind = kind;
    call->duration = duration;
    call->date = ref(when);
    call->person = person;
    _ViberMsg* m = m_set->messages.obtain(-call->id);
    m->type = ViberMsgType::Call;
    m->date = call->date;
    m->call = call;
    m->status = kind == ViberCallKind::Outgoing ? ViberStatus::Delivered : ViberStatus::Received;
    if (chat)
        ViberDataSet::addToChat(chat, m);
    return m;
}

bool DataSetBuilder::writeImage(const QString& path, int width, int height, const QColor& colour)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image.save(path);
}

bool DataSetBuilder::writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}
