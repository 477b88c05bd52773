#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

// A tree of owned nodes behind Qt's item model. A node's row is always looked up in its
// parent's child list, never cached, so removing a node above another can never leave a
// stale row behind.
class AbsTreeItemModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum NodeType : int {
        NodeRootDevice = 1,
        NodeRootLocalDb = 2,
        NodeAndroidDevice = 4,
        NodeLocalDb = 5,
        NodeChat = 6,
    };

    class _ItemNode
    {
    public:
        _ItemNode(int type, const QString& text, _ItemNode* parent);
        virtual ~_ItemNode();
        _ItemNode(const _ItemNode&) = delete;
        _ItemNode& operator=(const _ItemNode&) = delete;

        int childCount() const { return static_cast<int>(children.size()); }
        _ItemNode* child(int row) const;          // nullptr out of range
        int indexOf(const _ItemNode* node) const; // -1 when not a child

        int type;
        QString text;
        _ItemNode* parent; // nullptr for a top-level node
        std::vector<std::unique_ptr<_ItemNode>> children;
    };

    explicit AbsTreeItemModel(QObject* parent = nullptr);
    ~AbsTreeItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;

    // An invalid index for nullptr or a node that is not in this tree.
    QModelIndex nodeIndex(const _ItemNode* node) const;
    // nullptr for an invalid index or one of another model.
    _ItemNode* nodeFromIndex(const QModelIndex& index) const;
    void refreshNode(const _ItemNode* node);
    static void collectNodes(const QList<_ItemNode*>& nodes, QList<_ItemNode*>& out);
    // A null node stands for the top level: everything goes but the fixed nodes, which are
    // emptied. removeNode leaves a fixed node alone.
    void removeChildren(_ItemNode* node);
    void removeNode(_ItemNode* node);
    QList<_ItemNode*> topLevelNodes() const;

protected:
    // Nodes the model keeps pointers to (its roots) and so never lets go.
    virtual bool isFixed(const _ItemNode* node) const;

    // Takes ownership; appends the node under its parent (or at the top level) and
    // announces the new row. nullptr (and the node dropped) when the parent is not in the tree.
    _ItemNode* appendNode(std::unique_ptr<_ItemNode> node);
    // Appends several nodes under one parent in one announced insertion; false (and the
    // nodes dropped) when the parent is not in the tree.
    bool appendNodes(_ItemNode* parent, std::vector<std::unique_ptr<_ItemNode>> nodes);

private:
    std::vector<std::unique_ptr<_ItemNode>>& siblingsOf(const _ItemNode* parent);
    const std::vector<std::unique_ptr<_ItemNode>>& siblingsOf(const _ItemNode* parent) const;
    // Position in its parent's (or the top-level) list; -1 when not there.
    int rowOf(const _ItemNode* node) const;

    std::vector<std::unique_ptr<_ItemNode>> m_topLevel;
};
