#include "fileops/ForbiddenFile.h"

#include "platform/FileNames.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <cerrno>
#include <fcntl.h>
#include <magic.h>
#include <mutex>
#include <sys/stat.h>

namespace {

constexpr qsizetype kHeadBytes = 256 * 1024;

const char* const kProgramSuffixes[] = {".exe", ".com", ".bat", ".cmd"};

// The MIME types libmagic gives programs and libraries.
const char* const kProgramTypes[] = {
    "application/x-executable",
    "application/x-pie-executable",
    "application/x-sharedlib",
    "application/x-dosexec",
    "application/vnd.microsoft.portable-executable",
};

// The magic database, opened once. Without it, the file's signature alone decides.
class MagicDatabase {
public:
    MagicDatabase() {
        m_cookie = ::magic_open(MAGIC_MIME_TYPE | MAGIC_NO_CHECK_COMPRESS | MAGIC_NO_CHECK_TAR |
                                MAGIC_NO_CHECK_ENCODING);
        if (m_cookie && ::magic_load(m_cookie, nullptr) != 0) {
            ::magic_close(m_cookie);
            m_cookie = nullptr;
        }
    }
    ~MagicDatabase() {
        if (m_cookie)
            ::magic_close(m_cookie);
    }
    MagicDatabase(const MagicDatabase&) = delete;
    MagicDatabase& operator=(const MagicDatabase&) = delete;

    bool IsProgram(QByteArrayView start) {
        const std::lock_guard lock(m_mutex); // a cookie serves one caller at a time
        if (!m_cookie)
            return true;
        const char* type = ::magic_buffer(m_cookie, start.data(), size_t(start.size()));
        if (!type)
            return false;
        for (const char* program : kProgramTypes)
            if (qstrcmp(type, program) == 0)
                return true;
        return false;
    }

private:
    std::mutex m_mutex;
    magic_t m_cookie = nullptr;
};

MagicDatabase& Database() {
    static MagicDatabase database;
    return database;
}

bool HasProgramName(const QString& path) {
    for (const char* suffix : kProgramSuffixes)
        if (path.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return true;
    return false;
}

// Every type above starts with one of these signatures; anything else (every web page) needs
// no look-up in the database.
bool HasProgramSignature(QByteArrayView start) {
    return start.startsWith("\x7f"
                            "ELF") ||
           start.startsWith("MZ") || start.startsWith("ZM");
}

} // namespace

bool IsForbiddenContent(const QString& path, QByteArrayView start) {
    if (HasProgramName(path))
        return true;
    start = start.first(qMin(start.size(), kHeadBytes));
    return HasProgramSignature(start) && Database().IsProgram(start);
}

bool IsForbiddenFile(const QString& path) {
    if (HasProgramName(path))
        return true;
    const platform::UniqueFd fd(::open(platform::EncodeFileName(path).constData(),
                                       O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    QByteArray start(kHeadBytes, Qt::Uninitialized);
    qsizetype used = 0;
    while (used < start.size()) {
        // A page shows at its first bytes that it is none of ours: read no more of it.
        if (used >= 4 && !HasProgramSignature(QByteArrayView(start.constData(), used)))
            return false;
        const ssize_t got = ::read(fd.get(), start.data() + used, size_t(start.size() - used));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        used += got;
    }
    start.truncate(used);
    return IsForbiddenContent(path, start);
}
