#pragma once

#include "db/ViberDataSet.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <map>
#include <memory>

// Reads local databases on a thread of the pool, so that the window stays responsive
// while a history of millions of messages loads; a database is read once at a time.
// Browsing never changes the user's folder: the databases are opened read-only.
class LocalDatabaseLoader : public QObject
{
    Q_OBJECT
public:
    explicit LocalDatabaseLoader(QObject* parent = nullptr);
    ~LocalDatabaseLoader() override; // waits for the readings under way

    // Starts reading the local database called name, unless it is being read.
    void load(const QString& name);
    bool isBusy() const { return !m_running.empty(); }
    // The same reading, done on the calling thread; throws as the reader does.
    static ViberDataSetPtr loadNow(const QString& name);

signals:
    void loaded(const QString& name, const ViberDataSetPtr& data);
    void failed(const QString& name, const QString& error);

private:
    struct Outcome
    {
        ViberDataSetPtr data;
        QString error;
    };

    void finished(const QString& name);

    std::map<QString, std::unique_ptr<QFutureWatcher<Outcome>>> m_running;
};
