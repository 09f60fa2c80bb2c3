#pragma once
// Where tidying changes a text, line by line: the blocks of lines that differ between a page
// and its tidied text, read from the same unified diff that a saved patch holds, so that what
// the views mark is exactly what the patch changes.

#include <QByteArray>
#include <QList>

// One run of changed lines: `originalCount` lines of the page from `originalLine` became
// `tidiedCount` lines of the tidied text from `tidiedLine` (lines counted from 0; a count of 0
// is a pure insertion or removal, placed before the line named).
struct ChangeBlock {
    int originalLine = 0;
    int originalCount = 0;
    int tidiedLine = 0;
    int tidiedCount = 0;

    bool operator==(const ChangeBlock&) const = default;
};

struct TextChanges {
    QList<ChangeBlock> blocks;
    // Lines a reader sees changed: per block, the larger of its two sides.
    int changedLines = 0;
};

// Lines end at LF (a CR before it belongs to the line, as in a diff).
TextChanges CompareTexts(const QByteArray& original, const QByteArray& tidied);

// The line of the other text that stands where `line` stands: shifted past the blocks before
// it, and inside a block the same distance into the other side (its last line at most).
int MatchingLine(const QList<ChangeBlock>& blocks, int line, bool fromOriginal);

// The block that `line` of one side lies in or comes before; blocks.size() when none follows.
int BlockAtOrAfter(const QList<ChangeBlock>& blocks, int line, bool fromOriginal);
