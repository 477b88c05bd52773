#include "app/OnDemandFiles.h"
#include "db/BackupPasswords.h"
#include "db/IOSMemberViberDb.h"
#include "db/IPhoneBackup.h"
#include "db/ViberCodes.h"
#include "db/ViberSourceDetector.h"
#include "db/ViberText.h"
#include "ops/ExtractMediaFilesThread.h"
#include "tests/support/IPhoneBackupFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QString text(const char* key)
{
    return QCoreApplication::translate("Velliport", key);
}

} // namespace

// Viber's history read straight from an iPhone backup folder, through its manifest.
class TestIPhoneBackup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
        m_fixture = std::make_unique<IPhoneBackupFixture>();
        m_before = IPhoneBackupFixture::snapshot(m_fixture->folder());
        QCOMPARE(ViberSourceDetector::detect(m_fixture->folder()),
                 ViberSourceDetector::Generation::IOSBackup);
        std::unique_ptr<AbsViberDb> reader = ViberSourceDetector::iosBackupReader(m_fixture->folder());
        QVERIFY(dynamic_cast<IOSMemberViberDb*>(reader.get()));
        m_data = reader->load();
        m_whileOpen = IPhoneBackupFixture::snapshot(m_fixture->folder());
    }

    void backupIsOnlyRead()
    {
        QVERIFY(m_before.size() >= 7);
        QCOMPARE(m_whileOpen, m_before);
        QCOMPARE(IPhoneBackupFixture::snapshot(m_fixture->folder()), m_before);
    }

    void chatsAndMessages()
    {
        QCOMPARE(m_data->chats.size(), 3);
        QCOMPARE(m_data->chats.value(2)->name, QStringLiteral("Amigos"));
        QCOMPARE(m_data->chats.value(2)->participants.size(), 3);
        QCOMPARE(m_data->persons.value(1)->name, QStringLiteral("Lucía Fernández"));
        // the container's fourteen lines and the one the backup holds only in the -wal
        QCOMPARE(m_data->messages.size(), 15);
        QCOMPARE(m_data->messages.value(13)->text, QLatin1String(IPhoneBackupFixture::WalOnlyText));
        QCOMPARE(ViberText::summaryText(*m_data->messages.value(2)), QStringLiteral("Muy bien [EMOJI]"));
        QCOMPARE(m_data->messages.value(7)->type, int(ViberMsgType::Call));
        QCOMPARE(m_data->calls.size(), 2);
    }

    // Media are found through the manifest; a row whose file id would leave the folder,
    // and a file the backup does not hold, give no file.
    void media()
    {
        const _ViberAtta* picture = m_data->messages.value(4)->attachment;
        QVERIFY(picture);
        QCOMPARE(picture->localPath, m_fixture->storedPath(QLatin1String(IPhoneBackup::ViberAppDomain),
                                                           QLatin1String(IPhoneBackupFixture::PictureFile)));
        QCOMPARE(TestEnvironment::readFile(picture->localPath), IPhoneBackupFixture::pictureBytes());
        QCOMPARE(picture->fileName, QStringLiteral("IMG_0001.jpg"));
        // the stored file is named by its hash; an extracted copy still gets the suffix
        QTemporaryDir target;
        const QString extracted = ExtractMediaFilesThread::extract(*m_data->messages.value(4), target.path());
        QVERIFY(extracted.endsWith(QLatin1String(".jpg")));
        QCOMPARE(TestEnvironment::readFile(extracted), IPhoneBackupFixture::pictureBytes());
        const _ViberAtta* voice = m_data->messages.value(5)->attachment;
        QVERIFY(voice);
        QCOMPARE(voice->localPath, QString());
        QCOMPARE(m_data->messages.value(12)->attachment->localPath, QString());
    }

    void plainTexts_data()
    {
        QTest::addColumn<int>("shape");
        QTest::addColumn<QString>("message");
        QTest::newRow("encrypted, said by Manifest.plist")
            << int(IPhoneBackupFixture::Shape::EncryptedByProperties) << text("IDS_IPHONE_BACKUP_ENCRYPTED");
        QTest::newRow("encrypted manifest")
            << int(IPhoneBackupFixture::Shape::EncryptedManifest) << text("IDS_IPHONE_BACKUP_ENCRYPTED");
        QTest::newRow("damaged manifest")
            << int(IPhoneBackupFixture::Shape::DamagedManifest) << text("IDS_IPHONE_BACKUP_DAMAGED");
        QTest::newRow("manifest without its file list")
            << int(IPhoneBackupFixture::Shape::ManifestWithoutFiles) << text("IDS_IPHONE_BACKUP_DAMAGED");
        QTest::newRow("no Viber") << int(IPhoneBackupFixture::Shape::WithoutViber)
                                  << text("IDS_IPHONE_BACKUP_NO_VIBER");
        QTest::newRow("still being written")
            << int(IPhoneBackupFixture::Shape::Unfinished) << text("IDS_IPHONE_BACKUP_UNFINISHED");
    }

    void plainTexts()
    {
        QFETCH(int, shape);
        QFETCH(QString, message);
        QVERIFY(message.startsWith(QLatin1String("This ")) || message.startsWith(QLatin1String("The ")));
        const IPhoneBackupFixture fixture{IPhoneBackupFixture::Shape(shape)};
        const QMap<QString, QByteArray> before = IPhoneBackupFixture::snapshot(fixture.folder());
        QCOMPARE(ViberSourceDetector::detect(fixture.folder()), ViberSourceDetector::Generation::IOSBackup);
        QString caught;
        try {
            ViberSourceDetector::iosBackupReader(fixture.folder())->load();
        } catch (const std::exception& e) {
            caught = QString::fromUtf8(e.what());
        }
        QCOMPARE(caught, message);
        QCOMPARE(IPhoneBackupFixture::snapshot(fixture.folder()), before);
    }

    // An encrypted backup reads as the plain one once its password is given: no password
    // and a wrong one say so and decrypt nothing; the right one gives the same history.
    // A picture is decrypted into a private folder only when first read, and the keys'
    // folder goes with the data set; the backup stays untouched.
    void encrypted_data()
    {
        QTest::addColumn<int>("shape");
        QTest::newRow("iOS 10.2 and later") << int(IPhoneBackupFixture::Shape::Encrypted);
        QTest::newRow("iOS 10.0, the manifest plain") << int(IPhoneBackupFixture::Shape::EncryptedFilesOnly);
    }

    void encrypted()
    {
        QFETCH(int, shape);
        const IPhoneBackupFixture fixture{IPhoneBackupFixture::Shape(shape)};
        const QMap<QString, QByteArray> before = IPhoneBackupFixture::snapshot(fixture.folder());
        const QStringList tempBefore = QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const auto failure = [&] {
            try {
                ViberSourceDetector::iosBackupReader(fixture.folder())->load();
            } catch (const std::exception& e) {
                return QString::fromUtf8(e.what());
            }
            return QString();
        };
        QCOMPARE(failure(), text("IDS_IPHONE_BACKUP_ENCRYPTED"));
        BackupPasswords::remember(fixture.folder(),
                                  SecretBytes::fromUtf8(QStringLiteral("not the password")));
        QCOMPARE(failure(), text("IDS_IPHONE_BACKUP_WRONG_PASSWORD"));
        QVERIFY(!BackupPasswords::password(fixture.folder())); // asked again next time
        QCOMPARE(QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), tempBefore);

        BackupPasswords::remember(fixture.folder(),
                                  SecretBytes::fromUtf8(QString::fromUtf8(IPhoneBackupFixture::Password)));
        ViberDataSetPtr data = ViberSourceDetector::iosBackupReader(fixture.folder())->load();
        QCOMPARE(data->messages.size(), m_data->messages.size());
        QCOMPARE(data->messages.value(13)->text, QLatin1String(IPhoneBackupFixture::WalOnlyText));
        const QString picture = data->messages.value(4)->attachment->localPath;
        QVERIFY(!picture.startsWith(fixture.folder()));
        QVERIFY(!QFileInfo::exists(picture));
        QVERIFY(OnDemandFiles::prepare(picture));
        QCOMPARE(TestEnvironment::readFile(picture), IPhoneBackupFixture::pictureBytes());
        QCOMPARE(QFileInfo(picture).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
        QCOMPARE(QFileInfo(QFileInfo(picture).path()).permissions() & (QFile::ExeGroup | QFile::ExeOther),
                 QFile::Permissions());
        QCOMPARE(IPhoneBackupFixture::snapshot(fixture.folder()), before);
        data.reset();
        QVERIFY(!QFileInfo::exists(QFileInfo(picture).path()));
        QVERIFY(!OnDemandFiles::prepare(picture));
        QCOMPARE(QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), tempBefore);
    }

    // Only a folder holding Manifest.db is a backup; the manifest alone is no Viber file.
    void detection()
    {
        QTemporaryDir empty;
        QCOMPARE(ViberSourceDetector::detect(empty.path()), ViberSourceDetector::Generation::Missing);
        const QString manifest =
            QDir(m_fixture->folder()).filePath(QLatin1String(IPhoneBackup::ManifestFile));
        QCOMPARE(ViberSourceDetector::detect(manifest), ViberSourceDetector::Generation::Unknown);
    }

private:
    std::unique_ptr<IPhoneBackupFixture> m_fixture;
    QMap<QString, QByteArray> m_before;
    QMap<QString, QByteArray> m_whileOpen;
    ViberDataSetPtr m_data;
};

QTEST_GUILESS_MAIN(TestIPhoneBackup)
#include "tst_iphonebackup.moc"
