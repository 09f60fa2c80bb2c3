#include "batch/Baseline.h"

#include "batch/BatchArguments.h"
#include "platform/FileNames.h"
#include "platform/FileReading.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxBaseline = qint64(1) << 30;

[[noreturn]] void Refuse(const QString& path, const QString& reason) {
    throw UsageError(
        QStringLiteral("--baseline %1: %2").arg(platform::DisplayFileName(path), reason));
}

} // namespace

QByteArray Baseline::PathKey(QByteArray bytes) {
    while (bytes.startsWith("./"))
        bytes.remove(0, 2);
    return bytes;
}

QByteArray Baseline::MessageKey(QByteArrayView rule, QByteArrayView text) {
    return rule.toByteArray() + '\0' + text.toByteArray();
}

Baseline Baseline::Load(const QString& path) {
    QByteArray bytes;
    QString error;
    switch (platform::ReadRegularFile(path, bytes, kMaxBaseline, &error)) {
    case platform::ReadResult::Read:
        break;
    case platform::ReadResult::TooLarge:
        Refuse(path, QStringLiteral("too large to be a report"));
    case platform::ReadResult::NotRegularFile:
        Refuse(path, QStringLiteral("not a file"));
    default:
        Refuse(path, error.isEmpty() ? QStringLiteral("cannot be read") : error);
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        Refuse(path, QStringLiteral("not JSON (%1 at byte %2)")
                         .arg(parseError.errorString())
                         .arg(parseError.offset));
    const QJsonObject report = document.object();
    if (report.value(QLatin1String("tool")).toString() != QLatin1String("kelvane-batch") ||
        !report.value(QLatin1String("files")).isArray())
        Refuse(path, QStringLiteral("not a JSON report of kelvane-batch (--format json)"));

    Baseline baseline;
    const QJsonArray files = report.value(QLatin1String("files")).toArray();
    for (qsizetype f = 0; f < files.size(); ++f) {
        const QJsonObject file = files.at(f).toObject();
        const QJsonValue name = file.value(QLatin1String("path"));
        const QJsonValue messages = file.value(QLatin1String("messages"));
        if (!name.isString() || !messages.isArray())
            Refuse(path,
                   QStringLiteral("file %1 of the report has no path or messages").arg(f + 1));
        // A name that is not UTF-8 is only exact in its bytes.
        const QJsonValue rawName = file.value(QLatin1String("pathBytes"));
        QByteArray pathBytes = rawName.isString()
                                   ? QByteArray::fromBase64(rawName.toString().toLatin1())
                                   : name.toString().toUtf8();
        QHash<QByteArray, int>& known = baseline.m_files[PathKey(std::move(pathBytes))];
        for (const QJsonValue& value : messages.toArray()) {
            const QJsonObject message = value.toObject();
            const QJsonValue text = message.value(QLatin1String("text"));
            const QJsonValue rule = message.value(QLatin1String("rule"));
            if (!text.isString() || !(rule.isString() || rule.isUndefined()))
                Refuse(path, QStringLiteral("a message of file %1 has no text").arg(f + 1));
            ++known[MessageKey(rule.toString().toUtf8(), text.toString().toUtf8())];
            ++baseline.m_count;
        }
    }
    return baseline;
}

std::vector<bool> Baseline::Match(const QString& path, const QList<TidyReport>& reports) {
    std::vector<bool> matched(size_t(reports.size()), false);
    const auto file = m_files.find(PathKey(platform::EncodeFileName(path)));
    if (file == m_files.end())
        return matched;
    for (qsizetype i = 0; i < reports.size(); ++i) {
        const TidyReport& report = reports.at(i);
        if (report.muted)
            continue;
        const auto known = file->find(MessageKey(report.key, report.text));
        if (known != file->end() && *known > 0) {
            --*known;
            matched[size_t(i)] = true;
        }
    }
    return matched;
}

BaselineFile::~BaselineFile() {
    Drop();
}

void BaselineFile::Open(const QString& path) {
    m_path = path;
    const QFileInfo info(path);
    QByteArray pattern = platform::EncodeFileName(info.path()) + "/." +
                         platform::EncodeFileName(info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        throw UsageError(QStringLiteral("--write-baseline %1: %2")
                             .arg(platform::DisplayFileName(path), qt_error_string(errno)));
    m_temporary = pattern;
    // A baseline is kept in the repository: readable as files normally are.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    m_stream = ::fdopen(fd, "w");
    if (!m_stream) {
        const int error = errno;
        ::close(fd);
        Drop();
        throw UsageError(QStringLiteral("--write-baseline %1: %2")
                             .arg(platform::DisplayFileName(path), qt_error_string(error)));
    }
}

bool BaselineFile::Commit(QString& error) {
    if (!m_stream)
        return false;
    bool ok =
        std::fflush(m_stream) == 0 && !std::ferror(m_stream) && ::fsync(::fileno(m_stream)) == 0;
    int failure = ok ? 0 : errno;
    if (std::fclose(m_stream) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    m_stream = nullptr;
    if (ok &&
        ::rename(m_temporary.constData(), platform::EncodeFileName(m_path).constData()) != 0) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        error = qt_error_string(failure);
        Drop();
        return false;
    }
    m_temporary.clear();
    return true;
}

void BaselineFile::Drop() {
    if (m_stream) {
        std::fclose(m_stream);
        m_stream = nullptr;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
}
