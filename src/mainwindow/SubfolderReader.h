#pragma once
// Reads which folders a folder holds, on a thread of its own, for the folder tree: a folder
// with many thousands of files must not hold up the interface while the tree looks for the
// few folders among them. Requests are answered in the order they were made.

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

class QThread;

// The names of the folders in `folder` (links to folders count), in NameOrder; names beginning
// with "." only when `showHidden`. Empty for a folder that cannot be read. `keepGoing` is asked
// now and then; when it says stop, the answer is empty. With `leaves`, also the names of those
// folders that hold no folder themselves (or cannot be read), so that the tree offers to open
// only folders that open onto something.
QStringList ReadSubfolders(const QString& folder, bool showHidden,
                           const std::function<bool()>& keepGoing = {},
                           QStringList* leaves = nullptr);

class SubfolderReader : public QObject {
    Q_OBJECT
public:
    explicit SubfolderReader(QObject* parent = nullptr);
    // A read in progress stops at its next entry.
    ~SubfolderReader() override;

    // Answered by SubfoldersRead.
    void Read(const QString& folder, bool showHidden);

Q_SIGNALS:
    // `leaves`: the folders among `names` that hold no folder.
    void SubfoldersRead(const QString& folder, bool showHidden, const QStringList& names,
                        const QStringList& leaves);
    void ReadRequested(const QString& folder, bool showHidden);

private:
    QThread* m_thread;
    std::shared_ptr<std::atomic<bool>> m_stopping;
};
