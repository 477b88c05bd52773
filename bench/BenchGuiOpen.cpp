// Times opening the main window over a large local database against loading that
// database alone, and prints the RESULT line of the gui-open benchmark.
//
//   velliport-bench-gui prepare EXTRACT_ROOT DATABASE_FOLDER
//     Loads a synthetic phone and backs it up into a new local database folder.
//   velliport-bench-gui run
//     With XDG_DATA_HOME pointing at a data home whose local databases hold exactly
//     one database: baseline IOSViberDb::load() of it; measured: constructing the
//     main window, selecting the database and then its newest chat until that chat's
//     first bubble page has loaded. Then, separately, selecting the largest chat until
//     its list and first page are shown, as a share of the baseline.

#include "bench/BenchReceiver.h"

#include "app/AppDirs.h"
#include "app/HugePageHeap.h"
#include "app/ProgressChannel.h"
#include "db/AndroidViberDb.h"
#include "db/IOSViberDb.h"
#include "db/ViberChat.h"
#include "ops/BackupViberMsgThread.h"
#include "ui/ItemModelMain.h"
#include "ui/MainWindow.h"
#include "ui/MyTreeView.h"
#include "ui/TreeItemNodes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>
#include <QWebEngineView>

namespace {

constexpr int PageLoadLimitMs = 120000;

QString seconds(qint64 nanoseconds)
{
    return QString::number(double(nanoseconds) / 1e9, 'f', 3);
}

int prepare(const QString& extractRoot, const QString& folder)
{
    AndroidViberDb phone(QStringLiteral("/storage/emulated/0"), extractRoot);
    const ViberDataSetPtr data = phone.load();
    ProgressChannel channel;
    BenchReceiver receiver(&channel);
    BackupViberMsgThread worker(data->allMessages(), folder, channel);
    receiver.run(worker);
    return 0;
}

// Selects a tree row and waits until the bubble view has loaded the page it shows.
void selectAndWaitForPage(MainWindow& window, const QModelIndex& index)
{
    auto* view = window.findChild<QWebEngineView*>(QStringLiteral("webViewSMS"));
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    QEventLoop loop;
    QObject::connect(view, &QWebEngineView::loadFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(PageLoadLimitMs, &loop, [&loop] { loop.exit(1); });
    tree->setCurrentIndex(index);
    if (loop.exec() != 0)
        throw std::runtime_error("the bubble page did not finish loading");
}

int run()
{
    const QStringList names = AppDirs::localDatabaseNames();
    if (names.size() != 1)
        throw std::runtime_error("the data home must hold exactly one local database");
    const QString folder = AppDirs::localDatabasePath(names.first());

    QElapsedTimer timer;
    timer.start();
    qint64 messages = 0;
    {
        IOSViberDb db(folder, QLatin1String(AppDirs::LocalDatabaseFile), IOSViberDb::OpenForBrowsing);
        messages = db.load()->messages.size();
    }
    const qint64 baseline = timer.nsecsElapsed();

    timer.restart();
    MainWindow::Options options;
    options.startDeviceMonitor = false;
    options.startUsbTipsTimer = false;
    options.loadVirtualDevices = false;
    MainWindow window(options);
    window.show();
    ItemModelMain* model = window.treeModel();
    const QModelIndex database = model->nodeIndex(model->localDbNodes().first());
    selectAndWaitForPage(window, database);
    selectAndWaitForPage(window, model->index(0, 0, database));
    const qint64 opened = timer.nsecsElapsed();

    _ChatSessionItemNode* largest = nullptr;
    for (const auto& node : model->localDbNodes().first()->children) {
        auto* chat = static_cast<_ChatSessionItemNode*>(node.get());
        if (!largest || chat->chat->messages.size() > largest->chat->messages.size())
            largest = chat;
    }
    timer.restart();
    selectAndWaitForPage(window, model->nodeIndex(largest));
    const qint64 chatShown = timer.nsecsElapsed();

    QTextStream(stdout) << "RESULT gui-open ratio="
                        << QString::number(double(opened) / double(baseline), 'f', 3)
                        << " open_s=" << seconds(opened) << " load_s=" << seconds(baseline)
                        << " messages=" << messages
                        << " chat_ratio=" << QString::number(double(chatShown) / double(baseline), 'f', 3)
                        << " chat_s=" << seconds(chatShown)
                        << " chat_messages=" << largest->chat->messages.size() << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    HugePageHeap::restartWithHugePages(argv);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    try {
        if (args.size() == 4 && args.at(1) == QLatin1String("prepare"))
            return prepare(args.at(2), args.at(3));
        if (args.size() == 2 && args.at(1) == QLatin1String("run"))
            return run();
    } catch (const std::exception& e) {
        err << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    err << "usage: velliport-bench-gui prepare EXTRACT_ROOT DATABASE_FOLDER | run\n";
    return 2;
}
