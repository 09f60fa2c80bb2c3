#include "batch/UnifiedDiff.h"

#include <QByteArrayView>
#include <QHash>
#include <algorithm>
#include <vector>

namespace {

constexpr int kContext = 3;
// Diagonal steps the search may take over one diff before it gives up on the shortest one.
constexpr qint64 kWorkBudget = qint64(40) << 20;

// The lines of a text, each with its line break (the last one may have none).
std::vector<QByteArrayView> SplitLines(const QByteArray& text) {
    std::vector<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        end = end < 0 ? text.size() : end + 1;
        lines.emplace_back(text.constData() + start, end - start);
        start = end;
    }
    return lines;
}

// Marks the lines of `a` that are removed and those of `b` that are added.
class Differ {
public:
    Differ(const std::vector<int>& a, const std::vector<int>& b)
        : m_a(a), m_b(b), removed(a.size(), false), added(b.size(), false) {}

    void Compare(int aLow, int aHigh, int bLow, int bHigh) {
        while (aLow < aHigh && bLow < bHigh && m_a[size_t(aLow)] == m_b[size_t(bLow)]) {
            ++aLow;
            ++bLow;
        }
        while (aLow < aHigh && bLow < bHigh && m_a[size_t(aHigh - 1)] == m_b[size_t(bHigh - 1)]) {
            --aHigh;
            --bHigh;
        }
        if (aLow == aHigh || bLow == bHigh || m_budget <= 0) {
            Replace(aLow, aHigh, bLow, bHigh);
            return;
        }
        int x = 0, y = 0;
        if (!MiddleSnake(aLow, aHigh, bLow, bHigh, x, y)) {
            Replace(aLow, aHigh, bLow, bHigh);
            return;
        }
        Compare(aLow, x, bLow, y);
        Compare(x, aHigh, y, bHigh);
    }

    const std::vector<int>& m_a;
    const std::vector<int>& m_b;
    std::vector<bool> removed;
    std::vector<bool> added;

private:
    void Replace(int aLow, int aHigh, int bLow, int bHigh) {
        for (int i = aLow; i < aHigh; ++i)
            removed[size_t(i)] = true;
        for (int j = bLow; j < bHigh; ++j)
            added[size_t(j)] = true;
    }

    // Finds a point (x, y) on a shortest edit path between the corners (the searches from both
    // ends meet there); false when the work budget ran out or no path was found.
    bool MiddleSnake(int aLow, int aHigh, int bLow, int bHigh, int& splitX, int& splitY) {
        const int n = aHigh - aLow;
        const int m = bHigh - bLow;
        const int maxD = (n + m + 1) / 2;
        const int offset = maxD;
        const size_t length = size_t(2 * maxD + 2);
        std::vector<int> forward(length, -1), backward(length, -1);
        forward[size_t(offset + 1)] = 0;
        backward[size_t(offset + 1)] = 0;
        const int delta = n - m;
        const bool odd = (delta & 1) != 0;
        int k1start = 0, k1end = 0, k2start = 0, k2end = 0;
        const auto a = [&](int i) { return m_a[size_t(aLow + i)]; };
        const auto b = [&](int j) { return m_b[size_t(bLow + j)]; };
        for (int d = 0; d < maxD; ++d) {
            if ((m_budget -= 2 * d + 2) <= 0)
                return false;
            for (int k1 = -d + k1start; k1 <= d - k1end; k1 += 2) {
                const size_t k1o = size_t(offset + k1);
                int x1 = (k1 == -d || (k1 != d && forward[k1o - 1] < forward[k1o + 1]))
                             ? forward[k1o + 1]
                             : forward[k1o - 1] + 1;
                int y1 = x1 - k1;
                while (x1 < n && y1 < m && a(x1) == b(y1)) {
                    ++x1;
                    ++y1;
                }
                forward[k1o] = x1;
                if (x1 > n) {
                    k1end += 2;
                } else if (y1 > m) {
                    k1start += 2;
                } else if (odd) {
                    const int k2o = offset + delta - k1;
                    if (k2o >= 0 && k2o < int(length) && backward[size_t(k2o)] != -1 &&
                        x1 >= n - backward[size_t(k2o)]) {
                        splitX = aLow + x1;
                        splitY = bLow + y1;
                        return true;
                    }
                }
            }
            for (int k2 = -d + k2start; k2 <= d - k2end; k2 += 2) {
                const size_t k2o = size_t(offset + k2);
                int x2 = (k2 == -d || (k2 != d && backward[k2o - 1] < backward[k2o + 1]))
                             ? backward[k2o + 1]
                             : backward[k2o - 1] + 1;
                int y2 = x2 - k2;
                while (x2 < n && y2 < m && a(n - x2 - 1) == b(m - y2 - 1)) {
                    ++x2;
                    ++y2;
                }
                backward[k2o] = x2;
                if (x2 > n) {
                    k2end += 2;
                } else if (y2 > m) {
                    k2start += 2;
                } else if (!odd) {
                    const int k1o = offset + delta - k2;
                    if (k1o >= 0 && k1o < int(length) && forward[size_t(k1o)] != -1) {
                        const int x1 = forward[size_t(k1o)];
                        const int y1 = offset + x1 - k1o;
                        if (x1 >= n - x2) {
                            splitX = aLow + x1;
                            splitY = bLow + y1;
                            return true;
                        }
                    }
                }
            }
        }
        return false;
    }

    qint64 m_budget = kWorkBudget;
};

struct Edit {
    char kind; // ' ', '-', '+'
    int a;     // line of `before` (for ' ' and '-')
    int b;     // line of `after` (for ' ' and '+')
};

QByteArray RangeText(int first, int count) {
    // An empty range names the line before it.
    const int start = count == 0 ? first : first + 1;
    if (count == 1)
        return QByteArray::number(start);
    return QByteArray::number(start) + ',' + QByteArray::number(count);
}

void AppendLine(QByteArray& out, char kind, QByteArrayView line) {
    out += kind;
    out += line;
    if (!line.endsWith('\n'))
        out += "\n\\ No newline at end of file\n";
}

} // namespace

namespace {

// A name for a header that `patch` reads back whole: as it is, or in double quotes with C
// escapes (GNU diff's form) when it holds a blank, which would end the name without the
// timestamp that GNU diff puts after it, or a byte that would break the line or the quoting.
QByteArray HeaderName(const QByteArray& name) {
    const auto special = [](unsigned char c) {
        return c <= 0x20 || c == 0x7f || c == '"' || c == '\\';
    };
    if (std::none_of(name.begin(), name.end(),
                     [&](char c) { return special(static_cast<unsigned char>(c)); }))
        return name;
    QByteArray quoted = "\"";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '\a':
            quoted += "\\a";
            break;
        case '\b':
            quoted += "\\b";
            break;
        case '\t':
            quoted += "\\t";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\v':
            quoted += "\\v";
            break;
        case '\f':
            quoted += "\\f";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        default:
            if (byte < 0x20 || byte == 0x7f)
                quoted += '\\' + QByteArray::number(byte, 8).rightJustified(3, '0');
            else
                quoted += c;
        }
    }
    return quoted + '"';
}

} // namespace

QByteArray UnifiedDiff(const QByteArray& before, const QByteArray& after,
                       const QByteArray& beforeName, const QByteArray& afterName) {
    if (before == after)
        return {};
    const std::vector<QByteArrayView> aLines = SplitLines(before);
    const std::vector<QByteArrayView> bLines = SplitLines(after);
    // Lines become numbers, so that comparing two lines costs one comparison.
    QHash<QByteArrayView, int> ids;
    const auto number = [&](const std::vector<QByteArrayView>& lines) {
        std::vector<int> numbers;
        numbers.reserve(lines.size());
        for (QByteArrayView line : lines) {
            auto found = ids.constFind(line);
            if (found == ids.constEnd())
                found = ids.insert(line, int(ids.size()));
            numbers.push_back(*found);
        }
        return numbers;
    };
    const std::vector<int> a = number(aLines);
    const std::vector<int> b = number(bLines);
    // A line found in only one of the texts can never be matched: it is a change whatever the
    // rest. The search runs over the other lines only (GNU diff discards them likewise), which
    // keeps texts that differ on most of their lines (a tidied page) cheap to compare; the
    // shortest diff of what remains is the shortest diff of the whole.
    std::vector<bool> inA(ids.size(), false), inB(ids.size(), false);
    for (const int id : a)
        inA[size_t(id)] = true;
    for (const int id : b)
        inB[size_t(id)] = true;
    std::vector<int> aKept, bKept, aWhere, bWhere;
    for (size_t i = 0; i < a.size(); ++i)
        if (inB[size_t(a[i])]) {
            aKept.push_back(a[i]);
            aWhere.push_back(int(i));
        }
    for (size_t j = 0; j < b.size(); ++j)
        if (inA[size_t(b[j])]) {
            bKept.push_back(b[j]);
            bWhere.push_back(int(j));
        }
    Differ kept(aKept, bKept);
    kept.Compare(0, int(aKept.size()), 0, int(bKept.size()));
    struct {
        std::vector<bool> removed;
        std::vector<bool> added;
    } differ{std::vector<bool>(a.size(), true), std::vector<bool>(b.size(), true)};
    for (size_t k = 0; k < aKept.size(); ++k)
        differ.removed[size_t(aWhere[k])] = kept.removed[k];
    for (size_t k = 0; k < bKept.size(); ++k)
        differ.added[size_t(bWhere[k])] = kept.added[k];

    std::vector<Edit> edits;
    edits.reserve(a.size() + b.size());
    for (int i = 0, j = 0; i < int(a.size()) || j < int(b.size());) {
        if (i < int(a.size()) && differ.removed[size_t(i)])
            edits.push_back({'-', i++, j});
        else if (j < int(b.size()) && differ.added[size_t(j)])
            edits.push_back({'+', i, j++});
        else
            edits.push_back({' ', i++, j++});
    }

    QByteArray out = "--- " + HeaderName(beforeName) + "\n+++ " + HeaderName(afterName) + "\n";
    const int total = int(edits.size());
    for (int start = 0; start < total;) {
        while (start < total && edits[size_t(start)].kind == ' ')
            ++start;
        if (start == total)
            break;
        // The hunk runs to the last change whose context meets the next change's.
        int end = start;
        for (int common = 0, i = start; i < total; ++i) {
            if (edits[size_t(i)].kind != ' ') {
                end = i + 1;
                common = 0;
            } else if (++common > 2 * kContext) {
                break;
            }
        }
        const int first = std::max(0, start - kContext);
        const int last = std::min(total, end + kContext);
        int aCount = 0, bCount = 0;
        for (int i = first; i < last; ++i) {
            aCount += edits[size_t(i)].kind != '+';
            bCount += edits[size_t(i)].kind != '-';
        }
        out += "@@ -" + RangeText(edits[size_t(first)].a, aCount) + " +" +
               RangeText(edits[size_t(first)].b, bCount) + " @@\n";
        for (int i = first; i < last; ++i) {
            const Edit& edit = edits[size_t(i)];
            AppendLine(out, edit.kind,
                       edit.kind == '+' ? bLines[size_t(edit.b)] : aLines[size_t(edit.a)]);
        }
        start = last;
    }
    return out;
}
