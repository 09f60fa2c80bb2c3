#include "fileops/ReviewDiff.h"

#include "batch/UnifiedDiff.h"

#include <QByteArrayView>
#include <algorithm>

namespace {

// "@@ -a[,b] +c[,d] @@": the first line of each side counted from 0.
bool ReadHunkStart(QByteArrayView header, int& originalLine, int& tidiedLine) {
    // The decimal number at `at`, moving past it; -1 when there is none.
    const auto number = [&](qsizetype& at) {
        qint64 value = -1;
        for (; at < header.size() && header[at] >= '0' && header[at] <= '9'; ++at)
            value = std::min<qint64>((value < 0 ? 0 : value * 10) + (header[at] - '0'), 1 << 30);
        return int(value);
    };
    const auto side = [&](char sign, int& line) {
        qsizetype at = header.indexOf(sign);
        if (at < 0)
            return false;
        ++at;
        const int start = number(at);
        int count = 1;
        if (at < header.size() && header[at] == ',')
            count = number(++at);
        if (start < 0 || count < 0)
            return false;
        // An empty side names the line before it.
        line = count == 0 ? start : start - 1;
        return true;
    };
    return side('-', originalLine) && side('+', tidiedLine);
}

} // namespace

TextChanges CompareTexts(const QByteArray& original, const QByteArray& tidied) {
    TextChanges changes;
    const QByteArray diff = UnifiedDiff(original, tidied, "a", "b");
    int originalLine = 0;
    int tidiedLine = 0;
    ChangeBlock block;
    bool open = false;
    const auto close = [&] {
        if (!open)
            return;
        changes.blocks.append(block);
        changes.changedLines += std::max(block.originalCount, block.tidiedCount);
        open = false;
    };
    const auto start = [&] {
        if (open)
            return;
        block = {originalLine, 0, tidiedLine, 0};
        open = true;
    };
    bool inHunks = false;
    for (qsizetype at = 0; at < diff.size();) {
        qsizetype end = diff.indexOf('\n', at);
        if (end < 0)
            end = diff.size();
        const QByteArrayView line(diff.constData() + at, end - at);
        at = end + 1;
        if (line.startsWith("@@ ")) {
            close();
            inHunks = ReadHunkStart(line, originalLine, tidiedLine);
            continue;
        }
        if (!inHunks || line.isEmpty())
            continue; // the two name lines
        switch (line.front()) {
        case ' ':
            close();
            ++originalLine;
            ++tidiedLine;
            break;
        case '-':
            start();
            ++block.originalCount;
            ++originalLine;
            break;
        case '+':
            start();
            ++block.tidiedCount;
            ++tidiedLine;
            break;
        default: // "\ No newline at end of file"
            break;
        }
    }
    close();
    return changes;
}

int MatchingLine(const QList<ChangeBlock>& blocks, int line, bool fromOriginal) {
    int shift = 0;
    for (const ChangeBlock& block : blocks) {
        const int from = fromOriginal ? block.originalLine : block.tidiedLine;
        const int fromCount = fromOriginal ? block.originalCount : block.tidiedCount;
        const int to = fromOriginal ? block.tidiedLine : block.originalLine;
        const int toCount = fromOriginal ? block.tidiedCount : block.originalCount;
        if (line < from)
            break;
        if (line < from + fromCount)
            return to + std::min(line - from, std::max(0, toCount - 1));
        shift = (to + toCount) - (from + fromCount);
    }
    return std::max(0, line + shift);
}

int BlockAtOrAfter(const QList<ChangeBlock>& blocks, int line, bool fromOriginal) {
    const auto it = std::find_if(blocks.begin(), blocks.end(), [&](const ChangeBlock& block) {
        const int from = fromOriginal ? block.originalLine : block.tidiedLine;
        const int count = fromOriginal ? block.originalCount : block.tidiedCount;
        return from + std::max(count, 1) > line;
    });
    return int(it - blocks.begin());
}
