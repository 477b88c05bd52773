#pragma once

#include <QListView>

// Turns selection changes and context-menu requests into signals, so the window can
// react without subclassing the view again.
class MyListView : public QListView
{
    Q_OBJECT
public:
    explicit MyListView(QWidget* parent = nullptr);

signals:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void createContextMenu();

protected:
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};
