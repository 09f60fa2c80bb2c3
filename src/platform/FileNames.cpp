#include "platform/FileNames.h"

#include <QCoreApplication>
#include <algorithm>
#include <climits>
#include <unistd.h>

namespace platform {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsAscii(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Length of the valid UTF-8 sequence at `at` and its code point; 0 when it is not valid.
int ValidSequence(QByteArrayView bytes, qsizetype at, char32_t& codePoint) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    int length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(at + i);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    // Overlong forms, encoded surrogates and values beyond Unicode are not valid UTF-8.
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

bool IsEscapedByte(QChar c) {
    return c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF;
}

void AppendUtf8(QByteArray& out, char32_t value) {
    if (value < 0x80) {
        out += char(value);
    } else if (value < 0x800) {
        out += char(0xC0 | (value >> 6));
        out += char(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += char(0xE0 | (value >> 12));
        out += char(0x80 | ((value >> 6) & 0x3F));
        out += char(0x80 | (value & 0x3F));
    } else {
        out += char(0xF0 | (value >> 18));
        out += char(0x80 | ((value >> 12) & 0x3F));
        out += char(0x80 | ((value >> 6) & 0x3F));
        out += char(0x80 | (value & 0x3F));
    }
}

} // namespace

QString DecodeFileName(QByteArrayView bytes) {
    if (IsAscii(bytes))
        return QString::fromLatin1(bytes);
    QString name;
    name.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        char32_t codePoint = 0;
        const int length = ValidSequence(bytes, at, codePoint);
        if (length == 0) {
            name += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[at])));
            ++at;
            continue;
        }
        name += QString::fromUcs4(&codePoint, 1);
        at += length;
    }
    return name;
}

QByteArray EncodeFileName(const QString& name) {
    bool plain = true;
    for (QChar c : name)
        if (c.unicode() >= 0x80) {
            plain = false;
            break;
        }
    if (plain)
        return name.toLatin1();
    QByteArray out;
    out.reserve(name.size() * 3);
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            AppendUtf8(out, QChar::surrogateToUcs4(c, name.at(i + 1)));
            ++i;
        } else if (IsEscapedByte(c)) {
            out += char(c.unicode() - kEscapeBase);
        } else if (c.isSurrogate()) {
            AppendUtf8(out, 0xFFFD); // a lone surrogate that no decoding produced
        } else {
            AppendUtf8(out, c.unicode());
        }
    }
    return out;
}

bool HasUndecodableBytes(const QString& name) {
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            ++i;
        else if (IsEscapedByte(c))
            return true;
    }
    return false;
}

namespace {

QString Shown(const QString& name, bool escapeBackslash, bool escapeControls) {
    QString shown;
    shown.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (escapeBackslash && c == QLatin1Char('\\')) {
            shown += QLatin1String("\\\\");
        } else if (IsEscapedByte(c)) {
            shown +=
                QStringLiteral("\\x%1").arg(c.unicode() - kEscapeBase, 2, 16, QLatin1Char('0'));
        } else if (escapeControls && IsTerminalControl(c.unicode())) {
            shown += c.unicode() < 0x80
                         ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                         : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace

QString DisplayFileName(const QString& name) {
    return Shown(name, false, true);
}

QString UnambiguousFileName(const QString& name, bool keepControls) {
    return Shown(name, true, !keepControls);
}

QString ProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || length >= ssize_t(sizeof buffer))
        return QCoreApplication::applicationDirPath();
    QByteArrayView path(buffer, length);
    const qsizetype slash = path.lastIndexOf('/');
    return DecodeFileName(slash <= 0 ? QByteArrayView("/") : path.first(slash));
}

} // namespace platform
