#pragma once
// Small helpers shared by the tests: fixture paths and whole-file reads and writes.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ostream>
#include <thread>

class QProcess;
class QProcessEnvironment;

QString TestDataPath(const QString& relative); // tests/data/<relative>
QString ExamplesPath(const QString& relative); // examples/<relative>
QString BinPath(const QString& program);       // build/bin/<program>
// Puts each of build/bin's `programs` that exists into `folder`: a hard link when the folders
// share a file system, else a copy; never a symbolic link, which would lead a program back to
// its build folder (and its settings file there). Fails the test when one cannot be placed.
void InstallProgramCopies(const QString& folder, const QStringList& programs);

// The process environment without any display, with XDG_CONFIG_HOME, XDG_CACHE_HOME,
// XDG_DATA_HOME, XDG_RUNTIME_DIR and XDG_STATE_HOME in private folders of `home` (made when
// missing).
QProcessEnvironment IsolatedEnvironment(const QString& home);
// For a program the test kills outright (sanitized builds): its tidy helpers see their channel
// close a moment before their parent-death signal, and a leak check begun in between is cut off
// and reported though it found nothing.
void WithoutLeakCheck(QProcessEnvironment& environment);

// How a program run ended; exitCode -1000 when it did not end within the time.
struct ProgramOutcome {
    int exitCode = -1000;
    QByteArray out;
    QByteArray err;
};
// Runs `program` to its end (at most 60 s, then it is killed and the test fails) while the
// test's event loop keeps serving (its HTTP server, say).
ProgramOutcome RunServingEvents(const QString& program, const QStringList& arguments,
                                const QProcessEnvironment& environment,
                                const QString& workingFolder);

QByteArray ReadAll(const QString& path); // fails the test when unreadable
void WriteAll(const QString& path, const QByteArray& bytes);
void SetReadOnly(const QString& path, bool readOnly); // owner's write bit
// Writes `content` as <folder>/lang.txt and loads it into the translation table.
void LoadLanguageText(const QString& folder, const QByteArray& content);

// An X display name (":412") at which no X server runs: neither its socket nor its lock file
// exists.
QString UnusedXDisplay();

// A private X server (Xvfb) for the life of the object, started with `-displayfd` so that it
// picks a free display and says when it is ready. display() is empty when it could not start
// within a few seconds (no Xvfb installed, say): tests then skip.
class XvfbServer {
public:
    explicit XvfbServer(const QStringList& extraArguments = {});
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    const QString& display() const { return m_display; }
    // What the server said on standard error so far.
    QByteArray log() const;

private:
    QProcess* m_process;
    QString m_display;
};

// Creates a FIFO at `path` and reads what is written into it on a thread of its own.
class FifoReader {
public:
    explicit FifoReader(const QString& path);
    ~FifoReader();
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;
    // Waits until the writer has closed the FIFO; answers every byte it wrote.
    QByteArray finish();

private:
    QByteArray m_path;
    std::thread m_thread;
    QByteArray m_received;
};

// Sets (or, with an empty value, removes) an environment variable for one test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    QByteArray m_old;
    bool m_wasSet;
};

// Gives the test process a temporary folder of its own for its whole life: TMPDIR points into
// it (QTemporaryDir, QDir::tempPath() and every program a test starts honour it), and so do
// XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_DATA_HOME and XDG_STATE_HOME (settings, cache, trash and
// the key of our temporaries' names), and it goes
// with everything in it when the process ends, also after failed tests. QTemporaryDir alone
// leaves behind files whose names are not UTF-8, and folders a test made unreadable. Folders
// left by test processes that died (a crash, a timeout) go at the next start. Call first in main.
void UsePrivateTemporaryFolder();
// Removes `path` and everything below it, without following links; false when something stayed.
bool RemoveTree(const QByteArray& path);

// AddressSanitizer reserves terabytes of address space for its shadow memory, keeps freed
// memory in quarantine and ends the process when an allocation fails: limits on address space
// and measures of peak memory mean nothing under it. Such tests skip in a sanitized build.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif
// Sanitized programs start and run a few times slower: time allowances that are not what a
// test checks grow by this much.
inline constexpr int kSanitizerSlowdown = kAddressSanitizer ? 4 : 1;

// Readable QString values in failed comparisons.
void PrintTo(const QString& text, std::ostream* out);
