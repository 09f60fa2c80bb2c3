#include "support/IniFile.h"

#include "platform/FileNames.h"
#include "platform/FileReading.h"
#include "platform/FileWriting.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

bool IsBlankByte(char c) {
    return c == ' ' || c == '\t';
}

QByteArray TrimmedBlanks(const QByteArray& bytes) {
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && IsBlankByte(bytes.at(begin)))
        ++begin;
    while (end > begin && IsBlankByte(bytes.at(end - 1)))
        --end;
    return bytes.mid(begin, end - begin);
}

struct IniLine {
    enum Kind { Other, Section, Key };

    QByteArray text; // without its line end
    QByteArray eol;
    Kind kind = Other;
    QString name;             // section or key name, blanks around it dropped
    qsizetype valueStart = 0; // keys: the byte after the equals sign
};

IniLine ClassifyLine(QByteArray text, QByteArray eol) {
    IniLine line;
    line.text = std::move(text);
    line.eol = std::move(eol);
    const QByteArray body = TrimmedBlanks(line.text);
    if (body.startsWith('[')) {
        const qsizetype close = body.lastIndexOf(']');
        if (close > 0) {
            line.kind = IniLine::Section;
            line.name = QString::fromUtf8(TrimmedBlanks(body.mid(1, close - 1)));
        }
        return line;
    }
    if (body.isEmpty() || body.startsWith(';'))
        return line;
    const qsizetype equals = line.text.indexOf('=');
    if (equals < 0)
        return line;
    const QByteArray name = TrimmedBlanks(line.text.left(equals));
    if (name.isEmpty())
        return line;
    line.kind = IniLine::Key;
    line.name = QString::fromUtf8(name);
    line.valueStart = equals + 1;
    return line;
}

class IniDocument {
public:
    static IniDocument Parse(const QByteArray& bytes) {
        IniDocument doc;
        QByteArray content = bytes;
        if (content.startsWith("\xEF\xBB\xBF")) {
            doc.m_bom = content.left(3);
            content.remove(0, 3);
        }
        qsizetype start = 0;
        bool eolChosen = false;
        while (start < content.size()) {
            qsizetype end = content.indexOf('\n', start);
            QByteArray eol;
            qsizetype next;
            if (end < 0) {
                end = content.size();
                next = end;
            } else {
                next = end + 1;
                eol = "\n";
                if (end > start && content.at(end - 1) == '\r') {
                    --end;
                    eol = "\r\n";
                }
                if (!eolChosen) {
                    doc.m_eol = eol;
                    eolChosen = true;
                }
            }
            doc.m_lines.append(ClassifyLine(content.mid(start, end - start), eol));
            start = next;
        }
        // Key lines before the first section belong to no section and are never matched.
        bool inSection = false;
        for (IniLine& line : doc.m_lines) {
            if (line.kind == IniLine::Section)
                inSection = true;
            else if (line.kind == IniLine::Key && !inSection)
                line.kind = IniLine::Other;
        }
        return doc;
    }

    QByteArray Serialize() const {
        QByteArray bytes = m_bom;
        for (const IniLine& line : m_lines)
            bytes += line.text + line.eol;
        return bytes;
    }

    // Index of the first key line named `key` in a section named `section`, or -1.
    qsizetype FindKey(const QString& section, const QString& key) const {
        bool inMatch = false;
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            const IniLine& line = m_lines.at(i);
            if (line.kind == IniLine::Section)
                inMatch = SameProfileName(line.name, section);
            else if (inMatch && line.kind == IniLine::Key && SameProfileName(line.name, key))
                return i;
        }
        return -1;
    }

    QString ValueAt(qsizetype index) const {
        const IniLine& line = m_lines.at(index);
        return QString::fromUtf8(line.text.mid(line.valueStart));
    }

    QStringList Keys(const QString& section) const {
        QStringList keys;
        bool inMatch = false;
        for (const IniLine& line : m_lines) {
            if (line.kind == IniLine::Section)
                inMatch = SameProfileName(line.name, section);
            else if (inMatch && line.kind == IniLine::Key && !ContainsName(keys, line.name))
                keys.append(line.name);
        }
        return keys;
    }

    QStringList Sections() const {
        QStringList names;
        for (const IniLine& line : m_lines)
            if (line.kind == IniLine::Section && !ContainsName(names, line.name))
                names.append(line.name);
        return names;
    }

    // Sets one value; false when the file already holds exactly that value.
    bool Set(const QString& section, const QString& key, const QString& value) {
        const QByteArray valueBytes = value.toUtf8();
        const qsizetype found = FindKey(section, key);
        if (found >= 0) {
            IniLine& line = m_lines[found];
            // Keep the key as spelt in the file; only the text after the equals sign changes.
            const QByteArray text = line.text.left(line.valueStart) + valueBytes;
            if (text == line.text)
                return false;
            line.text = text;
            return true;
        }
        const QByteArray keyLine = key.trimmed().toUtf8() + '=' + valueBytes;
        // A new key goes after the last key of the first section of that name.
        qsizetype insertAt = -1;
        bool inMatch = false;
        bool seenMatch = false;
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            const IniLine& line = m_lines.at(i);
            if (line.kind == IniLine::Section) {
                if (seenMatch)
                    break;
                inMatch = SameProfileName(line.name, section);
                if (inMatch) {
                    seenMatch = true;
                    insertAt = i + 1;
                }
            } else if (inMatch && line.kind == IniLine::Key) {
                insertAt = i + 1;
            }
        }
        if (insertAt >= 0) {
            // The line before may be the file's last one, without a line end.
            EndLine(m_lines[insertAt - 1]);
            m_lines.insert(insertAt, ClassifyLine(keyLine, m_eol));
            return true;
        }
        // A new section goes at the end, after a blank line.
        if (!m_lines.isEmpty()) {
            EndLine(m_lines.last());
            if (!TrimmedBlanks(m_lines.last().text).isEmpty())
                m_lines.append(ClassifyLine({}, m_eol));
        }
        m_lines.append(ClassifyLine('[' + section.trimmed().toUtf8() + ']', m_eol));
        m_lines.append(ClassifyLine(keyLine, m_eol));
        return true;
    }

private:
    // Gives the file's last line a line end, so that more can follow. A CR at the end of its
    // text stays part of its value instead of becoming half of a CR LF.
    void EndLine(IniLine& line) const {
        if (line.eol.isEmpty())
            line.eol = line.text.endsWith('\r') ? QByteArray("\r\n") : m_eol;
    }

    static bool ContainsName(const QStringList& names, const QString& name) {
        for (const QString& existing : names)
            if (SameProfileName(existing, name))
                return true;
        return false;
    }

    QByteArray m_bom;
    QByteArray m_eol = "\n";
    QList<IniLine> m_lines;
};

// Writers of one settings file take turns through an advisory lock on its folder: no extra
// file to leave behind, and the kernel drops the lock when a writer dies.
class FolderLock {
public:
    explicit FolderLock(const QString& filePath) {
        const QByteArray folder = platform::EncodeFileName(QFileInfo(filePath).absolutePath());
        m_fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    ~FolderLock() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool Acquire(int timeoutMs) {
        if (m_fd < 0)
            return false;
        for (int waited = 0;; waited += 5) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
                return true;
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= timeoutMs)
                return false;
            QThread::msleep(5);
        }
    }

private:
    int m_fd = -1;
};

enum class LoadResult { Loaded, Missing, Failed };

// A settings file is small; anything bigger than this is not one, and a FIFO or a device in
// its place must not hang or flood the program.
constexpr qint64 kMaxSettingsFileSize = 16 * 1024 * 1024;

LoadResult LoadBytes(const QString& path, QByteArray& bytes) {
    switch (platform::ReadRegularFile(path, bytes, kMaxSettingsFileSize)) {
    case platform::ReadResult::Read:
        return LoadResult::Loaded;
    case platform::ReadResult::Missing:
        return LoadResult::Missing;
    default:
        return LoadResult::Failed;
    }
}

bool ValidNames(const QString& section, const QString& key) {
    auto hasLineBreak = [](const QString& s) { return s.contains(u'\n') || s.contains(u'\r'); };
    const QString trimmedKey = key.trimmed();
    return !section.trimmed().isEmpty() && !trimmedKey.isEmpty() && !hasLineBreak(section) &&
           !hasLineBreak(key) && !key.contains(u'=') && !trimmedKey.startsWith(u'[') &&
           !trimmedKey.startsWith(u';');
}

} // namespace

IniFile::IniFile(const QString& path) : m_path(QFileInfo(path).absoluteFilePath()) {}

void IniFile::RaiseWriteError() const {
    throw KelvaneError(FillTemplate(Translate(QStringLiteral("Unable to write to %s")),
                                    {platform::DisplayFileName(m_path)}));
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    if (!ValidNames(section, key))
        RaiseWriteError();
    const QString stored = OneLineValue(value);

    QByteArray bytes;
    if (LoadBytes(m_path, bytes) == LoadResult::Failed)
        RaiseWriteError();
    if (!IniDocument::Parse(bytes).Set(section, key, stored))
        return;

    // Another process may be between its read and its rename: take turns, then apply the
    // change to the file as it is now.
    FolderLock lock(m_path);
    if (!lock.Acquire(5000))
        RaiseWriteError();
    if (LoadBytes(m_path, bytes) == LoadResult::Failed)
        RaiseWriteError();
    IniDocument doc = IniDocument::Parse(bytes);
    if (!doc.Set(section, key, stored))
        return;

    // Every write and the final sync are checked, so a full disk leaves the old file in place
    // and says so; a read-only settings file is refused, as the platform's service does.
    if (platform::WriteWholeFile(m_path, doc.Serialize()) != platform::WriteResult::Written)
        RaiseWriteError();
}

QStringList IniFile::ReadSection(const QString& section) const {
    QByteArray bytes;
    if (LoadBytes(m_path, bytes) != LoadResult::Loaded)
        return {};
    return IniDocument::Parse(bytes).Keys(section);
}

QStringList IniFile::ReadSections() const {
    QByteArray bytes;
    if (LoadBytes(m_path, bytes) != LoadResult::Loaded)
        return {};
    return IniDocument::Parse(bytes).Sections();
}

std::optional<QString> IniFile::ReadRawValue(const QString& section, const QString& key) const {
    QByteArray bytes;
    if (LoadBytes(m_path, bytes) != LoadResult::Loaded)
        return std::nullopt;
    const IniDocument doc = IniDocument::Parse(bytes);
    const qsizetype index = doc.FindKey(section, key);
    if (index < 0)
        return std::nullopt;
    return doc.ValueAt(index);
}
