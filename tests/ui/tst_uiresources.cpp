#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>
#include <QTest>

namespace {

const char* const TreeIcons[] = {"devices", "databases", "android",       "database",        "contact",
                                 "group",   "search",    "icon_sms-sent", "icon_sms-receive"};
const char* const ToolIcons[] = {"backup",           "a2a",          "db2a",         "extract_media",
                                 "export",           "export_calls", "print",        "delete",
                                 "open_db_folder",   "exit",         "check-update", "clear-cache",
                                 "connect-via-wifi", "help",         "feedback",     "about",
                                 "unmount"};

QString styleSheet()
{
    QFile file(QStringLiteral(":style.css"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Pictures that came out blank or as a single flat colour are drawing failures.
int distinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x)
            colours.insert(argb.pixel(x, y));
    }
    return int(colours.size());
}

} // namespace

class TestUiResources : public QObject
{
    Q_OBJECT
private slots:
    void iconsLoadUnderBothSpellings_data();
    void iconsLoadUnderBothSpellings();
    void iconsAreDistinct();
    void programPicture();
    void styleSheetNamesTheWidgets();
    void styleSheetAppliesWithoutWarnings();
};

void TestUiResources::iconsLoadUnderBothSpellings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minWidth");
    for (const char* name : TreeIcons)
        QTest::newRow(name) << QString::fromLatin1(name) << 18;
    for (const char* name : ToolIcons)
        QTest::newRow(name) << QString::fromLatin1(name) << 52;
    QTest::newRow("adb_backup") << QStringLiteral("adb_backup") << 120;
    QTest::newRow("adb_restore") << QStringLiteral("adb_restore") << 120;
}

void TestUiResources::iconsLoadUnderBothSpellings()
{
    QFETCH(QString, name);
    QFETCH(int, minWidth);
    const QImage shortForm(QStringLiteral(":res/%1.png").arg(name));
    const QImage longForm(QStringLiteral(":/res/%1.png").arg(name));
    QVERIFY2(!shortForm.isNull(), qPrintable(name));
    QCOMPARE(longForm, shortForm);
    QVERIFY(shortForm.width() >= minWidth);
    QVERIFY(shortForm.width() <= 512);
    QCOMPARE(shortForm.height(), shortForm.width());
    QVERIFY(shortForm.hasAlphaChannel());
    QVERIFY2(distinctColours(shortForm) > 8, qPrintable(name));
    // Icons sit on any background: their corners stay transparent (the pictures of the
    // phone instructions are icons too).
    QCOMPARE(qAlpha(shortForm.pixel(0, 0)), 0);
}

void TestUiResources::iconsAreDistinct()
{
    QHash<QByteArray, QString> seen;
    QStringList names;
    for (const char* name : TreeIcons)
        names.append(QString::fromLatin1(name));
    for (const char* name : ToolIcons)
        names.append(QString::fromLatin1(name));
    for (const QString& name : std::as_const(names)) {
        const QImage image(QStringLiteral(":res/%1.png").arg(name));
        const QByteArray pixels(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
        QVERIFY2(!seen.contains(pixels),
                 qPrintable(name + QStringLiteral(" looks like ") + seen.value(pixels)));
        seen.insert(pixels, name);
    }
}

void TestUiResources::programPicture()
{
    const QImage picture(QStringLiteral(":main"));
    QVERIFY(!picture.isNull());
    // The about box scales it down to a height of 64.
    QVERIFY(picture.height() >= 64);
    QCOMPARE(picture.width(), picture.height());
    QVERIFY(distinctColours(picture) > 8);
    const QImage byPath(QStringLiteral(":/main"));
    QCOMPARE(byPath, picture);
}

void TestUiResources::styleSheetNamesTheWidgets()
{
    const QString css = styleSheet();
    QVERIFY(css.size() > 500);
    const QStringList names = {QStringLiteral("#MainWindow"),
                               QStringLiteral("#splitter::handle"),
                               QStringLiteral("#treeViewDS"),
                               QStringLiteral("#treeViewSMS"),
                               QStringLiteral("#txtHandleKeyword"),
                               QStringLiteral("#btnSearchHandle"),
                               QStringLiteral("#txtSMSKeyword"),
                               QStringLiteral("#btnSearchSMS"),
                               QStringLiteral("#lbSMSCount"),
                               QStringLiteral("#lbConversation"),
                               QStringLiteral("#lbChatImg"),
                               QStringLiteral("#lbChatName"),
                               QStringLiteral("#progressBar"),
                               QStringLiteral("#lbProgress"),
                               QStringLiteral("#btnCancel"),
                               QStringLiteral("#lbStatus"),
                               QStringLiteral("#lbSelDevice"),
                               QStringLiteral("#cbDevice"),
                               QStringLiteral("#btnOK"),
                               QStringLiteral("#btnClose"),
                               QStringLiteral("QMessageBox"),
                               QStringLiteral("QPushButton"),
                               QStringLiteral("QToolBar"),
                               QStringLiteral("QMenuBar"),
                               QStringLiteral("QStatusBar"),
                               QStringLiteral("QDialog")};
    for (const QString& name : names)
        QVERIFY2(css.contains(name), qPrintable(name));
    QCOMPARE(css.count(QLatin1Char('{')), css.count(QLatin1Char('}')));
}

void TestUiResources::styleSheetAppliesWithoutWarnings()
{
    // Qt reports a sheet it cannot parse with a warning when it is first applied.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("[Ss]tyle ?[Ss]heet")));
    const QString css = styleSheet();

    QMainWindow window;
    window.setObjectName(QStringLiteral("MainWindow"));
    window.setStyleSheet(css);
    auto* splitter = new QSplitter(&window);
    splitter->setObjectName(QStringLiteral("splitter"));
    window.setCentralWidget(splitter);
    auto* keyword = new QLineEdit(splitter);
    keyword->setObjectName(QStringLiteral("txtHandleKeyword"));
    auto* tree = new QTreeView(splitter);
    tree->setObjectName(QStringLiteral("treeViewDS"));
    auto* chatName = new QLabel(QStringLiteral("Anna Keller"), splitter);
    chatName->setObjectName(QStringLiteral("lbChatName"));
    window.resize(600, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(chatName->font().bold());

    // A frameless dialog must still show where it ends: its border differs from its inside.
    QDialog dialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint);
    dialog.setStyleSheet(css);
    auto* layout = new QVBoxLayout(&dialog);
    auto* bar = new QProgressBar(&dialog);
    bar->setObjectName(QStringLiteral("progressBar"));
    bar->setValue(40);
    auto* devices = new QComboBox(&dialog);
    devices->setObjectName(QStringLiteral("cbDevice"));
    auto* ok = new QPushButton(QStringLiteral("Confirm"), &dialog);
    ok->setObjectName(QStringLiteral("btnOK"));
    layout->addWidget(bar);
    layout->addWidget(devices);
    layout->addWidget(ok);
    dialog.resize(350, 160);
    const QImage shot = dialog.grab().toImage();
    const QRgb edge = shot.pixel(0, shot.height() / 2);
    const QRgb inside = shot.pixel(4, shot.height() / 2);
    QVERIFY2(edge != inside, "the frameless dialog has no visible border");
    QVERIFY(qGray(edge) < 240);
    // The confirming button is filled with the violet accent.
    const QRgb fill = ok->grab().toImage().pixel(ok->width() / 2, 4);
    QVERIFY(qBlue(fill) > qGreen(fill) + 60);
}

QTEST_MAIN(TestUiResources)
#include "tst_uiresources.moc"
