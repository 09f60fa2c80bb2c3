#include "engine/TidyMessageKeys.h"

#include "support/Errors.h"
#include "support/Translation.h"

#include <QRegularExpression>
#include <climits>
#include <tidy/tidy.h>

namespace {

uint CodeOf(QByteArrayView key) {
    // The library compares with strcmp: the key needs its terminator.
    const QByteArray terminated(key.data(), key.size());
    if (terminated.isEmpty() || terminated.contains('\0'))
        return UINT_MAX;
    return tidyErrorCodeFromKey(terminated.constData());
}

} // namespace

bool IsReportMessageKey(QByteArrayView key) {
    const uint code = CodeOf(key);
    // The same range the library's own mute option accepts.
    return code != UINT_MAX && code > uint(REPORT_MESSAGE_FIRST) &&
           code < uint(REPORT_MESSAGE_LAST);
}

QList<QByteArray> ParseMuteList(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    QList<QByteArray> keys;
    for (const QString& part : text.split(separators, Qt::SkipEmptyParts)) {
        const QByteArray key = part.toUtf8();
        if (!IsReportMessageKey(key))
            throw KelvaneError(
                Translate(QStringLiteral("\"%1\" is not a message key of HTML Tidy")).arg(part));
        if (!keys.contains(key))
            keys.append(key);
    }
    return keys;
}

QString JoinMuteList(const QList<QByteArray>& keys) {
    QStringList parts;
    for (const QByteArray& key : keys)
        parts.append(QString::fromLatin1(key));
    return parts.join(QLatin1Char(','));
}

QString MessageKeyDescription(QByteArrayView key) {
    const uint code = CodeOf(key);
    const char* text = code == UINT_MAX ? nullptr : tidyDefaultString(code);
    if (!text || !*text)
        return QString::fromUtf8(key);
    static const QRegularExpression placeholder(QStringLiteral("%(-?\\d*)(l?[sduc])"));
    QString description = QString::fromUtf8(text).replace(placeholder, QStringLiteral("…"));
    description.replace(QLatin1String("%%"), QLatin1String("%"));
    return description.trimmed();
}
