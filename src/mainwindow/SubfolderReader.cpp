#include "mainwindow/SubfolderReader.h"

#include "mainwindow/FolderListing.h"
#include "platform/FileNames.h"

#include <QThread>
#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

QStringList ReadSubfolders(const QString& folder, bool showHidden,
                           const std::function<bool()>& keepGoing) {
    QStringList names;
    const int dirFd =
        ::open(platform::EncodeFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return names;
    for (const NamedEntry& entry : ReadEntryNames(dirFd, showHidden, keepGoing))
        if (entry.folder)
            names.append(platform::DecodeFileName(entry.bytes));
    ::close(dirFd);
    std::sort(names.begin(), names.end(), NameOrder);
    return names;
}

SubfolderReader::SubfolderReader(QObject* parent)
    : QObject(parent), m_thread(new QThread(this)),
      m_stopping(std::make_shared<std::atomic<bool>>(false)) {
    // The worker lives on the thread and answers through this object's signal, which is
    // delivered to the interface thread by queued connection.
    auto* worker = new QObject;
    worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(this, &SubfolderReader::ReadRequested, worker,
            [this, stopping = m_stopping](const QString& folder, bool showHidden) {
                auto keepGoing = [stopping] { return !stopping->load(); };
                const QStringList names = ReadSubfolders(folder, showHidden, keepGoing);
                if (keepGoing())
                    Q_EMIT SubfoldersRead(folder, showHidden, names);
            });
    m_thread->setObjectName(QStringLiteral("SubfolderReader"));
    m_thread->start();
}

SubfolderReader::~SubfolderReader() {
    m_stopping->store(true);
    m_thread->quit();
    m_thread->wait();
}

void SubfolderReader::Read(const QString& folder, bool showHidden) {
    Q_EMIT ReadRequested(folder, showHidden);
}
