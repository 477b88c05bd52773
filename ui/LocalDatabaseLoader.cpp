#include "ui/LocalDatabaseLoader.h"

#include "app/AppDirs.h"
#include "db/IOSViberDb.h"
#include "db/ViberSort.h"

#include <QtConcurrent>

LocalDatabaseLoader::LocalDatabaseLoader(QObject* parent) : QObject(parent) {}

LocalDatabaseLoader::~LocalDatabaseLoader()
{
    // A reading left running would go on in a folder the caller may be about to remove.
    for (const auto& [name, watcher] : m_running)
        watcher->waitForFinished();
}

ViberDataSetPtr LocalDatabaseLoader::loadNow(const QString& name)
{
    IOSViberDb db(AppDirs::localDatabasePath(name), QString::fromLatin1(AppDirs::LocalDatabaseFile),
                  IOSViberDb::OpenForBrowsing);
    ViberDataSetPtr data = db.load();
    // The window lists a database's messages by time; sorting two million of them took
    // most of a second, which is spent here rather than on the window's thread.
    data->oldestFirst = data->allMessages();
    ViberSort::sortByDate(data->oldestFirst, false);
    return data;
}

void LocalDatabaseLoader::load(const QString& name)
{
    if (m_running.count(name))
        return;
    auto watcher = std::make_unique<QFutureWatcher<Outcome>>();
    connect(watcher.get(), &QFutureWatcherBase::finished, this, [this, name] { finished(name); });
    watcher->setFuture(QtConcurrent::run([name] {
        Outcome outcome;
        try {
            outcome.data = loadNow(name);
        } catch (const std::exception& e) {
            outcome.error = QString::fromUtf8(e.what());
        }
        return outcome;
    }));
    m_running.emplace(name, std::move(watcher));
}

void LocalDatabaseLoader::finished(const QString& name)
{
    const auto running = m_running.find(name);
    if (running == m_running.end())
        return;
    const Outcome outcome = running->second->result();
    // The watcher is the sender of this call: it goes once the call has returned.
    running->second.release()->deleteLater();
    m_running.erase(running);
    if (outcome.error.isEmpty())
        emit loaded(name, outcome.data);
    else
        emit failed(name, outcome.error);
}
