#include "app/HugePageHeap.h"

#include <QFile>
#include <QFileInfo>
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
    QString name;
};

// Runs the probe with the environment variables given (a null value: not set at all).
// With a loader given, the probe is started through it ("ld-linux.so PROBE ...").
ProbeRun runProbe(const QString& kernelSetting, const QHash<QString, QString>& variables,
                  const QStringList& args = {}, const QString& loader = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"GLIBC_TUNABLES", "VELLIPORT_HEAP_RESTART", "LD_PRELOAD"})
        environment.remove(QLatin1String(name));
    for (auto it = variables.begin(); it != variables.end(); ++it) {
        if (!it.value().isNull())
            environment.insert(it.key(), it.value());
    }
    QProcess probe;
    probe.setProcessEnvironment(environment);
    const QString program = QStringLiteral(HUGEPAGE_PROBE);
    if (loader.isEmpty())
        probe.start(program, QStringList{kernelSetting} + args);
    else
        probe.start(loader, QStringList{program, kernelSetting} + args);
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
        else if (line.startsWith(QLatin1String("name=")))
            run.name = value;
    }
    return run;
}

ProbeRun runWithTunables(const QString& tunables)
{
    return runProbe(QStringLiteral("always [madvise] never"), {{QStringLiteral("GLIBC_TUNABLES"), tunables}});
}

// Whether this machine's kernel gives huge pages to a heap that asks for them.
bool kernelGivesHugePagesOnRequest()
{
    QFile setting(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    return setting.open(QIODevice::ReadOnly) && setting.readAll().contains("[madvise]");
}

const QString Unset = QStringLiteral("(unset)");

} // namespace

class TestHugePageHeap : public QObject
{
    Q_OBJECT

private slots:
    void wantedOnlyWhereItHelpsAndTheUserHasNotChosen_data()
    {
        const QString onRequest = QStringLiteral("always [madvise] never");
        QTest::addColumn<QString>("kernel");
        QTest::addColumn<QString>("tunables");
        QTest::addColumn<bool>("wanted");
        QTest::newRow("madvise") << onRequest << QString() << true;
        QTest::newRow("always: glibc ignores the tunable")
            << QStringLiteral("[always] madvise never") << QString() << false;
        QTest::newRow("never") << QStringLiteral("always madvise [never]") << QString() << false;
        QTest::newRow("no such file") << QString() << QString() << false;
        QTest::newRow("other tunables") << onRequest << QStringLiteral("glibc.malloc.tcache_count=0") << true;
        QTest::newRow("user said no") << onRequest << QStringLiteral("glibc.malloc.hugetlb=0") << false;
        QTest::newRow("user said yes, among others")
            << onRequest << QStringLiteral("glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1") << false;
        QTest::newRow("a longer name is another tunable")
            << onRequest << QStringLiteral("glibc.malloc.hugetlbx=1:xglibc.malloc.hugetlb=0") << true;
    }
    void wantedOnlyWhereItHelpsAndTheUserHasNotChosen()
    {
        QFETCH(QString, kernel);
        QFETCH(QString, tunables);
        QFETCH(bool, wanted);
        QCOMPARE(HugePageHeap::wanted(kernel.toStdString(), tunables.toStdString()), wanted);
    }

    // Feature strings as a balloon device lists them, one character per bit from bit 0.
    void freePageReportingReadFromTheBalloonsFeatures()
    {
        // A KVM guest's balloon: statistics, deflate on shortage, free page reporting.
        QVERIFY(HugePageHeap::freePagesReported(
            "0110010100000000000000000000000010000000000000000000000000000000"));
        QVERIFY(!HugePageHeap::freePagesReported(
            "0110000100000000000000000000000010000000000000000000000000000000"));
        QVERIFY(!HugePageHeap::freePagesReported("01100"));
        QVERIFY(!HugePageHeap::freePagesReported(""));
    }

    // The program starts once more with the tunable added, keeping what it printed
    // before, its arguments and its name; once restarted it has the environment it was
    // given.
    void restartKeepsArgumentsAndEnvironment()
    {
        const QStringList args{QStringLiteral("two words"), QStringLiteral("M\u00fcnchen"), QString()};
        const ProbeRun fresh = runProbe(QStringLiteral("always [madvise] never"),
                                        {{QStringLiteral("GLIBC_TUNABLES"), QString()}}, args);
        QCOMPARE(fresh.starts, 2);
        QCOMPARE(fresh.tunables, Unset);
        QCOMPARE(fresh.restartVariable, QStringLiteral("unset"));
        QCOMPARE(fresh.args, args);
        QCOMPARE(fresh.name, QFileInfo(QStringLiteral(HUGEPAGE_PROBE)).fileName().left(15));

        const QString others = QStringLiteral("glibc.malloc.tcache_count=3");
        const ProbeRun tuned = runWithTunables(others);
        QCOMPARE(tuned.starts, 2);
        QCOMPARE(tuned.tunables, others);
        QCOMPARE(tuned.restartVariable, QStringLiteral("unset"));

        const ProbeRun empty = runWithTunables(QStringLiteral(""));
        QCOMPARE(empty.starts, 2);
        QCOMPARE(empty.tunables, QString());
        QCOMPARE(empty.restartVariable, QStringLiteral("unset"));
    }

    void noRestartWhereItCannotHelp()
    {
        const ProbeRun always = runProbe(QStringLiteral("[always] madvise never"), {});
        QCOMPARE(always.starts, 1);

        const QString declined = QStringLiteral("glibc.malloc.hugetlb=0");
        const ProbeRun user = runWithTunables(declined);
        QCOMPARE(user.starts, 1);
        QCOMPARE(user.tunables, declined);

        // A preloaded library may be another allocator or a tool watching the program.
        const ProbeRun preloaded = runProbe(QStringLiteral("always [madvise] never"),
                                            {{QStringLiteral("LD_PRELOAD"), QStringLiteral("libm.so.6")}});
        QCOMPARE(preloaded.starts, 1);
        QCOMPARE(preloaded.tunables, Unset);
    }

    // Started through the dynamic loader, /proc/self/exe is the loader, which would take
    // the program's first argument for the program to run.
    void startThroughTheLoaderIsNotRestarted()
    {
        QString loader;
        for (const char* path : {"/lib64/ld-linux-x86-64.so.2", "/lib/ld-linux-aarch64.so.1"}) {
            if (QFile::exists(QLatin1String(path)))
                loader = QLatin1String(path);
        }
        if (loader.isEmpty())
            QSKIP("no dynamic loader at a known path");
        const ProbeRun run =
            runProbe(QStringLiteral("always [madvise] never"), {}, {QStringLiteral("x")}, loader);
        QCOMPARE(run.starts, 1);
        QCOMPARE(run.args, QStringList{QStringLiteral("x")});
        QCOMPARE(run.tunables, Unset);
    }

    // A restart the system refuses (here an environment string over the kernel's
    // 128 KiB limit once the tunable is added) leaves the program running as started.
    void refusedRestartGoesOnAsStarted()
    {
        const QString longest = QStringLiteral("glibc.malloc.tcache_count=3:") + QString(131040 - 30, u'x') +
                                QStringLiteral("=1");
        const ProbeRun refused = runWithTunables(longest);
        QCOMPARE(refused.starts, 1);
        QCOMPARE(refused.tunables, longest);
        QCOMPARE(refused.restartVariable, QStringLiteral("unset"));
    }

    // Only a value the restart itself wrote is put back: a stray variable of that name
    // leaves the user's GLIBC_TUNABLES as it is.
    void strayRestartVariableKeepsTheUsersTunables()
    {
        const QString others = QStringLiteral("glibc.malloc.tcache_count=3");
        const ProbeRun stray =
            runProbe(QStringLiteral("always [madvise] never"),
                     {{QStringLiteral("GLIBC_TUNABLES"), others},
                      {QStringLiteral("VELLIPORT_HEAP_RESTART"), QStringLiteral("left over")}});
        QCOMPARE(stray.tunables, others);
        QCOMPARE(stray.restartVariable, QStringLiteral("unset"));
    }

    // The restart is what puts the heap on huge pages, with other tunables given or
    // not: the same program declining it keeps small pages.
    void restartedHeapMayTakeHugePages()
    {
        if (!kernelGivesHugePagesOnRequest())
            QSKIP("this kernel gives no transparent huge pages on request");
        QCOMPARE(runWithTunables(QString()).heapHugePages, QStringLiteral("1"));
        QCOMPARE(runWithTunables(QStringLiteral("glibc.malloc.tcache_count=3")).heapHugePages,
                 QStringLiteral("1"));
        QCOMPARE(runWithTunables(QStringLiteral("glibc.malloc.hugetlb=0")).heapHugePages,
                 QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TestHugePageHeap)
#include "tst_hugepageheap.moc"
