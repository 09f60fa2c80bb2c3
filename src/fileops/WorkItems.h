#pragma once
// The work list of a batch run as a source of paths taken one at a time, so that a run over a
// stream of paths (a headless run reading `find -print0`) never holds them all in memory.

#include <QString>
#include <QStringList>
#include <optional>

// The folders that a work list was expanded from (the folders the user named). A path found
// below one of them is reached from that folder without following any link on the way, so
// that nothing planted inside the tree can lead the run out of it.
class TreeRoots {
public:
    void Add(const QString& folder);
    // The longest root that `path` lies below; empty when it lies below none (a path the user
    // named himself, whose folders are taken as the system resolves them).
    QString RootOf(const QString& path) const;
    bool IsEmpty() const { return m_roots.isEmpty(); }

private:
    QStringList m_roots; // without a trailing separator, except "/"
};

class WorkItems {
public:
    virtual ~WorkItems() = default;
    // The next path of the list, in order; nothing at the end.
    virtual std::optional<QString> Next() = 0;
    // The number of entries of the whole list when it is known, else -1.
    virtual qsizetype Count() const = 0;
    // Whether Next() answers without waiting for input that has not come yet (a slow pipe).
    virtual bool Ready() { return true; }
    // The folders the list was expanded from, when it knows them.
    virtual const TreeRoots* Roots() const { return nullptr; }
    // Whether each entry given out stood for exactly one entry of the list: false once a folder
    // could not be walked for want of descriptors (its files stood as one entry), so that a
    // count of the list is only a lower bound.
    virtual bool CountsExactly() const { return true; }
};

// A work list held in memory (the window's runs).
class ListWorkItems final : public WorkItems {
public:
    explicit ListWorkItems(QStringList paths, TreeRoots roots = {})
        : m_paths(std::move(paths)), m_roots(std::move(roots)) {}
    std::optional<QString> Next() override {
        if (m_next >= m_paths.size())
            return std::nullopt;
        return m_paths.at(m_next++);
    }
    qsizetype Count() const override { return m_paths.size(); }
    const TreeRoots* Roots() const override { return &m_roots; }

private:
    QStringList m_paths;
    TreeRoots m_roots;
    qsizetype m_next = 0;
};
