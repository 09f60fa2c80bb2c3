#include "fileops/BatchCommands.h"

namespace {

// Blanks, line breaks and every other control character (NUL ends the text).
bool IsBlank(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= 32;
}

} // namespace

// The split of a comma-separated list: a comma separates, a double quote quotes (two in a row
// stand for one), and blanks separate as well.
int CountMessageTokens(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(0));
    const qsizetype end = nul < 0 ? text.size() : nul;
    const QChar quote = QLatin1Char('"');
    const QChar comma = QLatin1Char(',');
    int count = 0;
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < end && IsBlank(text.at(i)))
            ++i;
    };

    skipBlanks();
    while (i < end) {
        if (text.at(i) == quote) {
            for (++i; i < end; ++i) {
                if (text.at(i) != quote)
                    continue;
                if (i + 1 < end && text.at(i + 1) == quote) {
                    ++i;
                    continue;
                }
                ++i;
                break;
            }
        } else {
            while (i < end && text.at(i).unicode() > 32 && text.at(i) != comma)
                ++i;
        }
        ++count;
        skipBlanks();
        if (i < end && text.at(i) == comma) {
            if (i + 1 == end)
                ++count; // a comma at the very end stands before one more, empty item
            ++i;
            skipBlanks();
        }
    }
    return count;
}
