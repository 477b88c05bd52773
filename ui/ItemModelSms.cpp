#include "ui/ItemModelSms.h"

#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberPerson.h"
#include "db/ViberSort.h"
#include "db/ViberText.h"

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QLocale>
#include <QSize>

#include <algorithm>

namespace {

constexpr int SmsIconWidth = 18;
constexpr int SmsRowHeight = 23;
const QColor OutgoingBackground(245, 255, 226);

bool isCallOrSystem(const _ViberMsg& msg)
{
    return msg.type == ViberMsgType::Call || msg.type == ViberMsgType::System;
}

QString contactText(const _ViberMsg& msg)
{
    if (msg.type == ViberMsgType::System)
        return QStringLiteral("<System>");
    if (msg.type == ViberMsgType::Call)
        return QStringLiteral("<Call>");
    if (!msg.chat)
        return {};
    if (msg.chat->isGroup() && msg.sender)
        return ViberText::personLabelWithNumber(*msg.sender);
    return ViberText::chatMembersText(*msg.chat);
}

} // namespace

ItemModelSms::ItemModelSms(QObject* parent) : QAbstractItemModel(parent) {}

QModelIndex ItemModelSms::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    return createIndex(row, column, column == ColumnDate ? m_messages.at(row) : nullptr);
}

QModelIndex ItemModelSms::parent(const QModelIndex&) const
{
    return {};
}

int ItemModelSms::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_messages.size());
}

int ItemModelSms::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

QVariant ItemModelSms::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColumnDate:
        return QStringLiteral("Date");
    case ColumnFlag:
        return QStringLiteral("Flag");
    case ColumnContact:
        return QStringLiteral("Contact");
    case ColumnContent:
        return QStringLiteral("Content");
    default:
        return {};
    }
}

QVariant ItemModelSms::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this || index.column() < 0 || index.column() >= ColumnCount)
        return {};
    const _ViberMsg* msg = messageAt(index.row());
    if (!msg)
        return {};
    const auto gone = m_gone.constFind(msg->id);
    switch (role) {
    case Qt::DisplayRole:
        // The column is narrow, and the date's icon already tells the direction.
        if (gone != m_gone.cend() && index.column() == ColumnFlag)
            return tr("IDS_FLAG_GONE");
        return displayText(*msg, index.column());
    case Qt::ToolTipRole:
        if (gone != m_gone.cend())
            return QString(displayText(*msg, index.column()).toString() + QLatin1Char('\n') +
                           tr("IDS_GONE_FROM_SOURCE_SINCE_%1")
                               .arg(QLocale::system().toString(gone->toLocalTime(), QLocale::ShortFormat)));
        return displayText(*msg, index.column());
    case Qt::ForegroundRole:
        return gone != m_gone.cend() ? QVariant(QBrush(Qt::darkGray)) : QVariant();
    case Qt::DecorationRole:
        if (index.column() == ColumnDate)
            return directionIcon(ViberText::isOutgoing(*msg));
        return {};
    case Qt::BackgroundRole:
        return QBrush(ViberText::isOutgoing(*msg) ? OutgoingBackground : QColor(Qt::white));
    case Qt::SizeHintRole:
        return QSize(0, SmsRowHeight);
    default:
        return {};
    }
}

QVariant ItemModelSms::displayText(const _ViberMsg& msg, int column) const
{
    switch (column) {
    case ColumnDate:
        return QLocale::system().toString(ViberDates::refToLocal(msg.date), QLocale::ShortFormat);
    case ColumnFlag:
        if (isCallOrSystem(msg))
            return QString();
        return ViberText::isOutgoing(msg) ? QStringLiteral("To") : QStringLiteral("From");
    case ColumnContact:
        return contactText(msg);
    case ColumnContent:
        return ViberText::summaryText(msg);
    default:
        return {};
    }
}

QPixmap ItemModelSms::directionIcon(bool outgoing) const
{
    auto it = m_icons.constFind(outgoing);
    if (it == m_icons.constEnd()) {
        const QImage image(outgoing ? QStringLiteral(":/res/icon_sms-sent.png")
                                    : QStringLiteral(":/res/icon_sms-receive.png"));
        it = m_icons.insert(outgoing, image.isNull() ? QPixmap()
                                                     : QPixmap::fromImage(image.scaledToWidth(
                                                           SmsIconWidth, Qt::FastTransformation)));
    }
    return *it;
}

void ItemModelSms::setMessages(const QList<_ViberMsg*>& messages, const QHash<qint64, QDateTime>& gone)
{
    beginResetModel();
    m_messages = messages;
    m_gone = gone;
    endResetModel();
}

void ItemModelSms::clear()
{
    setMessages({});
}

_ViberMsg* ItemModelSms::messageAt(int row) const
{
    return row >= 0 && row < m_messages.size() ? m_messages.at(row) : nullptr;
}

QModelIndex ItemModelSms::indexOfRow(int row) const
{
    return messageAt(row) ? index(row, ColumnDate) : QModelIndex();
}

void ItemModelSms::sortByTime(QList<_ViberMsg*>& messages, Qt::SortOrder order)
{
    ViberSort::sortByDate(messages, order == Qt::DescendingOrder);
}
