#include "db/Emoticons.h"

#include <QSet>
#include <QTest>
#include <QThread>
#include <QtEndian>

namespace {

QList<QList<int>> records(const QByteArray& ranges)
{
    QList<QList<int>> result;
    for (int i = 0; i + 12 <= ranges.size(); i += 12) {
        const char* p = ranges.constData() + i;
        result.append({qFromLittleEndian<qint32>(p), qFromLittleEndian<qint32>(p + 4),
                       qFromLittleEndian<qint32>(p + 8)});
    }
    return result;
}

} // namespace

class TestEmoticons : public QObject
{
    Q_OBJECT

private slots:
    void table()
    {
        const QHash<QString, int>& table = Emoticons::emoticonTable();
        QCOMPARE(table.size(), 85);
        QSet<int> numbers;
        for (int n : table)
            numbers.insert(n);
        QSet<int> expected;
        for (int n = 0; n <= 73; ++n)
            expected.insert(n);
        expected.remove(57);
        for (int n = 107; n <= 118; ++n)
            expected.insert(n);
        QCOMPARE(numbers, expected);
        QCOMPARE(table.value(QStringLiteral("($)")), 1);
        QCOMPARE(table.value(QStringLiteral("(!)")), 0);
    }

    void ranges_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<QList<int>>>("expected");
        QTest::newRow("smiley hi sad")
            << QStringLiteral("(smiley) hi (sad)") << QList<QList<int>>{{0, 8, 58}, {12, 5, 53}};
        QTest::newRow("no parentheses") << QStringLiteral("hello") << QList<QList<int>>{};
        QTest::newRow("unknown words") << QStringLiteral("(hello) (world)") << QList<QList<int>>{};
        QTest::newRow("case-sensitive") << QStringLiteral("(Smiley)") << QList<QList<int>>{};
        QTest::newRow("nested") << QStringLiteral("((sad))") << QList<QList<int>>{{1, 5, 53}};
        QTest::newRow("after emoji") << QStringLiteral("\U0001F600(TV)") << QList<QList<int>>{{2, 4, 67}};
        QTest::newRow("adjacent") << QStringLiteral("($)($)") << QList<QList<int>>{{0, 3, 1}, {3, 3, 1}};
    }

    void ranges()
    {
        QFETCH(QString, text);
        QFETCH(QList<QList<int>>, expected);
        const QByteArray bytes = Emoticons::emoticonRanges(text);
        QCOMPARE(bytes.size(), expected.size() * 12);
        QCOMPARE(records(bytes), expected);
    }

    void firstUseFromManyThreads()
    {
        QList<QThread*> threads;
        QAtomicInt wrong = 0;
        for (int i = 0; i < 4; ++i) {
            threads.append(QThread::create([&wrong] {
                if (Emoticons::emoticonRanges(QStringLiteral("(smiley)")).size() != 12)
                    wrong.ref();
            }));
        }
        for (QThread* t : threads)
            t->start();
        for (QThread* t : threads) {
            t->wait();
            delete t;
        }
        QCOMPARE(wrong.loadRelaxed(), 0);
    }
};

QTEST_GUILESS_MAIN(TestEmoticons)
#include "tst_emoticons.moc"
