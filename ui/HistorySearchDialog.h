#pragma once

#include "db/LocalHistorySearch.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// "Search all histories": a query over every local database at once and its hits,
// newest first, with the words found shown in bold. The search runs off the window's
// thread (the first one may index a database). Choosing a hit closes the dialog with
// it, for the window to open its chat at that message.
class HistorySearchDialog : public QDialog
{
    Q_OBJECT
public:
    explicit HistorySearchDialog(QWidget* parent = nullptr);
    ~HistorySearchDialog() override;

    // The hit chosen, after the dialog closed with one.
    std::optional<LocalHistorySearch::Hit> chosen() const { return m_chosen; }

    // Runs the query in the field; the results replace the list when it is done.
    void search();
    bool isSearching() const { return m_watcher.isRunning(); }

signals:
    void searchFinished();

private:
    void showResults();
    void choose(QTreeWidgetItem* item);
    QString highlighted(const QString& text) const;

    QLineEdit* m_field;
    QLabel* m_status;
    QTreeWidget* m_list;
    QFutureWatcher<LocalHistorySearch::Result> m_watcher;
    QList<LocalHistorySearch::Hit> m_hits;
    QStringList m_words; // of the query shown
    std::optional<LocalHistorySearch::Hit> m_chosen;
};
