#pragma once
// The folder tree's model: the folders of the file system from a root folder ("/") down. A folder's
// sub-folders are read on a thread of their own (SubfolderReader) when the tree first opens it, and
// read again when the file system says the folder changed; the interface thread only merges the
// names it gets. Names are decoded with platform::DecodeFileName, so a folder whose name is
// not UTF-8 keeps its bytes in FilePath().

#include <QAbstractItemModel>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QFileSystemWatcher;
class QTimer;
class SubfolderReader;

class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // `root` is the one top-level row; tests give a folder of their own.
    explicit FolderTreeModel(const QString& root = QStringLiteral("/"), QObject* parent = nullptr);
    ~FolderTreeModel() override;

    // The row of the folder `path`, the way to it made known at once (the other folders beside
    // it follow when their parents have been read). Invalid when `path` is not an existing
    // folder at or below the root, or lies below a hidden one while hidden folders are not
    // shown.
    QModelIndex IndexOf(const QString& path);
    // The folder's absolute path; empty for an invalid index.
    QString FilePath(const QModelIndex& index) const;

    // Reads the folder's sub-folders again (the first time, when it has never been read).
    void Reread(const QModelIndex& index);
    // Hidden folders ("." names) are shown; every folder read so far is read again.
    void SetShowHidden(bool show);
    bool ShowHidden() const { return m_showHidden; }
    // No read of a folder is under way.
    bool Idle() const { return m_reading == 0; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

Q_SIGNALS:
    // The sub-folders of `path` have been read and are shown.
    void FolderLoaded(const QString& path);

private:
    struct Node;

    Node* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOfNode(const Node* node) const;
    QString PathOf(const Node* node) const;
    Node* FindNode(const QString& path) const;
    Node* RootNode() const;
    // The names from the root down to `path`; nothing when `path` is not at or below the root.
    std::optional<QStringList> NamesBelowRoot(const QString& path) const;
    // The child `name` of `parent`, inserted where the order puts it when it is not there.
    Node* EnsureChild(Node* parent, const QString& name);
    void Read(Node* node);
    void SubfoldersRead(const QString& folder, bool showHidden, const QStringList& names,
                        const QStringList& leaves);
    void Merge(Node* node, const QStringList& read);
    void RemoveRows(Node* parent, int first, int last);
    void InsertRows(Node* parent, int at, const QStringList& names);
    // Which of the node's children hold folders, as its read found.
    void MarkLeaves(Node* node, const QStringList& leaves);
    void Unwatch(const Node* node);
    void ReadChangedFolders();
    // Every node that has been read, parents before children.
    QList<Node*> ReadNodes() const;

    QString m_rootPath;
    std::unique_ptr<Node> m_top; // invisible; its one child is the root folder
    SubfolderReader* m_reader;
    QFileSystemWatcher* m_watcher;
    QTimer* m_changed; // gathers a burst of changes into one read per folder
    QSet<QString> m_changedFolders;
    bool m_showHidden = true;
    int m_reading = 0;
};
