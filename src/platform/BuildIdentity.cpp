#include "platform/BuildIdentity.h"

#include "platform/UniqueFd.h"

#include <QCryptographicHash>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Far beyond any program of ours; a file larger than this is not digested whole.
constexpr off_t kMaxDigestedFile = off_t(1) << 30;

bool ReadAt(int fd, void* into, size_t size, off_t at) {
    char* to = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t got = ::pread(fd, to, size, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        to += got;
        size -= size_t(got);
        at += got;
    }
    return true;
}

// The build ID among the notes of `notes` (a PT_NOTE segment's bytes); empty when none.
QByteArray BuildIdInNotes(const QByteArray& notes) {
    qsizetype at = 0;
    while (at + qsizetype(sizeof(Elf64_Nhdr)) <= notes.size()) {
        Elf64_Nhdr header;
        std::memcpy(&header, notes.constData() + at, sizeof header);
        at += sizeof header;
        const qsizetype nameSize = (qsizetype(header.n_namesz) + 3) & ~qsizetype(3);
        const qsizetype descSize = (qsizetype(header.n_descsz) + 3) & ~qsizetype(3);
        if (nameSize > notes.size() - at || descSize > notes.size() - at - nameSize)
            return {};
        const QByteArray name = notes.mid(at, qsizetype(header.n_namesz));
        if (header.n_type == NT_GNU_BUILD_ID && name == QByteArrayView("GNU\0", 4) &&
            header.n_descsz > 0)
            return notes.mid(at + nameSize, qsizetype(header.n_descsz));
        at += nameSize + descSize;
    }
    return {};
}

// The build ID of a 64-bit little-endian ELF file; empty for any other file.
QByteArray ElfBuildId(int fd, off_t fileSize) {
    Elf64_Ehdr ehdr;
    if (!ReadAt(fd, &ehdr, sizeof ehdr, 0) || std::memcmp(ehdr.e_ident, ELFMAG, SELFMAG) != 0 ||
        ehdr.e_ident[EI_CLASS] != ELFCLASS64 || ehdr.e_ident[EI_DATA] != ELFDATA2LSB ||
        ehdr.e_phentsize != sizeof(Elf64_Phdr) || ehdr.e_phnum > 256)
        return {};
    for (int i = 0; i < ehdr.e_phnum; ++i) {
        Elf64_Phdr phdr;
        if (!ReadAt(fd, &phdr, sizeof phdr, off_t(ehdr.e_phoff + Elf64_Off(i) * sizeof phdr)))
            return {};
        if (phdr.p_type != PT_NOTE || phdr.p_filesz > 65536 ||
            off_t(phdr.p_offset + phdr.p_filesz) > fileSize)
            continue;
        QByteArray notes(qsizetype(phdr.p_filesz), Qt::Uninitialized);
        if (!ReadAt(fd, notes.data(), size_t(notes.size()), off_t(phdr.p_offset)))
            return {};
        if (QByteArray id = BuildIdInNotes(notes); !id.isEmpty())
            return id;
    }
    return {};
}

} // namespace

QByteArray ProgramBuildIdentity(const QString& path) {
    const UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    if (const QByteArray id = ElfBuildId(fd.get(), st.st_size); !id.isEmpty())
        return "gnu-build-id:" + id.toHex();
    if (st.st_size > kMaxDigestedFile)
        return {};
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    if (!ReadAt(fd.get(), bytes.data(), size_t(bytes.size()), 0))
        return {};
    // Rare (a program linked without build IDs), so the slower digest does not matter.
    return "file-digest:" + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray OwnBuildIdentity() {
    static const QByteArray identity = ProgramBuildIdentity(QStringLiteral("/proc/self/exe"));
    return identity;
}

} // namespace platform
