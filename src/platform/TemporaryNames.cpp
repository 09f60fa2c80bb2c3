#include "platform/TemporaryNames.h"

#include "platform/UniqueFd.h"

#include <QDir>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kKeyBytes = 32;
constexpr int kNonceHex = 16; // 64 bits
constexpr int kMacHex = 24;   // 96 bits
constexpr int kTagHex = kNonceHex + kMacHex;
const char kKeyFile[] = "temporary-names.key";
const QByteArray kSuffix = ".tmp";
const QByteArray kPageMark = ".kelvane-";

struct KindForm {
    TemporaryKind kind;
    char letter; // in the MAC
    const char* prefix;
};
const KindForm kForms[] = {
    {TemporaryKind::Page, 'p', nullptr},
    {TemporaryKind::Backup, 'b', ".kelvane-backup-"},
    {TemporaryKind::Aside, 'a', ".kelvane-aside-"},
    {TemporaryKind::Vacant, 'v', ".kelvane-vacant-"},
};

const KindForm& FormOf(TemporaryKind kind) {
    for (const KindForm& form : kForms)
        if (form.kind == kind)
            return form;
    return kForms[0];
}

std::mutex g_keyMutex;
bool g_keyLoaded = false;
std::optional<QByteArray> g_key;

QByteArray StateHome() {
    const QByteArray xdg = qgetenv("XDG_STATE_HOME");
    if (xdg.startsWith('/'))
        return xdg;
    QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/')) {
        const passwd* entry = ::getpwuid(::geteuid());
        home = entry && entry->pw_dir ? QByteArray(entry->pw_dir) : QByteArray();
    }
    return home.startsWith('/') ? home + "/.local/state" : QByteArray();
}

// The key file's descriptor when it is usable: a regular file of ours, of the key's size, that
// nobody else may read or write.
bool ReadKey(int fd, QByteArray& key) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 077) != 0 || st.st_size != kKeyBytes)
        return false;
    key.resize(kKeyBytes);
    return ::pread(fd, key.data(), kKeyBytes, 0) == kKeyBytes;
}

// A new key, written whole under a name of its own first, so that no other process ever reads
// half of one; a key that another process made meanwhile wins.
bool MakeKey(int folder) {
    const QByteArray name = ".new-key-" + QByteArray::number(::getpid()) + "-" +
                            QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    const UniqueFd fd(::openat(folder, name.constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0)
        return false;
    quint32 words[kKeyBytes / 4];
    QRandomGenerator::system()->fillRange(words);
    const bool written =
        ::write(fd.get(), words, sizeof words) == ssize_t(sizeof words) && ::fsync(fd.get()) == 0;
    if (!written || ::renameat2(folder, name.constData(), folder, kKeyFile, RENAME_NOREPLACE) != 0)
        ::unlinkat(folder, name.constData(), 0);
    return written;
}

std::optional<QByteArray> LoadKey() {
    const QByteArray state = StateHome();
    if (state.isEmpty())
        return std::nullopt;
    const QByteArray folderPath = state + "/kelvane";
    QDir().mkpath(QFile::decodeName(state));
    ::mkdir(folderPath.constData(), 0700);
    const UniqueFd folder(
        ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    // Nobody else may swap the key for one of theirs.
    if (folder.get() < 0 || ::fstat(folder.get(), &st) != 0 || st.st_uid != ::geteuid() ||
        (st.st_mode & 022) != 0)
        return std::nullopt;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UniqueFd fd(::openat(folder.get(), kKeyFile, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (fd.get() >= 0) {
            QByteArray key;
            if (!ReadKey(fd.get(), key))
                return std::nullopt;
            return key;
        }
        if (errno != ENOENT || !MakeKey(folder.get()))
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QByteArray> Key() {
    const std::lock_guard lock(g_keyMutex);
    if (!g_keyLoaded) {
        g_key = LoadKey();
        g_keyLoaded = true;
    }
    return g_key;
}

void Append(QByteArray& message, quint64 value) {
    for (int i = 0; i < 8; ++i)
        message.append(char((value >> (8 * i)) & 0xff));
}

// The MAC's hex digits for a name; with no key, digits that no key gives on purpose.
QByteArray Mac(const std::optional<QByteArray>& key, const struct stat& folder, TemporaryKind kind,
               QByteArrayView nonce, QByteArrayView subject) {
    if (!key)
        return QByteArray::number(QRandomGenerator::global()->generate64(), 16)
            .rightJustified(kMacHex, '0')
            .right(kMacHex);
    QByteArray message("kelvane temporary name 1");
    message.append('\0');
    message.append(FormOf(kind).letter);
    Append(message, quint64(folder.st_dev));
    Append(message, quint64(folder.st_ino));
    message.append(nonce.data(), nonce.size());
    message.append('\0');
    message.append(subject.data(), subject.size());
    return QMessageAuthenticationCode::hash(message, *key, QCryptographicHash::Sha256)
        .toHex()
        .left(kMacHex);
}

bool IsLowerHex(QByteArrayView text) {
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// Compares without stopping at the first difference.
bool SameDigits(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

struct Parsed {
    TemporaryKind kind;
    QByteArrayView stem; // Page: the file's name as shown
    QByteArrayView nonce;
    QByteArrayView mac;
};

std::optional<Parsed> Parse(QByteArrayView name) {
    if (name.size() <= kTagHex + kSuffix.size() || !name.endsWith(kSuffix))
        return std::nullopt;
    const QByteArrayView tag = name.chopped(kSuffix.size()).last(kTagHex);
    const QByteArrayView prefix = name.first(name.size() - kSuffix.size() - kTagHex);
    if (!IsLowerHex(tag))
        return std::nullopt;
    Parsed parsed{TemporaryKind::Page, {}, tag.first(kNonceHex), tag.last(kMacHex)};
    for (const KindForm& form : kForms) {
        if (form.prefix && prefix == QByteArrayView(form.prefix)) {
            parsed.kind = form.kind;
            return parsed;
        }
    }
    // ".NAME.kelvane-"
    if (prefix.size() <= kPageMark.size() + 1 || !prefix.startsWith('.') ||
        !prefix.endsWith(kPageMark))
        return std::nullopt;
    parsed.stem = prefix.sliced(1, prefix.size() - 1 - kPageMark.size());
    return parsed;
}

} // namespace

QByteArray MakeTemporaryName(const struct stat& folder, TemporaryKind kind,
                             QByteArrayView subject) {
    const QByteArray nonce = QByteArray::number(QRandomGenerator::global()->generate64(), 16)
                                 .rightJustified(kNonceHex, '0');
    QByteArray prefix;
    QByteArrayView bound = subject;
    if (kind == TemporaryKind::Page) {
        const qsizetype room = NAME_MAX - 1 - kPageMark.size() - kTagHex - kSuffix.size();
        bound = subject.first(std::min(subject.size(), room));
        prefix = "." + bound.toByteArray() + kPageMark;
    } else {
        prefix = FormOf(kind).prefix;
        if (kind == TemporaryKind::Backup)
            bound = {};
    }
    return prefix + nonce + Mac(Key(), folder, kind, nonce, bound) + kSuffix;
}

std::optional<TemporaryKind> TemporaryNameKind(QByteArrayView name) {
    const std::optional<Parsed> parsed = Parse(name);
    if (!parsed)
        return std::nullopt;
    return parsed->kind;
}

bool IsOurTemporaryName(const struct stat& folder, QByteArrayView name, QByteArrayView subject) {
    const std::optional<Parsed> parsed = Parse(name);
    const std::optional<QByteArray> key = Key();
    if (!parsed || !key)
        return false;
    QByteArrayView bound = subject;
    if (parsed->kind == TemporaryKind::Page)
        bound = parsed->stem;
    else if (parsed->kind == TemporaryKind::Backup)
        bound = {};
    return SameDigits(Mac(key, folder, parsed->kind, parsed->nonce, bound), parsed->mac);
}

bool HaveTemporaryKey() {
    return Key().has_value();
}

void ReloadTemporaryKeyForTests() {
    const std::lock_guard lock(g_keyMutex);
    g_keyLoaded = false;
    g_key.reset();
}

} // namespace platform
