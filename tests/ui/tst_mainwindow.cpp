#include "android/WifiKeepAlive.h"
#include "app/AppDirs.h"
#include "db/BackupPasswords.h"
#include "db/BackupRuns.h"
#include "db/IOSViberDb.h"
#include "db/IPhoneBackup.h"
#include "db/PropertyList.h"
#include "db/ViberCodes.h"
#include "ops/BackupViberMsgThread.h"
#include "tests/support/AndroidFixture.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/EncryptedBackupBuilder.h"
#include "tests/support/IPhoneBackupFixture.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/ModernViberCheck.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/support/DialogCloser.h"
#include "ui/AndroidWIFIForm.h"
#include "ui/BackupPasswordDialog.h"
#include "ui/DataSourceSelForm.h"
#include "ui/FileDialog.h"
#include "ui/HistorySearchDialog.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/MainActions.h"
#include "ui/MainWindow.h"
#include "ui/MessageBox.h"
#include "ui/MessageListView.h"
#include "ui/MyTreeView.h"
#include "ui/ProgressForm.h"
#include "ui/TreeItemNodes.h"

#include <QAction>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEngineView>

namespace {

const QDateTime Day1(QDate(2024, 3, 5), QTime(9, 15, 7));
const QString LongName = QStringLiteral("Twentyone characters"); // 20; one more below

// Writes a local database named `name` with three chats: one person with a photo,
// a group of two, and a person whose name is 21 characters long.
void writeDatabase(const QString& name, const QString& photoFolder)
{
    DataSetBuilder b;
    _ViberPerson* anna = b.person(1, QStringLiteral("+4917011"), QStringLiteral("Anna"));
    _ViberPerson* ben = b.person(2, QStringLiteral("+4917022"), QStringLiteral("Ben"));
    _ViberPerson* carl = b.person(3, QStringLiteral("+4917033"), LongName + QLatin1Char('s'));
    anna->photoPath = QDir(photoFolder).filePath(QStringLiteral("anna.jpg"));
    DataSetBuilder::writeImage(anna->photoPath, 40, 40);
    _ViberChat* withAnna = b.chat(1, {anna});
    _ViberChat* group = b.chat(2, {anna, ben}, QStringLiteral("Climbing"), QStringLiteral("77"));
    _ViberChat* withCarl = b.chat(3, {carl});
    QList<_ViberMsg*> messages;
    messages << b.message(withAnna, 7, Day1, QStringLiteral("apple pie tonight?"));
    messages << b.message(withAnna, 7, Day1.addSecs(60), QStringLiteral("yes, bring cream"), true);
    messages << b.message(withAnna, 7, Day1.addSecs(120), QStringLiteral("banana bread too"));
    messages << b.message(group, 7, Day1.addDays(1), QStringLiteral("rope check"), false, ben);
    messages << b.message(withCarl, 7, Day1.addDays(2), QStringLiteral("hello carl"));
    // Written as a backup writes it, contact photos copied into the database's folder.
    ProgressChannel channel;
    RecordingReceiver receiver(&channel);
    BackupViberMsgThread backup(messages, AppDirs::localDatabasePath(name), channel);
    receiver.runInWorkerThread(backup);
    QVERIFY(receiver.errors.isEmpty());
    QCOMPARE(receiver.successes.size(), 1);
}

QStringList shownTexts()
{
    QStringList texts;
    for (const MessageBox::Shown& shown : MessageBox::shownTexts())
        texts << shown.text;
    return texts;
}

// Name, size and content digest of every file below a folder.
QStringList folderState(const QString& folder)
{
    QStringList state;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        state << path + QLatin1Char(' ') +
                     QString::fromLatin1(
                         QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5).toHex());
    }
    state.sort();
    return state;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listsOnlyFoldersHoldingADatabase();
    void rootsClearTheView();
    void databaseAndChatSelection();
    void browsingLeavesTheFolderUntouched();
    void searchWrapsOnceAndReportsMisses();
    void contactSearchWalksTheChats();
    void onlyTheDateColumnSorts();
    void datesReadWholeInTheirColumn();
    void clearCacheNamesWhatStayed();
    void commandLineOpensADatabaseAtAChat();
    void usbTipsBoxWrapsItsLines();
    void headerNameCutsAtWholeCharacters();
    void deviceNodeComesAndGoesAboveDatabases();
    void deletingADatabaseNamedByDotsRemovesNothingElse();
    void virtualDeviceFolderIsListedAsADevice();
    void iPhoneBackupFolderIsListedAsADevice();
    void encryptedBackupCancelsDuringTheKeyDerivation();
    void virtualAndroidFolderIsASourceOnly();
    void closingDuringAModalStepEndsTheStepFirst();
    void phoneEventsQueuedBehindACloseStartNoStep();
    void simulatedPhoneAppearsLoadsAndGoes();
    void modernPhoneIsWrittenOnlyOnceItsNoticeIsTakenUp();
    void wifiPhoneIsKeptAliveWhileListed();
    void searchAllHistoriesOpensTheChatAtTheHit();

private:
    std::unique_ptr<MainWindow> makeWindow();
    QModelIndex localDbIndex(MainWindow& w, const QString& name);
    void select(MainWindow& w, const QModelIndex& index);

    QTemporaryDir m_photos;
};

void TestMainWindow::initTestCase()
{
    TestEnvironment::requireScratchDataHome();
    TestEnvironment::installTranslation();
    AppDirs::setAssetFolder(TestEnvironment::binDir()); // the bubbles' pictures and style
    MessageBox::setTestMode(true);
}

void TestMainWindow::init()
{
    AppDirs::removeTree(QDir(AppDirs::dataFolder()).filePath(QStringLiteral("virtual_android")));
    const QDir root(AppDirs::localDatabasesFolder());
    for (const QString& folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        AppDirs::removeTree(root.absoluteFilePath(folder));
    writeDatabase(QStringLiteral("Alpha"), m_photos.path());
    MessageBox::clearShown();
}

void TestMainWindow::cleanup()
{
    MessageBox::clearShown();
}

std::unique_ptr<MainWindow> TestMainWindow::makeWindow()
{
    MainWindow::Options options;
    options.startDeviceMonitor = false;
    options.startUsbTipsTimer = false;
    auto w = std::make_unique<MainWindow>(options);
    w->show();
    return w;
}

QModelIndex TestMainWindow::localDbIndex(MainWindow& w, const QString& name)
{
    _LocalDbItemNode* node = w.treeModel()->findLocalDb(name, Qt::CaseSensitive);
    return node ? w.treeModel()->nodeIndex(node) : QModelIndex();
}

void TestMainWindow::select(MainWindow& w, const QModelIndex& index)
{
    auto* tree = w.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    tree->setCurrentIndex(index);
    QCoreApplication::processEvents();
    QTRY_VERIFY(!w.isReadingDatabases()); // a local database is read in the background
}

void TestMainWindow::listsOnlyFoldersHoldingADatabase()
{
    QDir(AppDirs::localDatabasesFolder()).mkpath(QStringLiteral("Stray/Documents"));
    writeDatabase(QStringLiteral("Beta"), m_photos.path());
    auto w = makeWindow();
    QStringList names;
    for (_LocalDbItemNode* node : w->treeModel()->localDbNodes())
        names << node->text;
    QCOMPARE(names, QStringList({QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    QVERIFY(w->findChild<MyTreeView*>(QStringLiteral("treeViewDS"))
                ->isExpanded(w->treeModel()->nodeIndex(w->treeModel()->rootLocalDb())));
}

void TestMainWindow::rootsClearTheView()
{
    auto w = makeWindow();
    auto* count = w->findChild<QLabel*>(QStringLiteral("lbSMSCount"));
    select(*w, localDbIndex(*w, QStringLiteral("Alpha")));
    QCOMPARE(count->text(), QStringLiteral("Messages: 5"));
    select(*w, w->treeModel()->nodeIndex(w->treeModel()->rootDevice()));
    QCOMPARE(count->text(), QStringLiteral("Messages: 0"));
    QCOMPARE(w->messageModel()->rowCount(), 0);
    select(*w, localDbIndex(*w, QStringLiteral("Alpha")));
    select(*w, w->treeModel()->nodeIndex(w->treeModel()->rootLocalDb()));
    QCOMPARE(count->text(), QStringLiteral("Messages: 0"));
    QVERIFY(w->currentSourceData() == nullptr);

    // A database is read in the background; what it holds fills its row, but its
    // messages do not replace the view of a node chosen meanwhile.
    auto fresh = makeWindow();
    auto* tree = fresh->findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    const QModelIndex alpha = localDbIndex(*fresh, QStringLiteral("Alpha"));
    tree->setCurrentIndex(alpha);
    QVERIFY(fresh->isReadingDatabases());
    QCOMPARE(fresh->findChild<QLabel*>(QStringLiteral("lbChatName"))->text(),
             QStringLiteral("Reading Alpha…"));
    tree->setCurrentIndex(fresh->treeModel()->nodeIndex(fresh->treeModel()->rootDevice()));
    QTRY_VERIFY(!fresh->isReadingDatabases());
    QVERIFY(fresh->treeModel()->rowCount(alpha) > 0);
    QCOMPARE(fresh->messageModel()->rowCount(), 0);
    QVERIFY(fresh->currentSourceData() == nullptr);
}

void TestMainWindow::databaseAndChatSelection()
{
    // Two whole backups of a phone, the second without "banana bread too": that message is
    // marked gone, in the list and under its bubble, and the database says when it was
    // last backed up.
    const QString folder = AppDirs::localDatabasePath(QStringLiteral("Alpha"));
    const QString database = QDir(folder).filePath(QLatin1String(AppDirs::LocalDatabaseFile));
    const qint64 banana =
        TestEnvironment::pythonQuery(
            database, QStringLiteral("select Z_PK from ZVIBERMESSAGE where ZTEXT='banana bread too'"))
            .toLongLong();
    QVERIFY(banana > 0);
    QList<qint64> all;
    for (const QString& id : TestEnvironment::pythonQuery(
                                 database, QStringLiteral("select group_concat(Z_PK) from ZVIBERMESSAGE"))
                                 .split(u','))
        all.append(id.toLongLong());
    BackupRuns::Run run;
    run.source = QStringLiteral("phone:SIM0001");
    run.complete = true;
    run.started = Day1.addDays(10);
    run.ended = run.started;
    BackupRuns(folder).record(run, all);
    all.removeAll(banana);
    run.started = run.ended = Day1.addDays(11);
    QCOMPARE(BackupRuns(folder).record(run, all).gone, 1);

    auto w = makeWindow();
    auto* count = w->findChild<QLabel*>(QStringLiteral("lbSMSCount"));
    auto* name = w->findChild<QLabel*>(QStringLiteral("lbChatName"));
    auto* picture = w->findChild<QLabel*>(QStringLiteral("lbChatImg"));
    const QModelIndex alpha = localDbIndex(*w, QStringLiteral("Alpha"));
    select(*w, alpha);
    QCOMPARE(w->treeModel()->rowCount(alpha), 3);
    QCOMPARE(name->text(), QStringLiteral("All"));
    QVERIFY(picture->isHidden());
    QVERIFY(w->currentSourceData() != nullptr);

    // Chats come newest first: Carl (day 3), the group (day 2), Anna (day 1).
    const QModelIndex carl = w->treeModel()->index(0, 0, alpha);
    const QModelIndex group = w->treeModel()->index(1, 0, alpha);
    const QModelIndex anna = w->treeModel()->index(2, 0, alpha);
    // The screenshot below shows the chat's bubbles, once their page has loaded.
    QSignalSpy bubblesLoaded(w->findChild<QWebEngineView*>(QStringLiteral("webViewSMS")),
                             &QWebEngineView::loadFinished);
    select(*w, anna);
    QCOMPARE(count->text(), QStringLiteral("Messages: 3"));
    QCOMPARE(name->text(), QStringLiteral("Anna"));
    QVERIFY(!picture->isHidden());
    QCOMPARE(picture->pixmap().width(), 32);
    QVERIFY(w->currentChat() != nullptr);
    QCOMPARE(w->currentSourceData(),
             static_cast<_AbsDBItemNode*>(w->treeModel()->nodeFromIndex(alpha))->data);

    int goneRows = 0;
    for (int row = 0; row < w->messageModel()->rowCount(); ++row) {
        const QModelIndex flag = w->messageModel()->index(row, ItemModelSms::ColumnFlag);
        const bool gone = flag.data().toString() == QLatin1String("Gone");
        goneRows += gone ? 1 : 0;
        QCOMPARE(gone, w->messageModel()->messageAt(row)->id == banana);
        QCOMPARE(flag.data(Qt::ToolTipRole).toString().contains(QLatin1String("Gone from the phone since")),
                 gone);
    }
    QCOMPARE(goneRows, 1);
    QCOMPARE(w->bubbleView()->renderPage(1).count(QLatin1String("Gone from the phone since")), 1);
    QVERIFY(!bubblesLoaded.isEmpty() || bubblesLoaded.wait(30000));
    QTest::qWait(300); // the page paints after it has loaded
    w->grab().save(QStringLiteral(VELLIPORT_SCREENSHOT_DIR "/gone-marks.png"));
    QVERIFY2(alpha.data(Qt::ToolTipRole).toString().contains(QLatin1String("Last backup: ")),
             qPrintable(alpha.data(Qt::ToolTipRole).toString()));

    select(*w, group);
    QCOMPARE(name->text(), QStringLiteral("Climbing"));
    QCOMPARE(count->text(), QStringLiteral("Messages: 1"));

    // 21 characters: 17 of them and "...".
    select(*w, carl);
    QCOMPARE(name->text(), QString(LongName + QLatin1Char('s')).left(17) + QStringLiteral("..."));
}

void TestMainWindow::browsingLeavesTheFolderUntouched()
{
    const QString folder = AppDirs::localDatabasePath(QStringLiteral("Alpha"));
    const QStringList before = folderState(folder);
    {
        auto w = makeWindow();
        const QModelIndex alpha = localDbIndex(*w, QStringLiteral("Alpha"));
        select(*w, alpha);
        select(*w, w->treeModel()->index(0, 0, alpha));
    }
    QCOMPARE(folderState(folder), before);
}

void TestMainWindow::searchWrapsOnceAndReportsMisses()
{
    auto w = makeWindow();
    auto* list = w->findChild<MessageListView*>(QStringLiteral("treeViewSMS"));
    auto* keyword = w->findChild<QLineEdit*>(QStringLiteral("txtSMSKeyword"));

    keyword->setText(QStringLiteral("pie"));
    w->searchMessages();
    QCOMPARE(shownTexts().size(), 1); // nothing listed yet
    QVERIFY(shownTexts().first().contains(QStringLiteral("Can't find any Message.")));
    MessageBox::clearShown();

    const QModelIndex alpha = localDbIndex(*w, QStringLiteral("Alpha"));
    select(*w, alpha);
    select(*w, w->treeModel()->index(2, 0, alpha)); // Anna, oldest first
    QCOMPARE(w->messageModel()->rowCount(), 3);
    list->setCurrentIndex(w->messageModel()->indexOfRow(2));
    keyword->setText(QStringLiteral("  APPLE "));
    w->searchMessages();
    QCOMPARE(list->currentIndex().row(), 0);
    QVERIFY(shownTexts().isEmpty());

    keyword->setText(QStringLiteral("bread"));
    w->searchMessages();
    QCOMPARE(list->currentIndex().row(), 2);

    keyword->setText(QStringLiteral("caviar"));
    w->searchMessages();
    QCOMPARE(list->currentIndex().row(), 2);
    QCOMPARE(shownTexts().size(), 1);
    QVERIFY(shownTexts().first().contains(QStringLiteral("Find no Message with keyword caviar.")));
}

void TestMainWindow::contactSearchWalksTheChats()
{
    auto w = makeWindow();
    auto* tree = w->findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    auto* keyword = w->findChild<QLineEdit*>(QStringLiteral("txtHandleKeyword"));
    const QModelIndex alpha = localDbIndex(*w, QStringLiteral("Alpha"));
    select(*w, alpha);
    keyword->setText(QStringLiteral("anna"));
    w->searchCotnact();
    QCOMPARE(tree->currentIndex(), w->treeModel()->index(2, 0, alpha));
    // Anna's chat is the last row: the next search wraps to the top.
    keyword->setText(QStringLiteral("twentyone"));
    w->searchCotnact();
    QCOMPARE(tree->currentIndex(), w->treeModel()->index(0, 0, alpha));
    keyword->setText(QStringLiteral("nobody"));
    w->searchCotnact();
    QCOMPARE(tree->currentIndex(), w->treeModel()->index(0, 0, alpha));
    QCOMPARE(shownTexts().size(), 1);
    QVERIFY(shownTexts().first().contains(QStringLiteral("Find no contact with keyword nobody.")));
}

void TestMainWindow::onlyTheDateColumnSorts()
{
    auto w = makeWindow();
    auto* list = w->findChild<MessageListView*>(QStringLiteral("treeViewSMS"));
    select(*w, localDbIndex(*w, QStringLiteral("Alpha")));
    QCOMPARE(w->messageModel()->messageAt(0)->text, QStringLiteral("apple pie tonight?"));

    list->header()->setSortIndicator(0, Qt::DescendingOrder);
    QCOMPARE(w->messageModel()->messageAt(0)->text, QStringLiteral("hello carl"));
    QCOMPARE(w->messageModel()->messageAt(4)->text, QStringLiteral("apple pie tonight?"));

    list->header()->setSortIndicator(1, Qt::AscendingOrder);
    QCOMPARE(list->header()->sortIndicatorSection(), 0);
    QCOMPARE(list->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(w->messageModel()->messageAt(0)->text, QStringLiteral("apple pie tonight?"));
}

// The style elides a cell's text to its text rectangle less a margin on each side; a
// date that fits there is shown whole.
void TestMainWindow::datesReadWholeInTheirColumn()
{
    auto w = makeWindow();
    auto* list = w->findChild<MessageListView*>(QStringLiteral("treeViewSMS"));
    DataSetBuilder b;
    _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+1"))});
    QList<_ViberMsg*> messages;
    for (int month = 1; month <= 12; ++month)
        messages << b.message(chat, 7, QDateTime(QDate(2024, month, 28), QTime(22, 58, 58)),
                              QStringLiteral("x"));
    w->messageModel()->setMessages(messages);
    QCoreApplication::processEvents();
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    for (int row = 0; row < messages.size(); ++row) {
        const QModelIndex index = w->messageModel()->index(row, 0);
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.font = list->font();
        option.rect = list->visualRect(index);
        option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
        option.decorationSize = index.data(Qt::DecorationRole).value<QPixmap>().size();
        option.text = index.data().toString();
        const QRect text = list->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, list);
        QVERIFY2(list->fontMetrics().horizontalAdvance(option.text) <= text.width() - 2 * margin,
                 qPrintable(QStringLiteral("%1 in %2 pixels").arg(option.text).arg(text.width())));
    }
}

void TestMainWindow::clearCacheNamesWhatStayed()
{
    const QString cache = QDir(AppDirs::dataFolder()).filePath(QStringLiteral("android_cache"));
    const auto tidy = qScopeGuard([&cache] {
        QFile::remove(cache);
        AppDirs::removeTree(cache);
    });
    auto w = makeWindow();
    // A file where the cache folder belongs is never followed into nor removed.
    AppDirs::removeTree(cache);
    QVERIFY(DataSetBuilder::writeFile(cache, "not a folder"));
    w->miClearCache();
    QCOMPARE(MessageBox::shownTexts().size(), 1);
    QCOMPARE(MessageBox::shownTexts().first().kind, MessageBox::Kind::Warning);
    QCOMPARE(shownTexts().first(), QCoreApplication::translate("Velliport", "IDS_CLEAR_CACHE_FAILED_%1")
                                       .arg(QDir::toNativeSeparators(cache)));

    MessageBox::clearShown();
    QVERIFY(QFile::remove(cache));
    QVERIFY(DataSetBuilder::writeFile(cache + QStringLiteral("/SIM1/ab-extract/x.db"), "cached"));
    w->miClearCache();
    QCOMPARE(shownTexts(), QStringList({QCoreApplication::translate("Velliport", "IDS_SUC_CLEAR_CACHE")}));
    QVERIFY(!QFileInfo::exists(cache));
}

void TestMainWindow::commandLineOpensADatabaseAtAChat()
{
    writeDatabase(QStringLiteral("Beta"), m_photos.path());
    const MainWindow::Options options = MainWindow::optionsFromArguments(
        {QStringLiteral("velliport"), QStringLiteral("--open-database"), QStringLiteral("Beta"),
         QStringLiteral("--open-chat"), QStringLiteral("Climb"), QStringLiteral("--no-usb-tips")});
    QVERIFY(!options.startUsbTipsTimer);
    QVERIFY(options.startDeviceMonitor);
    MainWindow::Options quiet = options;
    quiet.startDeviceMonitor = false;
    MainWindow w(quiet);
    w.show();
    auto* name = w.findChild<QLabel*>(QStringLiteral("lbChatName"));
    QTRY_COMPARE(name->text(), QStringLiteral("Climbing"));
    QCOMPARE(w.messageModel()->rowCount(), 1);
    QVERIFY(w.bubbleView()->renderPage(1).contains(QLatin1String("rope check")));
    QCOMPARE(w.currentSourceData(), w.treeModel()->findLocalDb(QStringLiteral("Beta"))->data);

    // Without a chat that fits, the database's first (newest) chat; a missing database
    // leaves the window as it starts.
    quiet.openChat = QStringLiteral("Nobody");
    MainWindow first(quiet);
    QTRY_VERIFY(first.currentChat() != nullptr);
    QCOMPARE(first.messageModel()->messageAt(0)->text, QStringLiteral("hello carl"));
    quiet.openDatabase = QStringLiteral("Gamma");
    MainWindow none(quiet);
    QTest::qWait(100);
    QVERIFY(none.currentSourceData() == nullptr);
    QVERIFY(shownTexts().isEmpty());
    QVERIFY(MainWindow::optionsFromArguments({QStringLiteral("velliport")}).startUsbTipsTimer);
}

// The advice shown when no phone is found has long lines: they wrap inside the box.
void TestMainWindow::usbTipsBoxWrapsItsLines()
{
    auto w = makeWindow();
    w->resize(1280, 860);
    MessageBox::setTestMode(false);
    const auto testMode = qScopeGuard([] { MessageBox::setTestMode(true); });
    QString problem = QStringLiteral("no box");
    QTimer::singleShot(200, w.get(), [&problem] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        QDir().mkpath(QStringLiteral(VELLIPORT_SCREENSHOT_DIR));
        box->grab().save(QStringLiteral(VELLIPORT_SCREENSHOT_DIR "/usb-tips.png"));
        const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (!label)
            problem = QStringLiteral("no label");
        else if (!label->wordWrap())
            problem = QStringLiteral("the label does not wrap");
        else if (!box->rect().contains(label->geometry()))
            problem =
                QStringLiteral("a label %1 px wide in a box of %2").arg(label->width()).arg(box->width());
        else if (label->heightForWidth(label->width()) > label->height())
            problem = QStringLiteral("%1 px of lines in %2")
                          .arg(label->heightForWidth(label->width()))
                          .arg(label->height());
        else
            problem.clear();
        box->accept();
    });
    w->androidUsbTips();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestMainWindow::headerNameCutsAtWholeCharacters()
{
    QCOMPARE(MainWindow::headerChatName(LongName), LongName);
    QCOMPARE(MainWindow::headerChatName(LongName + QLatin1Char('s')),
             LongName.left(17) + QStringLiteral("..."));
    // 21 emoji, each a surrogate pair: the cut keeps 17 whole ones.
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString faces = face.repeated(21);
    QCOMPARE(MainWindow::headerChatName(faces), face.repeated(17) + QStringLiteral("..."));
    // A family sequence counts as one character.
    const QString family =
        QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
    QCOMPARE(MainWindow::headerChatName(family.repeated(20)), family.repeated(20));
}

void TestMainWindow::deviceNodeComesAndGoesAboveDatabases()
{
    auto w = makeWindow();
    auto* count = w->findChild<QLabel*>(QStringLiteral("lbSMSCount"));
    DataSetBuilder phone;
    _ViberPerson* dora = phone.person(9, QStringLiteral("+4917099"), QStringLiteral("Dora"));
    _ViberChat* chat = phone.chat(9, {dora});
    phone.message(chat, 7, Day1, QStringLiteral("from the phone"));
    AndroidDevice device;
    device.serial = QStringLiteral("SIM0001");
    device.manufacturer = QStringLiteral("Pixel");
    _AndroidDeviceItemNode* node = w->treeModel()->addAndroidDevice(device);
    node->data = phone.dataSet();
    w->treeModel()->loadChats(node);
    const QPersistentModelIndex alpha = localDbIndex(*w, QStringLiteral("Alpha"));

    select(*w, w->treeModel()->index(0, 0, w->treeModel()->nodeIndex(node)));
    QCOMPARE(count->text(), QStringLiteral("Messages: 1"));

    w->androidDeviceDisconnected(QStringLiteral("SIM0001"));
    QCOMPARE(count->text(), QStringLiteral("Messages: 0"));
    QVERIFY(w->treeModel()->deviceNodes().isEmpty());
    QVERIFY(w->currentChat() == nullptr);
    QVERIFY(alpha.isValid());
    QCOMPARE(w->treeModel()->parent(alpha),
             QModelIndex(w->treeModel()->nodeIndex(w->treeModel()->rootLocalDb())));

    // The databases below still work after the device above them went.
    select(*w, alpha);
    QCOMPARE(count->text(), QStringLiteral("Messages: 5"));
}

void TestMainWindow::deletingADatabaseNamedByDotsRemovesNothingElse()
{
    // A node named "..." (a name an older backup dialog let through) must never lead to
    // its sanitised path, the local-database root itself.
    auto w = makeWindow();
    w->treeModel()->addLocalDb(QStringLiteral("..."));
    const QModelIndex node = localDbIndex(*w, QStringLiteral("..."));
    QVERIFY(node.isValid());
    select(*w, node);
    MessageBox::queueAnswer(QMessageBox::Yes);
    w->miDeleteAll();
    QVERIFY(QFileInfo(AppDirs::localDatabasePath(QStringLiteral("Alpha"))).isDir());
    QVERIFY(QFileInfo(AppDirs::localDatabasesFolder()).isDir());
    QVERIFY(shownTexts().size() >= 2); // the question, then the error
    QVERIFY(shownTexts().last().contains(QStringLiteral("Could not delete")));

    select(*w, localDbIndex(*w, QStringLiteral("Alpha")));
    MessageBox::clearShown();
    MessageBox::queueAnswer(QMessageBox::Yes);
    w->miDeleteAll();
    QVERIFY(!QFileInfo::exists(AppDirs::localDatabasePath(QStringLiteral("Alpha"))));
    QVERIFY(!localDbIndex(*w, QStringLiteral("Alpha")).isValid());
    QVERIFY(shownTexts().last().contains(QStringLiteral("Successfully deleted database.")));
}

void TestMainWindow::virtualDeviceFolderIsListedAsADevice()
{
    const QString folder = QDir(AppDirs::dataFolder()).filePath(QStringLiteral("virtual_android/Old phone"));
    QVERIFY(QDir().mkpath(folder));
    const QString source = AppDirs::localDatabasePath(QStringLiteral("Alpha"));
    for (const QString& file : LocalDbFixture::filesBelow(source)) {
        QDir().mkpath(QFileInfo(QDir(folder).filePath(file)).path());
        QVERIFY(QFile::copy(QDir(source).filePath(file), QDir(folder).filePath(file)));
    }
    MainWindow::Options options;
    options.startDeviceMonitor = false;
    options.startUsbTipsTimer = false;
    MainWindow w(options);
    const QList<_AndroidDeviceItemNode*> devices = w.treeModel()->deviceNodes();
    QCOMPARE(devices.size(), 1);
    QCOMPARE(devices.first()->text, QStringLiteral("Old phone"));
    QCOMPARE(devices.first()->childCount(), 3);
    QCOMPARE(devices.first()->device.serial, AppDirs::md5Hex(QFileInfo(folder).absoluteFilePath()));
}

// A backup folder placed among the virtual devices is read through its manifest; an
// encrypted one is listed locked without a question at start-up, and asks for its
// password when selected or used: a Cancel leaves it locked, a wrong password is told
// and asked again, the right one reads what the plain backup holds.
void TestMainWindow::iPhoneBackupFolderIsListedAsADevice()
{
    const QDir virtualRoot(QDir(AppDirs::dataFolder()).filePath(QStringLiteral("virtual_android")));
    const IPhoneBackupFixture backup;
    const IPhoneBackupFixture locked(IPhoneBackupFixture::Shape::Encrypted);
    QVERIFY(QDir().mkpath(virtualRoot.path()));
    QVERIFY(QFile::link(backup.folder(), virtualRoot.filePath(QStringLiteral("iPhone"))));
    QVERIFY(QFile::link(locked.folder(), virtualRoot.filePath(QStringLiteral("Locked iPhone"))));
    const QMap<QString, QByteArray> before = IPhoneBackupFixture::snapshot(backup.folder());
    const QMap<QString, QByteArray> lockedBefore = IPhoneBackupFixture::snapshot(locked.folder());
    BackupPasswordDialog::setTestMode(true);
    FileDialog::setTestMode(true);
    const auto restore = qScopeGuard([&] {
        BackupPasswordDialog::setTestMode(false);
        FileDialog::setTestMode(false);
        BackupPasswords::forget(virtualRoot.filePath(QStringLiteral("Locked iPhone")));
    });
    {
        auto w = makeWindow();
        ItemModelMain* model = w->treeModel();
        const QList<_AndroidDeviceItemNode*> devices = model->deviceNodes();
        QCOMPARE(devices.size(), 2);
        _AndroidDeviceItemNode* encrypted = devices.at(0);
        QCOMPARE(encrypted->text, QStringLiteral("Locked iPhone"));
        QVERIFY(encrypted->locked);
        QCOMPARE(encrypted->childCount(), 0);
        QVERIFY(model->data(model->nodeIndex(encrypted), Qt::ToolTipRole)
                    .toString()
                    .contains(QCoreApplication::translate("Velliport", "IDS_IPHONE_BACKUP_LOCKED")));
        QCOMPARE(devices.at(1)->text, QStringLiteral("iPhone"));
        QCOMPARE(devices.at(1)->childCount(), 3);
        QVERIFY(shownTexts().isEmpty());
        QCOMPARE(BackupPasswordDialog::askedCount(), 0);

        BackupPasswordDialog::queueAnswer(std::nullopt);
        select(*w, model->nodeIndex(encrypted));
        QCOMPARE(BackupPasswordDialog::askedCount(), 1);
        QVERIFY(encrypted->locked);
        QCOMPARE(encrypted->childCount(), 0);
        // A command on the locked backup asks first, and does not run without it.
        BackupPasswordDialog::queueAnswer(std::nullopt);
        QAction* exportAction = w->actions()->action(MainActions::ExportToolbar);
        QVERIFY(exportAction->isEnabled());
        exportAction->trigger();
        QCOMPARE(BackupPasswordDialog::askedCount(), 2);
        QVERIFY(encrypted->locked);
        QVERIFY(shownTexts().isEmpty());

        select(*w, model->nodeIndex(devices.at(1)));
        BackupPasswordDialog::queueAnswer(QStringLiteral("correct horse"));
        BackupPasswordDialog::queueAnswer(QString::fromUtf8(IPhoneBackupFixture::Password));
        select(*w, model->nodeIndex(encrypted));
        QCOMPARE(BackupPasswordDialog::askedCount(), 4);
        QCOMPARE(shownTexts(),
                 QStringList{QCoreApplication::translate("Velliport", "IDS_IPHONE_BACKUP_WRONG_PASSWORD")});
        QVERIFY(!encrypted->locked);
        QCOMPARE(encrypted->childCount(), 3);
        QCOMPARE(encrypted->data->allMessages().size(), devices.at(1)->data->allMessages().size());
        QCOMPARE(w->messageModel()->rowCount(), encrypted->data->allMessages().size());
        QCOMPARE(model->data(model->nodeIndex(encrypted), Qt::DisplayRole).toString(),
                 QStringLiteral("Locked iPhone"));
    }
    QCOMPARE(IPhoneBackupFixture::snapshot(backup.folder()), before);
    QCOMPARE(IPhoneBackupFixture::snapshot(locked.folder()), lockedBefore);
}

// The phone's key derivation takes seconds: the progress form shows how far it is, and
// its Cancel ends the load at once, leaving the backup locked and no decrypted copy.
// The password dialog takes what is typed out of its field as soon as OK is pressed.
void TestMainWindow::encryptedBackupCancelsDuringTheKeyDerivation()
{
    const IPhoneBackupFixture slow(IPhoneBackupFixture::Shape::Encrypted);
    // Phones use 10,000,000; a few million keep the derivation busy for seconds here too.
    const QString plist = QDir(slow.folder()).filePath(QLatin1String(IPhoneBackup::PropertiesFile));
    QVariantMap properties = PropertyList::readFile(plist).toMap();
    properties[QStringLiteral("BackupKeyBag")] = EncryptedBackupBuilder::withHeaderValue(
        properties.value(QStringLiteral("BackupKeyBag")).toByteArray(), "DPIC",
        EncryptedBackupBuilder::bigEndian(3'000'000));
    QVERIFY(TestEnvironment::writeFile(plist, EncryptedBackupBuilder::binaryPropertyList(properties)));
    const QDir virtualRoot(QDir(AppDirs::dataFolder()).filePath(QStringLiteral("virtual_android")));
    QVERIFY(QDir().mkpath(virtualRoot.path()));
    QVERIFY(QFile::link(slow.folder(), virtualRoot.filePath(QStringLiteral("Slow iPhone"))));
    BackupPasswordDialog::setTestMode(true);
    const auto restore = qScopeGuard([&] {
        BackupPasswordDialog::setTestMode(false);
        BackupPasswords::forget(virtualRoot.filePath(QStringLiteral("Slow iPhone")));
    });

    auto w = makeWindow();
    _AndroidDeviceItemNode* node = w->treeModel()->deviceNodes().value(0);
    QVERIFY(node && node->locked);
    const QStringList workFolders = QDir::temp().entryList({QStringLiteral("velliport-*")}, QDir::AllEntries);
    QString shownProgress;
    QElapsedTimer sinceCancel;
    DialogCloser closer;
    closer.expect<ProgressForm>([&](ProgressForm* form) {
        auto* poll = new QTimer(form);
        QObject::connect(poll, &QTimer::timeout, form, [&, form] {
            const QString text = form->findChild<QLabel*>(QStringLiteral("lbProgress"))->text();
            if (sinceCancel.isValid() || !text.startsWith(QStringLiteral("About ")))
                return;
            shownProgress = text;
            sinceCancel.start();
            form->cancel();
        });
        poll->start(20);
    });
    BackupPasswordDialog::queueAnswer(QString::fromUtf8(IPhoneBackupFixture::Password));
    QElapsedTimer whole;
    whole.start();
    select(*w, w->treeModel()->nodeIndex(node));
    QVERIFY2(sinceCancel.isValid(),
             qPrintable(QStringLiteral("no derivation progress shown in %1 ms").arg(whole.elapsed())));
    QVERIFY2(sinceCancel.elapsed() < 1000, qPrintable(QString::number(sinceCancel.elapsed())));
    QVERIFY(shownProgress.endsWith(QStringLiteral(" s left")));
    QVERIFY(node->locked);
    QCOMPARE(node->childCount(), 0);
    QVERIFY(shownTexts().isEmpty());
    QCOMPARE(QDir::temp().entryList({QStringLiteral("velliport-*")}, QDir::AllEntries), workFolders);

    BackupPasswordDialog dialog(QStringLiteral("Slow iPhone"), w.get());
    dialog.show();
    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("txtBackupPassword"));
    QCOMPARE(field->echoMode(), QLineEdit::Password);
    QTest::keyClicks(field, QStringLiteral("hunter2"));
    QDir().mkpath(QStringLiteral(VELLIPORT_SCREENSHOT_DIR));
    QVERIFY(dialog.grab().save(QStringLiteral(VELLIPORT_SCREENSHOT_DIR "/backup-password.png")));
    dialog.accept();
    QVERIFY(field->text().isEmpty());
    QCOMPARE(dialog.takePassword().exposed(), QByteArrayLiteral("hunter2"));
}

// An unpacked Android folder is read without a change to it, its media used where they
// lie; it is offered as a source only, and its "cache" is the folder itself.
void TestMainWindow::virtualAndroidFolderIsASourceOnly()
{
    const AndroidFixture phone(AndroidFixture::Shape::Modern);
    const QDir virtualRoot(QDir(AppDirs::dataFolder()).filePath(QStringLiteral("virtual_android")));
    const QString folder = QFileInfo(virtualRoot.filePath(QStringLiteral("Old Android"))).absoluteFilePath();
    for (const QString& name : {QStringLiteral("Old Android"), QStringLiteral("Spare Android")}) {
        QDirIterator it(phone.extractRoot(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString copy =
                virtualRoot.filePath(name + u'/' + QDir(phone.extractRoot()).relativeFilePath(file));
            QVERIFY(QDir().mkpath(QFileInfo(copy).path()));
            QVERIFY(QFile::copy(file, copy));
        }
    }
    const QString picture =
        QDir(folder).filePath(QStringLiteral("ab-extract/sdcard/Android/data/com.viber.voip/files/.image/"
                                             "IMG-0123456789abcdef0123456789abcdef-V.jpg"));
    DataSetBuilder::writeImage(picture, 16, 16);
    const QStringList before = folderState(folder);

    auto w = makeWindow();
    const QList<_AndroidDeviceItemNode*> devices = w->treeModel()->deviceNodes();
    QCOMPARE(devices.size(), 2);
    _AndroidDeviceItemNode* old = devices.first();
    QVERIFY(old->data);
    const _ViberAtta* atta = old->data->messages.value(3)->attachment;
    QCOMPARE(atta->localPath, picture);
    QVERIFY(QFileInfo(atta->localPath).isFile());
    QCOMPARE(folderState(folder), before);

    // Only folders read as devices: nothing to transfer to, from a device or a database.
    MainActions* actions = w->actions();
    select(*w, w->treeModel()->nodeIndex(old));
    QVERIFY(actions->action(MainActions::BackupToolbar)->isEnabled());
    QVERIFY(!actions->action(MainActions::A2aToolbar)->isEnabled());
    QVERIFY(!actions->action(MainActions::UndoTransfer)->isEnabled());
    std::unique_ptr<QMenu> menu(w->createTreeContextMenu());
    QVERIFY(!actions->action(MainActions::A2aAll)->isEnabled());
    select(*w, localDbIndex(*w, QStringLiteral("Alpha")));
    QVERIFY(!actions->action(MainActions::Db2aToolbar)->isEnabled());

    QList<QUrl> opened;
    AppDirs::setShellOpenHook([&opened](const QUrl& url) { opened << url; });
    const auto restoreHook = qScopeGuard([] { AppDirs::setShellOpenHook({}); });
    select(*w, w->treeModel()->nodeIndex(old));
    actions->action(MainActions::ViewCacheFiles)->trigger();
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(folder)});

    // With a phone beside them, the phone is the one target a folder is offered.
    AndroidDevice device;
    device.serial = QStringLiteral("SIM1");
    device.model = QStringLiteral("Pixel");
    w->treeModel()->addAndroidDevice(device);
    select(*w, w->treeModel()->nodeIndex(old));
    QVERIFY(actions->action(MainActions::A2aToolbar)->isEnabled());
    QStringList offered;
    DialogCloser closer;
    closer.expect<DataSourceSelForm>([&offered](DataSourceSelForm* form) {
        auto* box = form->findChild<QComboBox*>(QStringLiteral("cbDevice"));
        for (int i = 0; i < box->count(); ++i)
            offered << box->itemText(i);
        form->reject();
    });
    w->miA2aAll();
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(offered, QStringList({QStringLiteral("Pixel")}));
}

void TestMainWindow::closingDuringAModalStepEndsTheStepFirst()
{
    auto w = makeWindow();
    bool modalSeen = false;
    // A log-out's close arrives while the about box runs its own event loop.
    QTimer::singleShot(100, w.get(), [&] {
        modalSeen = QApplication::activeModalWidget() != nullptr;
        w->close();
    });
    w->miAbout(); // returns only once the box has gone
    QVERIFY(modalSeen);
    QVERIFY(w->isVisible()); // the window follows from the event loop
    QTRY_VERIFY(!w->isVisible());
}

void TestMainWindow::phoneEventsQueuedBehindACloseStartNoStep()
{
    auto w = makeWindow();
    QVERIFY(w->close());
    QVERIFY(!w->isVisible());
    // The phone arrived just before the close was handled: its event still runs, but
    // must neither start the connection nor leave a form open that keeps the program up.
    w->androidDeviceConnected(
        AdbDevice{QStringLiteral("SIM0001\tdevice"), QStringLiteral("SIM0001"), QStringLiteral("device")});
    QVERIFY(shownTexts().isEmpty());
    QVERIFY(w->treeModel()->deviceNodes().isEmpty());
}

void TestMainWindow::simulatedPhoneAppearsLoadsAndGoes()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    sim.addSampleDevice(QStringLiteral("SIM0001"));
    MainWindow::Options options;
    options.startUsbTipsTimer = false;
    options.loadVirtualDevices = false;
    auto w = std::make_unique<MainWindow>(options);
    w->show();
    // The monitor reports the phone, the window connects and loads it behind its
    // progress forms, and the device node arrives with the sample's chats.
    QTRY_VERIFY_WITH_TIMEOUT(w->treeModel()->deviceNodes().size() == 1, 60000);
    _AndroidDeviceItemNode* node = w->treeModel()->deviceNodes().first();
    QVERIFY(node->data != nullptr);
    QCOMPARE(node->data->messages.size(), qsizetype(SimSample::MessageCount));
    QVERIFY(node->childCount() > 0);
    QCOMPARE(node->device.serial, QStringLiteral("SIM0001"));
    QVERIFY(shownTexts().isEmpty());
    auto* count = w->findChild<QLabel*>(QStringLiteral("lbSMSCount"));
    QTRY_COMPARE(count->text(), QStringLiteral("Messages: %1").arg(SimSample::MessageCount));

    // Unplugged: the phone leaves the device list.
    QVERIFY(QDir(sim.stateDir() + QStringLiteral("/devices/SIM0001")).removeRecursively());
    QTRY_VERIFY_WITH_TIMEOUT(w->treeModel()->deviceNodes().isEmpty(), 20000);
    QCOMPARE(count->text(), QStringLiteral("Messages: 0"));
}

// A phone of today's Viber is written only after the notice that such a write is
// experimental has been answered Yes; answered No, the phone keeps every byte.
void TestMainWindow::modernPhoneIsWrittenOnlyOnceItsNoticeIsTakenUp()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    SimSample::Options modern;
    modern.sdkLevel = SimSample::Modern::SdkLevel;
    modern.modern = true;
    const SimDevice phone = sim.addSampleDevice(QStringLiteral("SIM0013"), modern);
    const QDir databases(phone.fileFor(QLatin1String(SimDevice::ViberDatabases)));
    const QString phoneMessages = databases.filePath(QStringLiteral("viber_messages"));
    const auto phoneState = [&databases] {
        QMap<QString, QByteArray> files;
        for (const QString& name : databases.entryList(QDir::Files | QDir::Hidden))
            files.insert(name, TestEnvironment::readFile(databases.filePath(name)));
        return files;
    };
    const QMap<QString, QByteArray> original = phoneState();
    QTemporaryDir before;
    for (auto it = original.cbegin(); it != original.cend(); ++it)
        QVERIFY(TestEnvironment::writeFile(before.filePath(it.key()), it.value()));

    MainWindow::Options options;
    options.startUsbTipsTimer = false;
    options.loadVirtualDevices = false;
    auto w = std::make_unique<MainWindow>(options);
    w->show();
    QTRY_VERIFY_WITH_TIMEOUT(w->treeModel()->deviceNodes().size() == 1, 60000);
    const _AndroidDeviceItemNode* node = w->treeModel()->deviceNodes().first();
    QCOMPARE(node->data->messages.size(), qsizetype(SimSample::Modern::ShownMessages));
    QTRY_VERIFY(w->currentSourceData() == node->data); // the loaded phone is shown first
    select(*w, localDbIndex(*w, QStringLiteral("Alpha")));
    DialogCloser closer;
    const auto transfer = [&](QMessageBox::StandardButton answer) {
        MessageBox::clearShown();
        closer.expect<DataSourceSelForm>(
            [](DataSourceSelForm* form) { form->findChild<QPushButton*>(QStringLiteral("btnOK"))->click(); });
        MessageBox::queueAnswer(QMessageBox::Ok); // the advice to reload first
        MessageBox::queueAnswer(answer);
        w->miDb2aAll();
    };

    transfer(QMessageBox::No);
    QCOMPARE(closer.pending(), 0);
    const QList<MessageBox::Shown> asked = MessageBox::shownTexts();
    QCOMPARE(asked.size(), 2);
    QCOMPARE(asked.last().kind, MessageBox::Kind::Question);
    QCOMPARE(asked.last().text, QCoreApplication::translate("Velliport", "IDS_MODERN_TRANSFER_NOTICE"));
    QVERIFY(asked.last().text.contains(QLatin1String("experimental")));
    QVERIFY(asked.last().text.contains(QLatin1String("Undo Last Transfer")));
    QCOMPARE(phoneState(), original);

    transfer(QMessageBox::Yes);
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(shownTexts(),
             (QStringList{
                 asked.first().text, asked.last().text,
                 QCoreApplication::translate("Velliport", "IDS_SUC_RESTORE_%1_MESSAGES_TO_ANDROID").arg(5)}));
    QVERIFY(TestEnvironment::readFile(phoneMessages) != original.value(QStringLiteral("viber_messages")));
    const QJsonObject check =
        ModernViberCheck::run(before.filePath(QStringLiteral("viber_messages")), phoneMessages);
    QVERIFY2(!check.contains(QLatin1String("error")),
             qPrintable(check.value(QLatin1String("error")).toString()));
    QCOMPARE(check.value(QLatin1String("changed")).toArray(), QJsonArray());
    QCOMPARE(check.value(QLatin1String("added")).toArray().size(), 5); // all of Alpha's
    QDir().mkpath(QStringLiteral(VELLIPORT_SCREENSHOT_DIR));
    QVERIFY(w->grab().save(QStringLiteral(VELLIPORT_SCREENSHOT_DIR "/modern-transfer.png")));
}

void TestMainWindow::wifiPhoneIsKeptAliveWhileListed()
{
    // A control port that counts the heartbeats it answers.
    QTcpServer control;
    QVERIFY(control.listen(QHostAddress::LocalHost, 0));
    int pings = 0;
    connect(&control, &QTcpServer::newConnection, &control, [&] {
        QTcpSocket* socket = control.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [&pings, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine().trimmed() == "$ping:") {
                ++pings;
                socket->write("$pong:\n");
            }
            socket->disconnectFromHost();
        });
    });
    MainWindow::Options options;
    options.startDeviceMonitor = false;
    options.startUsbTipsTimer = false;
    options.wifiKeepAliveInterval = std::chrono::milliseconds(100);
    auto w = std::make_unique<MainWindow>(options);
    AndroidDevice device;
    device.viaWifi = true;
    device.host = QStringLiteral("127.0.0.1");
    device.port = control.serverPort();
    device.uid = QStringLiteral("wifi-1");
    device.model = QStringLiteral("Pixel");
    device.sdkLevel = 28;
    device.rooted = true;
    device.storage = QStringLiteral("/storage/emulated/0");
    _AndroidDeviceItemNode* node = w->treeModel()->addAndroidDevice(device);
    QTRY_VERIFY_WITH_TIMEOUT(pings >= 3, 5000);
    QVERIFY(w->wifiKeepAlive()->isFollowing(device.deviceId()));

    w->treeModel()->removeNode(node);
    QVERIFY(!w->wifiKeepAlive()->isFollowing(device.deviceId()));
    QTest::qWait(300); // a heartbeat already under way still arrives
    const int afterRemoval = pings;
    QTest::qWait(600);
    QCOMPARE(pings, afterRemoval);

    // Its agent ended meanwhile: a step with the phone says so and offers to reconnect.
    control.close();
    w->show();
    node = w->treeModel()->addAndroidDevice(device);
    select(*w, w->treeModel()->nodeIndex(node));
    w->miUndoLastTransfer();
    const QStringList texts = shownTexts();
    QVERIFY2(texts.size() == 2, qPrintable(texts.join(QStringLiteral(" | "))));
    QVERIFY2(texts.first().contains(
                 QStringLiteral("The phone no longer answers over WiFi (127.0.0.1:%1)").arg(device.port)),
             qPrintable(texts.first()));
    QCOMPARE(texts.last(),
             QStringLiteral("Pixel no longer answers over WiFi. Open the WiFi dialog to reconnect it?"));

    // Taken up, the offer opens the WiFi dialog at the phone's address.
    MessageBox::queueAnswer(QMessageBox::Ok);
    MessageBox::queueAnswer(QMessageBox::Yes);
    QString address;
    DialogCloser closer;
    closer.expect<AndroidWIFIForm>([&address](AndroidWIFIForm* form) {
        address = form->findChild<QLineEdit*>(QStringLiteral("txtWifiSocket"))->text();
        form->reject();
    });
    w->miUndoLastTransfer();
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(address, device.host);
}

// "Search all histories" finds a message in every local database, shows the words found
// in bold (and nothing of a message as markup), and opens the chosen hit's chat at it.
void TestMainWindow::searchAllHistoriesOpensTheChatAtTheHit()
{
    writeDatabase(QStringLiteral("Beta"), m_photos.path());
    auto w = makeWindow();
    QStringList databases;
    QString shown;
    QString sender;
    DialogCloser closer;
    closer.expect<HistorySearchDialog>([&](HistorySearchDialog* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("txtHistorySearch"))->setText(QStringLiteral("BREAD"));
        QSignalSpy finished(dialog, &HistorySearchDialog::searchFinished);
        dialog->search();
        if (!finished.wait(20000))
            return;
        auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("lstHistoryHits"));
        QTreeWidgetItem* beta = nullptr;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            databases.append(list->topLevelItem(i)->text(0));
            if (databases.constLast() == QLatin1String("Beta"))
                beta = list->topLevelItem(i);
        }
        shown = static_cast<QLabel*>(list->itemWidget(list->topLevelItem(0), 4))->text();
        sender = list->topLevelItem(0)->text(2);
        QDir().mkpath(QStringLiteral(VELLIPORT_SCREENSHOT_DIR));
        dialog->grab().save(QStringLiteral(VELLIPORT_SCREENSHOT_DIR "/search-histories.png"));
        if (beta)
            emit list->itemActivated(beta, 0);
    });
    w->actions()->action(MainActions::SearchHistories)->trigger();
    QCOMPARE(closer.pending(), 0);
    databases.sort();
    QCOMPARE(databases, (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    QCOMPARE(shown, QStringLiteral("banana <b>bread</b> too"));
    QCOMPARE(sender, QStringLiteral("Anna"));
    const QList<_ViberMsg*> selected = w->selectedMessages();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first()->text, QStringLiteral("banana bread too"));
    auto* tree = w->findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    const AbsTreeItemModel::_ItemNode* node = w->treeModel()->nodeFromIndex(tree->currentIndex());
    QVERIFY(node && node->type == AbsTreeItemModel::NodeChat && node->parent);
    QCOMPARE(node->parent->text, QStringLiteral("Beta"));
    QVERIFY(shownTexts().isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
