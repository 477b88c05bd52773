#pragma once

#include <QTableView>

class QHeaderView;

// The list of a chat's or a database's messages: a table of rows of one height, because a
// tree view lays out every row each time its model is reset, which held the window for a
// fifth of a second over two million messages, where a table lays out only what it
// shows. Selection changes and context-menu requests come as signals, as from the tree.
class MessageListView : public QTableView
{
    Q_OBJECT
public:
    explicit MessageListView(QWidget* parent = nullptr);

    // The column headers, which sort the list.
    QHeaderView* header() const;
    // Rows as high as a line of text beside an icon of iconSize.
    void setRowHeightFor(const QSize& iconSize);

signals:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void createContextMenu();

protected:
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};
