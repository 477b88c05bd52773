#pragma once

#include "db/ViberMsg.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QHash>
#include <QPixmap>

// The flat message list: Date, Flag, Contact, Content. The messages belong to a data set
// held by a tree node; the model only points at them.
class ItemModelSms : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Column : int {
        ColumnDate = 0,
        ColumnFlag = 1,
        ColumnContact = 2,
        ColumnContent = 3,
        ColumnCount = 4
    };

    explicit ItemModelSms(QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // gone: of a local database, the messages its source no longer held at a later
    // backup (by id), with since when.
    void setMessages(const QList<_ViberMsg*>& messages, const QHash<qint64, QDateTime>& gone = {});
    void clear();
    const QList<_ViberMsg*>& messages() const { return m_messages; }
    const QHash<qint64, QDateTime>& goneMessages() const { return m_gone; }
    _ViberMsg* messageAt(int row) const; // nullptr out of range
    QModelIndex indexOfRow(int row) const;

    // By time, oldest or newest first; messages of the same time keep their order.
    static void sortByTime(QList<_ViberMsg*>& messages, Qt::SortOrder order);
    // The size of the direction icon beside each date.
    QSize directionIconSize() const { return directionIcon(false).size(); }

private:
    QVariant displayText(const _ViberMsg& msg, int column) const;
    QPixmap directionIcon(bool outgoing) const;

    QList<_ViberMsg*> m_messages;
    QHash<qint64, QDateTime> m_gone;
    mutable QHash<bool, QPixmap> m_icons;
};
