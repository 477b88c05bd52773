#include "app/KeyTranslator.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

class AndroidLoadViberThread
{
    Q_DECLARE_TR_FUNCTIONS(AndroidLoadViberThread)
public:
    static QString text(const char* key) { return tr(key); }
};

class AndroidRestoreViberThread
{
    Q_DECLARE_TR_FUNCTIONS(AndroidRestoreViberThread)
public:
    static QString text(const char* key) { return tr(key); }
};

class SomeForm
{
    Q_DECLARE_TR_FUNCTIONS(SomeForm)
public:
    static QString text(const char* key) { return tr(key); }
};

class TestTranslation : public QObject
{
    Q_OBJECT

    KeyTranslator m_translator;

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }

    void sharedKeysFromAnyClass()
    {
        QCOMPARE(SomeForm::text("IDS_SUC_CLEAR_CACHE"), QStringLiteral("Successfully cleared cache files."));
        QCOMPARE(AndroidLoadViberThread::text("IDS_SUC_CLEAR_CACHE"),
                 QStringLiteral("Successfully cleared cache files."));
    }

    // One key, two texts: the class's own entry wins over the shared one.
    void classContextWins()
    {
        QVERIFY(AndroidLoadViberThread::text("IDS_ROOT_ROUTINE_FAILED_WILL_TRY_ADBBACKUP")
                    .startsWith(QLatin1String("Failed to backup data from your root device.")));
        QVERIFY(AndroidRestoreViberThread::text("IDS_ROOT_ROUTINE_FAILED_WILL_TRY_ADBBACKUP")
                    .startsWith(QLatin1String("Failed to restore history to your root device.")));
    }

    void unknownKeyShowsItself()
    {
        QCOMPARE(SomeForm::text("IDS_NOT_A_KEY"), QStringLiteral("IDS_NOT_A_KEY"));
    }

    // Every key in the source file made it into the compiled translation with a text.
    void everyKeyHasAText()
    {
        QFile ts(QStringLiteral(VELLIPORT_SOURCE_DIR "/resources/en.ts"));
        QVERIFY(ts.open(QIODevice::ReadOnly));
        const QString content = QString::fromUtf8(ts.readAll());
        const QRegularExpression source(QStringLiteral("<source>(IDS_[^<]+)</source>"));
        int keys = 0;
        for (auto it = source.globalMatch(content); it.hasNext();) {
            const QByteArray key = it.next().captured(1).toUtf8();
            const QString text = SomeForm::text(key.constData());
            QVERIFY2(text != QString::fromUtf8(key) && !text.isEmpty(), key.constData());
            ++keys;
        }
        QVERIFY(keys >= 99);
    }
};

QTEST_GUILESS_MAIN(TestTranslation)
#include "tst_translation.moc"
