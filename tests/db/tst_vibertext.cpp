#include "db/LocalDbPaths.h"
#include "db/ViberCodes.h"
#include "db/ViberDataSet.h"
#include "db/ViberDates.h"
#include "db/ViberSort.h"
#include "db/ViberText.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <ctime>

#include <algorithm>
#include <limits>
#include <vector>

using namespace ViberText;

class TestViberText : public QObject
{
    Q_OBJECT

private slots:
    void callTexts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("duration");
        QTest::addColumn<QString>("text");
        QTest::newRow("incoming 125 s") << 1 << 125 << QStringLiteral("Incoming Call (2' 5'')");
        QTest::newRow("outgoing 0 s") << 2 << 0 << QStringLiteral("Outgoing Call (0' 0'')");
        QTest::newRow("outgoing 3600 s") << 2 << 3600 << QStringLiteral("Outgoing Call (60' 0'')");
        QTest::newRow("missed") << 3 << 40 << QStringLiteral("Missed Call");
        QTest::newRow("unknown kind") << 9 << 40 << QStringLiteral("Unknown Call");
    }

    void callTexts()
    {
        QFETCH(int, kind);
        QFETCH(int, duration);
        QFETCH(QString, text);
        _ViberCall call;
        call.kind = kind;
        call.duration = duration;
        QCOMPARE(callText(call), text);
    }

    void summaries()
    {
        _ViberMsg msg;
        msg.type = ViberMsgType::Location;
        msg.text = QStringLiteral("Home");
        QCOMPARE(summaryText(msg), QStringLiteral("Home [LOCATION]"));
        msg.text.clear();
        QCOMPARE(summaryText(msg), QStringLiteral(" [LOCATION]"));

        msg.type = ViberMsgType::Sticker;
        QCOMPARE(summaryText(msg), QStringLiteral("[STICKER-UNKNOWN]"));
        _ViberAtta sticker;
        sticker.fileId = QStringLiteral("12345");
        msg.attachment = &sticker;
        QCOMPARE(summaryText(msg), QStringLiteral("[STICKER-12345]"));

        msg.type = ViberMsgType::Call;
        msg.attachment = nullptr;
        QCOMPARE(summaryText(msg), QStringLiteral("[UNKNOWN CALL]"));
        _ViberCall call;
        call.kind = ViberCallKind::Missed;
        msg.call = &call;
        QCOMPARE(summaryText(msg), QStringLiteral("Missed Call"));

        msg.type = ViberMsgType::Text;
        msg.text = QStringLiteral("hi \U0001F600 \uE415!");
        QCOMPARE(summaryText(msg), QStringLiteral("hi [EMOJI] [EMOJI]!"));

        const QList<QPair<int, QString>> fixed = {{ViberMsgType::Picture, QStringLiteral("[IMAGE]")},
                                                  {ViberMsgType::Voice, QStringLiteral("[AUDIO]")},
                                                  {ViberMsgType::Video, QStringLiteral("[VIDEO]")},
                                                  {42, QString()}};
        for (const auto& [type, summary] : fixed) {
            msg.type = type;
            QCOMPARE(summaryText(msg), summary);
        }
    }

    void groupEvents()
    {
        _ViberMsg rename;
        rename.type = ViberMsgType::System;
        rename.systemType = ViberSystemType::NameChanged;
        rename.text = QStringLiteral("Climbers");
        QCOMPARE(summaryText(rename), QStringLiteral("You changed the group name to \"Climbers\""));
        _ViberPerson anna;
        anna.number = QStringLiteral("+491701");
        rename.sender = &anna;
        QCOMPARE(groupEventText(rename), QStringLiteral("+491701 changed the group name to \"Climbers\""));
        anna.name = QStringLiteral("Anna");
        QCOMPARE(groupEventText(rename), QStringLiteral("Anna changed the group name to \"Climbers\""));

        _ViberMsg join;
        join.systemType = ViberSystemType::MemberAdded;
        join.text = QStringLiteral("Ben");
        QCOMPARE(groupEventText(join), QStringLiteral("Ben joined"));
        join.systemType = 0;
        QVERIFY(groupEventText(join).isEmpty());
    }

    void urls()
    {
        _ViberMsg msg;
        msg.location.setLatitude(48.1);
        msg.location.setLongitude(-11.25);
        const QString map = mapImageUrl(msg);
        QVERIFY(map.contains(
            QLatin1String("/maps/api/staticmap?zoom=16&size=600x389&scale=<scale>&maptype=roadmap"
                          "&sensor=true&center=48.100000,-11.250000")));
        _ViberAtta sticker;
        sticker.fileId = QStringLiteral("12345");
        QVERIFY(stickerImageUrl(sticker).endsWith(QLatin1String("/stickers/60/12300/00012345.png")));
        sticker.fileId = QStringLiteral("abc");
        QVERIFY(stickerImageUrl(sticker).endsWith(QLatin1String("/stickers/60/0/00000abc.png")));
    }

    void assetIds_data()
    {
        QTest::addColumn<QVariant>("url");
        QTest::addColumn<QString>("id");
        QTest::newRow("photo") << QVariant(
                                      QStringLiteral("assets-library://asset/asset.JPG?id=ab12-cd34&ext=JPG"))
                               << QStringLiteral("AB12-CD34");
        QTest::newRow("any case") << QVariant(QStringLiteral("ASSETS-LIBRARY://asset/a.mov?id=x9"))
                                  << QStringLiteral("X9");
        QTest::newRow("other scheme")
            << QVariant(QStringLiteral("file:///asset/asset.JPG?id=1")) << QString();
        QTest::newRow("slash in name")
            << QVariant(QStringLiteral("assets-library://asset/a/b?id=1")) << QString();
        QTest::newRow("absent") << QVariant() << QString();
    }

    void assetIds()
    {
        QFETCH(QVariant, url);
        QFETCH(QString, id);
        _ViberAtta atta;
        if (url.isValid())
            atta.setExtra({{QStringLiteral("ZURL"), url}});
        QCOMPARE(assetId(atta), id);
    }

    void labelsAndTitles()
    {
        _ViberPerson one;
        one.number = QStringLiteral("+2");
        _ViberPerson two;
        two.number = QStringLiteral("+1");
        QCOMPARE(personLabelWithNumber(one), QStringLiteral("+2"));
        two.name = QStringLiteral("Bea");
        QCOMPARE(personLabelWithNumber(two), QStringLiteral("Bea(+1)"));
        _ViberPerson nameOnly;
        nameOnly.name = QStringLiteral("  Cy ");
        QCOMPARE(personLabelWithNumber(nameOnly), QStringLiteral("Cy"));

        _ViberChat chat;
        chat.participants.insert(1, &one);
        chat.participants.insert(2, &two);
        QCOMPARE(chatTitle(chat), QStringLiteral("Bea, +2")); // ordered by number, shown by label
        QCOMPARE(chatMembersText(chat), QStringLiteral("Bea(+1), +2"));
        two.name.clear();
        QCOMPARE(chatTitle(chat), QStringLiteral("+1, +2"));
        chat.name = QStringLiteral("  Family ");
        QCOMPARE(chatTitle(chat), QStringLiteral("Family"));
        QCOMPARE(chatMembersText(chat), QStringLiteral("+1, +2"));
    }

    void direction()
    {
        _ViberMsg msg;
        msg.status = ViberStatus::Received;
        QVERIFY(!isOutgoing(msg));
        msg.status = ViberStatus::Delivered;
        QVERIFY(isOutgoing(msg));
        msg.status = ViberStatus::Unknown;
        QVERIFY(isOutgoing(msg));
        msg.systemType = ViberSystemType::MemberAdded;
        QVERIFY(!isOutgoing(msg));
    }

    void numbers_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("canonical");
        QTest::newRow("formatted") << QStringLiteral("+1 (555) 010-0000") << QStringLiteral("15550100000");
        QTest::newRow("german") << QStringLiteral("+49 (170) 123") << QStringLiteral("49170123");
        QTest::newRow("letters kept") << QStringLiteral("Viber Out +1") << QStringLiteral("Viber Out +1");
        QTest::newRow("non-latin letters are not letters")
            << QStringLiteral("номер 12") << QStringLiteral("12");
        QTest::newRow("empty") << QString() << QString();
    }

    void numbers()
    {
        QFETCH(QString, input);
        QFETCH(QString, canonical);
        QCOMPARE(canonicalNumber(input), canonical);
    }

    void digests()
    {
        // md5("") = d41d8cd98f00b204e9800998ecf8427e: "00" and "04" lose their zero
        QCOMPARE(shortDigest(QString()), QStringLiteral("d41d8cd98f0b24e980998ecf8427e"));
        QCOMPARE(shortDigest(QStringLiteral("abc")), QStringLiteral("90150983cd24fb0d6963f7d28e17f72"));
        QCOMPARE(shortDigest(QStringLiteral("+491701234567")),
                 QStringLiteral("4f99ebfda5956ea3589995773113fda"));
    }

    void groupIds()
    {
        _ViberChat chat;
        chat.groupId = QStringLiteral("g-4455667788");
        QCOMPARE(groupIdNumber(chat), 4455667788LL);
        chat.groupId = QStringLiteral("none");
        QCOMPARE(groupIdNumber(chat), 0);
        chat.groupId = QStringLiteral("99999999999999999999999");
        QCOMPARE(groupIdNumber(chat), 0);
    }

    void emojiPasses()
    {
        QStringList codes;
        const auto record = [&codes](const QString& code) {
            codes.append(code);
            return QStringLiteral("<%1>").arg(code);
        };
        const QString text = QStringLiteral("a\uE415b\u203C") + QChar(0xD83D) + QChar(0xDE00) +
                             QStringLiteral("c") + QChar(0xD83C) + QChar(0xDF89);
        QCOMPARE(replaceEmoji(text, record), QStringLiteral("a<E415>b<203C><1F600>c<1F389>"));
        QCOMPARE(codes, QStringList({QStringLiteral("E415"), QStringLiteral("203C"), QStringLiteral("1F600"),
                                     QStringLiteral("1F389")}));
        // outside both sets: untouched (U+E538 is past the old range; U+1F900 has high unit D83E)
        const QString plain =
            QStringLiteral("\uE538 ") + QChar(0xD83E) + QChar(0xDD00) + QStringLiteral(" ok");
        QCOMPARE(replaceEmoji(plain, record), plain);
        // a lone high surrogate is not an emoji
        const QString lone = QString(QChar(0xD83D)) + QStringLiteral("x");
        QCOMPARE(replaceEmoji(lone, record), lone);
        // the ends of the symbol list and their neighbours
        for (const char16_t unit : {u'\u203C', u'\u2B1C', u'\u3030', u'\uE000', u'\uE537'})
            QVERIFY(isSingleUnitEmoji(unit));
        for (const char16_t unit : {u'\u203B', u'\u2B1D', u'\u3031', char16_t(0xDFFF), u'\uE538', u'\uFFFF'})
            QVERIFY(!isSingleUnitEmoji(unit));
    }

    void dates()
    {
        const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        QCOMPARE(ViberDates::refToLocal(-0.5), epoch.toLocalTime());
        QCOMPARE(ViberDates::refToLocal(59.9), epoch.addSecs(59).toLocalTime());
        QCOMPARE(ViberDates::refToUnixMs(1.25), 978307201250LL);
        QCOMPARE(ViberDates::unixMsToRef(978307201250LL), 1.25);
        QCOMPARE(ViberDates::unixSecondsToRef(978307200 + 60), 60.0);
        // values from a damaged file convert to 0, not to an undefined integer
        QCOMPARE(ViberDates::wholeUnits(std::numeric_limits<double>::infinity()), 0);
        QCOMPARE(ViberDates::wholeUnits(std::numeric_limits<double>::quiet_NaN()), 0);
        QCOMPARE(ViberDates::wholeUnits(-1e300), 0);
        QCOMPARE(ViberDates::wholeUnits(-2.9), -2);
        QCOMPARE(ViberDates::refToLocal(std::numeric_limits<double>::infinity()), epoch.toLocalTime());
        // a time in seconds that the 2001 reference would carry past the 64-bit limit
        QCOMPARE(ViberDates::unixSecondsToRef(std::numeric_limits<qint64>::min()), 0.0);
        QCOMPARE(ViberDates::unixSecondsToRef(std::numeric_limits<qint64>::min() + 978307199), 0.0);
        QCOMPARE(ViberDates::unixSecondsToRef(std::numeric_limits<qint64>::max()),
                 double(std::numeric_limits<qint64>::max() - 978307200));
    }

    // The shown time reads as the local one, on both sides of a change of daylight-saving
    // time, in a zone that has one.
    void shownTimesReadAsLocalTimes()
    {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        tzset();
        const QDateTime summerEnd(QDate(2024, 10, 27), QTime(0, 30), Qt::UTC);
        // the zone really changes its offset here (tzdata is installed)
        QCOMPARE(summerEnd.toLocalTime().offsetFromUtc(), 7200);
        QCOMPARE(summerEnd.addSecs(3600).toLocalTime().offsetFromUtc(), 3600);
        for (const qint64 minutes : {0, 29, 30, 31, 59, 60, 61, 90, 60 * 24 * 150}) {
            const double ref = double(summerEnd.addSecs(minutes * 60).toSecsSinceEpoch() -
                                      ViberDates::ReferenceUnixSeconds) +
                               0.7;
            const QDateTime local = ViberDates::refToLocal(ref);
            const QDateTime shown = ViberDates::refToLocalShown(ref);
            QCOMPARE(shown.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ap")),
                     local.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ap")));
            QCOMPARE(shown.date(), local.date());
            QCOMPARE(shown.toSecsSinceEpoch(), local.toSecsSinceEpoch());
        }
        // The day and time worked out by hand read as the shown time's, before 1970 and
        // far from today too.
        for (const double ref : {-5e9 - 0.5, -978307200.0 - 3599.9, -1.0, 0.0, 7.5e8 + 0.7, 1e12, 1e15}) {
            const ViberDates::LocalParts parts = ViberDates::refToLocalParts(ref);
            const QDateTime shown = ViberDates::refToLocalShown(ref);
            QCOMPARE(parts.day, shown.date());
            QCOMPARE(parts.time, shown.time());
        }
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
        tzset();
    }

    // The bubbles' clock reads as Qt's "hh:mm ap" format at every minute of a day.
    void clockTextReadsAsTheFormat()
    {
        for (int minute = 0; minute < 24 * 60; ++minute) {
            const QTime time(minute / 60, minute % 60, 59);
            QCOMPARE(ViberDates::clockText(time), time.toString(QStringLiteral("hh:mm ap")));
        }
        QCOMPARE(ViberDates::clockText(QTime()), QString());
    }

    // The day separators read as Qt's "dd MMM yyyy" format, every day of four centuries
    // and years at the ends of the range.
    void dayTextReadsAsTheFormat()
    {
        for (QDate day(1800, 1, 1); day.year() < 2200; day = day.addDays(1))
            QCOMPARE(ViberDates::dayText(day), day.toString(QStringLiteral("dd MMM yyyy")));
        for (const QDate day : {QDate(1, 1, 1), QDate(9, 2, 3), QDate(999, 12, 31), QDate(9999, 12, 31),
                                QDate(10000, 1, 1), QDate(-44, 3, 15)})
            QCOMPARE(ViberDates::dayText(day), day.toString(QStringLiteral("dd MMM yyyy")));
        QCOMPARE(ViberDates::dayText(QDate()), QString());
    }

    // A longitude no integer can hold names no place: the map image takes 0.
    // A copy's name reads a file's name and suffix as QFileInfo does, hidden files, dots at
    // the ends and suffix-less names included.
    void mediaCopyNamesFollowFileInfo()
    {
        const QStringList pieces = {
            QStringLiteral("a"),    QStringLiteral("."),      QStringLiteral("/"), QStringLiteral("jpg"),
            QStringLiteral(".jpg"), QStringLiteral(".."),     QStringLiteral(" "), QStringLiteral("x.tar.gz"),
            QStringLiteral("\\"),   QStringLiteral("\u00e9"), QStringLiteral(":")};
        QRandomGenerator random(11);
        const auto randomName = [&] {
            QString name;
            const int length = int(random.bounded(0, 6));
            for (int i = 0; i < length; ++i)
                name += pieces.at(int(random.bounded(int(pieces.size()))));
            return name;
        };
        for (int i = 0; i < 3000; ++i) {
            const QString local = randomName();
            const QString attachment = randomName();
            const QFileInfo info(local);
            const QString wanted = LocalDbPaths::safeFileName(attachment);
            const QString expected = info.suffix().isEmpty() && !QFileInfo(wanted).suffix().isEmpty()
                                         ? wanted
                                         : LocalDbPaths::safeFileName(info.fileName());
            QCOMPARE(LocalDbPaths::mediaCopyName(local, attachment), expected);
        }
    }

    void mapNamesOfExtremeLongitudes_data()
    {
        QTest::addColumn<double>("longitude");
        QTest::addColumn<QString>("name");
        QTest::newRow("ordinary") << -121.47 << QStringLiteral("31.230000_-121.jpg");
        QTest::newRow("1e300") << 1e300 << QStringLiteral("31.230000_0.jpg");
        QTest::newRow("-1e300") << -1e300 << QStringLiteral("31.230000_0.jpg");
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity()
                                  << QStringLiteral("31.230000_0.jpg");
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << QStringLiteral("31.230000_0.jpg");
    }

    void mapNamesOfExtremeLongitudes()
    {
        QFETCH(double, longitude);
        QFETCH(QString, name);
        QCOMPARE(LocalDbPaths::mapImageName(31.23, longitude), name);
    }

    void sortOrders()
    {
        _ViberMsg a, b, c;
        a.date = 3;
        b.date = 1;
        c.date = 2;
        QList<_ViberMsg*> msgs{&a, &b, &c};
        std::sort(msgs.begin(), msgs.end(), ViberSort::msgByDate);
        QCOMPARE(msgs, QList<_ViberMsg*>({&b, &c, &a}));
        std::sort(msgs.begin(), msgs.end(), ViberSort::msgByDateNewestFirst);
        QCOMPARE(msgs, QList<_ViberMsg*>({&a, &c, &b}));
        QVERIFY(!ViberSort::msgByDate(&a, &a));

        _ViberChat old, recent;
        old.date = 1;
        recent.date = 5;
        QVERIFY(ViberSort::chatByDate(&recent, &old));
        _ViberPerson p1, p2;
        p1.number = QStringLiteral("+10");
        p2.number = QStringLiteral("+9");
        QVERIFY(ViberSort::personByNumber(&p1, &p2)); // plain string order
        _ViberCall early, late;
        early.date = 1;
        late.date = 2;
        QVERIFY(ViberSort::callByDate(&early, &late));
        QVERIFY(ViberSort::callByDateNewestFirst(&late, &early));
    }

    // Chats by id, time within a chat, ties in their first order, chatless ones first; and
    // by time alone: the same orders a stable sort gives, on enough messages to leave the small-range
    // insertion sort behind. Two chat records of one id are one chat here.
    void sortsAreStable()
    {
        _ViberChat chats[4];
        for (int i = 0; i < 3; ++i)
            chats[i].id = 30 - i * 10; // ids 30, 20, 10
        chats[3].id = 20;
        std::vector<_ViberMsg> store(300);
        QList<_ViberMsg*> msgs;
        for (int i = 0; i < int(store.size()); ++i) {
            _ViberMsg& m = store[size_t(i)];
            m.id = i;
            m.chat = i % 7 == 0 ? nullptr : &chats[i % 4];
            m.date = double((i * 37) % 11); // many equal dates
            if (i == 5)
                m.date = std::numeric_limits<double>::quiet_NaN();
            msgs.append(&m);
        }
        const auto date = [](const _ViberMsg* m) { return std::isnan(m->date) ? -HUGE_VAL : m->date; };
        // in the order given, in time order and against it (as the message list hands
        // them over), then in twenty other orders
        QRandomGenerator random(11);
        for (int round = 0; round <= 22; ++round) {
            if (round == 1)
                std::stable_sort(msgs.begin(), msgs.end(), [&](auto a, auto b) { return date(a) < date(b); });
            else if (round == 2)
                std::stable_sort(msgs.begin(), msgs.end(), [&](auto a, auto b) { return date(a) > date(b); });
            else if (round > 2)
                std::shuffle(msgs.begin(), msgs.end(), random);
            QList<_ViberMsg*> expected = msgs;
            std::stable_sort(expected.begin(), expected.end(), [&](const _ViberMsg* a, const _ViberMsg* b) {
                const qint64 ca = a->chat ? a->chat->id : std::numeric_limits<qint64>::min();
                const qint64 cb = b->chat ? b->chat->id : std::numeric_limits<qint64>::min();
                return ca != cb ? ca < cb : date(a) < date(b);
            });
            // By time alone, both ways, ties in the order given.
            for (const bool newestFirst : {false, true}) {
                QList<_ViberMsg*> byDate = msgs;
                std::stable_sort(byDate.begin(), byDate.end(), [&](const _ViberMsg* a, const _ViberMsg* b) {
                    return newestFirst ? date(a) > date(b) : date(a) < date(b);
                });
                QList<_ViberMsg*> sorted = msgs;
                ViberSort::sortByDate(sorted, newestFirst);
                QCOMPARE(sorted, byDate);
            }
            ViberSort::sortByChatThenDate(msgs);
            QCOMPARE(msgs, expected);
            QVERIFY(!msgs.first()->chat);
            QCOMPARE(msgs.last()->chat, &chats[0]);
        }
    }
};

QTEST_GUILESS_MAIN(TestViberText)
#include "tst_vibertext.moc"
