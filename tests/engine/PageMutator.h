#pragma once
// Hostile pages made from real ones by a seeded generator: the same seed gives the same pages
// on every machine (no standard distribution is involved, whose results differ between
// libraries), so a failure reproduces from the seed it prints.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringEncoder>
#include <cstdint>
#include <string>

// SplitMix64: small, fast and fully specified.
class SeededBytes {
public:
    explicit SeededBytes(quint64 seed) : m_state(seed) {}
    quint64 next() {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // A number from `low` to `high`, both included.
    qsizetype between(qsizetype low, qsizetype high) {
        return low + qsizetype(next() % quint64(high - low + 1));
    }
    bool chance(int percent) { return between(1, 100) <= percent; }

private:
    quint64 m_state;
};

struct MutatedPage {
    QByteArray bytes;
    std::string recipe; // the base page and the mutations, for a failure message
};

// Nesting stays far below what overflows an 8 MB stack (about 50,000 levels) and below the
// depths where the library's time, growing with the square of the depth, reaches seconds; so
// do attribute counts.
inline constexpr qsizetype kMaxNesting = 800;
inline constexpr qsizetype kMaxAttributes = 400;
inline constexpr qsizetype kMaxAttributeValue = 300 * 1024;

class PageMutator {
public:
    explicit PageMutator(quint64 seed) : m_random(seed) {}

    MutatedPage make(const QList<QByteArray>& bases) {
        MutatedPage page;
        const qsizetype base = m_random.between(0, bases.size() - 1);
        page.bytes = bases[base];
        page.recipe = "base " + std::to_string(base);
        const qsizetype count = m_random.between(1, 3);
        for (qsizetype i = 0; i < count; ++i)
            page.recipe += std::string(", ") + mutate(page.bytes);
        return page;
    }

private:
    qsizetype anywhere(const QByteArray& bytes) { return m_random.between(0, bytes.size()); }

    // Just after a '>' (a tag boundary) when there is one, else anywhere.
    qsizetype afterSomeTag(const QByteArray& bytes) {
        const qsizetype from = anywhere(bytes);
        const qsizetype at = bytes.indexOf('>', from);
        return at < 0 ? from : at + 1;
    }

    QByteArray randomText(qsizetype size) {
        static const char kChars[] = "abcXYZ019 &amp;<>\"'=/\t\n\r;#x";
        QByteArray text(size, Qt::Uninitialized);
        for (char& c : text)
            c = kChars[m_random.between(0, sizeof kChars - 2)];
        return text;
    }

    QByteArray lineEnds(const QByteArray& bytes, bool mixed, const char* single) {
        static const char* const kEnds[] = {"\n", "\r\n", "\r", "\n\r", "\r\r\n"};
        QByteArray out;
        out.reserve(bytes.size() * 2);
        for (char c : bytes) {
            if (c != '\n')
                out += c;
            else
                out += mixed ? kEnds[m_random.between(0, 4)] : single;
        }
        return out;
    }

    static QByteArray Utf16(const QByteArray& bytes, QStringConverter::Encoding encoding,
                            bool bom) {
        QStringEncoder encoder(encoding, bom ? QStringConverter::Flag::WriteBom
                                             : QStringConverter::Flag::Default);
        return encoder.encode(QString::fromUtf8(bytes));
    }

    const char* mutate(QByteArray& bytes) {
        switch (m_random.between(0, 16)) {
        case 0:
            for (qsizetype n = m_random.between(1, 5); n > 0; --n)
                bytes.insert(anywhere(bytes), '\0');
            return "NUL bytes";
        case 1:
            for (qsizetype n = m_random.between(1, 10); n > 0; --n) {
                static const char kControls[] = "\x01\x08\x0b\x0c\x1b\x1f\x7f\x80\x85\x9b\x9f\xff";
                bytes.insert(anywhere(bytes), kControls[m_random.between(0, 11)]);
            }
            return "control bytes";
        case 2:
            bytes = lineEnds(bytes, false, "\r\n");
            return "CRLF line ends";
        case 3:
            bytes = lineEnds(bytes, false, "\r");
            return "CR line ends";
        case 4:
            bytes = lineEnds(bytes, true, nullptr);
            return "mixed line ends";
        case 5:
            bytes.prepend("\xEF\xBB\xBF");
            return "UTF-8 byte-order mark";
        case 6:
            bytes = Utf16(bytes, QStringConverter::Utf16LE, true);
            return "UTF-16 LE with byte-order mark";
        case 7:
            bytes = Utf16(bytes, QStringConverter::Utf16BE, true);
            return "UTF-16 BE with byte-order mark";
        case 8:
            bytes = Utf16(bytes, QStringConverter::Utf16LE, false);
            return "UTF-16 LE without byte-order mark";
        case 9:
            bytes.truncate(anywhere(bytes));
            return "truncated";
        case 10: {
            static const char* const kOpeners[] = {"<div>",    "<b><i>",        "<table><tr><td>",
                                                   "<ul><li>", "<font size=2>", "<blockquote>",
                                                   "<span>",   "<p><em>"};
            const QByteArray opener = kOpeners[m_random.between(0, 7)];
            bytes.insert(afterSomeTag(bytes),
                         opener.repeated(m_random.between(100, kMaxNesting)) + "deep");
            return "deep nesting";
        }
        case 11: {
            const QByteArray value = randomText(m_random.between(10 * 1024, kMaxAttributeValue));
            const char* quote = m_random.chance(50) ? "\"" : "'";
            bytes.insert(afterSomeTag(bytes),
                         "<p title=" + QByteArray(quote) + value + quote + ">huge attribute</p>");
            return "huge attribute";
        }
        case 12: {
            QByteArray tag = "<img src=x.gif";
            for (qsizetype n = m_random.between(50, kMaxAttributes); n > 0; --n)
                tag += " a" + QByteArray::number(m_random.between(0, 300)) + "=v" +
                       QByteArray::number(n);
            bytes.insert(afterSomeTag(bytes), tag + ">");
            return "many attributes";
        }
        case 13:
            for (qsizetype n = m_random.between(1, 20); n > 0 && !bytes.isEmpty(); --n)
                bytes[m_random.between(0, bytes.size() - 1)] = char(m_random.between(0, 255));
            return "byte flips";
        case 14:
            bytes += '\r';
            return "final CR";
        case 15:
            for (qsizetype n = m_random.between(1, 10); n > 0; --n)
                bytes.insert(anywhere(bytes), '\r');
            return "lone CRs";
        default: {
            const qsizetype from = anywhere(bytes);
            const QByteArray slice = bytes.mid(from, m_random.between(1, 2000));
            bytes.insert(anywhere(bytes), slice.repeated(m_random.between(1, 20)));
            return "repeated slice";
        }
        }
    }

    SeededBytes m_random;
};
