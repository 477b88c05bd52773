#include "tools/demodata/DemoHistory.h"

#include "app/ProgressChannel.h"
#include "db/PreviewImage.h"
#include "db/ViberCodes.h"
#include "ops/BackupViberMsgThread.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/RecordingReceiver.h"
#include "tools/demodata/DemoMedia.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

constexpr qint64 CallTokenBase = 7300000000;
// The last of today's messages is written before this time of day.
const QTime LastMessageOfToday(9, 30);

// Lays out one chat's messages day by day, each a few minutes after the one before.
class ChatWriter
{
public:
    ChatWriter(DataSetBuilder& builder, _ViberChat* chat, const QDate& today)
        : m_builder(builder), m_chat(chat), m_today(today)
    {}

    // Starts a day, daysAgo before today, at hour:minute.
    ChatWriter& day(int daysAgo, int hour, int minute)
    {
        m_time = QDateTime(m_today.addDays(-daysAgo), QTime(hour, minute));
        return *this;
    }

    _ViberMsg* in(_ViberPerson* sender, const QString& text, int type = ViberMsgType::Text)
    {
        return add(type, text, false, sender);
    }
    _ViberMsg* out(const QString& text, int type = ViberMsgType::Text)
    {
        return add(type, text, true, nullptr);
    }

    _ViberMsg* call(_ViberPerson* person, int kind, int duration)
    {
        step();
        _ViberMsg* msg = m_builder.callMessage(m_chat, person, kind, duration, m_time);
        // Calls are told apart by their token, as the phone's call log does.
        msg->call->token = CallTokenBase + msg->call->id;
        return msg;
    }

private:
    void step()
    {
        // Replies come a few minutes apart, so the list and the bubbles show real times.
        m_time = m_time.addSecs(60 * (1 + (++m_count * 7) % 9));
    }

    _ViberMsg* add(int type, const QString& text, bool outgoing, _ViberPerson* sender)
    {
        step();
        return m_builder.message(m_chat, type, m_time, text, outgoing, sender);
    }

    DataSetBuilder& m_builder;
    _ViberChat* m_chat;
    QDate m_today;
    QDateTime m_time;
    int m_count = 0;
};

qint64 sizeOf(const QString& path)
{
    return QFileInfo(path).size();
}

} // namespace

DemoHistory::DemoHistory(const QString& mediaFolder, const QDateTime& now) : m_mediaFolder(mediaFolder)
{
    build(now.time() >= LastMessageOfToday ? now.date() : now.date().addDays(-1));
}

QString DemoHistory::media(const QString& name) const
{
    return QDir(m_mediaFolder).filePath(name);
}

void DemoHistory::build(const QDate& today)
{
    DataSetBuilder b;
    using DemoMedia::Scene;

    struct Contact
    {
        qint64 id;
        const char* number;
        const char* name;
        int hue; // negative: no photo
    };
    const Contact contacts[] = {
        {1, "+4915112345678", "Anna Keller", 270}, {2, "+447700900123", "Ben Okafor", 200},
        {3, "+393471234567", "Chiara Rossi", 340}, {4, "+46701234567", "David Lindqvist", -1},
        {5, "+33612345678", "Emma Dubois", 30},    {6, "+14155550142", "Felix Wong", 120},
    };
    QList<_ViberPerson*> people;
    for (const Contact& c : contacts) {
        _ViberPerson* p = b.person(c.id, QString::fromLatin1(c.number), QString::fromUtf8(c.name));
        if (c.hue >= 0) {
            p->photoPath = media(QStringLiteral("contacts/%1.jpg").arg(c.id));
            DemoMedia::writeContactPhoto(p->photoPath, p->name, c.hue);
        }
        people.append(p);
    }
    _ViberPerson* anna = people.at(0);
    _ViberPerson* ben = people.at(1);
    _ViberPerson* chiara = people.at(2);
    _ViberPerson* david = people.at(3);
    _ViberPerson* emma = people.at(4);
    _ViberPerson* felix = people.at(5);

    const auto picture = [&](_ViberMsg* msg, const QString& name, Scene scene) {
        const QString full = media(QStringLiteral("pictures/") + name);
        const QString preview = media(QStringLiteral("previews/") + name);
        DemoMedia::writePhoto(full, scene);
        if (!PreviewImage::make(full, preview))
            throw std::runtime_error("cannot make the preview of " + name.toStdString());
        b.attach(msg, full, preview, name)->fileSize = sizeOf(full);
    };
    const auto sticker = [&](_ViberMsg* msg, int number, int variant) {
        const QString png = media(QStringLiteral("stickers/%1.png").arg(number));
        DemoMedia::writeSticker(png, variant);
        b.attach(msg, QString(), png)->fileId = QString::number(number);
    };

    // Anna: plans over four days, with a photo, a sticker and a voice note.
    _ViberChat* annaChat = b.chat(1, {anna});
    {
        ChatWriter w(b, annaChat, today);
        w.day(4, 9, 12);
        w.in(anna, QStringLiteral("Good morning! Are we still on for Saturday? (smiley)"));
        w.out(QStringLiteral("Morning! Yes, absolutely. Where do we meet?"));
        w.in(anna, QStringLiteral("The old café by the river, 10 o'clock? (coffee)"));
        w.out(QStringLiteral("Perfect 👍"));
        w.day(3, 18, 40);
        w.in(anna, QStringLiteral("Look what I found on my walk today"));
        picture(w.in(anna, QString(), ViberMsgType::Picture), QStringLiteral("IMG-forest-walk.jpg"),
                Scene::Forest);
        w.out(QStringLiteral("Wow, that's beautiful! Where is that?"));
        w.in(anna, QStringLiteral("Behind the botanical garden, 20 minutes from the centre 🌲"));
        sticker(w.out(QString(), ViberMsgType::Sticker), 40133, 0);
        w.day(2, 21, 5);
        _ViberMsg* voice = w.in(anna, QString(), ViberMsgType::Voice);
        const QString voiceFile = media(QStringLiteral("voice/anna-tune.wav"));
        DemoMedia::writeVoice(voiceFile);
        _ViberAtta* voiceAtta = b.attach(voice, voiceFile);
        voiceAtta->duration = 2.0;
        voiceAtta->fileSize = sizeOf(voiceFile);
        w.out(QStringLiteral("Haha, you should record that properly (laugh)"));
        w.in(anna, QStringLiteral("Maybe one day. See you Saturday! (heart)"));
        w.day(0, 8, 30);
        w.call(anna, ViberCallKind::Incoming, 184);
        w.in(anna, QStringLiteral("Running 10 minutes late, sorry! 🏃‍♀️"));
        w.out(QStringLiteral("No worries, I'll grab a table (like)"));
    }

    // Ben: a trip, a video, a location and a few calls.
    _ViberChat* benChat = b.chat(2, {ben});
    {
        ChatWriter w(b, benChat, today);
        w.day(6, 12, 0);
        w.call(ben, ViberCallKind::Missed, 0);
        w.in(ben, QStringLiteral("Tried to call you. Free for a quick chat?"));
        w.day(6, 13, 20);
        w.call(ben, ViberCallKind::Outgoing, 426);
        w.in(ben, QStringLiteral("Thanks for the tips! Landed in Lisbon (airplane)"));
        w.day(5, 17, 45);
        picture(w.in(ben, QString(), ViberMsgType::Picture), QStringLiteral("IMG-beach-day.jpg"),
                Scene::Beach);
        w.in(ben, QStringLiteral("Water is cold but the sun is great (sun)"));
        w.out(QStringLiteral("Jealous! Enjoy 😎"));
        w.day(5, 20, 10);
        _ViberMsg* video = w.in(ben, QString(), ViberMsgType::Video);
        const QString videoFile = media(QStringLiteral("video/VID-sunset.avi"));
        const QString videoPreview = media(QStringLiteral("video/VID-sunset.jpg"));
        DemoMedia::writeVideo(videoFile);
        DemoMedia::writePhoto(videoPreview, Scene::Mountains, 320, 240);
        _ViberAtta* videoAtta = b.attach(video, videoFile, videoPreview, QStringLiteral("VID-sunset.avi"));
        videoAtta->duration = 3.0;
        videoAtta->fileSize = sizeOf(videoFile);
        w.in(ben, QStringLiteral("Sunset from the viewpoint, three seconds of pure magic"));
        w.day(4, 19, 30);
        _ViberMsg* place = w.in(ben, QString(), ViberMsgType::Location);
        place->location.setLatitude(38.7139);
        place->location.setLongitude(-9.1334);
        place->location.setAddress(QStringLiteral("Miradouro de Santa Luzia, Lisbon"));
        const QString map = media(QStringLiteral("maps/santa-luzia.jpg"));
        DemoMedia::writeMap(map);
        b.attach(place, QString(), map);
        w.in(ben, QStringLiteral("Dinner here tonight, if you ever come by (wine)"));
        w.out(QStringLiteral("Saving it for my next trip!"));
        w.day(1, 10, 15);
        w.call(ben, ViberCallKind::Incoming, 95);
        w.out(QStringLiteral("Good to hear you're back. Coffee next week? (coffee)"));
        w.in(ben, QStringLiteral("Deal 🤝"));
    }

    // Chiara: a birthday.
    _ViberChat* chiaraChat = b.chat(3, {chiara});
    {
        ChatWriter w(b, chiaraChat, today);
        w.day(3, 7, 50);
        w.out(QStringLiteral("Happy birthday Chiara!!! 🎉🎂 (inlove)"));
        w.in(chiara, QStringLiteral("Thank you so much! (happy)"));
        w.day(3, 20, 30);
        picture(w.in(chiara, QStringLiteral("The cake my sister made"), ViberMsgType::Picture),
                QStringLiteral("IMG-birthday-cake.jpg"), Scene::Cake);
        w.out(QStringLiteral("That looks delicious (yummi)"));
        sticker(w.in(chiara, QString(), ViberMsgType::Sticker), 40134, 1);
    }

    // The group: several senders planning a hike.
    _ViberChat* group = b.chat(4, {anna, ben, chiara, david}, QStringLiteral("Weekend hike ⛰️"),
                               QStringLiteral("5829104736251"));
    {
        ChatWriter w(b, group, today);
        w.day(5, 19, 0);
        w.in(david, QStringLiteral("Hi all! Shall we go up to the lake this weekend?"));
        w.in(anna, QStringLiteral("I'm in (like)"));
        w.in(ben, QStringLiteral("Back from Lisbon on Friday, count me in"));
        w.in(chiara, QStringLiteral("Yes! Who brings the snacks? (pizza)"));
        w.out(QStringLiteral("I'll bring sandwiches and tea"));
        w.day(2, 8, 15);
        w.in(david, QStringLiteral("Weather looks good: sunny, 18°C (sun)"));
        picture(w.in(david, QString(), ViberMsgType::Picture), QStringLiteral("IMG-trail-map.jpg"),
                Scene::Mountains);
        w.in(david, QStringLiteral("That's the trail, about 12 km in total"));
        w.in(ben, QStringLiteral("Easy 😅"));
        sticker(w.in(chiara, QString(), ViberMsgType::Sticker), 40135, 2);
        w.day(1, 7, 5);
        w.in(anna, QStringLiteral("Meeting at the station at 8?"));
        w.out(QStringLiteral("See you there (cool)"));
        w.day(1, 16, 40);
        picture(w.out(QString(), ViberMsgType::Picture), QStringLiteral("IMG-summit.jpg"), Scene::Lake);
        w.in(chiara, QStringLiteral("What a view!! (inlove)"));
        w.in(david, QStringLiteral("Best hike this year 🙌"));
        sticker(w.in(anna, QString(), ViberMsgType::Sticker), 40136, 3);
    }

    // Emma: a short one with a call.
    _ViberChat* emmaChat = b.chat(5, {emma});
    {
        ChatWriter w(b, emmaChat, today);
        w.day(2, 14, 0);
        w.in(emma, QStringLiteral("Can you send me the photos from the city trip?"));
        picture(w.out(QString(), ViberMsgType::Picture), QStringLiteral("IMG-city-night.jpg"), Scene::City);
        w.in(emma, QStringLiteral("Merci ! (kiss)"));
        w.day(1, 19, 45);
        w.call(emma, ViberCallKind::Outgoing, 312);
    }

    // David and Felix: older chats further down the list.
    _ViberChat* davidChat = b.chat(6, {david});
    {
        ChatWriter w(b, davidChat, today);
        w.day(9, 11, 30);
        w.in(david, QStringLiteral("Did you get my email about the project?"));
        w.out(QStringLiteral("Yes, reading it now. Looks good (like)"));
        w.in(david, QStringLiteral("Great, let's talk on Monday"));
    }
    _ViberChat* felixChat = b.chat(7, {felix});
    {
        ChatWriter w(b, felixChat, today);
        w.day(12, 22, 10);
        w.in(felix, QStringLiteral("Hey! Long time no see (wink)"));
        w.out(QStringLiteral("Felix! How are things in San Francisco?"));
        w.in(felix, QStringLiteral("Foggy as always (cloud) but good"));
        w.call(felix, ViberCallKind::Missed, 0);
    }

    m_set = b.dataSet();
}

void DemoHistory::writeLocalDatabase(const QString& databaseFolder) const
{
    if (QFileInfo::exists(databaseFolder))
        throw std::runtime_error("the folder exists already: " + databaseFolder.toStdString());
    ProgressChannel channel;
    RecordingReceiver receiver(&channel);
    channel.setReceiver(&receiver);
    BackupViberMsgThread worker(m_set->allMessages(), databaseFolder, channel);
    receiver.runInWorkerThread(worker);
    if (!receiver.errors.isEmpty())
        throw std::runtime_error(receiver.errors.first().toStdString());
    if (receiver.successes.isEmpty())
        throw std::runtime_error("the backup ended without an outcome");
}
