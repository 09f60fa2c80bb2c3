#include "cmdline/CommandLine.h"

#include "platform/FileNames.h"
#include "support/Errors.h"
#include "support/Translation.h"
#include "support/WebAddress.h"

#include <algorithm>

namespace {

constexpr QChar kQuote = QLatin1Char('"');

// Blanks and control characters: they separate tokens and are trimmed from them.
bool IsSeparator(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= 32;
}

QString TrimSeparators(const QString& token) {
    qsizetype first = 0;
    qsizetype last = token.size();
    while (first < last && IsSeparator(token.at(first)))
        ++first;
    while (last > first && IsSeparator(token.at(last - 1)))
        --last;
    return token.mid(first, last - first);
}

// A dash always starts a switch, known or not. A slash starts one only for the known words:
// every other token that begins with a slash is an absolute path, as on any Linux command line.
bool IsSwitch(const QString& token) {
    if (token.startsWith(QLatin1Char('-')))
        return true;
    if (!token.startsWith(QLatin1Char('/')))
        return false;
    const QStringView word = QStringView(token).mid(1);
    return word == u"t" || word == u"v" || word == u"h" || word == u"X";
}

} // namespace

QStringList TokenizeCommandLine(const QString& commandLine) {
    QStringList tokens;
    qsizetype end = commandLine.indexOf(QChar(0));
    if (end < 0)
        end = commandLine.size();
    qsizetype i = 0;
    while (true) {
        while (i < end && IsSeparator(commandLine.at(i)))
            ++i;
        if (i >= end)
            break;
        QString token;
        if (commandLine.at(i) == kQuote) {
            ++i;
            while (i < end) {
                const QChar c = commandLine.at(i);
                if (c == kQuote) {
                    if (i + 1 < end && commandLine.at(i + 1) == kQuote) {
                        token += kQuote;
                        i += 2;
                        continue;
                    }
                    ++i; // the closing quote; whatever is glued to it starts the next token
                    break;
                }
                token += c;
                ++i;
            }
        } else {
            const qsizetype start = i;
            while (i < end && !IsSeparator(commandLine.at(i)))
                ++i;
            token = commandLine.mid(start, i - start);
        }
        tokens.append(token);
    }
    return tokens;
}

QString JoinCommandLine(const QStringList& arguments) {
    QStringList parts;
    parts.reserve(arguments.size());
    for (const QString& argument : arguments) {
        // A NUL would end the text early; no argument vector can hold one anyway.
        const qsizetype nul = argument.indexOf(QChar(0));
        const QString arg = nul < 0 ? argument : argument.left(nul);
        const bool plain = !arg.isEmpty() && arg.front() != kQuote &&
                           std::none_of(arg.begin(), arg.end(), IsSeparator);
        if (plain) {
            parts.append(arg);
        } else {
            QString quoted = arg;
            quoted.replace(kQuote, QStringLiteral("\"\""));
            parts.append(kQuote + quoted + kQuote);
        }
    }
    return parts.join(QLatin1Char(' '));
}

ParsedCommandLine ParseCommandLine(const QString& commandLine) {
    ParsedCommandLine result;
    result.Flags = clfInteractive;
    bool haveInput = false;
    bool haveOutput = false;

    const QStringList tokens = TokenizeCommandLine(commandLine);
    for (qsizetype i = 1; i < tokens.size(); ++i) { // the first token is the program itself
        const QString& token = tokens.at(i);
        // Blanks around a token matter only for recognising a switch: a name keeps them, since
        // "out.txt " and "out.txt" are two files.
        const QString trimmed = TrimSeparators(token);
        if (IsSwitch(trimmed)) {
            const QStringView word = QStringView(trimmed).mid(1);
            if (word == u"v") {
                result.Mode.JobKind = jkValidate;
                result.Flags &= ~clfInteractive;
            } else if (word == u"t") {
                result.Mode.JobKind = jkTidy;
                result.Flags &= ~clfInteractive;
            } else if (word == u"h") {
                result.Mode.HtmlReport = 1;
            }
            // "X" is accepted and does nothing; other words are ignored without a word.
        } else if (!haveInput) {
            result.InputName = token;
            haveInput = true;
        } else if (!haveOutput) {
            result.OutputName = token;
            haveOutput = true;
        } else {
            throw SilentAbort(
                FillTemplate(Translate(QStringLiteral("Too many files specified (%s)")),
                             {platform::DisplayFileName(token)}));
        }
    }

    if (result.InputName.isEmpty())
        result.Flags |= clfInteractive;
    if (IsWebAddress(result.InputName))
        result.Flags |= clfWebAddress;
    return result;
}
