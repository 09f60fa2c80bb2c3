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

QString FromDisplayText(const QString& text) {
    QString name;
    name.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool byte = text.mid(i, 2) == QLatin1String("\\x") && i + 4 <= text.size();
        const bool unit = text.mid(i, 2) == QLatin1String("\\u") && i + 6 <= text.size();
        if (byte || unit) {
            bool ok = false;
            const uint value = text.mid(i + 2, byte ? 2 : 4).toUInt(&ok, 16);
            if (ok && byte && value >= 0x80) {
                name += QChar(char16_t(0xDC00 + value)); // as platform::DecodeFileName keeps it
                i += 3;
                continue;
            }
            if (ok && platform::IsTerminalControl(value)) {
                name += QChar(char16_t(value));
                i += byte ? 3 : 5;
                continue;
            }
        }
        name += c;
    }
    return name;
}
