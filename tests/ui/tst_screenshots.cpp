#include "app/AppDirs.h"
#include "tests/support/TestEnvironment.h"
#include "tools/demodata/DemoHistory.h"
#include "ui/ItemModelMain.h"
#include "ui/MainWindow.h"
#include "ui/MessageBox.h"
#include "ui/MyTreeView.h"
#include "ui/TreeItemNodes.h"

#include <QDir>
#include <QImage>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

namespace {

// Distinct colours in a region, counted on a coarse grid: a blank or uniformly filled
// region has one or two, a region showing text, icons or pictures has many.
int distinctColours(const QImage& image, const QRect& region)
{
    QSet<QRgb> colours;
    for (int y = region.top(); y <= region.bottom(); y += 2) {
        for (int x = region.left(); x <= region.right(); x += 2)
            colours.insert(image.pixel(x, y));
    }
    return int(colours.size());
}

QRect regionOf(const QWidget* window, const QWidget* widget)
{
    return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size()) & window->rect();
}

} // namespace

// Renders the main window over the demo history and leaves the pictures in the build
// tree, checking that each pane actually shows something.
class TestScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
        MessageBox::setTestMode(true);
        // The bubble pages take their style and pictures from beside the program.
        AppDirs::setAssetFolder(TestEnvironment::binDir());
        QVERIFY(QDir().mkpath(QStringLiteral(VELLIPORT_SCREENSHOT_DIR)));
        QVERIFY(m_media.isValid());
        DemoHistory history(m_media.path(), QDateTime(QDate(2024, 6, 14), QTime(18, 0)));
        AppDirs::removeTree(AppDirs::localDatabasePath(QStringLiteral("Demo"))); // left by an earlier run
        history.writeLocalDatabase(AppDirs::localDatabasePath(QStringLiteral("Demo")));
    }

    void mainWindowOverTheDemoHistory()
    {
        MainWindow::Options options;
        options.startDeviceMonitor = false;
        options.startUsbTipsTimer = false;
        MainWindow window(options);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
        auto* view = window.findChild<QWebEngineView*>(QStringLiteral("webViewSMS"));
        ItemModelMain* model = window.treeModel();
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        const QModelIndex database = model->nodeIndex(model->localDbNodes().first());
        tree->setCurrentIndex(database);
        QTRY_VERIFY(model->rowCount(database) >= 3);
        // The group chat shows senders, pictures and emoticons together.
        QModelIndex group;
        for (int row = 0; row < model->rowCount(database); ++row) {
            const auto* node = static_cast<const _ChatSessionItemNode*>(
                model->nodeFromIndex(model->index(row, 0, database)));
            if (node->chat->isGroup())
                group = model->index(row, 0, database);
        }
        QVERIFY(group.isValid());
        loaded.clear();
        tree->setCurrentIndex(group);
        QVERIFY(loaded.wait(30000));
        QVERIFY(loaded.last().first().toBool());
        QTest::qWait(800); // the page paints after it has loaded

        const QImage shot = window.grab().toImage();
        QCOMPARE(shot.size(), window.size() * window.devicePixelRatio());
        QVERIFY(shot.save(QStringLiteral(VELLIPORT_SCREENSHOT_DIR "/mainwindow.png")));
        QVERIFY2(distinctColours(shot, regionOf(&window, tree)) > 20, "the tree shows nothing");
        QVERIFY2(distinctColours(
                     shot, regionOf(&window, window.findChild<QWidget*>(QStringLiteral("treeViewSMS")))) > 20,
                 "the message list shows nothing");
        QVERIFY2(distinctColours(shot, regionOf(&window, view)) > 20, "the bubble view shows nothing");
    }

private:
    QTemporaryDir m_media;
};

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
