#include "mainwindow/gui/FolderTreeModel.h"

#include "mainwindow/FolderIds.h"
#include "mainwindow/FolderListing.h"
#include "mainwindow/SubfolderReader.h"
#include "mainwindow/gui/NameIconProvider.h"
#include "platform/FileFunctions.h"
#include "support/gui/DisplayText.h"

#include <QFileSystemWatcher>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

struct FolderTreeModel::Node {
    QString name;
    Node* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Node>> children; // in NameOrder
    bool read = false;                           // its sub-folders have been read at least once
    bool mayHoldFolders = true;                  // until its parent's read says it holds none
    bool watched = false;                        // changes on disk lead to another read
    int pending = 0;                             // reads asked for and not answered yet
};

namespace {

bool IsHidden(const QString& name) {
    return name.startsWith(QLatin1Char('.'));
}

// The children of `node` from `first` on learn their new rows.
template <typename NodeT> void Renumber(NodeT* node, std::size_t first) {
    for (std::size_t i = first; i < node->children.size(); ++i)
        node->children[i]->row = int(i);
}

// The position of `name` among `children`, or where it would go.
template <typename Children> auto LowerBound(Children& children, const QString& name) {
    return std::lower_bound(
        children.begin(), children.end(), name,
        [](const auto& child, const QString& wanted) { return NameOrder(child->name, wanted); });
}

} // namespace

FolderTreeModel::FolderTreeModel(const QString& root, QObject* parent)
    : QAbstractItemModel(parent), m_rootPath(IdListCopy(root)), m_top(std::make_unique<Node>()),
      m_reader(new SubfolderReader(this)), m_watcher(new QFileSystemWatcher(this)),
      m_changed(new QTimer(this)) {
    auto rootNode = std::make_unique<Node>();
    rootNode->name = m_rootPath;
    rootNode->parent = m_top.get();
    m_top->children.push_back(std::move(rootNode));
    m_top->read = true;

    connect(m_reader, &SubfolderReader::SubfoldersRead, this, &FolderTreeModel::SubfoldersRead);
    m_changed->setSingleShot(true);
    m_changed->setInterval(200);
    connect(m_changed, &QTimer::timeout, this, &FolderTreeModel::ReadChangedFolders);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString& path) {
        m_changedFolders.insert(path);
        m_changed->start();
    });
}

FolderTreeModel::~FolderTreeModel() {
    delete m_reader; // its thread stops before the nodes go
}

FolderTreeModel::Node* FolderTreeModel::RootNode() const {
    return m_top->children.front().get();
}

FolderTreeModel::Node* FolderTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : m_top.get();
}

QModelIndex FolderTreeModel::IndexOfNode(const Node* node) const {
    if (node == nullptr || node == m_top.get())
        return {};
    return createIndex(node->row, 0, const_cast<Node*>(node));
}

QString FolderTreeModel::PathOf(const Node* node) const {
    QStringList names;
    for (; node != nullptr && node->parent != m_top.get(); node = node->parent)
        names.prepend(node->name);
    if (names.isEmpty())
        return m_rootPath;
    const QString separator =
        m_rootPath.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/");
    return m_rootPath + separator + names.join(QLatin1Char('/'));
}

std::optional<QStringList> FolderTreeModel::NamesBelowRoot(const QString& path) const {
    const QString clean = IdListCopy(path);
    if (clean == m_rootPath)
        return QStringList();
    const QString prefix =
        m_rootPath.endsWith(QLatin1Char('/')) ? m_rootPath : m_rootPath + QLatin1Char('/');
    if (!clean.startsWith(prefix))
        return std::nullopt;
    return clean.mid(prefix.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

FolderTreeModel::Node* FolderTreeModel::FindNode(const QString& path) const {
    const std::optional<QStringList> names = NamesBelowRoot(path);
    if (!names)
        return nullptr;
    Node* node = RootNode();
    for (const QString& name : *names) {
        const auto at = LowerBound(node->children, name);
        if (at == node->children.end() || (*at)->name != name)
            return nullptr;
        node = at->get();
    }
    return node;
}

FolderTreeModel::Node* FolderTreeModel::EnsureChild(Node* parent, const QString& name) {
    const auto at = LowerBound(parent->children, name);
    const int row = int(at - parent->children.begin());
    if (at == parent->children.end() || (*at)->name != name)
        InsertRows(parent, row, {name});
    return parent->children[std::size_t(row)].get();
}

QModelIndex FolderTreeModel::IndexOf(const QString& path) {
    const std::optional<QStringList> names = NamesBelowRoot(path);
    if (!names || !IdListIsValid(path))
        return {};
    if (!m_showHidden && std::any_of(names->begin(), names->end(), IsHidden))
        return {};
    Node* node = RootNode();
    for (const QString& name : *names)
        node = EnsureChild(node, name);
    return IndexOfNode(node);
}

QString FolderTreeModel::FilePath(const QModelIndex& index) const {
    return index.isValid() ? PathOf(NodeOf(index)) : QString();
}

void FolderTreeModel::SetShowHidden(bool show) {
    if (show == m_showHidden)
        return;
    m_showHidden = show;
    if (!show) {
        // Depth first, so that no node is looked at after its parent let it go.
        std::function<void(Node*)> removeHidden = [&](Node* node) {
            for (int row = int(node->children.size()) - 1; row >= 0; --row)
                if (IsHidden(node->children[std::size_t(row)]->name))
                    RemoveRows(node, row, row);
            for (const auto& child : node->children)
                removeHidden(child.get());
        };
        removeHidden(RootNode());
    }
    for (Node* node : ReadNodes())
        Read(node);
}

QList<FolderTreeModel::Node*> FolderTreeModel::ReadNodes() const {
    QList<Node*> nodes;
    std::function<void(Node*)> collect = [&](Node* node) {
        if (node->read || node->pending > 0)
            nodes.append(node);
        for (const auto& child : node->children)
            collect(child.get());
    };
    collect(RootNode());
    return nodes;
}

void FolderTreeModel::Read(Node* node) {
    // Watched from the first request on: a folder made while the read runs is read again.
    if (!node->watched) {
        node->watched = true;
        m_watcher->addPath(PathOf(node));
    }
    ++node->pending;
    ++m_reading;
    m_reader->Read(PathOf(node), m_showHidden);
}

void FolderTreeModel::SubfoldersRead(const QString& folder, bool showHidden,
                                     const QStringList& names, const QStringList& leaves) {
    --m_reading;
    Node* node = FindNode(folder);
    if (node == nullptr)
        return; // gone from the tree meanwhile
    node->pending = std::max(0, node->pending - 1);
    if (showHidden != m_showHidden)
        return; // a read with the present setting follows
    Merge(node, names);
    MarkLeaves(node, leaves);
    const bool offeredToOpen = !node->read && node->mayHoldFolders;
    node->read = true;
    if (node->children.empty() && offeredToOpen) {
        // It showed the sign of a folder that opens; a view takes the change of that sign only
        // from a new layout.
        node->mayHoldFolders = false;
        Q_EMIT layoutAboutToBeChanged();
        Q_EMIT layoutChanged();
    }
    Q_EMIT FolderLoaded(folder);
}

void FolderTreeModel::MarkLeaves(Node* node, const QStringList& leaves) {
    const QSet<QString> leafNames(leaves.begin(), leaves.end());
    for (const auto& child : node->children)
        child->mayHoldFolders = !leafNames.contains(child->name);
}

void FolderTreeModel::Reread(const QModelIndex& index) {
    if (!index.isValid())
        return;
    Node* node = NodeOf(index);
    if (node->read || node->pending == 0)
        Read(node);
}

void FolderTreeModel::Merge(Node* node, const QStringList& read) {
    // A read that began before a folder was made (and put in the tree by IndexOf) does not
    // list it: such a folder stays, and only folders really gone leave.
    QStringList names = read;
    {
        const QSet<QString> listed(read.begin(), read.end());
        for (const auto& child : node->children)
            if (!listed.contains(child->name) && (m_showHidden || !IsHidden(child->name)) &&
                platform::FolderExists(PathOf(child.get())))
                names.append(child->name);
        if (names.size() != read.size())
            std::sort(names.begin(), names.end(), NameOrder);
    }
    // Both lists are in NameOrder: folders that are gone leave a run at a time, then the new
    // ones come in a run at a time; folders that stay keep their rows' state.
    const QSet<QString> fresh(names.begin(), names.end());
    for (int row = int(node->children.size()) - 1; row >= 0;) {
        if (fresh.contains(node->children[std::size_t(row)]->name)) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && !fresh.contains(node->children[std::size_t(first - 1)]->name))
            --first;
        RemoveRows(node, first, row);
        row = first - 1;
    }
    std::size_t at = 0;
    for (qsizetype next = 0; next < names.size();) {
        if (at < node->children.size() && node->children[at]->name == names.at(next)) {
            ++at;
            ++next;
            continue;
        }
        QStringList run;
        while (next < names.size() &&
               (at >= node->children.size() || node->children[at]->name != names.at(next)))
            run.append(names.at(next++));
        InsertRows(node, int(at), run);
        at += std::size_t(run.size());
    }
}

void FolderTreeModel::RemoveRows(Node* parent, int first, int last) {
    beginRemoveRows(IndexOfNode(parent), first, last);
    for (int row = first; row <= last; ++row)
        Unwatch(parent->children[std::size_t(row)].get());
    parent->children.erase(parent->children.begin() + first, parent->children.begin() + last + 1);
    Renumber(parent, std::size_t(first));
    endRemoveRows();
}

void FolderTreeModel::InsertRows(Node* parent, int at, const QStringList& names) {
    beginInsertRows(IndexOfNode(parent), at, at + int(names.size()) - 1);
    std::vector<std::unique_ptr<Node>> nodes;
    nodes.reserve(std::size_t(names.size()));
    for (const QString& name : names) {
        auto node = std::make_unique<Node>();
        node->name = name;
        node->parent = parent;
        nodes.push_back(std::move(node));
    }
    parent->children.insert(parent->children.begin() + at, std::make_move_iterator(nodes.begin()),
                            std::make_move_iterator(nodes.end()));
    Renumber(parent, std::size_t(at));
    endInsertRows();
}

void FolderTreeModel::Unwatch(const Node* node) {
    if (node->watched)
        m_watcher->removePath(PathOf(node));
    for (const auto& child : node->children)
        Unwatch(child.get());
}

void FolderTreeModel::ReadChangedFolders() {
    for (const QString& folder : std::exchange(m_changedFolders, {}))
        if (Node* node = FindNode(folder); node != nullptr && node->watched)
            Read(node);
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const Node* node = NodeOf(parent);
    if (column != 0 || row < 0 || std::size_t(row) >= node->children.size())
        return {};
    return createIndex(row, column, node->children[std::size_t(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    return IndexOfNode(NodeOf(child)->parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    return int(NodeOf(parent)->children.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return DisplayText(NodeOf(index)->name);
    case Qt::DecorationRole:
        return SharedNameIconProvider()->icon(QAbstractFileIconProvider::Folder);
    case Qt::ToolTipRole:
        return DisplayText(PathOf(NodeOf(index)));
    default:
        return {};
    }
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const {
    const Node* node = NodeOf(parent);
    if (parent.column() > 0)
        return false;
    // A folder not read yet offers to open unless its parent's read found no folder in it.
    return node->read ? !node->children.empty() : node->mayHoldFolders;
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const {
    const Node* node = NodeOf(parent);
    return parent.isValid() && !node->read && node->pending == 0;
}

void FolderTreeModel::fetchMore(const QModelIndex& parent) {
    if (canFetchMore(parent))
        Read(NodeOf(parent));
}
