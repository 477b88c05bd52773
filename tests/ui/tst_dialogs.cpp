#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidLoadViberThread.h"
#include "app/AppDirs.h"
#include "app/HelpLinks.h"
#include "app/WebConfig.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WorkerTimings.h"
#include "tests/ui/support/DialogCloser.h"
#include "ui/AboutUsForm.h"
#include "ui/AppStyle.h"
#include "ui/DataSourceSelForm.h"
#include "ui/FileDialog.h"
#include "ui/LocalDbSelForm.h"
#include "ui/MessageBox.h"
#include "ui/ProgressForm.h"
#include "ui/WinMovable.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

namespace {

// A worker whose body the test writes.
class LambdaWorker : public QThread
{
public:
    explicit LambdaWorker(std::function<void()> body) : m_body(std::move(body)) {}

protected:
    void run() override { m_body(); }

private:
    std::function<void()> m_body;
};

template<class Widget> Widget* child(QWidget* parent, const char* name)
{
    auto* widget = parent->findChild<Widget*>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QPushButton* button(QWidget* parent, const char* name)
{
    return child<QPushButton>(parent, name);
}

void sendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), QPointF(widget->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// What the box's label shows, read as the label reads it.
QString rendered(const MessageBox::Shown& shown)
{
    QTextDocument document;
    if (shown.format == Qt::RichText)
        document.setHtml(shown.text);
    else
        document.setPlainText(shown.text);
    return document.toPlainText();
}

const QString SelectOrEnter = QStringLiteral("Select one Database or enter a new Database name");
const QString InvalidName = QStringLiteral("Invalid Local Database name(can't contain \\ / : * ? \" < > |).");

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void everyDialogIsFramelessAndDraggable();
    void dragMovesTheWindowWithTheLeftButtonOnly();

    void updateProgressKeepsWhatIsNotGiven();
    void outcomesCloseTheForm();
    void cancelRejectsAndMarksCancelled();
    void runReportsProgressAndSuccess();
    void runReportsAnError();
    void runWaitsForACancelledWorkerWithoutBlocking();
    void runClosesWhenTheWorkerPostsNothing();
    void runShowsTipsAndReleasesTheWorker();
    void phoneTextsShowTheirMarkupAsText();

    void chooserWithOneItemHasItPreselected();
    void chooserWithTwoItemsWarnsUntilOneIsChosen();
    void chooserClosedGivesNothing();
    void closerActsOnDialogsInTurn();

    void localDbNameRefusal_data();
    void localDbNameRefusal();
    void localDbFormOffersNamesAndStaysOpenOnBadNames();

    void messageBoxAnswersAndRecords();
    void errorBoxesSayWhereReportsGo();
    void messageBoxLinksReachHelpLinks();
    void fileDialogAnswersAreUsedOnce();
};

void TestDialogs::initTestCase()
{
    TestEnvironment::requireScratchDataHome();
    TestEnvironment::installTranslation();
    FileDialog::setTestMode(true);
}

void TestDialogs::init()
{
    MessageBox::setTestMode(true);
}

void TestDialogs::everyDialogIsFramelessAndDraggable()
{
    std::vector<std::unique_ptr<QDialog>> dialogs;
    dialogs.push_back(std::make_unique<ProgressForm>(QStringLiteral("Working")));
    dialogs.push_back(std::make_unique<DataSourceSelForm>());
    dialogs.push_back(std::make_unique<AboutUsForm>());
    dialogs.push_back(std::make_unique<LocalDbSelForm>(QStringList(), QString()));
    for (const auto& dialog : dialogs) {
        const QByteArray name = dialog->metaObject()->className();
        QVERIFY2(dialog->windowFlags().testFlag(Qt::FramelessWindowHint), name.constData());
        QVERIFY2(dialog->windowFlags().testFlag(Qt::Dialog), name.constData());
        QVERIFY2(dialog->findChild<WinMovable*>(), name.constData());
        QCOMPARE(dialog->styleSheet(), AppStyle::styleSheet());
    }
}

void TestDialogs::dragMovesTheWindowWithTheLeftButtonOnly()
{
    QDialog dialog;
    AppStyle::applyDialogLook(&dialog);
    dialog.setGeometry(100, 100, 200, 120);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint start = dialog.pos();

    sendMouse(&dialog, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    sendMouse(&dialog, QEvent::MouseMove, {40, 30}, Qt::NoButton, Qt::LeftButton);
    QCOMPARE(dialog.pos(), start + QPoint(30, 20));
    sendMouse(&dialog, QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, Qt::NoButton);
    sendMouse(&dialog, QEvent::MouseMove, {70, 70}, Qt::NoButton, Qt::NoButton);
    QCOMPARE(dialog.pos(), start + QPoint(30, 20));

    sendMouse(&dialog, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
    sendMouse(&dialog, QEvent::MouseMove, {50, 50}, Qt::NoButton, Qt::RightButton);
    QCOMPARE(dialog.pos(), start + QPoint(30, 20));
}

void TestDialogs::updateProgressKeepsWhatIsNotGiven()
{
    ProgressForm form(QStringLiteral("Backing up Viber messages..."));
    auto* status = child<QLabel>(&form, "lbStatus");
    auto* bar = child<QProgressBar>(&form, "progressBar");
    auto* progress = child<QLabel>(&form, "lbProgress");
    QCOMPARE(form.windowTitle(), QStringLiteral("Backing up Viber messages..."));
    QCOMPARE(status->text(), QStringLiteral("Backing up Viber messages..."));
    QCOMPARE(bar->value(), 0);

    form.updateProgress(QStringLiteral("Copying files"), 40, QString());
    QCOMPARE(status->text(), QStringLiteral("Copying files"));
    QCOMPARE(bar->value(), 40);
    QCOMPARE(progress->text(), QStringLiteral("Progress:40%"));

    form.updateProgress(QString(), 55, QStringLiteral("Messages: 11/20"));
    QCOMPARE(status->text(), QStringLiteral("Copying files"));
    QCOMPARE(bar->value(), 55);
    QCOMPARE(progress->text(), QStringLiteral("Messages: 11/20"));

    // Nothing given: the label falls back to the value the bar keeps.
    form.updateProgress(QString(), -1, QString());
    QCOMPARE(status->text(), QStringLiteral("Copying files"));
    QCOMPARE(bar->value(), 55);
    QCOMPARE(progress->text(), QStringLiteral("Progress:55%"));
}

void TestDialogs::outcomesCloseTheForm()
{
    {
        ProgressForm form(QStringLiteral("Working"));
        QTimer::singleShot(0, &form, [&form] { form.succeed(UserText()); });
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        QVERIFY(!form.isCancelled());
        QVERIFY(MessageBox::shownTexts().isEmpty());
    }
    {
        ProgressForm form(QStringLiteral("Working"));
        QTimer::singleShot(0, &form, [&form] {
            form.succeed(UserText::plain(QStringLiteral("Successfully backed up 3 messages.")));
        });
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        const auto shown = MessageBox::shownTexts();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Information);
        QCOMPARE(shown[0].text, QStringLiteral("Successfully backed up 3 messages."));
    }
    MessageBox::clearShown();
    {
        ProgressForm form(QStringLiteral("Working"));
        QTimer::singleShot(0, &form, [&form] {
            form.errorOccurred(UserText::plain(QStringLiteral("disk full")));
            // a second outcome of the same run is not shown again
            form.succeed(UserText::plain(QStringLiteral("late")));
        });
        QCOMPARE(form.exec(), int(QDialog::Rejected));
        QVERIFY(form.isCancelled());
        const auto shown = MessageBox::shownTexts();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Critical);
        QVERIFY(shown[0].text.contains(QLatin1String("disk full")));
    }
}

void TestDialogs::cancelRejectsAndMarksCancelled()
{
    ProgressForm form(QStringLiteral("Working"));
    QSignalSpy cancelled(&form, &ProgressForm::userCacel);
    QPushButton* cancel = button(&form, "btnCancel");
    form.enableCancel(false);
    QVERIFY(!cancel->isEnabled());
    form.enableCancel(true);
    QVERIFY(cancel->isEnabled());

    DialogCloser closer;
    closer.expect<ProgressForm>([](ProgressForm* shown) { button(shown, "btnCancel")->click(); });
    QCOMPARE(form.exec(), 0);
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(cancelled.count(), 1);
    QVERIFY(form.isCancelled());
    QVERIFY(form.channel().isCancelled());
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

void TestDialogs::runReportsProgressAndSuccess()
{
    ProgressForm form(QStringLiteral("Working"));
    ProgressChannel& channel = form.channel();
    LambdaWorker worker([&channel] {
        channel.postProgress(QStringLiteral("Reading messages"), 10);
        channel.postProgress(QString(), 60, QStringLiteral("Messages: 3/5"));
        channel.enableCancel(false);
        channel.postSucceed(UserText::plain(QStringLiteral("All done.")));
    });
    QVERIFY(form.run(worker));
    QVERIFY(worker.isFinished());
    QCOMPARE(child<QLabel>(&form, "lbStatus")->text(), QStringLiteral("Reading messages"));
    QCOMPARE(child<QProgressBar>(&form, "progressBar")->value(), 60);
    QCOMPARE(child<QLabel>(&form, "lbProgress")->text(), QStringLiteral("Messages: 3/5"));
    QVERIFY(!button(&form, "btnCancel")->isEnabled());
    const auto shown = MessageBox::shownTexts();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, MessageBox::Kind::Information);
    QCOMPARE(shown[0].text, QStringLiteral("All done."));
}

void TestDialogs::runReportsAnError()
{
    ProgressForm form(QStringLiteral("Working"));
    ProgressChannel& channel = form.channel();
    LambdaWorker worker([&channel] {
        channel.postProgress(QStringLiteral("Writing"), 20);
        channel.postError(UserText::plain(QStringLiteral("Cannot write a<b>.txt: the disk is full.")));
    });
    QVERIFY(!form.run(worker));
    QVERIFY(worker.isFinished());
    QVERIFY(form.isCancelled());
    const auto shown = MessageBox::shownTexts();
    // The error alone: the worker's end right after it is no second failure.
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, MessageBox::Kind::Critical);
    // A plain error shows as it stands: "<b>" in a file name is no markup.
    QCOMPARE(shown[0].format, Qt::PlainText);
    QVERIFY2(rendered(shown[0]).contains(QLatin1String("Cannot write a<b>.txt: the disk is full.")),
             qPrintable(shown[0].text));
}

void TestDialogs::runWaitsForACancelledWorkerWithoutBlocking()
{
    ProgressForm form(QStringLiteral("Working"));
    ProgressChannel& channel = form.channel();
    std::atomic_bool sawCancel{false};
    LambdaWorker worker([&channel, &sawCancel] {
        channel.postProgress(QStringLiteral("Copying"), 5);
        const QDeadlineTimer deadline(20000);
        while (!channel.isCancelled() && !deadline.hasExpired())
            QThread::msleep(10);
        sawCancel = channel.isCancelled();
        // winds down slowly, as a phone transfer does, and then reports what stopped it
        QThread::msleep(400);
        channel.postError(UserText::plain(QStringLiteral("stopped")));
    });
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(20);
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    DialogCloser closer;
    closer.expect<ProgressForm>([&ticker](ProgressForm* shown) {
        button(shown, "btnCancel")->click();
        ticker.start();
    });

    QVERIFY(!form.run(worker));
    QVERIFY(sawCancel);
    QVERIFY(worker.isFinished());
    // The GUI thread kept handling its events while the worker wound down.
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    // The user cancelled: what the worker says afterwards is not shown.
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

void TestDialogs::runClosesWhenTheWorkerPostsNothing()
{
    ProgressForm form(QStringLiteral("Working"));
    ProgressChannel& channel = form.channel();
    LambdaWorker worker([&channel] { channel.postProgress(QStringLiteral("Reading"), 50); });
    // Should the form stay open, the test fails here instead of hanging.
    QTimer::singleShot(10000, &form, &QDialog::reject);
    QVERIFY(!form.run(worker));
    QVERIFY(!form.isVisible());
    QVERIFY(form.isCancelled());
    const auto shown = MessageBox::shownTexts();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, MessageBox::Kind::Critical);
    QVERIFY2(shown[0].text.contains(QLatin1String("The operation ended without a result.")),
             qPrintable(shown[0].text));
}

void TestDialogs::runShowsTipsAndReleasesTheWorker()
{
    ProgressForm form(QStringLiteral("Working"));
    ProgressChannel& channel = form.channel();
    std::atomic_bool released{false};
    LambdaWorker worker([&channel, &released] {
        channel.postTipsWait(UserText::plain(QStringLiteral("Unlock the phone and tap Back up my data.")));
        channel.waitForTips();
        released = !channel.isWaitingTips() && !channel.isCancelled();
        channel.postSucceed(UserText::plain(QStringLiteral("Backed up.")));
    });
    QVERIFY(form.run(worker));
    QVERIFY(released);
    const auto shown = MessageBox::shownTexts();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].kind, MessageBox::Kind::Information);
    QCOMPARE(shown[0].text, QStringLiteral("Unlock the phone and tap Back up my data."));
    QCOMPARE(shown[1].text, QStringLiteral("Backed up."));

    // After the form has closed a tips request is not shown, but still released.
    form.channel().setWaitingTips(true);
    form.tipsWait(UserText::plain(QStringLiteral("late")));
    QVERIFY(!form.isWaitingTips());
    QCOMPARE(MessageBox::shownTexts().size(), 2);
}

// The phone's commonest failures carry help in markup: a box shows it as text and the
// Portwarden link as a link, never the tags themselves.
void TestDialogs::phoneTextsShowTheirMarkupAsText()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    {
        // No such phone: the help names Portwarden, with its link.
        ProgressForm form(QStringLiteral("Connecting"));
        AndroidConnectWithUSBThread connect(QStringLiteral("NOPHONE"), form.channel());
        QVERIFY(!form.run(connect));
    }
    {
        // The backup route shows the phone's screen while the user confirms there.
        AndroidDevice device;
        device.serial = QStringLiteral("NOPHONE");
        device.uid = QStringLiteral("nophone");
        device.sdkLevel = 28;
        ProgressForm form(QStringLiteral("Loading"));
        AndroidLoadViberThread load(device, true, form.channel());
        load.setTiming(WorkerTimings::shortLoad());
        QVERIFY(!form.run(load));
    }
    const auto shown = MessageBox::shownTexts();
    QVERIFY(shown.size() >= 2);
    QCOMPARE(shown[0].kind, MessageBox::Kind::Critical);
    QCOMPARE(shown[0].format, Qt::RichText);
    QVERIFY2(shown[0].text.contains(QLatin1String("<a href=\"velliport:portwarden\">Portwarden</a>")),
             qPrintable(shown[0].text));
    QCOMPARE(shown[1].kind, MessageBox::Kind::Information);
    QCOMPARE(shown[1].format, Qt::RichText);
    QVERIFY2(shown[1].text.contains(QLatin1String("<img src=\":res/adb_backup.png\"")),
             qPrintable(shown[1].text));
    for (const MessageBox::Shown& box : shown) {
        const QString text = rendered(box);
        QVERIFY2(!text.isEmpty() && !text.contains(u'<') && !text.contains(QLatin1String("&lt;")),
                 qPrintable(text));
    }
}

void TestDialogs::chooserWithOneItemHasItPreselected()
{
    DataSourceSelForm form;
    int preselected = -2;
    DialogCloser closer;
    closer.expect<DataSourceSelForm>([&preselected](DataSourceSelForm* shown) {
        preselected = child<QComboBox>(shown, "cbDevice")->currentIndex();
        button(shown, "btnOK")->click();
    });
    const QVariant chosen = form.select(QStringLiteral("Pick the phone"),
                                        {{QString(), QStringLiteral("Pixel 7"), QStringLiteral("SIM1")}});
    QCOMPARE(preselected, 0);
    QCOMPARE(chosen, QVariant(QStringLiteral("SIM1")));
    QCOMPARE(child<QLabel>(&form, "lbSelDevice")->text(), QStringLiteral("Pick the phone"));
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

void TestDialogs::chooserWithTwoItemsWarnsUntilOneIsChosen()
{
    DataSourceSelForm form;
    QCOMPARE(child<QLabel>(&form, "lbSelDevice")->text(), QStringLiteral("Please select a Device."));
    int preselected = -2;
    bool stayedOpen = false;
    QList<MessageBox::Shown> warnings;
    DialogCloser closer;
    closer.expect<DataSourceSelForm>([&](DataSourceSelForm* shown) {
        auto* devices = child<QComboBox>(shown, "cbDevice");
        preselected = devices->currentIndex();
        button(shown, "btnOK")->click();
        stayedOpen = shown->isVisible();
        warnings = MessageBox::shownTexts();
        devices->setCurrentIndex(1);
        button(shown, "btnOK")->click();
    });
    const QVariant chosen = form.select(QStringLiteral("Pick the phone"),
                                        {{QString(), QStringLiteral("Pixel 7"), QStringLiteral("SIM1")},
                                         {QString(), QStringLiteral("Galaxy"), QStringLiteral("SIM2")}});
    QCOMPARE(preselected, -1);
    QVERIFY(stayedOpen);
    QCOMPARE(warnings.size(), 1);
    QCOMPARE(warnings[0].kind, MessageBox::Kind::Warning);
    QCOMPARE(warnings[0].text, QStringLiteral("Need to select a Device to continue."));
    QCOMPARE(chosen, QVariant(QStringLiteral("SIM2")));
}

void TestDialogs::chooserClosedGivesNothing()
{
    DataSourceSelForm form;
    DialogCloser closer;
    closer.expect<DataSourceSelForm>([](DataSourceSelForm* shown) { button(shown, "btnClose")->click(); });
    const QVariant chosen =
        form.select(QStringLiteral("Pick"), {{QString(), QStringLiteral("Pixel 7"), QStringLiteral("SIM1")}});
    QVERIFY(!chosen.isValid());

    closer.expectReject(DataSourceSelForm::staticMetaObject.className());
    QVERIFY(
        !form.select(QStringLiteral("Pick"), {{QString(), QStringLiteral("Pixel 7"), QStringLiteral("SIM1")}})
             .isValid());
    QCOMPARE(closer.pending(), 0);
}

void TestDialogs::closerActsOnDialogsInTurn()
{
    DialogCloser closer;
    closer.expectAccept("AboutUsForm");
    closer.expectReject("LocalDbSelForm");
    // Taken in turn: the second waits for its own class.
    AboutUsForm about;
    QCOMPARE(about.exec(), int(QDialog::Accepted));
    QCOMPARE(closer.pending(), 1);
    LocalDbSelForm target({QStringLiteral("Alpha")}, QStringLiteral("Alpha"));
    QCOMPARE(target.exec(), int(QDialog::Rejected));
    QCOMPARE(closer.pending(), 0);
}

void TestDialogs::localDbNameRefusal_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("warning");
    QTest::newRow("empty") << QString() << SelectOrEnter;
    QTest::newRow("blanks") << QStringLiteral("   ") << SelectOrEnter;
    QTest::newRow("colon") << QStringLiteral("a:b") << InvalidName;
    QTest::newRow("slash") << QStringLiteral("a/b") << InvalidName;
    QTest::newRow("backslash") << QStringLiteral("a\\b") << InvalidName;
    QTest::newRow("tab") << QStringLiteral("a\tb") << InvalidName;
    QTest::newRow("dot") << QStringLiteral(".") << InvalidName;
    QTest::newRow("dot dot") << QStringLiteral("..") << InvalidName;
    QTest::newRow("three dots") << QStringLiteral("...") << InvalidName;
    QTest::newRow("dots and blanks") << QStringLiteral(" .. ") << InvalidName;
    QTest::newRow("leading blank") << QStringLiteral(" backup") << InvalidName;
    QTest::newRow("control character") << QStringLiteral("back\x07up") << InvalidName;
    QTest::newRow("too long") << QString(300, QLatin1Char('x')) << InvalidName;
    QTest::newRow("plain") << QStringLiteral("Phone backup") << QString();
    QTest::newRow("dotted") << QStringLiteral("v1.2") << QString();
    QTest::newRow("accents") << QStringLiteral("Sauvegarde été") << QString();
}

void TestDialogs::localDbNameRefusal()
{
    QFETCH(QString, name);
    QFETCH(QString, warning);
    QCOMPARE(LocalDbSelForm::refusal(name), warning);
}

void TestDialogs::localDbFormOffersNamesAndStaysOpenOnBadNames()
{
    LocalDbSelForm form({QStringLiteral("Alpha"), QStringLiteral("Beta")}, QStringLiteral("Pixel 7 backup"));
    auto* names = child<QComboBox>(&form, "cbDatabase");
    QCOMPARE(names->count(), 3);
    QCOMPARE(names->itemText(0), QString());
    QCOMPARE(names->itemText(2), QStringLiteral("Beta"));
    QCOMPARE(names->currentIndex(), -1);
    QCOMPARE(form.selectedName(), QStringLiteral("Pixel 7 backup"));

    QList<bool> openAfter;
    DialogCloser closer;
    closer.expect<LocalDbSelForm>([&openAfter](LocalDbSelForm* shown) {
        auto* edit = child<QComboBox>(shown, "cbDatabase");
        for (const QString& bad : {QStringLiteral("..."), QStringLiteral("  ")}) {
            edit->setEditText(bad);
            button(shown, "btnOK")->click();
            openAfter.append(shown->isVisible());
        }
        edit->setCurrentIndex(2);
        button(shown, "btnOK")->click();
    });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
    QCOMPARE(openAfter, QList<bool>({true, true}));
    QCOMPARE(form.selectedName(), QStringLiteral("Beta"));
    const auto shown = MessageBox::shownTexts();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].text, InvalidName);
    QCOMPARE(shown[1].text, SelectOrEnter);

    LocalDbSelForm unnamed({QStringLiteral("Alpha")}, QString());
    QCOMPARE(unnamed.selectedName(), QString());
}

void TestDialogs::messageBoxAnswersAndRecords()
{
    WebConfig support;
    support.supportAddress = QStringLiteral("support@velliport.example");
    WebConfig::setCurrent(support);
    QStringList reports;
    MessageBox::setErrorReporter([&reports](const QString& text) { reports.append(text); });

    MessageBox::queueAnswer(QMessageBox::Yes);
    MessageBox::queueAnswer(QMessageBox::No);
    QVERIFY(MessageBox::showQuestion(UserText::plain(QStringLiteral("Delete this database?"))));
    QVERIFY(!MessageBox::showQuestion(UserText::plain(QStringLiteral("Really?"))));
    // with no answer queued a question is answered No
    QVERIFY(!MessageBox::showQuestion(UserText::plain(QStringLiteral("Once more?"))));
    QCOMPARE(MessageBox::showInfo(UserText::plain(QStringLiteral("Saved."))), QMessageBox::Ok);
    MessageBox::queueAnswer(QMessageBox::Cancel);
    QCOMPARE(MessageBox::showWarning(UserText::plain(QStringLiteral("Careful."))), QMessageBox::Cancel);

    MessageBox::showError(UserText::plain(QStringLiteral("size < 0 & no file")));
    MessageBox::showCritical(UserText::plain(QStringLiteral("Broken.")));
    MessageBox::setErrorReporter(nullptr);

    const auto shown = MessageBox::shownTexts();
    QCOMPARE(shown.size(), 7);
    QCOMPARE(shown[0].kind, MessageBox::Kind::Question);
    QCOMPARE(shown[0].text, QStringLiteral("Delete this database?"));
    QCOMPARE(shown[3].kind, MessageBox::Kind::Information);
    QCOMPARE(shown[4].kind, MessageBox::Kind::Warning);
    QCOMPARE(shown[5].kind, MessageBox::Kind::Critical);
    QCOMPARE(shown[5].format, Qt::PlainText);
    QCOMPARE(shown[5].text, QStringLiteral("An Error Occurred.\n\nsize < 0 & no file\n\nOr you "
                                           "can contact support@velliport.example for help."));
    QCOMPARE(shown[6].kind, MessageBox::Kind::Critical);
    QCOMPARE(shown[6].text, QStringLiteral("Broken."));
    // The report carries the text as the caller gave it.
    QCOMPARE(reports, QStringList({QStringLiteral("size < 0 & no file"), QStringLiteral("Broken.")}));

    MessageBox::clearShown();
    QVERIFY(MessageBox::shownTexts().isEmpty());
    WebConfig::setCurrent(WebConfig());
}

// An error report carries names, numbers and paths: the box names the host it goes to,
// and says nothing of reports (nor of a support address) when there is none.
void TestDialogs::errorBoxesSayWhereReportsGo()
{
    WebConfig::setCurrent(WebConfig());
    QStringList reports;
    const auto record = [&reports](const QString& text) { reports.append(text); };
    const QString notice =
        QStringLiteral("This message will be sent as an error report to reports.example.com. It may contain "
                       "names, phone numbers and file paths.");

    MessageBox::setErrorReporter(record, QStringLiteral("reports.example.com"));
    MessageBox::showError(UserText::plain(QStringLiteral("Cannot open /home/anna/db")));
    MessageBox::showCritical(UserText::plain(QStringLiteral("Broken.")));
    MessageBox::showCritical(UserText::rich(QStringLiteral("Broken <b>badly</b>.")));
    MessageBox::setErrorReporter(record);
    MessageBox::showError(UserText::plain(QStringLiteral("Quiet.")));
    MessageBox::setErrorReporter(nullptr);

    const auto shown = MessageBox::shownTexts();
    QCOMPARE(shown.size(), 4);
    QCOMPARE(shown[0].text, QStringLiteral("An Error Occurred.\n\nCannot open /home/anna/db\n\n") + notice);
    QCOMPARE(shown[1].text, QStringLiteral("Broken.\n\n") + notice);
    QCOMPARE(shown[2].format, Qt::RichText);
    QCOMPARE(shown[2].text, QStringLiteral("Broken <b>badly</b>.<br/><br/>") + notice);
    QCOMPARE(shown[3].text, QStringLiteral("An Error Occurred.\n\nQuiet."));
    // A report is read as text: it carries no markup.
    QCOMPARE(reports, QStringList({QStringLiteral("Cannot open /home/anna/db"), QStringLiteral("Broken."),
                                   QStringLiteral("Broken badly."), QStringLiteral("Quiet.")}));
}

// A link in a shown box goes to the program's own handler: web links to the browser,
// its own links to the program they name, never to the desktop's handler directly.
void TestDialogs::messageBoxLinksReachHelpLinks()
{
    MessageBox::setTestMode(false);
    QList<QUrl> opened;
    AppDirs::setShellOpenHook([&opened](const QUrl& url) { opened.append(url); });
    DialogCloser closer;
    closer.expect("QMessageBox", [&](QWidget* box) {
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        QCOMPARE(label->textFormat(), Qt::RichText);
        QVERIFY(label->textInteractionFlags().testFlag(Qt::LinksAccessibleByMouse));
        QVERIFY(!label->openExternalLinks());
        emit label->linkActivated(QStringLiteral("https://example.com/usb"));
        emit label->linkActivated(QStringLiteral("file:///usr/bin/xterm"));
        static_cast<QDialog*>(box)->accept();
    });
    // A plain text in a box on screen: the label reads it as text.
    QString plainShown;
    closer.expect("QMessageBox", [&](QWidget* box) {
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        plainShown = label->text();
        static_cast<QDialog*>(box)->accept();
    });
    MessageBox::showInfo(UserText::plain(HelpLinks::usbSetupHelpText()) +
                         UserText::rich(QStringLiteral(" <a href=\"https://example.com/usb\">Help</a>")));
    MessageBox::showInfo(UserText::plain(QStringLiteral("Saved to a<b>.txt")));
    AppDirs::setShellOpenHook(nullptr);
    QCOMPARE(closer.pending(), 0);
    QCOMPARE(plainShown, QStringLiteral("Saved to a<b>.txt"));
    QCOMPARE(opened, QList<QUrl>({QUrl(QStringLiteral("https://example.com/usb"))}));
}

void TestDialogs::fileDialogAnswersAreUsedOnce()
{
    FileDialog::setNextFileName(QStringLiteral("/tmp/out.csv"), QStringLiteral("CSV (*.csv)"));
    QString filter;
    QCOMPARE(FileDialog::getSaveFileName(nullptr, QStringLiteral("Save"), QString(),
                                         QStringLiteral("CSV (*.csv)"), &filter),
             QStringLiteral("/tmp/out.csv"));
    QCOMPARE(filter, QStringLiteral("CSV (*.csv)"));
    QCOMPARE(FileDialog::getSaveFileName(nullptr, QStringLiteral("Save"), QString(), QString()), QString());

    FileDialog::setNextDirectory(QStringLiteral("/tmp/media"));
    QCOMPARE(FileDialog::getExistingDirectory(nullptr, QStringLiteral("Folder"), QString()),
             QStringLiteral("/tmp/media"));
    QCOMPARE(FileDialog::getExistingDirectory(nullptr, QStringLiteral("Folder"), QString()), QString());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
