#include "app/HugePageHeap.h"

#include <QFile>
#include <QProcess>
#include <QTest>

namespace {

struct ProbeRun
{
    int starts = 0;
    QString tunables;
    QString restartVariable;
    QStringList args;
    QString heapHugePages;
};

// Runs the probe with GLIBC_TUNABLES as given (a null value: not set at all).
ProbeRun runProbe(const QString& kernelSetting, const QString& tunables, const QStringList& args = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GLIBC_TUNABLES"));
    environment.remove(QStringLiteral("VELLIPORT_HEAP_RESTART"));
    if (!tunables.isNull())
        environment.insert(QStringLiteral("GLIBC_TUNABLES"), tunables);
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(HUGEPAGE_PROBE), QStringList{kernelSetting} + args);
    ProbeRun run;
    if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0) {
        qWarning("probe failed: %s", probe.readAllStandardError().constData());
        return run;
    }
    for (const QString& line : QString::fromUtf8(probe.readAllStandardOutput()).split(u'\n')) {
        const QString value = line.section(u'=', 1);
        if (line == QLatin1String("start"))
            ++run.starts;
        else if (line.startsWith(QLatin1String("tunables=")))
            run.tunables = value;
        else if (line.startsWith(QLatin1String("restart_variable=")))
            run.restartVariable = value;
        else if (line.startsWith(QLatin1String("arg=")))
            run.args.append(value);
        else if (line.startsWith(QLatin1String("heap_huge_pages=")))
            run.heapHugePages = value;
    }
    return run;
}

// Whether this machine's kernel gives huge pages to a heap that asks for them.
bool kernelOffersHugePages()
{
    QFile setting(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    if (!setting.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = setting.readAll();
    return text.contains("[always]") || text.contains("[madvise]");
}

const QString Offered = QStringLiteral("always [madvise] never");

} // namespace

class TestHugePageHeap : public QObject
{
    Q_OBJECT

private slots:
    void wantedOnlyWhereItHelpsAndTheUserHasNotChosen_data()
    {
        QTest::addColumn<QString>("kernel");
        QTest::addColumn<QString>("tunables");
        QTest::addColumn<bool>("wanted");
        QTest::newRow("madvise") << Offered << QString() << true;
        QTest::newRow("always") << QStringLiteral("[always] madvise never") << QString() << true;
        QTest::newRow("never") << QStringLiteral("always madvise [never]") << QString() << false;
        QTest::newRow("no such file") << QString() << QString() << false;
        QTest::newRow("other tunables") << Offered << QStringLiteral("glibc.malloc.tcache_count=0") << true;
        QTest::newRow("user said no") << Offered << QStringLiteral("glibc.malloc.hugetlb=0") << false;
        QTest::newRow("user said yes, among others")
            << Offered << QStringLiteral("glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1") << false;
        QTest::newRow("a longer name is another tunable")
            << Offered << QStringLiteral("glibc.malloc.hugetlbx=1:xglibc.malloc.hugetlb=0") << true;
    }
    void wantedOnlyWhereItHelpsAndTheUserHasNotChosen()
    {
        QFETCH(QString, kernel);
        QFETCH(QString, tunables);
        QFETCH(bool, wanted);
        QCOMPARE(HugePageHeap::wanted(kernel.toStdString(), tunables.toStdString()), wanted);
    }

    // The program starts once more with huge pages, with what it printed before, its
    // arguments and, once restarted, the environment it was given.
    void restartKeepsArgumentsAndEnvironment()
    {
        const QStringList args{QStringLiteral("two words"), QStringLiteral("M\u00fcnchen"), QString()};
        const ProbeRun fresh = runProbe(Offered, QString(), args);
        QCOMPARE(fresh.starts, 2);
        QCOMPARE(fresh.tunables, QStringLiteral("(unset)"));
        QCOMPARE(fresh.restartVariable, QStringLiteral("unset"));
        QCOMPARE(fresh.args, args);

        const ProbeRun tuned = runProbe(Offered, QStringLiteral("glibc.malloc.tcache_count=3"));
        QCOMPARE(tuned.starts, 2);
        QCOMPARE(tuned.tunables, QStringLiteral("glibc.malloc.tcache_count=3"));
        QCOMPARE(tuned.restartVariable, QStringLiteral("unset"));

        const ProbeRun empty = runProbe(Offered, QStringLiteral(""));
        QCOMPARE(empty.starts, 2);
        QCOMPARE(empty.tunables, QString());
    }

    void noRestartWithoutHugePagesOrAgainstTheUser()
    {
        const ProbeRun never = runProbe(QStringLiteral("always madvise [never]"), QString());
        QCOMPARE(never.starts, 1);
        QCOMPARE(never.tunables, QStringLiteral("(unset)"));

        const ProbeRun declined = runProbe(Offered, QStringLiteral("glibc.malloc.hugetlb=0"));
        QCOMPARE(declined.starts, 1);
        QCOMPARE(declined.tunables, QStringLiteral("glibc.malloc.hugetlb=0"));
        QCOMPARE(declined.restartVariable, QStringLiteral("unset"));
    }

    // The restart is what puts the heap on huge pages: the same program declining it
    // keeps small pages.
    void restartedHeapMayTakeHugePages()
    {
        if (!kernelOffersHugePages())
            QSKIP("this kernel gives no transparent huge pages");
        QCOMPARE(runProbe(Offered, QString()).heapHugePages, QStringLiteral("1"));
        QCOMPARE(runProbe(Offered, QStringLiteral("glibc.malloc.hugetlb=0")).heapHugePages,
                 QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TestHugePageHeap)
#include "tst_hugepageheap.moc"
