#include "ApplyPatch.h"

#include <QList>
#include <QRegularExpression>

namespace {

// The lines of a text, each with its line break (the last one may have none).
QList<QByteArray> Lines(const QByteArray& text) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        end = end < 0 ? text.size() : end + 1;
        lines << text.mid(start, end - start);
        start = end;
    }
    return lines;
}

// A header name: as it stands, or in double quotes with C escapes.
std::optional<QByteArray> HeaderName(const QByteArray& line, const char* prefix) {
    if (!line.startsWith(prefix) || !line.endsWith('\n'))
        return std::nullopt;
    const QByteArray text = line.mid(qsizetype(qstrlen(prefix))).chopped(1);
    if (!text.startsWith('"'))
        return text;
    QByteArray name;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"')
            return i + 1 == text.size() ? std::optional(name) : std::nullopt;
        if (c != '\\') {
            name += c;
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        const char e = text[i];
        static const QByteArray simple = "abtnvfr\"\\";
        static const QByteArray meaning = "\a\b\t\n\v\f\r\"\\";
        if (const qsizetype at = simple.indexOf(e); at >= 0) {
            name += meaning[at];
        } else if (e >= '0' && e <= '7' && i + 2 < text.size()) {
            name += char(text.mid(i, 3).toInt(nullptr, 8));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<PatchedFile> ApplyUnifiedDiff(const QByteArray& before, const QByteArray& diff,
                                            QString& error) {
    const QList<QByteArray> lines = Lines(diff);
    const auto fail = [&](const QString& why, qsizetype line) {
        error = QStringLiteral("diff line %1: %2").arg(line + 1).arg(why);
        return std::nullopt;
    };
    if (lines.size() < 3)
        return fail(QStringLiteral("no headers and hunk"), lines.size());
    PatchedFile patched;
    const std::optional<QByteArray> oldName = HeaderName(lines[0], "--- ");
    const std::optional<QByteArray> newName = HeaderName(lines[1], "+++ ");
    if (!oldName || !newName)
        return fail(QStringLiteral("malformed header"), oldName ? 1 : 0);
    patched.oldName = *oldName;
    patched.newName = *newName;

    static const QRegularExpression hunkHeader(
        QStringLiteral("^@@ -(\\d+)(?:,(\\d+))? \\+(\\d+)(?:,(\\d+))? @@\n$"));
    const QList<QByteArray> old = Lines(before);
    qsizetype taken = 0; // lines of `old` consumed
    qsizetype written = 0;
    for (qsizetype at = 2; at < lines.size();) {
        const QRegularExpressionMatch match = hunkHeader.match(QString::fromLatin1(lines[at]));
        if (!match.hasMatch())
            return fail(QStringLiteral("not a hunk header"), at);
        const qsizetype oldStart = match.captured(1).toLongLong();
        const qsizetype oldCount = match.capturedLength(2) ? match.captured(2).toLongLong() : 1;
        const qsizetype newStart = match.captured(3).toLongLong();
        const qsizetype newCount = match.capturedLength(4) ? match.captured(4).toLongLong() : 1;
        // An empty range names the line before it.
        const qsizetype oldFirst = oldCount == 0 ? oldStart : oldStart - 1;
        const qsizetype newFirst = newCount == 0 ? newStart : newStart - 1;
        if (oldFirst < taken || oldFirst > old.size())
            return fail(QStringLiteral("hunk out of order or past the end"), at);
        for (; taken < oldFirst; ++taken, ++written)
            patched.text += old[taken];
        if (newFirst != written)
            return fail(QStringLiteral("new start %1, expected %2").arg(newStart).arg(written + 1),
                        at);

        // The hunk's lines; a "\" line takes the line break off the line before it.
        qsizetype oldSeen = 0, newSeen = 0;
        for (++at; at < lines.size() && !lines[at].startsWith("@@"); ++at) {
            QByteArray body = lines[at].mid(1);
            const char kind = lines[at][0];
            if (kind != ' ' && kind != '-' && kind != '+')
                return fail(QStringLiteral("unknown line kind"), at);
            if (!body.endsWith('\n'))
                return fail(QStringLiteral("line without a line break"), at);
            if (at + 1 < lines.size() && lines[at + 1].startsWith('\\')) {
                if (lines[at + 1] != "\\ No newline at end of file\n")
                    return fail(QStringLiteral("unknown \\ line"), at + 1);
                body.chop(1);
                ++at;
            }
            if (kind != '+') {
                if (taken >= old.size() || old[taken] != body)
                    return fail(QStringLiteral("context or removed line does not match"), at);
                ++taken;
                ++oldSeen;
            }
            if (kind != '-') {
                patched.text += body;
                ++written;
                ++newSeen;
            }
        }
        if (oldSeen != oldCount || newSeen != newCount)
            return fail(QStringLiteral("hunk counts %1,%2 but holds %3,%4")
                            .arg(oldCount)
                            .arg(newCount)
                            .arg(oldSeen)
                            .arg(newSeen),
                        at - 1);
    }
    for (; taken < old.size(); ++taken)
        patched.text += old[taken];
    return patched;
}
