#include "ui/MyTreeView.h"

MyTreeView::MyTreeView(QWidget* parent) : QTreeView(parent) {}

void MyTreeView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    emit onSelectionChanged(selected, deselected);
    QTreeView::selectionChanged(selected, deselected);
}

void MyTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    emit createContextMenu();
    QTreeView::contextMenuEvent(event);
}
