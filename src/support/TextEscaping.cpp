// The escaped form of the language file: C-like escapes so a text with line breaks fits on one
// line. Works on bytes; texts travel as UTF-8.
#include "support/Errors.h"
#include "support/HexDigits.h"
#include "support/Translation.h"

namespace {

int OctalValue(char c) {
    return (c >= '0' && c <= '7') ? c - '0' : -1;
}

const char* NamedEscape(unsigned char byte) {
    switch (byte) {
    case 7:
        return "\\a";
    case 8:
        return "\\b";
    case 9:
        return "\\t";
    case 10:
        return "\\n";
    case 11:
        return "\\v";
    case 12:
        return "\\f";
    case 13:
        return "\\r";
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    default:
        return nullptr;
    }
}

} // namespace

QByteArray EscapeText(const QByteArray& text) {
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(text.size() + text.size() / 8 + 4);
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (const char* escape = NamedEscape(byte)) {
            out += escape;
        } else if (byte < 32) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

QByteArray UnescapeText(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = text[i];
        if (c != '\\' || i + 1 == n) {
            // A backslash that ends the text stays as it is.
            out += c;
            ++i;
            continue;
        }
        const char next = text[i + 1];
        i += 2;
        switch (next) {
        case '"':
        case '\'':
        case '?':
        case '\\':
            out += next;
            continue;
        case 'a':
            out += '\a';
            continue;
        case 'b':
            out += '\b';
            continue;
        case 'f':
            out += '\f';
            continue;
        case 'n':
            out += '\n';
            continue;
        case 'r':
            out += '\r';
            continue;
        case 't':
            out += '\t';
            continue;
        case 'v':
            out += '\v';
            continue;
        default:
            break;
        }
        if (OctalValue(next) >= 0) {
            int value = OctalValue(next);
            for (int digits = 1; digits < 3 && i < n && OctalValue(text[i]) >= 0; ++digits)
                value = value * 8 + OctalValue(text[i++]);
            if (value > 255)
                throw KelvaneError(QStringLiteral("Numeric constant too large."));
            out += static_cast<char>(value);
        } else if (next == 'x' && i < n && HexDigitValue(text[i]) >= 0) {
            int value = HexDigitValue(text[i++]);
            if (i < n && HexDigitValue(text[i]) >= 0)
                value = value * 16 + HexDigitValue(text[i++]);
            out += static_cast<char>(value);
        } else {
            // Unknown escapes, and "\x" without a digit, are kept literally.
            out += '\\';
            out += next;
        }
    }
    return out;
}
