#include "app/AppDirs.h"
#include "app/LocalFileIndex.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

void writeRedirect(const QString& appData, const QByteArray& content)
{
    QDir().mkpath(appData + QStringLiteral("/Kestrune"));
    QFile f(appData + QStringLiteral("/Kestrune/5A3C19E0B27F4D6C8E01F4A9D3B7C260.redirect"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

class TestAppDirs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnvironment::requireScratchDataHome(); }

    void dataFolderIsBelowTheDataHome()
    {
        const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        const QString folder = AppDirs::dataFolder();
        QCOMPARE(folder,
                 QDir(home).absoluteFilePath(QStringLiteral("Kestrune/5A3C19E0B27F4D6C8E01F4A9D3B7C260")));
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(QFileInfo(AppDirs::localDatabasesFolder()).isDir());
        QCOMPARE(AppDirs::logFolder(), folder + QStringLiteral("/qlogs"));
    }

    void redirect_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("none") << QStringLiteral("none");
        QTest::newRow("missing folder") << QStringLiteral("missing");
        QTest::newRow("trailing newline") << QStringLiteral("newline");
        QTest::newRow("existing folder") << QStringLiteral("existing");
    }

    void redirect()
    {
        QFETCH(QString, kind);
        QTemporaryDir appData;
        QTemporaryDir elsewhere;
        const QString fallback =
            appData.path() + QStringLiteral("/Kestrune/5A3C19E0B27F4D6C8E01F4A9D3B7C260");
        if (kind == QLatin1String("missing"))
            writeRedirect(appData.path(), (elsewhere.path() + QStringLiteral("/gone")).toUtf8());
        else if (kind == QLatin1String("newline"))
            writeRedirect(appData.path(), elsewhere.path().toUtf8() + '\n');
        else if (kind == QLatin1String("existing"))
            writeRedirect(appData.path(), elsewhere.path().toUtf8());
        const QString expected = kind == QLatin1String("existing")
                                     ? elsewhere.path() + QStringLiteral("/5A3C19E0B27F4D6C8E01F4A9D3B7C260")
                                     : fallback;
        QCOMPARE(AppDirs::resolveDataFolder(appData.path()), expected);
    }

    void localDatabaseRegistry()
    {
        QTemporaryDir root;
        touch(root.filePath(QStringLiteral("b-second/Documents/Contacts-kestrune.data")));
        touch(root.filePath(QStringLiteral("a-first/Documents/Contacts-kestrune.data")));
        touch(root.filePath(QStringLiteral("no-database/Documents/other.data")));
        QDir().mkpath(root.filePath(QStringLiteral("empty")));
        touch(root.filePath(QStringLiteral("plain-file")));
        QCOMPARE(AppDirs::localDatabaseNames(root.path()),
                 QStringList({QStringLiteral("a-first"), QStringLiteral("b-second")}));
    }

    void uniqueFileNames()
    {
        QTemporaryDir dir;
        const QString report = dir.filePath(QStringLiteral("report.txt"));
        QCOMPARE(AppDirs::uniqueFileName(report), report);
        touch(report);
        QCOMPARE(AppDirs::uniqueFileName(report), dir.filePath(QStringLiteral("report(1).txt")));
        touch(dir.filePath(QStringLiteral("report(1).txt")));
        QCOMPARE(AppDirs::uniqueFileName(report), dir.filePath(QStringLiteral("report(2).txt")));
        // the base name ends at the first dot, the suffix starts after the last one
        touch(dir.filePath(QStringLiteral("a.b.c")));
        QCOMPARE(AppDirs::uniqueFileName(dir.filePath(QStringLiteral("a.b.c"))),
                 dir.filePath(QStringLiteral("a(1).c")));
        touch(dir.filePath(QStringLiteral("README")));
        QCOMPARE(AppDirs::uniqueFileName(dir.filePath(QStringLiteral("README"))),
                 dir.filePath(QStringLiteral("README(1)")));
        // a dangling link still occupies its name
        QVERIFY(
            QFile::link(dir.filePath(QStringLiteral("nowhere")), dir.filePath(QStringLiteral("link.jpg"))));
        QCOMPARE(AppDirs::uniqueFileName(dir.filePath(QStringLiteral("link.jpg"))),
                 dir.filePath(QStringLiteral("link(1).jpg")));
    }

    void sanitizedNames_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("slash colon blank") << QStringLiteral("a/b:c ") << QStringLiteral("abc");
        QTest::newRow("all forbidden") << QStringLiteral("\\/:*?\"<>|\n\r\tname") << QStringLiteral("name");
        QTest::newRow("parent") << QStringLiteral("..") << QString();
        QTest::newRow("dots") << QStringLiteral(" ... ") << QString();
        QTest::newRow("traversal") << QStringLiteral("../../etc/passwd") << QStringLiteral("....etcpasswd");
        QTest::newRow("windows traversal") << QStringLiteral("..\\..\\x") << QStringLiteral("....x");
        QTest::newRow("control chars") << QStringLiteral("a\x01\x1f"
                                                         "b")
                                       << QStringLiteral("ab");
        QTest::newRow("unicode kept") << QStringLiteral("Grüße 😀.jpg") << QStringLiteral("Grüße 😀.jpg");
        QTest::newRow("dot file kept") << QStringLiteral(".thumbnails") << QStringLiteral(".thumbnails");
        // text that is no valid UTF-16 is sanitised all the same, its stray half replaced
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + QStringLiteral("/../../../../etc/passwd")
                                        << QString(QChar(0xFFFD)) + QStringLiteral("........etcpasswd");
        QTest::newRow("lone low surrogate at the end") << QStringLiteral("a/b") + QString(QChar(0xDC00))
                                                       << QStringLiteral("ab") + QString(QChar(0xFFFD));
    }

    void sanitizedNames()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(AppDirs::sanitizeFileName(input), expected);
    }

    // Every character of the basic plane but the halves of pairs: the control characters
    // (Unicode's category Cc) and the nine that file systems refuse go, the rest stays.
    void sanitizedNamesDropControlsAndSeparatorsOnly()
    {
        for (char32_t code = 0; code <= 0xFFFF; ++code) {
            const QChar c(char16_t(code & 0xFFFF));
            if (c.isSurrogate())
                continue;
            const bool dropped =
                c.category() == QChar::Other_Control || QStringView(u"\\/:*?\"<>|").contains(c);
            const QString expected = dropped ? QStringLiteral("ab") : QStringLiteral("a") + c + u'b';
            if (AppDirs::sanitizeFileName(QStringLiteral("a") + c + u'b') != expected)
                QFAIL(qPrintable(QStringLiteral("U+%1").arg(quint32(code), 4, 16, QLatin1Char('0'))));
        }
    }

    // Names that need no change are handed back without the character-by-character pass;
    // a slash, which that pass drops, makes any name take it. Both ways must agree on
    // names built from what each step of the pass looks at: spaces of several kinds at
    // either end, dots alone, controls, reserved characters, halves of pairs, lengths
    // around the bound.
    void sanitizedNamesTakeNoShortcut()
    {
        const QList<QString> pieces = {QStringLiteral("a"),
                                       QStringLiteral("Ж"),
                                       QStringLiteral("."),
                                       QStringLiteral(" "),
                                       QStringLiteral("\u00a0"),
                                       QStringLiteral("\u2028"),
                                       QStringLiteral("\t"),
                                       QStringLiteral(":"),
                                       QStringLiteral("\u0085"),
                                       QStringLiteral("\U0001F600"),
                                       QString(QChar(0xD83D)),
                                       QString(QChar(0xDE00)),
                                       QStringLiteral("xxxxxxxxxxxxxxxxxxxx"),
                                       QStringLiteral("\x7f")};
        QRandomGenerator random(17);
        for (int round = 0; round < 20000; ++round) {
            QString name;
            for (int n = int(random.bounded(12)); n > 0; --n)
                name += pieces.at(random.bounded(int(pieces.size())));
            const QString direct = AppDirs::sanitizeFileName(name);
            QCOMPARE(direct, AppDirs::sanitizeFileName(name + u'/'));
            QCOMPARE(direct, AppDirs::sanitizeFileName(u'/' + name));
        }
    }

    // File systems count bytes: long names in other scripts are cut by their UTF-8 size,
    // at whole characters.
    void pathsFromDataStayInside_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected"); // empty: refused
        const QString f = QStringLiteral("/base/folder");
        QTest::newRow("plain") << f << "a.jpg"
                               << "/base/folder/a.jpg";
        QTest::newRow("below, cleaned") << f << "sub/./x//y.jpg"
                                        << "/base/folder/sub/x/y.jpg";
        QTest::newRow("down and back up inside") << f << "a/../b"
                                                 << "/base/folder/b";
        QTest::newRow("trailing slash on the folder") << "/base/folder/"
                                                      << "a"
                                                      << "/base/folder/a";
        QTest::newRow("folder named with dots") << "/base/x/../folder"
                                                << "a"
                                                << "/base/folder/a";
        QTest::newRow("file system root") << "/"
                                          << "etc"
                                          << "/etc";
        QTest::newRow("parent") << f << "../x" << QString();
        QTest::newRow("deeper parent") << f << "a/../../x" << QString();
        QTest::newRow("sibling sharing the prefix") << f << "../folder2/x" << QString();
        QTest::newRow("the folder itself") << f << "a/.." << QString();
        QTest::newRow("dot") << f << "." << QString();
        QTest::newRow("absolute") << f << "/etc/passwd" << QString();
        QTest::newRow("empty") << f << "" << QString();
        QTest::newRow("NUL") << f << QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b") << QString();
        QTest::newRow("lone high surrogate")
            << f << QString(QChar(0xD800)) + QStringLiteral("x") << QString();
        QTest::newRow("lone low surrogate") << f << QStringLiteral("x") + QString(QChar(0xDC00)) << QString();
        QTest::newRow("surrogate pair kept")
            << f << QStringLiteral("😀.jpg") << QStringLiteral("/base/folder/😀.jpg");
    }

    void pathsFromDataStayInside()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(AppDirs::pathInside(folder, name), expected);
    }

    void sanitizedNamesAreBounded()
    {
        const QString latin = AppDirs::sanitizeFileName(QString(5000, QLatin1Char('x')));
        QCOMPARE(latin.toUtf8().size(), 200);
        const QString cyrillic = AppDirs::sanitizeFileName(QString(300, QChar(0x0416)));
        QCOMPARE(cyrillic.size(), 100);
        QString emoji;
        for (int i = 0; i < 120; ++i)
            emoji += QStringLiteral("\U0001F600");
        const QString cut = AppDirs::sanitizeFileName(emoji);
        QCOMPARE(cut.toUtf8().size(), 200);
        QVERIFY(!cut.back().isHighSurrogate());
    }

    void removeTreeDoesNotFollowLinks()
    {
        QTemporaryDir dir;
        QTemporaryDir outside;
        const QString keep = outside.filePath(QStringLiteral("keep.txt"));
        touch(keep);
        const QString tree = dir.filePath(QStringLiteral("tree"));
        touch(tree + QStringLiteral("/a/b/c.txt"));
        touch(tree + QStringLiteral("/.hidden"));
        QVERIFY(QFile::link(outside.path(), tree + QStringLiteral("/a/link")));
        AppDirs::removeTree(tree);
        QVERIFY(!QFileInfo::exists(tree));
        QVERIFY(QFileInfo::exists(keep));
        AppDirs::removeTree(dir.filePath(QStringLiteral("never-was"))); // no error
    }

    void removeTreeRefusesTheFoldersHoldingEverything()
    {
        const QString keep =
            AppDirs::localDatabasePath(QStringLiteral("Keep")) + QStringLiteral("/Documents/x");
        touch(keep);
        AppDirs::removeTree(AppDirs::localDatabasesFolder());
        AppDirs::removeTree(AppDirs::dataFolder() + QStringLiteral("/local_databases/../"));
        AppDirs::removeTree(AppDirs::dataFolder());
        QVERIFY(QFileInfo::exists(keep));

        // "..." and "a/b" are refused as names; a plain name goes with its folder.
        QVERIFY(!AppDirs::isValidLocalDatabaseName(QStringLiteral("...")));
        QVERIFY(!AppDirs::isValidLocalDatabaseName(QStringLiteral("a/b")));
        QVERIFY(!AppDirs::isValidLocalDatabaseName(QStringLiteral(" Keep")));
        QVERIFY(!AppDirs::removeLocalDatabase(QStringLiteral("...")));
        QVERIFY(!AppDirs::removeLocalDatabase(QString()));
        QVERIFY(QFileInfo::exists(keep));
        QVERIFY(AppDirs::removeLocalDatabase(QStringLiteral("Keep")));
        QVERIFY(!QFileInfo::exists(AppDirs::localDatabasePath(QStringLiteral("Keep"))));
        QVERIFY(QFileInfo(AppDirs::localDatabasesFolder()).isDir());
    }

    void md5()
    {
        QCOMPARE(AppDirs::md5Hex(QString()), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
        QCOMPARE(AppDirs::md5Hex(QStringLiteral("ü")), QStringLiteral("c03410a5204b21cd8229ff754688d743"));
    }

    // Everything the desktop would open passes the hook: a file, the folder of a file,
    // a folder itself, a web address.
    void shellOpenHook()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("a b#1.txt"));
        touch(file);
        QList<QUrl> opened;
        AppDirs::setShellOpenHook([&opened](const QUrl& url) { opened << url; });
        AppDirs::shellOpen(file);
        AppDirs::openInExplorer(file);
        AppDirs::openInExplorer(dir.path());
        const QUrl web(QStringLiteral("https://example.invalid/?q=1"));
        AppDirs::openUrl(web);
        AppDirs::setShellOpenHook({});
        QCOMPARE(opened, QList<QUrl>({QUrl::fromLocalFile(file), QUrl::fromLocalFile(dir.path()),
                                      QUrl::fromLocalFile(dir.path()), web}));
        QCOMPARE(opened.first().toLocalFile(), file);
    }

    // Only files that are there (and, when asked, hold something) count; a folder is listed once, so
    // a file added later is not seen by the same index.
    void localFileIndexAnswersFromOneListing()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString media = dir.filePath(QStringLiteral("media"));
        touch(media + QStringLiteral("/photo.jpg"));
        touch(media + QStringLiteral("/.hidden"));
        QFile empty(media + QStringLiteral("/empty.jpg"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();

        LocalFileIndex index;
        QVERIFY(index.hasNonEmptyFile(media + QStringLiteral("/photo.jpg")));
        QVERIFY(index.hasNonEmptyFile(media + QStringLiteral("/.hidden")));
        QVERIFY(!index.hasNonEmptyFile(media + QStringLiteral("/empty.jpg")));
        QVERIFY(!index.hasNonEmptyFile(media + QStringLiteral("/never.jpg")));
        QVERIFY(!index.hasNonEmptyFile(dir.filePath(QStringLiteral("missing/photo.jpg"))));
        QVERIFY(!index.hasNonEmptyFile(media)); // a folder is no file
        QVERIFY(index.hasFile(media + QStringLiteral("/empty.jpg")));
        QVERIFY(!index.hasFile(media + QStringLiteral("/never.jpg")));
        QVERIFY(!index.hasFile(media));

        touch(media + QStringLiteral("/later.jpg"));
        QVERIFY(!index.hasNonEmptyFile(media + QStringLiteral("/later.jpg")));
        QVERIFY(!index.hasFile(media + QStringLiteral("/later.jpg")));
        QVERIFY(LocalFileIndex().hasNonEmptyFile(media + QStringLiteral("/later.jpg")));
    }

    // Paths come from two folders by turns (pictures and previews), and new folders keep
    // coming while those are asked again: each answer must come from its own folder.
    void localFileIndexKeepsFoldersApart()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        constexpr int Folders = 40;
        const auto file = [&](int folder, int name) {
            return dir.filePath(QStringLiteral("f%1/n%2.jpg").arg(folder).arg(name));
        };
        for (int i = 0; i < Folders; ++i)
            touch(file(i, i));
        LocalFileIndex index;
        for (int i = 1; i < Folders; ++i) {
            for (const int folder : {0, i, i - 1, 0, i}) {
                for (const int name : {0, i, i - 1}) {
                    QCOMPARE(index.hasNonEmptyFile(file(folder, name)), folder == name);
                    QCOMPARE(index.hasFile(file(folder, name)), folder == name);
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestAppDirs)
#include "tst_appdirs.moc"
