#include "android/AgentPairing.h"
#include "android/AndroidLoadViberThread.h"
#include "android/RestoreSafetyCopies.h"
#include "app/AppDirs.h"
#include "app/WebConfig.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberMsg.h"
#include "ops/BackupViberMsgThread.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/DesktopFixture.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WorkerTimings.h"
#include "tests/ui/support/DialogCloser.h"
#include "ui/AboutUsForm.h"
#include "ui/AndroidWIFIForm.h"
#include "ui/DataSourceSelForm.h"
#include "ui/FileDialog.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/LocalDbSelForm.h"
#include "ui/MainActions.h"
#include "ui/MainWindow.h"
#include "ui/MessageBox.h"
#include "ui/MessageListView.h"
#include "ui/MyTreeView.h"
#include "ui/TreeItemNodes.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace {

const QDateTime Day1(QDate(2024, 3, 5), QTime(9, 15, 7));

QString translated(const char* key)
{
    return QCoreApplication::translate("MainWindow", key);
}

QStringList texts(const QList<QAction*>& actions)
{
    QStringList out;
    for (const QAction* action : actions)
        out << (action->isSeparator() ? QStringLiteral("|") : action->text());
    return out;
}

QStringList enabledTexts(const QList<QAction*>& actions)
{
    QStringList out;
    for (const QAction* action : actions) {
        if (!action->isSeparator() && action->isEnabled())
            out << action->text();
    }
    return out;
}

QStringList shownTexts()
{
    QStringList out;
    for (const MessageBox::Shown& shown : MessageBox::shownTexts())
        out << shown.text;
    return out;
}

int count(const QString& database, const QString& sql)
{
    const QString answer = TestEnvironment::pythonQuery(database, sql);
    bool ok = false;
    const int n = answer.toInt(&ok);
    return ok ? n : -1;
}

QString localDbFile(const QString& name)
{
    return QDir(AppDirs::localDatabasePath(name)).filePath(QLatin1String(AppDirs::LocalDatabaseFile));
}

void saveScreenshot(QWidget* widget, const QString& name)
{
    widget->adjustSize();
    QDir().mkpath(QStringLiteral(VELLIPORT_SCREENSHOT_DIR));
    QVERIFY(widget->grab().save(
        QDir(QStringLiteral(VELLIPORT_SCREENSHOT_DIR)).filePath(name + QStringLiteral(".png"))));
}

// Answers the database chooser with a name typed into its field.
void answerDatabaseChooser(DialogCloser& closer, const QString& name)
{
    closer.expect<LocalDbSelForm>([name](LocalDbSelForm* form) {
        form->findChild<QComboBox*>(QStringLiteral("cbDatabase"))->setEditText(name);
        form->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    });
}

// Answers the device or account chooser with the item whose text contains part.
void answerSourceChooser(DialogCloser& closer, const QString& part)
{
    closer.expect<DataSourceSelForm>([part](DataSourceSelForm* form) {
        auto* box = form->findChild<QComboBox*>(QStringLiteral("cbDevice"));
        for (int i = 0; i < box->count(); ++i) {
            if (box->itemText(i).contains(part))
                box->setCurrentIndex(i);
        }
        form->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    });
}

// Reports a phone as gone, as the device monitor does, when the nth window of a class
// shows: inside the command's step that opened it.
class UnplugOnShow : public QObject
{
public:
    UnplugOnShow(const QByteArray& windowClass, int occurrence, std::function<void()> unplug)
        : m_windowClass(windowClass), m_left(occurrence), m_unplug(std::move(unplug))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    bool done() const { return m_left < 0; }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && m_left >= 0 && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow() && watched->inherits(m_windowClass.constData()) &&
            m_left-- == 0)
            m_unplug();
        return false;
    }

private:
    QByteArray m_windowClass;
    int m_left;
    std::function<void()> m_unplug;
};

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menusAndToolBarFollowTheSource();
    void toolBarDeleteWithoutRowsAsksForTheWholeDatabase();
    void backupGoesIntoANewThenTheExistingDatabase();
    void exportWritesEachFilterWhereItSays();
    void extractMediaAndCallLogWriteTheirFiles();
    void deleteSelectionThenChatKeepsTheRest();
    void importTakesTheDesktopAccountsFromHome();
    void keepsAtMostElevenDatabaseCopies();
    void printAndWebPagesFromTheMenus();
    void wifiDialogPairsAPhoneOverUsbThenConnects();
    void transferBetweenSimulatedPhonesAndFromADatabase();
    void commandsStopWhenTheirPhoneGoes_data();
    void commandsStopWhenTheirPhoneGoes();

private:
    std::unique_ptr<MainWindow> makeWindow(bool withMonitor = false);
    void select(MainWindow& w, const QModelIndex& index);
    QModelIndex localDb(MainWindow& w, const QString& name);
    // A device node holding a hand-built data set, without a phone behind it.
    _AndroidDeviceItemNode* addFakeDevice(MainWindow& w, const QString& serial);
    ViberDataSetPtr sampleData();

    QTemporaryDir m_files;
    DataSetBuilder m_builder;
};

void TestCommands::initTestCase()
{
    TestEnvironment::requireScratchDataHome();
    TestEnvironment::installTranslation();
    MessageBox::setTestMode(true);
    FileDialog::setTestMode(true);
}

void TestCommands::init()
{
    const QDir root(AppDirs::localDatabasesFolder());
    for (const QString& folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        AppDirs::removeTree(root.absoluteFilePath(folder));
    // "Alpha": two chats, a picture attachment and a call.
    ProgressChannel channel;
    RecordingReceiver receiver(&channel);
    const ViberDataSetPtr data = sampleData();
    BackupViberMsgThread backup(data->allMessages(), AppDirs::localDatabasePath(QStringLiteral("Alpha")),
                                channel);
    receiver.runInWorkerThread(backup);
    QVERIFY(receiver.errors.isEmpty());
    MessageBox::clearShown();
}

void TestCommands::cleanup()
{
    MessageBox::clearShown();
}

ViberDataSetPtr TestCommands::sampleData()
{
    m_builder = DataSetBuilder();
    _ViberPerson* anna = m_builder.person(1, QStringLiteral("+4917011"), QStringLiteral("Anna"));
    _ViberPerson* ben = m_builder.person(2, QStringLiteral("+4917022"), QStringLiteral("Ben"));
    _ViberChat* withAnna = m_builder.chat(1, {anna});
    _ViberChat* withBen = m_builder.chat(2, {ben});
    m_builder.message(withAnna, ViberMsgType::Text, Day1, QStringLiteral("apple pie tonight?"));
    m_builder.message(withAnna, ViberMsgType::Text, Day1.addSecs(60), QStringLiteral("yes, bring cream"),
                      true);
    _ViberMsg* photo =
        m_builder.message(withAnna, ViberMsgType::Picture, Day1.addSecs(120), QStringLiteral("pie"));
    const QString picture = m_files.filePath(QStringLiteral("pie.jpg"));
    DataSetBuilder::writeImage(picture, 64, 48);
    m_builder.attach(photo, picture, picture, QStringLiteral("pie.jpg"));
    m_builder.message(withBen, ViberMsgType::Text, Day1.addDays(1), QStringLiteral("rope check"));
    m_builder.callMessage(withBen, ben, ViberCallKind::Outgoing, 95, Day1.addDays(1).addSecs(600));
    return m_builder.dataSet();
}

std::unique_ptr<MainWindow> TestCommands::makeWindow(bool withMonitor)
{
    MainWindow::Options options;
    options.startDeviceMonitor = withMonitor;
    options.startUsbTipsTimer = false;
    options.loadVirtualDevices = false;
    auto w = std::make_unique<MainWindow>(options);
    w->show();
    return w;
}

void TestCommands::select(MainWindow& w, const QModelIndex& index)
{
    // A command may have queued a selection of its own; it comes first.
    QCoreApplication::processEvents();
    w.findChild<MyTreeView*>(QStringLiteral("treeViewDS"))->setCurrentIndex(index);
    QCoreApplication::processEvents();
    QTRY_VERIFY(!w.isReadingDatabases()); // a local database is read in the background
}

QModelIndex TestCommands::localDb(MainWindow& w, const QString& name)
{
    _LocalDbItemNode* node = w.treeModel()->findLocalDb(name);
    return node ? w.treeModel()->nodeIndex(node) : QModelIndex();
}

_AndroidDeviceItemNode* TestCommands::addFakeDevice(MainWindow& w, const QString& serial)
{
    AndroidDevice device;
    device.serial = serial;
    device.uid = serial + QStringLiteral("-uid");
    device.model = QStringLiteral("Pixel ") + serial;
    _AndroidDeviceItemNode* node = w.treeModel()->addAndroidDevice(device);
    node->data = sampleData();
    w.treeModel()->loadChats(node);
    return node;
}

void TestCommands::menusAndToolBarFollowTheSource()
{
    auto w = makeWindow();
    MainActions* actions = w->actions();

    // The menu bar and tool bar in their order, the tool-bar commands disabled at first.
    const QList<QAction*> menus = w->menuBar()->actions();
    QCOMPARE(texts(menus),
             QStringList({QStringLiteral("File"), QStringLiteral("Tools"), QStringLiteral("Help")}));
    QMenu* file = menus[0]->menu();
    QCOMPARE(
        texts(file->actions()),
        QStringList({QStringLiteral("Backup Messages"),
                     QStringLiteral("Transfer Messages from Android to Android"),
                     QStringLiteral("Transfer Messages from Database to Android"), QStringLiteral("|"),
                     QStringLiteral("Extract Attachments"), QStringLiteral("Export Messages to File"),
                     QStringLiteral("Extract Call Log"), QStringLiteral("Print Messages"),
                     QStringLiteral("Delete"), QStringLiteral("Import Messages from Viber Desktop"),
                     QStringLiteral("Open Database Folder"), QStringLiteral("|"), QStringLiteral("Exit")}));
    QCOMPARE(texts(menus[1]->menu()->actions()),
             QStringList({QStringLiteral("Search All Histories…"), QStringLiteral("|"),
                          QStringLiteral("Check for Update"), QStringLiteral("Clear Cache files"),
                          QStringLiteral("Connect Android Phone via WiFi"), QStringLiteral("|"),
                          QStringLiteral("Undo Last Transfer")}));
    QCOMPARE(texts(menus[2]->menu()->actions()),
             QStringList(
                 {QStringLiteral("Help"), QStringLiteral("Feedback and Support"), QStringLiteral("About")}));
    auto* toolBar = w->findChild<QToolBar*>(QStringLiteral("mainToolBar"));
    QVERIFY(toolBar);
    QCOMPARE(toolBar->actions().size(), 9);
    QCOMPARE(toolBar->actions()[3]->isSeparator(), true);
    QVERIFY(enabledTexts(toolBar->actions()).isEmpty());
    saveScreenshot(file, QStringLiteral("menu-file"));
    saveScreenshot(menus[1]->menu(), QStringLiteral("menu-tools"));
    saveScreenshot(menus[2]->menu(), QStringLiteral("menu-help"));

    // A local database with no phone: everything but Backup, A2A and Db2A.
    const QModelIndex alpha = localDb(*w, QStringLiteral("Alpha"));
    select(*w, alpha);
    QCOMPARE(enabledTexts(toolBar->actions()),
             QStringList({QStringLiteral("Extract Attachments"), QStringLiteral("Export Messages to File"),
                          QStringLiteral("Extract Call Log"), QStringLiteral("Print Messages"),
                          QStringLiteral("Delete")}));
    std::unique_ptr<QMenu> menu(w->createTreeContextMenu());
    QCOMPARE(texts(menu->actions()),
             QStringList({QStringLiteral("Transfer Messages from Database to Android"),
                          QStringLiteral("Extract Messages Attachments"),
                          QStringLiteral("Export Messages to File"), QStringLiteral("Extract Call Log"),
                          QStringLiteral("Print Messages"), QStringLiteral("Delete Messages"),
                          QStringLiteral("Import Messages from Viber Desktop")}));
    QVERIFY(!menu->actions()[0]->isEnabled());
    saveScreenshot(menu.get(), QStringLiteral("menu-localdb"));

    // One phone: Db2A comes alive for the database; on the phone and its chats A2A is
    // shown but disabled, for there is no other phone to take the messages.
    _AndroidDeviceItemNode* phone = addFakeDevice(*w, QStringLiteral("SIM1"));
    select(*w, alpha);
    menu.reset(w->createTreeContextMenu());
    QVERIFY(menu->actions()[0]->isEnabled());
    QVERIFY(actions->action(MainActions::Db2aToolbar)->isEnabled());
    select(*w, w->treeModel()->nodeIndex(phone->child(0)));
    QCOMPARE(enabledTexts(toolBar->actions()),
             QStringList({QStringLiteral("Backup Messages"), QStringLiteral("Extract Attachments"),
                          QStringLiteral("Export Messages to File"), QStringLiteral("Extract Call Log"),
                          QStringLiteral("Print Messages")}));
    menu.reset(w->createTreeContextMenu());
    QCOMPARE(texts(menu->actions()),
             QStringList({QStringLiteral("Backup Messages with this Contact"),
                          QStringLiteral("Transfer Messages with this Contact to other Android"),
                          QStringLiteral("Extract Attachments from Messages with this Contact"),
                          QStringLiteral("Export Messages with this Contact to File"),
                          QStringLiteral("Extract Call Log with this Contact"),
                          QStringLiteral("Print Messages with this Contact")}));
    QVERIFY(!menu->actions()[1]->isEnabled());
    saveScreenshot(menu.get(), QStringLiteral("menu-device-chat"));
    menu.reset(w->createMessageContextMenu());
    QCOMPARE(texts(menu->actions()),
             QStringList({QStringLiteral("Backup selected Messages"),
                          QStringLiteral("Transfer selected Messages to other Android"),
                          QStringLiteral("Export Attachments from selected Messages"),
                          QStringLiteral("Export selected Messages to File"),
                          QStringLiteral("Print selected Messages")}));
    // No row selected, nothing to take: the commands are off, and refuse when triggered.
    QVERIFY(enabledTexts(menu->actions()).isEmpty());
    FileDialog::setNextFileName(m_files.filePath(QStringLiteral("unasked.txt")));
    w->actions()->action(MainActions::ExportSel)->trigger();
    QCOMPARE(FileDialog::getSaveFileName(nullptr, QString(), QString(), QString()),
             m_files.filePath(QStringLiteral("unasked.txt"))); // the answer is still waiting
    auto* list = w->findChild<MessageListView*>(QStringLiteral("treeViewSMS"));
    list->setCurrentIndex(w->messageModel()->indexOfRow(0));
    menu.reset(w->createMessageContextMenu());
    QCOMPARE(enabledTexts(menu->actions()),
             QStringList({QStringLiteral("Backup selected Messages"),
                          QStringLiteral("Export Attachments from selected Messages"),
                          QStringLiteral("Export selected Messages to File"),
                          QStringLiteral("Print selected Messages")}));
    saveScreenshot(menu.get(), QStringLiteral("menu-messages"));

    // A second phone enables A2A on the device itself.
    addFakeDevice(*w, QStringLiteral("SIM2"));
    select(*w, w->treeModel()->nodeIndex(phone));
    QVERIFY(actions->action(MainActions::A2aToolbar)->isEnabled());
    menu.reset(w->createTreeContextMenu());
    QCOMPARE(texts(menu->actions()).mid(0, 2),
             QStringList({QStringLiteral("Backup Messages"),
                          QStringLiteral("Transfer Android Messages to other Android")}));
    QCOMPARE(texts(menu->actions()).mid(6),
             QStringList({QStringLiteral("Undo Last Transfer"), QStringLiteral("Disconnect Device"),
                          QStringLiteral("View Cache Files")}));
    QVERIFY(menu->actions()[1]->isEnabled());
    saveScreenshot(menu.get(), QStringLiteral("menu-device"));

    // The roots: the database root has its two items, the devices root none; both
    // leave every tool-bar command disabled.
    select(*w, w->treeModel()->nodeIndex(w->treeModel()->rootLocalDb()));
    menu.reset(w->createTreeContextMenu());
    QCOMPARE(texts(menu->actions()), QStringList({QStringLiteral("Open Database Folder"),
                                                  QStringLiteral("Import Messages from Viber Desktop")}));
    QVERIFY(enabledTexts(toolBar->actions()).isEmpty());
    select(*w, w->treeModel()->nodeIndex(w->treeModel()->rootDevice()));
    QVERIFY(w->createTreeContextMenu() == nullptr);
    QVERIFY(enabledTexts(toolBar->actions()).isEmpty());
}

void TestCommands::toolBarDeleteWithoutRowsAsksForTheWholeDatabase()
{
    auto w = makeWindow();
    select(*w, localDb(*w, QStringLiteral("Alpha")));
    MessageBox::queueAnswer(QMessageBox::No);
    w->actions()->action(MainActions::DeleteToolbar)->trigger();
    QCOMPARE(shownTexts(), QStringList({translated("IDS_CONFIRM_DEL_THIS_LOCALDB")}));
    QVERIFY(QFileInfo::exists(localDbFile(QStringLiteral("Alpha"))));

    MessageBox::clearShown();
    MessageBox::queueAnswer(QMessageBox::Yes);
    w->actions()->action(MainActions::DeleteToolbar)->trigger();
    QVERIFY(!QFileInfo::exists(AppDirs::localDatabasePath(QStringLiteral("Alpha"))));
    QVERIFY(!localDb(*w, QStringLiteral("Alpha")).isValid());
}

void TestCommands::backupGoesIntoANewThenTheExistingDatabase()
{
    auto w = makeWindow();
    _AndroidDeviceItemNode* phone = addFakeDevice(*w, QStringLiteral("SIM1"));
    select(*w, w->treeModel()->nodeIndex(phone));

    // The chooser proposes "<device>_Backup"; accepting it makes a new database.
    QString proposed;
    DialogCloser closer;
    closer.expect<LocalDbSelForm>([&proposed](LocalDbSelForm* form) {
        proposed = form->findChild<QComboBox*>(QStringLiteral("cbDatabase"))->currentText();
        form->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    });
    w->miBackupAll();
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(proposed, phone->text + QStringLiteral("_Backup"));
    const QString created = localDbFile(proposed);
    QCOMPARE(count(created, QStringLiteral("select count(*) from ZVIBERMESSAGE")), 4);
    QVERIFY(localDb(*w, proposed).isValid());
    // The new database is loaded and selected.
    QTRY_VERIFY(w->currentSourceData() != nullptr);
    QCOMPARE(w->currentSourceData(),
             static_cast<_AbsDBItemNode*>(w->treeModel()->nodeFromIndex(localDb(*w, proposed)))->data);

    // "alpha" differs from "Alpha" only in case: the messages go into Alpha, whose
    // folder keeps its name, and no second database appears. Alpha already holds all
    // of them, so nothing is added.
    const QString alphaFile = localDbFile(QStringLiteral("Alpha"));
    const int before = count(alphaFile, QStringLiteral("select count(*) from ZVIBERMESSAGE"));
    select(*w, w->treeModel()->nodeIndex(phone));
    answerDatabaseChooser(closer, QStringLiteral("alpha"));
    w->miBackupAll();
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(count(alphaFile, QStringLiteral("select count(*) from ZVIBERMESSAGE")), before);
    QStringList folders = QDir(AppDirs::localDatabasesFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    folders.sort();
    QCOMPARE(folders, QStringList({QStringLiteral("Alpha"), proposed}));
    QCOMPARE(w->treeModel()->localDbNodes().size(), qsizetype(2));

    // A new message of the phone's goes into Alpha by the same case-blind choice.
    _ViberChat* chat = phone->data->allChats().first();
    m_builder.message(chat, ViberMsgType::Text, Day1.addDays(3), QStringLiteral("late news"));
    phone->data = m_builder.dataSet();
    w->treeModel()->removeChildren(phone);
    w->treeModel()->loadChats(phone);
    select(*w, w->treeModel()->nodeIndex(phone));
    answerDatabaseChooser(closer, QStringLiteral("ALPHA"));
    w->miBackupToolbar();
    QCOMPARE(count(alphaFile, QStringLiteral("select count(*) from ZVIBERMESSAGE where ZTEXT='late news'")),
             1);

    // Closing the chooser changes nothing.
    closer.expectReject("LocalDbSelForm");
    select(*w, w->treeModel()->nodeIndex(phone));
    w->miBackupAll();
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(w->treeModel()->localDbNodes().size(), qsizetype(2));
}

void TestCommands::exportWritesEachFilterWhereItSays()
{
    auto w = makeWindow();
    select(*w, localDb(*w, QStringLiteral("Alpha")));
    QTemporaryDir out;
    const auto exportAs = [&](const QString& name, const char* filter) {
        FileDialog::setNextFileName(out.filePath(name), w->tr(filter));
        w->miExportAll();
    };
    exportAs(QStringLiteral("plain"), "Text Files(*.txt)");
    exportAs(QStringLiteral("word"), "Doc Files(*.doc)");
    exportAs(QStringLiteral("kept.text"), "Doc Files(*.doc)");
    exportAs(QStringLiteral("table"), "CSV Files(*.csv)");
    exportAs(QStringLiteral("x.pdf"), "PDF Files(*.pdf)");
    exportAs(QStringLiteral("pages"), "HTML Files(*.html)");
    exportAs(QStringLiteral("machine"), "JSON Files(*.json)");

    QVERIFY(QFileInfo(out.filePath(QStringLiteral("plain.txt"))).size() > 0);
    // Doc is the text format under another name; a name with a suffix keeps it.
    QCOMPARE(TestEnvironment::readFile(out.filePath(QStringLiteral("word.doc"))),
             TestEnvironment::readFile(out.filePath(QStringLiteral("plain.txt"))));
    QVERIFY(QFileInfo::exists(out.filePath(QStringLiteral("kept.text"))));
    QVERIFY(TestEnvironment::readFile(out.filePath(QStringLiteral("table.csv"))).contains("rope check"));
    // PDF and HTML write folders: "x.pdf" becomes "x-pdf", "pages" becomes "pages-html".
    QVERIFY(!QFileInfo::exists(out.filePath(QStringLiteral("x.pdf"))));
    QCOMPARE(
        QDir(out.filePath(QStringLiteral("x-pdf"))).entryList({QStringLiteral("*.pdf")}, QDir::Files).size(),
        2);
    // The chats' pages, the archive's index.html beside them, and the media page of the
    // chat with a picture.
    QCOMPARE(QDir(out.filePath(QStringLiteral("pages-html")))
                 .entryList({QStringLiteral("*.html")}, QDir::Files)
                 .size(),
             4);
    QCOMPARE(QDir(out.filePath(QStringLiteral("pages-html")))
                 .entryList({QStringLiteral("*-media.html")}, QDir::Files)
                 .size(),
             1);
    QVERIFY(QFileInfo::exists(out.filePath(QStringLiteral("pages-html/index.html"))));

    // JSON: a folder with one file per chat and an index.
    QVERIFY(QFileInfo::exists(out.filePath(QStringLiteral("machine-json/index.json"))));

    // Cancelling the dialog writes nothing.
    const QStringList before = QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    w->miExportAll();
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

void TestCommands::extractMediaAndCallLogWriteTheirFiles()
{
    auto w = makeWindow();
    select(*w, localDb(*w, QStringLiteral("Alpha")));
    QTemporaryDir out;
    FileDialog::setNextDirectory(out.path());
    w->miExtractMediaToolbar();
    const QStringList folders = QDir(out.path()).entryList({QStringLiteral("attachments(*)")}, QDir::Dirs);
    QCOMPARE(folders.size(), 1);
    QVERIFY(QRegularExpression(QStringLiteral(R"(^attachments\(\d{8}-\d{6}\)$)"))
                .match(folders.first())
                .hasMatch());
    const QStringList pictures = QDir(out.filePath(folders.first())).entryList(QDir::Files);
    QCOMPARE(pictures.size(), 1);
    QVERIFY(pictures.first().endsWith(QLatin1String(".jpg")));

    // The call log of the whole database holds the one call, and only it.
    const QString calls = out.filePath(QStringLiteral("calls.txt"));
    FileDialog::setNextFileName(calls);
    w->miExportCallToolbar();
    const QByteArray log = TestEnvironment::readFile(calls);
    QVERIFY(log.contains("+4917022"));
    QVERIFY(!log.contains("apple pie"));

    // The chat with Anna has no call: its log lists none.
    const QModelIndex alpha = localDb(*w, QStringLiteral("Alpha"));
    for (int row = 0; row < w->treeModel()->rowCount(alpha); ++row) {
        const QModelIndex chat = w->treeModel()->index(row, 0, alpha);
        if (chat.data().toString().contains(QLatin1String("Anna")))
            select(*w, chat);
    }
    QVERIFY(w->currentChat());
    const QString annaCalls = out.filePath(QStringLiteral("anna-calls.txt"));
    FileDialog::setNextFileName(annaCalls);
    w->miExportCallChat();
    QVERIFY(!TestEnvironment::readFile(annaCalls).contains("+4917022"));
}

void TestCommands::deleteSelectionThenChatKeepsTheRest()
{
    auto w = makeWindow();
    const QString file = localDbFile(QStringLiteral("Alpha"));
    const QString others = TestEnvironment::pythonQuery(
        file, QStringLiteral("select group_concat(ZTEXT, '|') from (select ZTEXT from "
                             "ZVIBERMESSAGE where ZTEXT like '%rope%' order by Z_PK)"));
    const QModelIndex alpha = localDb(*w, QStringLiteral("Alpha"));
    select(*w, alpha);
    QModelIndex annaChat;
    for (int row = 0; row < w->treeModel()->rowCount(alpha); ++row) {
        if (w->treeModel()->index(row, 0, alpha).data().toString().contains(QLatin1String("Anna")))
            annaChat = w->treeModel()->index(row, 0, alpha);
    }
    select(*w, annaChat);
    const qint64 chatId = w->currentChat()->id;
    auto* list = w->findChild<MessageListView*>(QStringLiteral("treeViewSMS"));
    QCOMPARE(w->messageModel()->rowCount(), 3);

    // Answered No: nothing changes.
    list->selectionModel()->select(w->messageModel()->indexOfRow(0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    MessageBox::queueAnswer(QMessageBox::No);
    w->actions()->action(MainActions::DeleteToolbar)->trigger();
    QCOMPARE(shownTexts().first(), translated("IDS_CONFIRM_DEL_SEL_MESSAGES"));
    QCOMPARE(count(file, QStringLiteral("select count(*) from ZVIBERMESSAGE")), 4);

    // Yes: the oldest message of the chat goes, and the same chat is selected again.
    list->selectionModel()->select(w->messageModel()->indexOfRow(0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    MessageBox::queueAnswer(QMessageBox::Yes);
    w->miDelete();
    QCOMPARE(count(file, QStringLiteral("select count(*) from ZVIBERMESSAGE")), 3);
    QCOMPARE(
        count(file, QStringLiteral("select count(*) from ZVIBERMESSAGE where ZTEXT='apple pie tonight?'")),
        0);
    QTRY_VERIFY(w->currentChat() && w->currentChat()->id == chatId);
    QCOMPARE(w->messageModel()->rowCount(), 2);

    // The whole chat: its conversation goes, Ben's chat stays as it was.
    MessageBox::queueAnswer(QMessageBox::Yes);
    w->miDeleteChat();
    QCOMPARE(shownTexts().contains(translated("IDS_CONFIRM_DEL_THIS_CHAT")), true);
    QCOMPARE(count(file, QStringLiteral("select count(*) from ZVIBERMESSAGE")), 1);
    QCOMPARE(TestEnvironment::pythonQuery(file,
                                          QStringLiteral("select group_concat(ZTEXT, '|') from (select ZTEXT "
                                                         "from ZVIBERMESSAGE where ZTEXT like '%rope%' order "
                                                         "by Z_PK)")),
             others);
    QCOMPARE(w->treeModel()->rowCount(localDb(*w, QStringLiteral("Alpha"))), 1);
    // The chat is gone, so the database itself is selected.
    QTRY_COMPARE(w->treeModel()->nodeFromIndex(
                     w->findChild<MyTreeView*>(QStringLiteral("treeViewDS"))->currentIndex()),
                 w->treeModel()->nodeFromIndex(localDb(*w, QStringLiteral("Alpha"))));
}

void TestCommands::importTakesTheDesktopAccountsFromHome()
{
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });

    auto w = makeWindow();
    w->miImportPCPort();
    QCOMPARE(shownTexts(), QStringList({translated("IDS_THERE_IS_NO_PC_VIBER_ACCOUNT")}));
    MessageBox::clearShown();

    // An account folder of Viber Desktop on Linux, and a folder without a database
    // that is no account.
    DesktopFixture desktop;
    const QString account = home.filePath(QStringLiteral(".ViberPC/491701111111"));
    QVERIFY(QDir().mkpath(account));
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".ViberPC/config"))));
    QVERIFY(QFile::copy(desktop.dbPath(), QDir(account).filePath(QStringLiteral("viber.db"))));
    const int desktopMessages = count(desktop.dbPath(), QStringLiteral("select count(*) from Messages"));
    QVERIFY(desktopMessages > 0);

    QStringList offered;
    QString proposed;
    DialogCloser closer;
    closer.expect<DataSourceSelForm>([&offered](DataSourceSelForm* form) {
        auto* box = form->findChild<QComboBox*>(QStringLiteral("cbDevice"));
        for (int i = 0; i < box->count(); ++i)
            offered << box->itemText(i);
        form->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    });
    closer.expect<LocalDbSelForm>([&proposed](LocalDbSelForm* form) {
        proposed = form->findChild<QComboBox*>(QStringLiteral("cbDatabase"))->currentText();
        form->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    });
    w->miImportPCPort();
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(offered, QStringList({QStringLiteral("491701111111")}));
    QCOMPARE(proposed, QStringLiteral("ViberPC-491701111111"));
    const int imported = count(localDbFile(proposed), QStringLiteral("select count(*) from ZVIBERMESSAGE"));
    QVERIFY2(imported > 0 && imported <= desktopMessages, qPrintable(QString::number(imported)));

    // From a database's own menu the import proposes that database.
    select(*w, localDb(*w, QStringLiteral("Alpha")));
    answerSourceChooser(closer, QStringLiteral("4917"));
    closer.expect<LocalDbSelForm>([&proposed](LocalDbSelForm* form) {
        proposed = form->findChild<QComboBox*>(QStringLiteral("cbDatabase"))->currentText();
        form->reject();
    });
    w->miImportPCPortToLocalDb();
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(proposed, QStringLiteral("Alpha"));
}

void TestCommands::keepsAtMostElevenDatabaseCopies()
{
    QTemporaryDir cache;
    const QString db = QDir(cache.path()).filePath(QStringLiteral("ab-extract/apps/com.viber.voip/db"));
    QVERIFY(QDir().mkpath(db));
    QVERIFY(DataSetBuilder::writeFile(QDir(db).filePath(QStringLiteral("viber_messages")), "main"));
    QVERIFY(DataSetBuilder::writeFile(QDir(db).filePath(QStringLiteral("viber_messages-wal")), "log"));
    QVERIFY(DataSetBuilder::writeFile(QDir(db).filePath(QStringLiteral("viber_data")), "contacts"));
    const QDir copies(RestoreSafetyCopies::copiesFolder(cache.path()));
    for (int i = 0; i < 12; ++i)
        QVERIFY(copies.mkpath(QStringLiteral("202401%1_120000.dbdir").arg(10 + i)));

    const QDateTime now(QDate(2025, 1, 2), QTime(3, 4, 5));
    const QString kept = RestoreSafetyCopies::keepDatabaseCopy(cache.path(), now);
    QStringList names = copies.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(names.size(), 11);
    QCOMPARE(names.first(), QStringLiteral("20240112_120000.dbdir")); // the two oldest went
    QCOMPARE(names.last(), QStringLiteral("20250102_030405.dbdir"));
    QCOMPARE(QDir(kept).entryList(QDir::Files, QDir::Name),
             QStringList({QStringLiteral("viber_data"), QStringLiteral("viber_messages"),
                          QStringLiteral("viber_messages-wal")}));
    QCOMPARE(TestEnvironment::readFile(QDir(kept).filePath(QStringLiteral("viber_messages-wal"))),
             QByteArray("log"));

    // A second transfer within the same second gets its own folder.
    const QString again = RestoreSafetyCopies::keepDatabaseCopy(cache.path(), now);
    QVERIFY(again != kept);
    QCOMPARE(copies.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 11);

    // Older archives go before the next safety fetch.
    const QString archives = RestoreSafetyCopies::prepareArchiveFolder(cache.path());
    QVERIFY(DataSetBuilder::writeFile(QDir(archives).filePath(QStringLiteral("old.ab")), "x"));
    QVERIFY(DataSetBuilder::writeFile(QDir(archives).filePath(QStringLiteral("note.txt")), "x"));
    RestoreSafetyCopies::prepareArchiveFolder(cache.path());
    QCOMPARE(QDir(archives).entryList(QDir::Files), QStringList({QStringLiteral("note.txt")}));

    // The safety fetch from a phone without root keeps the archive the phone gave.
    PhoneSim sim;
    QVERIFY(sim.isValid());
    sim.addSampleDevice(QStringLiteral("SIM0005"), 28, false);
    AndroidDevice phone;
    phone.serial = QStringLiteral("SIM0005");
    phone.applyDescription(PhoneSim::description(phone.serial, 28, false));
    const QString phoneArchives = RestoreSafetyCopies::prepareArchiveFolder(phone.cacheDir());
    ProgressChannel channel;
    RecordingReceiver receiver(&channel);
    AndroidLoadViberThread fetch(phone, true, channel);
    fetch.setTiming(WorkerTimings::shortLoad());
    fetch.setArchiveFolder(phoneArchives);
    receiver.runInWorkerThread(fetch);
    QCOMPARE(receiver.errors, QStringList());
    const QFileInfoList fetched = QDir(phoneArchives).entryInfoList({QStringLiteral("*.ab")}, QDir::Files);
    QCOMPARE(fetched.size(), 1);
    QVERIFY(fetched.first().size() > 0);
}

void TestCommands::printAndWebPagesFromTheMenus()
{
    auto w = makeWindow();
    const QModelIndex alpha = localDb(*w, QStringLiteral("Alpha"));
    select(*w, alpha);

    // The print preview opens over the window for the chosen messages.
    DialogCloser closer;
    QString title;
    closer.expect<QPrintPreviewDialog>([&title](QPrintPreviewDialog* preview) {
        title = preview->windowTitle();
        preview->reject();
    });
    w->actions()->action(MainActions::PrintToolbar)->trigger();
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(title, translated("IDS_PRINT_MESSAGES"));

    // Without a configured web site the Help menu's pages say so and open nothing.
    QList<QUrl> opened;
    AppDirs::setShellOpenHook([&opened](const QUrl& url) { opened << url; });
    const auto restore = qScopeGuard([] {
        AppDirs::setShellOpenHook({});
        WebConfig::setCurrent(WebConfig());
    });
    WebConfig::setCurrent(WebConfig());
    w->actions()->action(MainActions::Help)->trigger();
    w->actions()->action(MainActions::Feedback)->trigger();
    QCOMPARE(shownTexts().size(), 2);
    QVERIFY(opened.isEmpty());

    // With one, they open in the browser; the update page names this desktop.
    WebConfig config;
    config.host = QStringLiteral("updates.example.org");
    config.helpPage = QUrl(QStringLiteral("https://example.org/help.html"));
    config.updatePage = QUrl(QStringLiteral("http://updates.example.org/sms_check_update.php"));
    WebConfig::setCurrent(config);
    MessageBox::clearShown();
    w->actions()->action(MainActions::Help)->trigger();
    w->actions()->action(MainActions::CheckUpdate)->trigger();
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened[0], config.helpPage);
    QCOMPARE(opened[1].host(), QStringLiteral("updates.example.org"));
    QVERIFY(opened[1].query().contains(QLatin1String("sys=linux")));
    QVERIFY(shownTexts().isEmpty());

    // The About box links the configured home page, and nothing without one.
    QString link;
    closer.expect<AboutUsForm>([&link](AboutUsForm* about) {
        const auto* label = about->findChild<QLabel*>(QStringLiteral("lbLink"));
        link = label ? label->text() : QStringLiteral("none");
        about->accept();
    });
    w->actions()->action(MainActions::About)->trigger();
    QCOMPARE(link, QStringLiteral("none"));
    config.homePage = QUrl(QStringLiteral("https://example.org/?a=1&b=2"));
    WebConfig::setCurrent(config);
    closer.expect<AboutUsForm>([&link](AboutUsForm* about) {
        link = about->findChild<QLabel*>(QStringLiteral("lbLink"))->text();
        about->accept();
    });
    w->actions()->action(MainActions::About)->trigger();
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(link, QStringLiteral(
                       "<a href=\"https://example.org/?a=1&amp;b=2\">https://example.org/?a=1&amp;b=2</a>"));
}

void TestCommands::wifiDialogPairsAPhoneOverUsbThenConnects()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    SimDevice phone = sim.addDevice(QStringLiteral("SIM0003"));
    const int port = PhoneSim::freePort();
    phone.setValue(QStringLiteral("wifiPort"), port);
    phone.setValue(QStringLiteral("idleMs"), 5000);

    AndroidWIFIForm form;
    form.setControlPort(port);
    auto* pair = form.findChild<QPushButton*>(QStringLiteral("btnPairUsb"));
    QVERIFY(!pair->isEnabled()); // no phone on USB
    // The code a terminal on the phone would take is this computer's pairing secret.
    QVERIFY(form.findChild<QLabel*>(QStringLiteral("lbPairingCode"))
                ->text()
                .contains(QString::fromLatin1(AgentPairing::secret())));

    form.setUsbPhones({{QStringLiteral("SIM0003"), QStringLiteral("Pixel 3a")}});
    QVERIFY(pair->isEnabled());
    form.onBtnPairUsb();
    QVERIFY2(shownTexts().contains(translated("IDS_WIFI_USB_PHONE_PREPARED")),
             qPrintable(shownTexts().join(QLatin1Char('\n'))));
    QVERIFY(
        sim.adbCalls().contains(QStringLiteral("-s SIM0003 shell /data/local/tmp/velliport-agent --wifi")));

    // The prepared phone answers on WiFi.
    form.findChild<QLineEdit*>(QStringLiteral("txtWifiSocket"))->setText(QStringLiteral("127.0.0.1"));
    form.onBtnConnect();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.device().model, QStringLiteral("Pixel 3a"));
    QVERIFY(form.device().viaWifi);
}

void TestCommands::transferBetweenSimulatedPhonesAndFromADatabase()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    sim.addSampleDevice(QStringLiteral("SIM0001"));
    SimDevice second = sim.addSampleDevice(QStringLiteral("SIM0002"));
    // The second phone lacks the two newest messages of the first.
    const QString secondMessages =
        second.fileFor(QLatin1String(SimDevice::ViberDatabases)) + QStringLiteral("/viber_messages");
    const QString missing = TestEnvironment::pythonQuery(
        secondMessages,
        QStringLiteral("select group_concat(token) from (select token from messages where type<>1 "
                       "and token<>0 order by date desc limit 2)"));
    QVERIFY(TestEnvironment::pythonExecute(
        secondMessages, QStringLiteral("delete from messages where token in (%1);").arg(missing)));
    const int before = count(secondMessages, QStringLiteral("select count(*) from messages"));

    auto w = makeWindow(true);
    QTRY_VERIFY_WITH_TIMEOUT(w->treeModel()->deviceNodes().size() == 2, 120000);
    _AndroidDeviceItemNode* source = nullptr;
    _AndroidDeviceItemNode* target = nullptr;
    for (_AndroidDeviceItemNode* node : w->treeModel()->deviceNodes())
        (node->device.serial == QStringLiteral("SIM0001") ? source : target) = node;
    QVERIFY(source && target);
    const QDir copies(RestoreSafetyCopies::copiesFolder(target->device.cacheDir()));
    for (int i = 0; i < 11; ++i)
        QVERIFY(copies.mkpath(QStringLiteral("202401%1_120000.dbdir").arg(10 + i)));
    MessageBox::clearShown();

    select(*w, w->treeModel()->nodeIndex(source));
    DialogCloser closer;
    QStringList offered;
    closer.expect<DataSourceSelForm>([&offered](DataSourceSelForm* form) {
        auto* box = form->findChild<QComboBox*>(QStringLiteral("cbDevice"));
        for (int i = 0; i < box->count(); ++i)
            offered << box->itemText(i);
        form->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    });
    w->miA2aAll();
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(offered, QStringList({target->device.displayName()})); // never the source itself
    QVERIFY2(shownTexts().contains(translated("IDS_BEFORE_RESTORE_VIBER_TO_ANDROID_RELOAD_FIRST")),
             qPrintable(shownTexts().join(QLatin1Char('\n'))));

    // The phone now holds the two messages, once each, and nothing else changed.
    for (const QString& token : missing.split(QLatin1Char(',')))
        QCOMPARE(
            count(secondMessages, QStringLiteral("select count(*) from messages where token=%1").arg(token)),
            1);
    QCOMPARE(count(secondMessages, QStringLiteral("select count(*) from messages")), before + 2);
    // The copy taken before the write holds the phone as it was; older copies were
    // thinned out to the newest ten.
    const QStringList kept = copies.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(kept.size(), 11);
    QVERIFY(!kept.contains(QStringLiteral("20240110_120000.dbdir")));
    const QString safety = copies.absoluteFilePath(kept.last());
    QCOMPARE(count(QDir(safety).filePath(QStringLiteral("viber_messages")),
                   QStringLiteral("select count(*) from messages")),
             before);
    // The target's node shows the phone after the transfer.
    QCOMPARE(target->data->messages.size(), source->data->messages.size());

    // From a database into the phone: Alpha's texts arrive on the second phone only.
    // Both phones are of one model, so the chooser names them with their serials.
    select(*w, localDb(*w, QStringLiteral("Alpha")));
    answerSourceChooser(closer, QStringLiteral("(SIM0002)"));
    w->miDb2aAll();
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(count(secondMessages, QStringLiteral("select count(*) from messages where body='rope check'")),
             1);
    QCOMPARE(count(sim.device(QStringLiteral("SIM0001")).fileFor(QLatin1String(SimDevice::ViberDatabases)) +
                       QStringLiteral("/viber_messages"),
                   QStringLiteral("select count(*) from messages where body='rope check'")),
             0);
    QCOMPARE(copies.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 11);
}

void TestCommands::commandsStopWhenTheirPhoneGoes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("targetGoes");   // the transfer's target, else the source phone
    QTest::addColumn<QByteArray>("window"); // open when the phone goes
    QTest::addColumn<int>("occurrence");    // of that window's class in the command
    QTest::addColumn<bool>("stops");        // a step was left that needs the phone
    QTest::addColumn<bool>("done");         // the command's work arrived

    const auto row = [](const char* name, const char* command, bool targetGoes, const char* window,
                        int occurrence, bool stops, bool done) {
        QTest::newRow(name) << QString::fromLatin1(command) << targetGoes << QByteArray(window) << occurrence
                            << stops << done;
    };
    row("backup: chooser", "backup", false, "LocalDbSelForm", 0, true, false);
    row("backup: worker", "backup", false, "ProgressForm", 0, false, true);
    row("export: file dialog", "export", false, "QFileDialog", 0, true, false);
    row("export: worker", "export", false, "ProgressForm", 0, false, true);
    row("print: preview", "print", false, "QPrintPreviewDialog", 0, false, true);
    row("transfer: source at the chooser", "transfer", false, "DataSourceSelForm", 0, true, false);
    row("transfer: target at the chooser", "transfer", true, "DataSourceSelForm", 0, true, false);
    row("transfer: target at the question", "transfer", true, "QMessageBox", 0, true, false);
    row("transfer: target at the safety copy", "transfer", true, "ProgressForm", 0, true, false);
    row("transfer: target while written", "transfer", true, "ProgressForm", 1, true, true);
    row("transfer: target while reloaded", "transfer", true, "ProgressForm", 2, false, true);
}

void TestCommands::commandsStopWhenTheirPhoneGoes()
{
    QFETCH(QString, command);
    QFETCH(bool, targetGoes);
    QFETCH(QByteArray, window);
    QFETCH(int, occurrence);
    QFETCH(bool, stops);
    QFETCH(bool, done);

    auto w = makeWindow();
    const auto deviceNode = [&w](const QString& serial) -> _AndroidDeviceItemNode* {
        for (_AndroidDeviceItemNode* node : w->treeModel()->deviceNodes()) {
            if (node->device.serial == serial)
                return node;
        }
        return nullptr;
    };
    _AndroidDeviceItemNode* source = addFakeDevice(*w, QStringLiteral("SIM1"));
    m_builder = DataSetBuilder(); // the node alone holds the data set, as a loaded phone's does
    std::unique_ptr<PhoneSim> sim;
    QString targetMessages;
    if (command == QLatin1String("transfer")) {
        sim = std::make_unique<PhoneSim>();
        QVERIFY(sim->isValid());
        targetMessages = sim->addSampleDevice(QStringLiteral("SIM0002"))
                             .fileFor(QLatin1String(SimDevice::ViberDatabases)) +
                         QStringLiteral("/viber_messages");
        w->androidDeviceConnected(AdbDevice{QStringLiteral("SIM0002\tdevice"), QStringLiteral("SIM0002"),
                                            QStringLiteral("device")});
        QVERIFY(deviceNode(QStringLiteral("SIM0002")));
    }
    const QString gone = targetGoes ? QStringLiteral("SIM0002") : QStringLiteral("SIM1");
    const QString stopped =
        translated("IDS_PHONE_%1_DISCONNECTED_COMMAND_STOPPED").arg(deviceNode(gone)->device.displayName());
    QVERIFY(!stopped.startsWith(QLatin1String("IDS_")));
    select(*w, w->treeModel()->nodeIndex(source));

    // Boxes and file dialogs are real windows here, so that a phone can go while one is
    // open; each box is answered Yes, or with its one button.
    MessageBox::setTestMode(false);
    FileDialog::setTestMode(false);
    const auto testMode = qScopeGuard([] {
        MessageBox::setTestMode(true);
        FileDialog::setTestMode(true);
    });
    QStringList boxes;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, [&boxes] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes << box->text();
            (box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes) : box->buttons().first())->click();
        }
    });
    answerer.start(20);
    UnplugOnShow unplug(window, occurrence, [&] { w->androidDeviceDisconnected(gone); });

    QTemporaryDir out;
    const QString exported = out.filePath(QStringLiteral("chats.txt"));
    DialogCloser closer;
    if (command == QLatin1String("backup")) {
        answerDatabaseChooser(closer, QStringLiteral("Unplugged"));
        w->miBackupToolbar();
    } else if (command == QLatin1String("export")) {
        closer.expect<QFileDialog>([&exported](QFileDialog* dialog) {
            dialog->selectFile(exported);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        w->miExportToolbar();
    } else if (command == QLatin1String("print")) {
        closer.expectReject("QPrintPreviewDialog");
        w->miPrintToolbar();
    } else {
        answerSourceChooser(closer, QString());
        w->miA2aToolbar();
    }
    QCOMPARE(closer.pending(), 0);
    QVERIFY(unplug.done());
    // The command has ended, and the phone has left the tree after it.
    QVERIFY(!deviceNode(gone));
    QCOMPARE(boxes.contains(stopped), stops);
    if (command == QLatin1String("backup"))
        QCOMPARE(QFileInfo::exists(localDbFile(QStringLiteral("Unplugged"))), done);
    if (command == QLatin1String("export"))
        QCOMPARE(QFileInfo::exists(exported), done);
    if (command == QLatin1String("transfer"))
        QCOMPARE(
            count(targetMessages, QStringLiteral("select count(*) from messages where body='rope check'")),
            done ? 1 : 0);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
