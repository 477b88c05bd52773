#include "app/MessageLog.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

QString todaysLog(const QString& folder)
{
    return QDir(folder).filePath(
        QStringLiteral("log-%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
}

QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestMessageLog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { MessageLog::reset(); }

    void pruning_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("left");
        QTest::newRow("12 files") << 12 << 10;
        QTest::newRow("10 files") << 10 << 10;
        QTest::newRow("3 files") << 3 << 3;
    }

    void pruning()
    {
        QFETCH(int, files);
        QFETCH(int, left);
        QTemporaryDir dir;
        for (int i = 1; i <= files; ++i)
            touch(dir.filePath(QStringLiteral("log-202601%1.txt").arg(i, 2, 10, QLatin1Char('0'))));
        MessageLog::install(dir.path(), 10);
        MessageLog::reset();
        const QStringList remaining = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(remaining.size(), left);
        // the names that sort last are the newest logs and stay
        QCOMPARE(remaining.last(), QStringLiteral("log-202601%1.txt").arg(files, 2, 10, QLatin1Char('0')));
        if (files > 10)
            QCOMPARE(remaining.first(), QStringLiteral("log-20260103.txt"));
    }

    void lineFormat()
    {
        QCOMPARE(MessageLog::formatLine(QtDebugMsg, QStringLiteral("09:08:07"), QStringLiteral("hi")),
                 QStringLiteral("(D 09:08:07) hi\n"));
        QCOMPARE(MessageLog::formatLine(QtWarningMsg, QStringLiteral("t"), QStringLiteral("m")),
                 QStringLiteral("(W t) m\n"));
        QCOMPARE(MessageLog::formatLine(QtCriticalMsg, QStringLiteral("t"), QStringLiteral("m")),
                 QStringLiteral("(C t) m\n"));
        QCOMPARE(MessageLog::formatLine(QtFatalMsg, QStringLiteral("t"), QStringLiteral("m")),
                 QStringLiteral("(F t) m\n"));
        QCOMPARE(MessageLog::formatLine(QtInfoMsg, QStringLiteral("t"), QStringLiteral("m")),
                 QStringLiteral("(t) m\n"));
    }

    void appendsToTheDaysFile()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("qlogs")); // created at the first message
        QDir().mkpath(folder);
        {
            QFile existing(todaysLog(folder));
            QVERIFY(existing.open(QIODevice::WriteOnly));
            existing.write("(D 00:00:00) earlier run\n");
        }
        MessageLog::install(folder, 10);
        qDebug("first %s", "line");
        qWarning("Grüße");
        MessageLog::reset();
        const QStringList lines = readLines(todaysLog(folder));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0), QStringLiteral("(D 00:00:00) earlier run"));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\(D \\d\\d:\\d\\d:\\d\\d\\) first line$"))
                     .match(lines.at(1))
                     .hasMatch(),
                 qPrintable(lines.at(1)));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\(W \\d\\d:\\d\\d:\\d\\d\\) Grüße$"))
                     .match(lines.at(2))
                     .hasMatch(),
                 qPrintable(lines.at(2)));
    }

    void createsMissingFolder()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("a/b/qlogs"));
        MessageLog::install(folder, 10);
        qDebug("hello");
        MessageLog::reset();
        QCOMPARE(readLines(todaysLog(folder)).size(), 1);
    }

    // Lines from worker threads arrive whole, one per message.
    void threadsDoNotInterleave()
    {
        QTemporaryDir dir;
        MessageLog::install(dir.path(), 10);
        constexpr int Threads = 4;
        constexpr int PerThread = 200;
        QList<QThread*> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.append(QThread::create([t] {
                for (int i = 0; i < PerThread; ++i)
                    qWarning("thread %d message %d %s", t, i, "abcdefghijklmnopqrstuvwxyz");
            }));
            threads.last()->start();
        }
        for (QThread* thread : threads) {
            thread->wait();
            delete thread;
        }
        MessageLog::reset();
        const QStringList lines = readLines(todaysLog(dir.path()));
        QCOMPARE(lines.size(), Threads * PerThread);
        const QRegularExpression shape(QStringLiteral(
            "^\\(W \\d\\d:\\d\\d:\\d\\d\\) thread \\d message \\d+ abcdefghijklmnopqrstuvwxyz$"));
        for (const QString& line : lines)
            QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestMessageLog)
#include "tst_messagelog.moc"
