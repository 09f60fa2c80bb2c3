#include "engine/TidyEngine.h"

#include "engine/TidyOptionMapping.h"
#include "engine/TidyOptionSet.h"
#include "engine/TidyRunner.h"
#include "platform/FileFunctions.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <tidy/tidyenum.h>
#include <unistd.h>
#include <vector>

namespace {

QString ErrnoText(int code) {
    return qt_error_string(code);
}

QChar* WriteLatin1(QChar* out, const char* text, qsizetype size) {
    for (qsizetype i = 0; i < size; ++i)
        *out++ = QLatin1Char(text[i]);
    return out;
}

QChar* WriteNumber(QChar* out, int value) {
    char digits[16];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    return WriteLatin1(out, digits, end - digits);
}

QChar* WriteString(QChar* out, const QString& text) {
    std::copy(text.cbegin(), text.cend(), out);
    return out + text.size();
}

// The library's text is UTF-8 and nearly always plain ASCII, which needs no decoding pass.
// Never writes more than text.size() characters.
QChar* WriteUtf8(QChar* out, QByteArrayView text) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return WriteLatin1(out, text.data(), text.size());
    return WriteString(out, QString::fromUtf8(text));
}

// The translated template cut into literal pieces and the places of its four values ("%d" and
// "%s", in order; "%%" is a percent sign). Template and level words are translated once per
// run. A translated template with fewer placeholders simply shows fewer values, never garbage.
// Lines are written straight into one preallocated text: a document with hundreds of thousands
// of reports must not spend noticeable time here.
class MessageFormatter {
public:
    MessageFormatter()
        : m_words{
              Translate(QStringLiteral("Info")),       Translate(QStringLiteral("Warninig")),
              Translate(QStringLiteral("Config")),     Translate(QStringLiteral("Access")),
              Translate(QStringLiteral("Error")),      Translate(QStringLiteral("Bad Document")),
              Translate(QStringLiteral("Fatal Error"))} {
        const QString pattern = Translate(QStringLiteral("Line %d, Column %d - %s: %s"));
        // Cutting the template up costs more than a small page's formatting: reuse the last cut
        // while the translation stays the same.
        thread_local QString lastPattern;
        thread_local std::vector<Piece> lastPieces;
        if (pattern != lastPattern || lastPieces.empty()) {
            lastPieces = Cut(pattern);
            lastPattern = pattern;
        }
        m_pieces = lastPieces;
        for (const Piece& piece : m_pieces)
            m_fixedBound += piece.literal.size();
        qsizetype longestWord = 0;
        for (const QString& word : m_words)
            longestWord = std::max(longestWord, word.size());
        m_fixedBound += 2 * 11 + longestWord; // two numbers of up to 11 characters, a word
    }

    // The most characters one line can take, line end not included.
    qsizetype bound(QByteArrayView text) const { return m_fixedBound + text.size(); }

    QChar* write(QChar* out, int level, int line, int column, QByteArrayView utf8Text) const {
        for (const Piece& piece : m_pieces) {
            out = WriteString(out, piece.literal);
            switch (piece.value) {
            case 0:
                out = WriteNumber(out, line);
                break;
            case 1:
                out = WriteNumber(out, column);
                break;
            case 2:
                // Chosen by identifier: the numbering of report levels differs between
                // generations of the library.
                if (level >= TidyInfo && level <= TidyFatal)
                    out = WriteString(out, m_words[level - TidyInfo]);
                break;
            case 3:
                out = WriteUtf8(out, utf8Text);
                break;
            }
        }
        return out;
    }

    // Every report as a line followed by CR LF.
    QString lines(const QList<TidyReport>& reports) const {
        qsizetype size = 0;
        for (const TidyReport& report : reports)
            size += bound(report.text) + 2;
        QString text(size, Qt::Uninitialized);
        QChar* out = text.data();
        for (const TidyReport& report : reports) {
            out = write(out, report.level, report.line, report.column, report.text);
            *out++ = QLatin1Char('\r');
            *out++ = QLatin1Char('\n');
        }
        text.truncate(out - text.constData());
        return text;
    }

private:
    struct Piece {
        QString literal; // text before the value
        int value;       // 0 line, 1 column, 2 level word, 3 message text; -1 none
    };

    static std::vector<Piece> Cut(const QString& pattern) {
        std::vector<Piece> pieces;
        QString literal;
        int nextValue = 0;
        for (qsizetype i = 0; i < pattern.size(); ++i) {
            const QChar c = pattern.at(i);
            const QChar kind = i + 1 < pattern.size() ? pattern.at(i + 1) : QChar();
            if (c == QLatin1Char('%') && kind == QLatin1Char('%')) {
                literal += c;
                ++i;
            } else if (c == QLatin1Char('%') &&
                       (kind == QLatin1Char('d') || kind == QLatin1Char('s'))) {
                pieces.push_back({literal, nextValue < 4 ? nextValue++ : -1});
                literal.clear();
                ++i;
            } else {
                literal += c;
            }
        }
        pieces.push_back({literal, -1});
        return pieces;
    }
    QString m_words[TidyFatal - TidyInfo + 1];
    std::vector<Piece> m_pieces;
    qsizetype m_fixedBound = 0;
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

} // namespace

QString FormatTidyMessage(int level, int line, int column, const QString& text) {
    const MessageFormatter formatter;
    const QByteArray utf8 = text.toUtf8();
    QString out(formatter.bound(utf8), Qt::Uninitialized);
    out.truncate(formatter.write(out.data(), level, line, column, utf8) - out.constData());
    return out;
}

bool RunTidy(QByteArray& document, QString& messages) {
    TidyRequest request;
    request.options = ResolveOptions(CurrentOptionSet()); // raises before anything runs
    // Only the bytes the library would see cross to the runner.
    const qsizetype nul = document.indexOf('\0');
    request.document = nul < 0 ? document : document.left(nul);

    TidyResult result = CurrentTidyRunner().run(request);

    messages = MessageFormatter().lines(result.reports);
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
    if (!failure && !platform::WriteAllToFd(fd, bytes))
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
