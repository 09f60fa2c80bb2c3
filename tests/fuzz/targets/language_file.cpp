// The language file: loading it never fails on its content, and no text it translates can make
// a lookup throw afterwards (translations that cannot be unescaped are left out at load time).
#include "FuzzTarget.h"

#include "support/Errors.h"
#include "support/Translation.h"

KELVANE_FUZZ_TARGET(language_file) {
    // The escaped form of any bytes unescapes to those bytes.
    try {
        FUZZ_CHECK(UnescapeText(EscapeText(data.toByteArray())) == data,
                   QStringLiteral("escaping does not round-trip"));
    } catch (const KelvaneError& error) {
        FuzzFailure(QStringLiteral("an escaped text does not unescape: ") + error.message());
    }

    ClearTranslations();
    WriteScratchFile(QStringLiteral("lang.txt"), data);
    LoadLanguageFile(FuzzScratchFolder() + QLatin1Char('/'));

    // Every English text of the file, looked up in every section the file names.
    QStringList sections{kStringTable};
    QList<QByteArray> keys;
    for (const QByteArray& raw : data.toByteArray().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('<')) {
            const qsizetype slashes = line.indexOf("//");
            const qsizetype start = slashes < 0 ? 1 : slashes + 2;
            const qsizetype dash = line.indexOf('-', start);
            if (dash > start)
                sections << QString::fromUtf8(line.mid(start, dash - start).trimmed());
        } else if (line.startsWith("E=")) {
            keys << line.mid(2).trimmed();
        }
    }
    for (const QByteArray& key : keys) {
        QString text;
        try {
            text = QString::fromUtf8(UnescapeText(key));
        } catch (const KelvaneError&) {
            continue; // no program text has that escaped form
        }
        for (const QString& section : sections) {
            try {
                Translate(text, section);
            } catch (const KelvaneError& error) {
                ClearTranslations();
                FuzzFailure(QStringLiteral("a loaded translation fails its lookup: ") +
                            error.message());
            }
        }
    }
    ClearTranslations();
}
