#include "ui/AbsTreeItemModel.h"

#include <algorithm>

using _ItemNode = AbsTreeItemModel::_ItemNode;

namespace {

int positionIn(const std::vector<std::unique_ptr<_ItemNode>>& list, const _ItemNode* node)
{
    const auto it = std::find_if(list.begin(), list.end(), [node](const auto& n) { return n.get() == node; });
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

} // namespace

AbsTreeItemModel::_ItemNode::_ItemNode(int type, const QString& text, _ItemNode* parent)
    : type(type), text(text), parent(parent)
{}

AbsTreeItemModel::_ItemNode::~_ItemNode() = default;

_ItemNode* AbsTreeItemModel::_ItemNode::child(int row) const
{
    return row >= 0 && row < childCount() ? children[static_cast<size_t>(row)].get() : nullptr;
}

int AbsTreeItemModel::_ItemNode::indexOf(const _ItemNode* node) const
{
    return positionIn(children, node);
}

AbsTreeItemModel::AbsTreeItemModel(QObject* parent) : QAbstractItemModel(parent) {}

AbsTreeItemModel::~AbsTreeItemModel() = default;

std::vector<std::unique_ptr<_ItemNode>>& AbsTreeItemModel::siblingsOf(const _ItemNode* parent)
{
    return parent ? const_cast<_ItemNode*>(parent)->children : m_topLevel;
}

const std::vector<std::unique_ptr<_ItemNode>>& AbsTreeItemModel::siblingsOf(const _ItemNode* parent) const
{
    return parent ? parent->children : m_topLevel;
}

int AbsTreeItemModel::rowOf(const _ItemNode* node) const
{
    return node ? positionIn(siblingsOf(node->parent), node) : -1;
}

QModelIndex AbsTreeItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    const _ItemNode* parentNode = nodeFromIndex(parent);
    if (parent.isValid() && !parentNode)
        return {};
    const auto& list = siblingsOf(parentNode);
    return createIndex(row, column, list[static_cast<size_t>(row)].get());
}

QModelIndex AbsTreeItemModel::parent(const QModelIndex& child) const
{
    const _ItemNode* node = nodeFromIndex(child);
    if (!node || !node->parent)
        return {};
    return nodeIndex(node->parent);
}

int AbsTreeItemModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return static_cast<int>(m_topLevel.size());
    // Only the first column has children, as in every tree view.
    if (parent.column() != 0)
        return 0;
    const _ItemNode* node = nodeFromIndex(parent);
    return node ? node->childCount() : 0;
}

QModelIndex AbsTreeItemModel::nodeIndex(const _ItemNode* node) const
{
    const int row = rowOf(node);
    if (row < 0)
        return {};
    return createIndex(row, 0, const_cast<_ItemNode*>(node));
}

_ItemNode* AbsTreeItemModel::nodeFromIndex(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<_ItemNode*>(index.internalPointer());
}

void AbsTreeItemModel::refreshNode(const _ItemNode* node)
{
    const QModelIndex own = nodeIndex(node);
    if (!own.isValid())
        return;
    emit dataChanged(own, own);
    // A range must stay under one parent, so the children are announced on their own.
    if (node->childCount() > 0)
        emit dataChanged(index(0, 0, own), index(node->childCount() - 1, 0, own));
}

void AbsTreeItemModel::collectNodes(const QList<_ItemNode*>& nodes, QList<_ItemNode*>& out)
{
    for (_ItemNode* node : nodes) {
        out.append(node);
        QList<_ItemNode*> children;
        children.reserve(node->childCount());
        for (const auto& c : node->children)
            children.append(c.get());
        collectNodes(children, out);
    }
}

bool AbsTreeItemModel::isFixed(const _ItemNode*) const
{
    return false;
}

void AbsTreeItemModel::removeChildren(_ItemNode* node)
{
    if (node && rowOf(node) < 0)
        return;
    if (!node) {
        // One by one, from the last, so that a fixed node can stay in between (emptied).
        for (int row = static_cast<int>(m_topLevel.size()) - 1; row >= 0; --row) {
            _ItemNode* top = m_topLevel[static_cast<size_t>(row)].get();
            if (isFixed(top))
                removeChildren(top);
            else
                removeNode(top);
        }
        return;
    }
    auto& list = siblingsOf(node);
    if (list.empty())
        return;
    beginRemoveRows(nodeIndex(node), 0, static_cast<int>(list.size()) - 1);
    // Moved out first so that nothing sees half-deleted nodes while they are destroyed.
    const std::vector<std::unique_ptr<_ItemNode>> gone = std::move(list);
    list.clear();
    endRemoveRows();
}

void AbsTreeItemModel::removeNode(_ItemNode* node)
{
    if (rowOf(node) < 0 || isFixed(node))
        return;
    removeChildren(node);
    const int row = rowOf(node);
    auto& list = siblingsOf(node->parent);
    beginRemoveRows(nodeIndex(node->parent), row, row);
    const std::unique_ptr<_ItemNode> gone = std::move(list[static_cast<size_t>(row)]);
    list.erase(list.begin() + row);
    endRemoveRows();
}

QList<_ItemNode*> AbsTreeItemModel::topLevelNodes() const
{
    QList<_ItemNode*> nodes;
    nodes.reserve(static_cast<qsizetype>(m_topLevel.size()));
    for (const auto& n : m_topLevel)
        nodes.append(n.get());
    return nodes;
}

_ItemNode* AbsTreeItemModel::appendNode(std::unique_ptr<_ItemNode> node)
{
    _ItemNode* added = node.get();
    std::vector<std::unique_ptr<_ItemNode>> one;
    one.push_back(std::move(node));
    return appendNodes(added->parent, std::move(one)) ? added : nullptr;
}

bool AbsTreeItemModel::appendNodes(_ItemNode* parent, std::vector<std::unique_ptr<_ItemNode>> nodes)
{
    if (parent && rowOf(parent) < 0)
        return false;
    if (nodes.empty())
        return true;
    auto& list = siblingsOf(parent);
    const int first = static_cast<int>(list.size());
    beginInsertRows(nodeIndex(parent), first, first + static_cast<int>(nodes.size()) - 1);
    for (auto& n : nodes) {
        n->parent = parent;
        list.push_back(std::move(n));
    }
    endInsertRows();
    return true;
}
