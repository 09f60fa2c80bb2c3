#pragma once
// The `tidy` command-line program seen from the engine: a configuration file made from the
// very options the engine applies, and the engine's reports written as the program prints
// them. Shared by the oracle tests and the validate benchmark.

#include "engine/TidyLibraryRun.h"
#include "engine/TidyRequest.h"

#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <tidy/tidy.h>

namespace tidy_oracle {

// The configuration file for `options` (empty when it cannot be made). The library writes the
// options that differ from its defaults itself, so names and values are exactly the engine's. Then
// Debian's tidy loads /etc/tidy.conf, and loading a file with indent off sets indent-spaces to 0
// for good, where the engine's fresh document keeps its own value; and every message is to be
// shown, each with its message key ("mute-id"), so that the keys are compared too.
inline QByteArray ConfigText(const ResolvedTidyOptions& options, const QString& folder) {
    const QString path = folder + QStringLiteral("/saved.conf");
    TidyDoc doc = tidyCreate();
    tidySetMessageCallback(doc, [](TidyMessage) { return no; });
    const bool applied = ApplyResolvedOptions(options, doc);
    const ulong indentSpaces = tidyOptGetInt(doc, TidyIndentSpaces);
    const bool saved = tidyOptSaveFile(doc, QFile::encodeName(path).constData()) == 0;
    tidyRelease(doc);
    QFile file(path);
    if (!applied || !saved || !file.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = file.readAll();
    file.remove();
    text += "indent-spaces: " + QByteArray::number(qulonglong(indentSpaces)) + "\n";
    text += "show-errors: 1000000\nshow-warnings: yes\nshow-info: yes\nquiet: no\n"
            "gnu-emacs: no\nmute-id: yes\n";
    return text;
}

// The part of the program's messages that the library reported while it parsed and cleaned:
// the program's own diagnostics (document type, counts, footnotes) start with the "doctype
// given" or "content looks like" report, which no other stage gives.
inline QByteArray ParseStageMessages(const QByteArray& errors) {
    static const QRegularExpression diagnostics(
        QStringLiteral("^Info: (Doctype given is|Document content looks like) "),
        QRegularExpression::MultilineOption);
    const QString text = QString::fromLatin1(errors); // bytes kept one to one
    const QRegularExpressionMatch start = diagnostics.match(text);
    return start.hasMatch() ? errors.left(start.capturedStart()) : errors;
}

// The reports as the program prints them: position (when both numbers are set), the level's
// prefix, the text and " (KEY)", cut as the library cuts a message (2,046 bytes); dialogue levels
// as bare text. Muted reports are left out, as the program leaves them out.
inline QByteArray ProgramStyle(const QList<TidyReport>& reports) {
    QByteArray text;
    for (const TidyReport& report : reports) {
        if (report.muted)
            continue;
        QByteArray line;
        if (report.level <= int(TidyFatal)) {
            if (report.line > 0 && report.column > 0)
                line += "line " + QByteArray::number(report.line) + " column " +
                        QByteArray::number(report.column) + " - ";
            line += tidyDefaultString(uint(report.level));
        }
        line += report.text;
        line = line.left(2046);
        // The key goes into what is left of the library's message buffer.
        if (report.level <= int(TidyFatal) && !report.key.isEmpty())
            line = (line + " (" + report.key + ')').left(2046);
        text += line + '\n';
    }
    return text;
}

// The bytes the program is given for `page`. It reads a file through a memory map and takes
// the byte past the end (a zero of the page's padding) as the missing half of a UTF-16 page's
// last code unit; the engine reads only the bytes it has and ends at the last whole unit. The
// program gets the same whole units.
inline QByteArray ProgramInput(const QByteArray& page) {
    const bool utf16 = page.startsWith("\xFF\xFE") || page.startsWith("\xFE\xFF");
    return utf16 && page.size() % 2 == 1 ? page.chopped(1) : page;
}

} // namespace tidy_oracle
