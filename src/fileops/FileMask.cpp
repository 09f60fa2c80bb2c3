#include "fileops/FileMask.h"

#include "support/Errors.h"
#include "support/Translation.h"

#include <vector>

namespace {

struct MaskPart {
    enum Kind { Literal, AnyOne, AnyRun, Set } kind = Literal;
    QChar literal;                               // folded
    std::vector<std::pair<QChar, QChar>> ranges; // folded, inclusive
    bool negated = false;
};

QChar Fold(QChar c) {
    return c.toCaseFolded();
}

[[noreturn]] void InvalidMask(const QString& mask, qsizetype position) {
    throw KelvaneError(FillTemplate(Translate(QStringLiteral("'%s' is an invalid mask at (%d)")),
                                    {mask, QString::number(position)}));
}

std::vector<MaskPart> Parse(const QString& mask) {
    std::vector<MaskPart> parts;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar c = mask.at(i);
        MaskPart part;
        if (c == QLatin1Char('*')) {
            if (!parts.empty() && parts.back().kind == MaskPart::AnyRun)
                continue; // "**" is "*"
            part.kind = MaskPart::AnyRun;
        } else if (c == QLatin1Char('?')) {
            part.kind = MaskPart::AnyOne;
        } else if (c == QLatin1Char('[')) {
            part.kind = MaskPart::Set;
            qsizetype j = i + 1;
            if (j < mask.size() && mask.at(j) == QLatin1Char('!')) {
                part.negated = true;
                ++j;
            }
            bool closed = false;
            bool haveLast = false;
            for (; j < mask.size(); ++j) {
                const QChar s = mask.at(j);
                if (s == QLatin1Char(']')) {
                    closed = true;
                    break;
                }
                if (s == QLatin1Char('-') && j + 1 < mask.size() &&
                    mask.at(j + 1) != QLatin1Char(']')) {
                    if (!haveLast)
                        InvalidMask(mask, j + 1);
                    ++j;
                    part.ranges.back().second = Fold(mask.at(j));
                    haveLast = false; // "a-c-e" is not a chain
                    continue;
                }
                part.ranges.emplace_back(Fold(s), Fold(s));
                haveLast = true;
            }
            if (!closed)
                InvalidMask(mask, mask.size() + 1);
            i = j;
        } else {
            part.literal = Fold(c);
        }
        parts.push_back(std::move(part));
    }
    return parts;
}

bool MatchesOne(const MaskPart& part, QChar c) {
    switch (part.kind) {
    case MaskPart::Literal:
        return part.literal == c;
    case MaskPart::AnyOne:
        return true;
    case MaskPart::Set: {
        bool inSet = false;
        for (const auto& [low, high] : part.ranges)
            if (c >= low && c <= high) {
                inSet = true;
                break;
            }
        return inSet != part.negated;
    }
    case MaskPart::AnyRun:
        break;
    }
    return false;
}

} // namespace

QStringList MaskList(const QString& filter) {
    QStringList masks = filter.split(QLatin1Char(';'));
    if (!masks.isEmpty() && filter.endsWith(QLatin1Char(';')))
        masks.removeLast();
    if (filter.isEmpty())
        masks.clear();
    return masks;
}

bool MatchesMask(const QString& fileName, const QString& mask) {
    const std::vector<MaskPart> parts = Parse(mask);
    if (mask.isEmpty())
        return false;
    // Greedy match with one back-tracking point: the last '*' seen.
    std::size_t p = 0;
    qsizetype n = 0;
    std::size_t starPart = parts.size();
    qsizetype starName = 0;
    while (n < fileName.size()) {
        const QChar c = Fold(fileName.at(n));
        if (p < parts.size() && parts[p].kind == MaskPart::AnyRun) {
            starPart = p++;
            starName = n;
        } else if (p < parts.size() && MatchesOne(parts[p], c)) {
            ++p;
            ++n;
        } else if (starPart < parts.size()) {
            p = starPart + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < parts.size() && parts[p].kind == MaskPart::AnyRun)
        ++p;
    return p == parts.size();
}

bool MatchesAnyMask(const QString& fileName, const QStringList& masks) {
    for (const QString& mask : masks)
        if (MatchesMask(fileName, mask))
            return true;
    return false;
}
