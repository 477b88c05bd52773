// Times opening the main window over a large local database against loading that
// database alone, and prints the RESULT line of the gui-open benchmark.
//
//   velliport-bench-gui prepare EXTRACT_ROOT DATABASE_FOLDER
//     Loads a synthetic phone and backs it up into a new local database folder.
//   velliport-bench-gui run
//     With XDG_DATA_HOME pointing at a data home whose local databases hold exactly
//     one database, five rounds, each: baseline IOSViberDb::load() of it, the data set
//     kept until the time is taken (load_s); measured: constructing a main window,
//     selecting the database and then its newest chat until that chat's first bubble page
//     has loaded (open_s), then selecting the largest chat until its list and first page
//     are shown (chat_s, as a share of the baseline). The medians decide. Meanwhile the
//     longest time the window's event loop went without turning, from the window's
//     show() to the largest chat's page (max_stall_ms, the worst of the rounds).

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

#include <algorithm>
#include <memory>
#include <utility>

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
    // A local database is read in the background; the page of its messages is the one
    // that loads after the reading.
    QObject::connect(view, &QWebEngineView::loadFinished, &loop, [&window, &loop](bool ok) {
        if (ok && !window.isReadingDatabases())
            loop.quit();
    });
    QTimer::singleShot(PageLoadLimitMs, &loop, [&loop] { loop.exit(1); });
    tree->setCurrentIndex(index);
    if (loop.exec() != 0)
        throw std::runtime_error("the bubble page did not finish loading");
}

// The longest time the event loop of the calling thread went without turning, seen by a
// timer that asks to run every millisecond: it cannot fire while anything on that
// thread (a slot, a synchronous load) holds the loop.
class StallWatch
{
public:
    StallWatch()
    {
        m_tick.setTimerType(Qt::PreciseTimer);
        m_tick.setInterval(1);
        QObject::connect(&m_tick, &QTimer::timeout, [this] { lap(); });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_tick.start();
    }
    // The longest gap since start() or the last split(), the one up to now included, in
    // nanoseconds; split() goes on watching from here.
    qint64 split()
    {
        lap();
        return std::exchange(m_longest, 0);
    }
    qint64 stop()
    {
        m_tick.stop();
        return split();
    }

private:
    void lap()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }

    QTimer m_tick;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

qint64 medianOf(QList<qint64> times)
{
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

QString listed(const QList<qint64>& times)
{
    QStringList texts;
    for (const qint64 t : times)
        texts.append(seconds(t));
    return texts.join(QLatin1Char(','));
}

int run()
{
    const QStringList names = AppDirs::localDatabaseNames();
    if (names.size() != 1)
        throw std::runtime_error("the data home must hold exactly one local database");
    const QString folder = AppDirs::localDatabasePath(names.first());

    // The two sides take turns, so that a slow spell of a shared machine falls on both;
    // the median of five decides.
    constexpr int Rounds = 5;
    QList<qint64> loads;
    QList<qint64> opens;
    QList<qint64> chats;
    QList<qint64> openStalls;
    QList<qint64> chatStalls;
    qint64 messages = 0;
    qsizetype chatMessages = 0;
    for (int round = 0; round < Rounds; ++round) {
        {
            QElapsedTimer timer;
            timer.start();
            IOSViberDb db(folder, QLatin1String(AppDirs::LocalDatabaseFile), IOSViberDb::OpenForBrowsing);
            const ViberDataSetPtr data = db.load();
            loads.append(timer.nsecsElapsed());
            // The data set and its connection go after the time is taken, as the window's
            // stay while it is open.
            messages = data->messages.size();
        }

        QElapsedTimer timer;
        timer.start();
        StallWatch watch;
        auto window = std::make_unique<MainWindow>([] {
            MainWindow::Options options;
            options.startDeviceMonitor = false;
            options.startUsbTipsTimer = false;
            options.loadVirtualDevices = false;
            return options;
        }());
        window->show();
        watch.start();
        ItemModelMain* model = window->treeModel();
        const QModelIndex database = model->nodeIndex(model->localDbNodes().first());
        selectAndWaitForPage(*window, database);
        selectAndWaitForPage(*window, model->index(0, 0, database));
        opens.append(timer.nsecsElapsed());
        openStalls.append(watch.split());

        _ChatSessionItemNode* largest = nullptr;
        for (const auto& node : model->localDbNodes().first()->children) {
            auto* chat = static_cast<_ChatSessionItemNode*>(node.get());
            if (!largest || chat->chat->messages.size() > largest->chat->messages.size())
                largest = chat;
        }
        chatMessages = largest->chat->messages.size();
        timer.restart();
        selectAndWaitForPage(*window, model->nodeIndex(largest));
        chats.append(timer.nsecsElapsed());
        chatStalls.append(watch.stop());
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    const qint64 load = medianOf(loads);
    const qint64 opened = medianOf(opens);
    const qint64 shown = medianOf(chats);
    const auto longest = [](const QList<qint64>& stalls) {
        return QString::number(double(*std::max_element(stalls.begin(), stalls.end())) / 1e6, 'f', 1);
    };
    const auto milliseconds = [](const QList<qint64>& stalls) {
        QStringList texts;
        for (const qint64 stall : stalls)
            texts.append(QString::number(double(stall) / 1e6, 'f', 1));
        return texts.join(QLatin1Char(','));
    };
    QTextStream(stdout) << "RESULT gui-open ratio=" << QString::number(double(opened) / double(load), 'f', 3)
                        << " open_s=" << seconds(opened) << " load_s=" << seconds(load)
                        << " max_stall_ms=" << longest(openStalls + chatStalls)
                        << " open_stall_ms=" << longest(openStalls)
                        << " chat_stall_ms=" << longest(chatStalls) << " messages=" << messages
                        << " chat_ratio=" << QString::number(double(shown) / double(load), 'f', 3)
                        << " chat_s=" << seconds(shown) << " chat_messages=" << chatMessages
                        << " first_open_s=" << seconds(opens.first()) << " opens=" << listed(opens)
                        << " loads=" << listed(loads) << " chats=" << listed(chats)
                        << " open_stalls_ms=" << milliseconds(openStalls)
                        << " chat_stalls_ms=" << milliseconds(chatStalls) << "\n";
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
