#include "app/ProgressChannel.h"
#include "app/ProgressThrottle.h"
#include "tests/support/RecordingReceiver.h"

#include <QTest>
#include <QThread>

class TestProgressChannel : public QObject
{
    Q_OBJECT

private slots:
    // A worker thread's posts arrive on the receiver's thread, in order.
    void postsFromAWorkerAreQueued()
    {
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        std::unique_ptr<QThread> worker(QThread::create([&channel] {
            channel.postProgress(QStringLiteral("Loading"), 10, QString());
            channel.postProgress(QString(), -1, QStringLiteral("half"));
            channel.enableCancel(false);
            channel.postSucceed(UserText::rich(QStringLiteral("done<br/>")));
        }));
        worker->start();
        QVERIFY(receiver.waitForOutcome(5000));
        worker->wait();
        QCOMPARE(receiver.progress.size(), 2);
        QCOMPARE(receiver.progress.at(0).status, QStringLiteral("Loading"));
        QCOMPARE(receiver.progress.at(0).value, 10);
        QCOMPARE(receiver.progress.at(1).value, -1);
        QCOMPARE(receiver.progress.at(1).text, QStringLiteral("half"));
        QCOMPARE(receiver.cancelEnabled, QList<bool>({false}));
        // The text crosses threads with its kind.
        QCOMPARE(receiver.texts, QList<UserText>({UserText::rich(QStringLiteral("done<br/>"))}));
        QVERIFY(receiver.errors.isEmpty());
    }

    // A run of records reports each new percentage and its last record at once, and
    // between them at most one repeat per interval.
    void throttleLetsThroughNewValuesTheLastRecordAndStaleRepeats()
    {
        ProgressThrottle throttle(40);
        QVERIFY(throttle.due(0, false));
        QVERIFY(!throttle.due(0, false));
        QVERIFY(throttle.due(1, false));
        QVERIFY(!throttle.due(1, false));
        QVERIFY(throttle.due(1, true));
        QTest::qWait(60);
        QVERIFY(throttle.due(1, false));
        QVERIFY(!throttle.due(1, false));

        ProgressThrottle steady;
        int posts = 0;
        const int total = 100000;
        for (int i = 1; i <= total; ++i)
            posts += steady.due(int(qint64(i) * 100 / total), i == total) ? 1 : 0;
        QVERIFY2(posts >= 100 && posts < 1000, qPrintable(QString::number(posts)));
    }

    // The worker sets the waiting flag itself, so it cannot miss the receiver's answer.
    void tipsWaitUntilAnswered()
    {
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        std::atomic_bool resumed{false};
        std::unique_ptr<QThread> worker(QThread::create([&] {
            channel.postTipsWait(UserText::plain(QStringLiteral("confirm on the phone")));
            channel.waitForTips();
            resumed = true;
            channel.postSucceed();
        }));
        worker->start();
        QVERIFY(receiver.waitForOutcome(5000));
        worker->wait();
        QVERIFY(resumed);
        QCOMPARE(receiver.tips, QStringList({QStringLiteral("confirm on the phone")}));
        QVERIFY(!channel.isWaitingTips());
    }

    // A console prints a rich text as text: its markup gone, its link still there to
    // copy; a plain text joined to markup is escaped, so a file name stays a file name.
    void userTextsConvertBetweenKinds()
    {
        const UserText help = UserText::rich(QStringLiteral(
            "Please try:<br/><br/>2 Another program holds the port. <a href=\"velliport:portwarden\">"
            "Portwarden</a> can end it.<BR>\n   Settings -&gt; Apps &amp; more &quot;x&quot; &#39;y&#39;"
            "&nbsp;&#8364;&#x41;<p>Next</p><b>bold</b> <img src=\":res/adb_backup.png\" /><img "
            "alt='the phone&apos;s screen' src=x.png> <a href=\"https://example.com/\">https://example.com/"
            "</a> &bogus; &#0; a & b"));
        QCOMPARE(
            help.toPlainText(),
            QStringLiteral("Please try:\n\n2 Another program holds the port. Portwarden "
                           "<velliport:portwarden> can end it.\nSettings -> Apps & more \"x\" 'y' \u20acA\n"
                           "Next\nbold the phone's screen https://example.com/ &bogus; &#0; a & b"));
        QCOMPARE(help.toHtml(), help.text());

        const UserText file = UserText::plain(QStringLiteral("Cannot open a<b>.txt & \"c\"\nsecond line"));
        QCOMPARE(file.toPlainText(), file.text());
        QCOMPARE(file.toHtml(), QStringLiteral("Cannot open a&lt;b&gt;.txt &amp; \"c\"<br/>second line"));

        const UserText joined = UserText::rich(QStringLiteral("Error:<br/>")) + file;
        QVERIFY(joined.isRich());
        QCOMPARE(joined.text(), QStringLiteral("Error:<br/>") + file.toHtml());
        QCOMPARE(joined.toPlainText(), QStringLiteral("Error:\n") + file.text());
        QCOMPARE(UserText::plain(QStringLiteral("a<")) + UserText::plain(QStringLiteral("b>")),
                 UserText::plain(QStringLiteral("a<b>")));
    }

    void cancelEndsAWaitForTips()
    {
        ProgressChannel channel(nullptr);
        channel.setWaitingTips(true);
        channel.setCancelled(true);
        channel.waitForTips(); // returns at once
        QVERIFY(channel.isCancelled());
    }

    void withoutReceiverNothingWaits()
    {
        ProgressChannel channel;
        channel.postProgress(QStringLiteral("x"), 1);
        channel.postTipsWait(UserText::plain(QStringLiteral("nobody reads this")));
        QVERIFY(!channel.isWaitingTips());
    }
};

QTEST_GUILESS_MAIN(TestProgressChannel)
#include "tst_progresschannel.moc"
