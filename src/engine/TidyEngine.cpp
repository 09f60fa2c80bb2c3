#include "engine/TidyEngine.h"

#include "engine/TidyOptionMapping.h"
#include "engine/TidyOptionSet.h"
#include "engine/TidyRunner.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <tidy/tidyenum.h>
#include <unistd.h>

namespace {

QString ErrnoText(int code) {
    return qt_error_string(code);
}

// Fills "%d" and "%s" in order with `args`; "%%" is a percent sign. A translated template with
// fewer placeholders simply shows fewer values, never garbage.
QString FillTemplate(const QString& pattern, std::initializer_list<QString> args) {
    QString out;
    out.reserve(pattern.size() + 64);
    auto next = args.begin();
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('%') && i + 1 < pattern.size()) {
            const QChar kind = pattern.at(i + 1);
            if (kind == QLatin1Char('%')) {
                out += c;
                ++i;
                continue;
            }
            if (kind == QLatin1Char('d') || kind == QLatin1Char('s')) {
                if (next != args.end())
                    out += *next++;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// Template and level words translated once, then used for every report of a run.
class MessageFormatter {
public:
    MessageFormatter()
        : m_template(Translate(QStringLiteral("Line %d, Column %d - %s: %s"))),
          m_words{
              Translate(QStringLiteral("Info")),       Translate(QStringLiteral("Warninig")),
              Translate(QStringLiteral("Config")),     Translate(QStringLiteral("Access")),
              Translate(QStringLiteral("Error")),      Translate(QStringLiteral("Bad Document")),
              Translate(QStringLiteral("Fatal Error"))} {}

    QString format(int level, int line, int column, const QString& text) const {
        // Chosen by identifier: the numbering of report levels differs between generations.
        QString word;
        if (level >= TidyInfo && level <= TidyFatal)
            word = m_words[level - TidyInfo];
        return FillTemplate(m_template,
                            {QString::number(line), QString::number(column), word, text});
    }

private:
    QString m_template;
    QString m_words[TidyFatal - TidyInfo + 1];
};

// The file's bytes through a non-blocking open, so that a FIFO or device given by mistake is
// refused instead of waiting forever.
QByteArray ReadRegularFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        RaiseFileOpenError(path, ErrnoText(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        RaiseFileOpenError(path, ErrnoText(errno));
    if (S_ISDIR(st.st_mode))
        RaiseFileOpenError(path, ErrnoText(EISDIR));
    if (!S_ISREG(st.st_mode))
        RaiseFileOpenError(path, Translate(QStringLiteral("It is not a regular file.")));

    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            RaiseFileOpenError(path, ErrnoText(errno));
        }
        if (got == 0)
            break;
        bytes.append(chunk, qsizetype(got));
    }
    return bytes;
}

bool WriteAllBytes(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

QString FormatTidyMessage(int level, int line, int column, const QString& text) {
    return MessageFormatter().format(level, line, column, text);
}

bool RunTidy(QByteArray& document, QString& messages) {
    TidyRequest request;
    request.options = ResolveOptions(CurrentOptionSet()); // raises before anything runs
    // Only the bytes the library would see cross to the runner.
    const qsizetype nul = document.indexOf('\0');
    request.document = nul < 0 ? document : document.left(nul);

    TidyResult result = CurrentTidyRunner().run(request);

    const MessageFormatter formatter;
    QString text;
    for (const TidyReport& report : std::as_const(result.reports)) {
        text += formatter.format(report.level, report.line, report.column,
                                 QString::fromUtf8(report.text));
        text += QLatin1String("\r\n");
    }
    messages = std::move(text);
    if (result.status != TidyRunStatus::Completed)
        return false;
    document = std::move(result.output);
    return true;
}

bool RunTidyOnFile(const QString& fileName, QString& messages) {
    messages.clear();
    QByteArray document = ReadFileText(fileName);
    return RunTidy(document, messages);
}

QByteArray ReadFileText(const QString& path) {
    return ReadRegularFile(path);
}

void WriteFileText(const QString& path, const QByteArray& bytes) {
    // Write through a symbolic link to the file it names rather than replacing the link.
    QString target = path;
    if (const QFileInfo info(path); info.isSymLink()) {
        const QString resolved = info.canonicalFilePath();
        if (!resolved.isEmpty())
            target = resolved;
    }
    const QByteArray nativeTarget = QFile::encodeName(target);

    struct stat old {};
    const bool exists = ::stat(nativeTarget.constData(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode))
            RaiseFileCreateError(path, ErrnoText(EISDIR));
        // A read-only file is not replaced, as on Windows; root would pass access().
        if (!(old.st_mode & S_IWUSR))
            RaiseFileCreateError(path, ErrnoText(EACCES));
    } else if (errno != ENOENT) {
        RaiseFileCreateError(path, ErrnoText(errno));
    }

    const QFileInfo targetInfo(target);
    const QString folder = targetInfo.absolutePath();
    const QString base = targetInfo.fileName();
    QByteArray tempName;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempName =
            QFile::encodeName(folder + QStringLiteral("/.") + base +
                              QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(),
                                                            8, 16, QLatin1Char('0')));
        // 0666 lets the umask decide a new file's bits, as a plain create would.
        fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            RaiseFileCreateError(path, ErrnoText(errno));
    }
    if (fd < 0)
        RaiseFileCreateError(path, ErrnoText(EEXIST));

    int failure = 0;
    if (exists) {
        // Keep the owner where we may (root), and the permission bits always.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not permitted for ordinary users; the file then belongs to the writer.
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            failure = errno;
    }
    if (!failure && !WriteAllBytes(fd, bytes))
        failure = errno;
    if (!failure && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && !failure)
        failure = errno;
    if (!failure && ::rename(tempName.constData(), nativeTarget.constData()) != 0)
        failure = errno;
    if (failure) {
        ::unlink(tempName.constData());
        RaiseFileCreateError(path, ErrnoText(failure));
    }

    // Make the rename itself durable.
    const int dirFd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}
