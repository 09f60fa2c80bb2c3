#include "common/TestSupport.h"

#include "platform/FileNames.h"
#include "platform/FileReading.h"
#include "support/Translation.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

QString TestDataPath(const QString& relative) {
    return QStringLiteral(KELVANE_TEST_DATA "/") + relative;
}

QString ExamplesPath(const QString& relative) {
    return QStringLiteral(KELVANE_EXAMPLES "/") + relative;
}

QString BinPath(const QString& program) {
    return QStringLiteral(KELVANE_BIN_DIR "/") + program;
}

void InstallProgramCopies(const QString& folder, const QStringList& programs) {
    for (const QString& name : programs) {
        const QString source = BinPath(name);
        if (!QFileInfo::exists(source))
            continue;
        const QString target = folder + QLatin1Char('/') + name;
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) !=
            0) {
            ASSERT_TRUE(QFile::copy(source, target)) << name.toStdString();
        }
    }
}

void WithoutLeakCheck(QProcessEnvironment& environment) {
    const QString name = QStringLiteral("ASAN_OPTIONS");
    environment.insert(name, environment.value(name) + QStringLiteral(":detect_leaks=0"));
}

QProcessEnvironment IsolatedEnvironment(const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
                             "XDG_RUNTIME_DIR", "XDG_STATE_HOME"}) {
        const QString folder = home + QLatin1Char('/') + QString::fromLatin1(name);
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        env.insert(QString::fromLatin1(name), folder);
    }
    return env;
}

ProgramOutcome RunServingEvents(const QString& program, const QStringList& arguments,
                                const QProcessEnvironment& environment,
                                const QString& workingFolder) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingFolder);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    loop.exec();
    ProgramOutcome outcome;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " did not end";
        return outcome;
    }
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << program.toStdString();
    outcome.exitCode = process.exitCode();
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

QByteArray ReadAll(const QString& path) {
    QByteArray bytes;
    QString error;
    EXPECT_EQ(platform::ReadRegularFile(path, bytes, -1, &error), platform::ReadResult::Read)
        << path.toStdString() << ": " << error.toStdString();
    return bytes;
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

void SetReadOnly(const QString& path, bool readOnly) {
    const QByteArray native = platform::EncodeFileName(path);
    struct stat st {};
    ASSERT_EQ(::stat(native.constData(), &st), 0) << path.toStdString();
    const mode_t mode = readOnly ? (st.st_mode & ~S_IWUSR) : (st.st_mode | S_IWUSR);
    ASSERT_EQ(::chmod(native.constData(), mode), 0);
}

ScopedEnv::ScopedEnv(const char* name, const QString& value)
    : m_name(name), m_old(qgetenv(name)), m_wasSet(qEnvironmentVariableIsSet(name)) {
    if (value.isEmpty())
        qunsetenv(name);
    else
        qputenv(name, platform::EncodeFileName(value));
}

ScopedEnv::~ScopedEnv() {
    if (m_wasSet)
        qputenv(m_name, m_old);
    else
        qunsetenv(m_name);
}

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

void LoadLanguageText(const QString& folder, const QByteArray& content) {
    WriteAll(folder + QStringLiteral("/lang.txt"), content);
    LoadLanguageFile(folder + QLatin1Char('/'));
}

QString UnusedXDisplay() {
    for (int number = 412;; ++number) {
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) &&
            !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            return QStringLiteral(":%1").arg(number);
    }
}

XvfbServer::XvfbServer(const QStringList& extraArguments) : m_process(new QProcess) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty())
        return;
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->start(program, QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"),
                                          QStringLiteral("-nolisten"), QStringLiteral("tcp")} +
                                  extraArguments);
    // Xvfb writes the display number once it accepts connections.
    QByteArray said;
    while (!said.contains('\n') && m_process->waitForReadyRead(8000))
        said += m_process->readAllStandardOutput();
    if (said.contains('\n'))
        m_display = QLatin1Char(':') + QString::fromLatin1(said.trimmed());
}

QByteArray XvfbServer::log() const {
    return m_process->readAllStandardError();
}

XvfbServer::~XvfbServer() {
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
    delete m_process;
}

FifoReader::FifoReader(const QString& path) : m_path(QFile::encodeName(path)) {
    EXPECT_EQ(::mkfifo(m_path.constData(), 0600), 0) << path.toStdString();
    m_thread = std::thread([this, native = m_path] {
        const int fd = ::open(native.constData(), O_RDONLY);
        char buffer[4096];
        for (ssize_t got; fd >= 0 && (got = ::read(fd, buffer, sizeof buffer)) > 0;)
            m_received.append(buffer, got);
        ::close(fd);
    });
}

FifoReader::~FifoReader() {
    if (!m_thread.joinable())
        return;
    // Nobody wrote: open and close the writing end, so that the reader sees the end.
    for (int attempt = 0; attempt < 500; ++attempt) {
        const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
            break;
        }
        ::usleep(10000);
    }
    m_thread.join();
}

QByteArray FifoReader::finish() {
    m_thread.join();
    return m_received;
}

namespace {

bool RemoveEntries(int folder) {
    DIR* entries = ::fdopendir(folder);
    if (entries == nullptr) {
        ::close(folder);
        return false;
    }
    bool removed = true;
    while (const dirent* entry = ::readdir(entries)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (::unlinkat(::dirfd(entries), name, 0) == 0)
            continue;
        if (errno != EISDIR && errno != EPERM) {
            removed = false;
            continue;
        }
        // A folder, perhaps one a test left without read or write permission for its owner.
        ::fchmodat(::dirfd(entries), name, S_IRWXU, AT_SYMLINK_NOFOLLOW);
        const int child =
            ::openat(::dirfd(entries), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        removed = child >= 0 && RemoveEntries(child) && removed;
        removed = ::unlinkat(::dirfd(entries), name, AT_REMOVEDIR) == 0 && removed;
    }
    ::closedir(entries);
    return removed;
}

constexpr char kPrivateFolderPrefix[] = "ktest-";

// Folders "ktest-<pid>-XXXXXX" of processes that no longer run.
void RemoveAbandonedFolders(const QByteArray& parent) {
    DIR* entries = ::opendir(parent.constData());
    if (entries == nullptr)
        return;
    QList<QByteArray> abandoned;
    while (const dirent* entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(kPrivateFolderPrefix))
            continue;
        const QByteArray pid = name.mid(qsizetype(std::strlen(kPrivateFolderPrefix))).split('-')[0];
        bool ok = false;
        const int number = pid.toInt(&ok);
        if (ok && number > 0 && ::kill(number, 0) != 0 && errno == ESRCH)
            abandoned << parent + '/' + name;
    }
    ::closedir(entries);
    struct stat info {};
    for (const QByteArray& path : abandoned)
        if (::lstat(path.constData(), &info) == 0 && info.st_uid == ::getuid())
            RemoveTree(path);
}

class PrivateTemporaryFolder {
public:
    PrivateTemporaryFolder() : m_owner(::getpid()), m_old(qgetenv("TMPDIR")) {
        QByteArray parent = m_old.isEmpty() ? QByteArray("/tmp") : m_old;
        while (parent.size() > 1 && parent.endsWith('/'))
            parent.chop(1);
        RemoveAbandonedFolders(parent);
        QByteArray path =
            parent + '/' + kPrivateFolderPrefix + QByteArray::number(m_owner) + "-XXXXXX";
        if (::mkdtemp(path.data()) == nullptr)
            return; // the tests run in the shared folder, as they would without this
        // Like /tmp: tests that run a program as another user let it make files here too.
        ::chmod(path.constData(), 01777);
        m_path = path;
        qputenv("TMPDIR", m_path);
        // Nor are the configuration (the settings file, remembered answers), the cache and the
        // desktop trash, which restore fills with changed pages: the test process and every
        // program it starts get private ones, which start empty.
        qputenv("XDG_CONFIG_HOME", m_path + "/config");
        qputenv("XDG_CACHE_HOME", m_path + "/cache");
        qputenv("XDG_DATA_HOME", m_path + "/data");
        // The key that proves our temporaries' names ours (platform/TemporaryNames.h) is the
        // test process's own, shared with the programs it starts.
        qputenv("XDG_STATE_HOME", m_path + "/state");
    }
    ~PrivateTemporaryFolder() {
        // A forked child that ends through exit() leaves the folder to its parent.
        if (m_path.isEmpty() || ::getpid() != m_owner)
            return;
        if (m_old.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", m_old);
        if (!RemoveTree(m_path))
            std::fprintf(stderr, "could not remove all of %s\n", m_path.constData());
    }
    PrivateTemporaryFolder(const PrivateTemporaryFolder&) = delete;
    PrivateTemporaryFolder& operator=(const PrivateTemporaryFolder&) = delete;

private:
    pid_t m_owner;
    QByteArray m_old;
    QByteArray m_path;
};

} // namespace

bool RemoveTree(const QByteArray& path) {
    const int folder = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return ::unlink(path.constData()) == 0 || errno == ENOENT;
    const bool emptied = RemoveEntries(folder);
    return ::rmdir(path.constData()) == 0 && emptied;
}

void UsePrivateTemporaryFolder() {
    // Static, so that it also goes when a test ends the process with exit().
    static PrivateTemporaryFolder folder;
}
