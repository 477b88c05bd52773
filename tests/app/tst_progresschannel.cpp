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
            channel.postSucceed(QStringLiteral("done"));
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
        QCOMPARE(receiver.successes, QStringList({QStringLiteral("done")}));
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
            channel.postTipsWait(QStringLiteral("confirm on the phone"));
            channel.waitForTips();
            resumed = true;
            channel.postSucceed(QString());
        }));
        worker->start();
        QVERIFY(receiver.waitForOutcome(5000));
        worker->wait();
        QVERIFY(resumed);
        QCOMPARE(receiver.tips, QStringList({QStringLiteral("confirm on the phone")}));
        QVERIFY(!channel.isWaitingTips());
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
        channel.postTipsWait(QStringLiteral("nobody reads this"));
        QVERIFY(!channel.isWaitingTips());
    }
};

QTEST_GUILESS_MAIN(TestProgressChannel)
#include "tst_progresschannel.moc"
