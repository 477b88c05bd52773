#include "ui/MessageListView.h"

#include <QHeaderView>
#include <QStyle>

#include <algorithm>

MessageListView::MessageListView(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setRowHeightFor(QSize());
}

QHeaderView* MessageListView::header() const
{
    return horizontalHeader();
}

void MessageListView::setRowHeightFor(const QSize& iconSize)
{
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameVMargin, nullptr, this) + 1;
    verticalHeader()->setDefaultSectionSize(std::max(fontMetrics().height(), iconSize.height()) + 2 * margin);
}

void MessageListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    emit onSelectionChanged(selected, deselected);
    QTableView::selectionChanged(selected, deselected);
}

void MessageListView::contextMenuEvent(QContextMenuEvent* event)
{
    emit createContextMenu();
    QTableView::contextMenuEvent(event);
}
