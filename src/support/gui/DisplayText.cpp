#include "support/gui/DisplayText.h"

#include "platform/FileNames.h"

namespace {

bool IsLineBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

// Most texts hold nothing to escape; they are given back as they are.
bool NeedsEscapes(const QString& text) {
    for (const QChar c : text)
        if ((c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF) ||
            (!IsLineBreak(c) && platform::IsTerminalControl(c.unicode())))
            return true;
    return false;
}

} // namespace

QString DisplayText(const QString& text) {
    if (!NeedsEscapes(text))
        return text;
    QString shown;
    shown.reserve(text.size() + 16);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !IsLineBreak(text.at(i)))
            continue;
        shown += platform::DisplayFileName(text.mid(start, i - start));
        if (i < text.size())
            shown += text.at(i);
        start = i + 1;
    }
    return shown;
}
