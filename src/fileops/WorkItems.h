#pragma once
// The work list of a batch run as a source of paths taken one at a time, so that a run over a
// stream of paths (a headless run reading `find -print0`) never holds them all in memory.

#include <QString>
#include <QStringList>
#include <optional>

class WorkItems {
public:
    virtual ~WorkItems() = default;
    // The next path of the list, in order; nothing at the end.
    virtual std::optional<QString> Next() = 0;
    // The number of entries of the whole list when it is known, else -1.
    virtual qsizetype Count() const = 0;
    // Whether Next() answers without waiting for input that has not come yet (a slow pipe).
    virtual bool Ready() { return true; }
};

// A work list held in memory (the window's runs).
class ListWorkItems final : public WorkItems {
public:
    explicit ListWorkItems(QStringList paths) : m_paths(std::move(paths)) {}
    std::optional<QString> Next() override {
        if (m_next >= m_paths.size())
            return std::nullopt;
        return m_paths.at(m_next++);
    }
    qsizetype Count() const override { return m_paths.size(); }

private:
    QStringList m_paths;
    qsizetype m_next = 0;
};
