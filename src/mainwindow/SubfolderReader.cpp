#include "mainwindow/SubfolderReader.h"

#include "mainwindow/FolderListing.h"
#include "platform/FileNames.h"

#include <QThread>
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether the folder `name` in the open folder `dirFd` holds a folder; no when it cannot be read.
// Stops at the first one.
bool HoldsFolder(int dirFd, const QByteArray& name, bool showHidden) {
    const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    bool found = false;
    while (!found) {
        const dirent* d = ::readdir(dir);
        if (d == nullptr)
            break;
        const char* entry = d->d_name;
        if (entry[0] == '.' &&
            (!showHidden || entry[1] == '\0' || (entry[1] == '.' && entry[2] == '\0')))
            continue;
        if (d->d_type == DT_DIR) {
            found = true;
        } else if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
            struct stat info {};
            found = ::fstatat(::dirfd(dir), entry, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
    }
    ::closedir(dir);
    return found;
}

} // namespace

QStringList ReadSubfolders(const QString& folder, bool showHidden,
                           const std::function<bool()>& keepGoing, QStringList* leaves) {
    QStringList names;
    const int dirFd =
        ::open(platform::EncodeFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return names;
    for (const NamedEntry& entry : ReadEntryNames(dirFd, showHidden, keepGoing)) {
        if (!entry.folder)
            continue;
        names.append(platform::DecodeFileName(entry.bytes));
        if (leaves != nullptr && !HoldsFolder(dirFd, entry.bytes, showHidden))
            leaves->append(names.last());
        if (keepGoing && names.size() % 64 == 0 && !keepGoing()) {
            names.clear();
            if (leaves != nullptr)
                leaves->clear();
            break;
        }
    }
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
                QStringList leaves;
                const QStringList names = ReadSubfolders(folder, showHidden, keepGoing, &leaves);
                if (keepGoing())
                    Q_EMIT SubfoldersRead(folder, showHidden, names, leaves);
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
