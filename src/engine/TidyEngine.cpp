#include "engine/TidyEngine.h"

#include "engine/TidyOptionMapping.h"
#include "engine/TidyOptionSet.h"
#include "engine/TidyRequest.h"
#include "engine/TidyRunner.h"
#include "platform/FileNames.h"
#include "platform/FileReading.h"
#include "platform/FileWriting.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <algorithm>
#include <charconv>
#include <tidy/tidyenum.h>
#include <vector>

namespace {

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

qsizetype NumberLength(int value) {
    char digits[16];
    return std::to_chars(digits, digits + sizeof digits, value).ptr - digits;
}

QChar* WriteString(QChar* out, const QString& text) {
    std::copy(text.cbegin(), text.cend(), out);
    return out + text.size();
}

// A control character as "\x1b" (C1 controls as "\u009b"): a page must not be able to drive
// the terminal of whoever prints its report.
QChar* WriteEscapedControl(QChar* out, char16_t c) {
    const char* const hex = "0123456789abcdef";
    *out++ = QLatin1Char('\\');
    if (c < 0x80) {
        *out++ = QLatin1Char('x');
    } else {
        out = WriteLatin1(out, "u00", 3);
    }
    *out++ = QLatin1Char(hex[(c >> 4) & 0xF]);
    *out++ = QLatin1Char(hex[c & 0xF]);
    return out;
}

bool IsAsciiControl(char c) {
    return platform::IsTerminalControl(static_cast<unsigned char>(c)) &&
           static_cast<unsigned char>(c) < 0x80;
}

// The most characters WriteVisible can write for `text`: exact for ASCII, which is nearly
// every report; UTF-8 never decodes to more UTF-16 characters than it has bytes.
qsizetype VisibleLength(QByteArrayView text) {
    qsizetype length = text.size();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (IsAsciiControl(char(byte)))
            length += 3;
        else if (byte == 0xC2 && i + 1 < text.size() &&
                 static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            length += 4; // a C1 control: two bytes become "\u0080"
    }
    return length;
}

// The library's text (UTF-8, nearly always plain ASCII, which needs no decoding pass) with
// its control characters made visible. Never writes more than VisibleLength(text).
QChar* WriteVisible(QChar* out, QByteArrayView text) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        for (char c : text)
            out = IsAsciiControl(c) ? WriteEscapedControl(out, char16_t(c))
                                    : (*out = QLatin1Char(c), out + 1);
        return out;
    }
    for (QChar c : QString::fromUtf8(text))
        out = platform::IsTerminalControl(c.unicode()) ? WriteEscapedControl(out, c.unicode())
                                                       : (*out = c, out + 1);
    return out;
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
    }

    // The characters one line takes, line end not included: what is really written, so that
    // a long translated word costs its length once per line that shows it, never more.
    qsizetype length(int level, int line, int column, QByteArrayView utf8Text) const {
        qsizetype size = 0;
        for (const Piece& piece : m_pieces) {
            size += piece.literal.size();
            switch (piece.value) {
            case 0:
                size += NumberLength(line);
                break;
            case 1:
                size += NumberLength(column);
                break;
            case 2:
                if (const QString* word = levelWord(level))
                    size += word->size();
                break;
            case 3:
                size += VisibleLength(utf8Text);
                break;
            }
        }
        return size;
    }

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
                if (const QString* word = levelWord(level))
                    out = WriteString(out, *word);
                break;
            case 3:
                out = WriteVisible(out, utf8Text);
                break;
            }
        }
        return out;
    }

    // The reports `which` takes, each as a line followed by CR LF.
    QString lines(const QList<TidyReport>& reports, MessageLines which) const {
        const auto taken = [which](const TidyReport& report) {
            return which == MessageLines::Counted || !report.muted;
        };
        const bool keys = which == MessageLines::ShownWithKeys;
        qsizetype size = 0;
        for (const TidyReport& report : reports)
            if (taken(report))
                size += length(report.level, report.line, report.column, report.text) + 2 +
                        (keys && !report.key.isEmpty() ? report.key.size() + 3 : 0);
        QString text(size, Qt::Uninitialized);
        QChar* out = text.data();
        for (const TidyReport& report : reports) {
            if (!taken(report))
                continue;
            out = write(out, report.level, report.line, report.column, report.text);
            if (keys && !report.key.isEmpty()) {
                out = WriteLatin1(out, " [", 2);
                out = WriteLatin1(out, report.key.constData(), report.key.size());
                *out++ = QLatin1Char(']');
            }
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
    // Chosen by identifier: the numbering of report levels differs between generations of
    // the library. Other levels have no word.
    const QString* levelWord(int level) const {
        if (level < TidyInfo || level > TidyFatal)
            return nullptr;
        return &m_words[level - TidyInfo];
    }

    QString m_words[TidyFatal - TidyInfo + 1];
    std::vector<Piece> m_pieces;
};

} // namespace

QString FormatTidyMessage(int level, int line, int column, const QString& text) {
    const MessageFormatter formatter;
    const QByteArray utf8 = text.toUtf8();
    QString out(formatter.length(level, line, column, utf8), Qt::Uninitialized);
    out.truncate(formatter.write(out.data(), level, line, column, utf8) - out.constData());
    return out;
}

QString FormatTidyMessages(const QList<TidyReport>& reports, MessageLines which) {
    return MessageFormatter().lines(reports, which);
}

namespace {

TidyResult RunCurrentOptions(QByteArray document, TidyRequest::Mode mode, QString& messages) {
    TidyRequest request;
    request.options = ResolveOptions(CurrentOptionSet()); // raises before anything runs
    request.document = std::move(document);
    request.mode = mode;
    TidyResult result = CurrentTidyRunner().run(request);
    messages = MessageFormatter().lines(result.reports, MessageLines::Shown);
    return result;
}

} // namespace

bool RunTidy(QByteArray& document, QString& messages) {
    TidyResult result = RunCurrentOptions(document, TidyRequest::Mode::Tidy, messages);
    if (result.status != TidyRunStatus::Completed)
        return false;
    document = std::move(result.output);
    return true;
}

bool RunTidyOnFile(const QString& fileName, QString& messages) {
    messages.clear();
    const TidyResult result =
        RunCurrentOptions(ReadFileText(fileName), TidyRequest::Mode::ReportsOnly, messages);
    return result.status == TidyRunStatus::Completed;
}

QByteArray ReadFileText(const QString& path) {
    QByteArray bytes;
    QString reason;
    switch (platform::ReadRegularFile(path, bytes, -1, &reason)) {
    case platform::ReadResult::Read:
        return bytes;
    case platform::ReadResult::NotRegularFile:
        if (reason.isEmpty())
            RaiseFileOpenError(path, Translate(QStringLiteral("It is not a regular file.")));
        RaiseFileOpenError(path, reason);
    default:
        RaiseFileOpenError(path, reason);
    }
}

void WriteFileText(const QString& path, const QByteArray& bytes) {
    QString reason;
    switch (platform::WriteWholeFile(path, bytes, &reason)) {
    case platform::WriteResult::Written:
        return;
    case platform::WriteResult::ReadOnly:
        RaiseFileCreateError(path, Translate(QStringLiteral("The file is read-only.")));
    case platform::WriteResult::NotAFile:
        RaiseFileCreateError(path, Translate(QStringLiteral("It is not a regular file.")));
    case platform::WriteResult::Failed:
        RaiseFileCreateError(path, reason);
    }
}
