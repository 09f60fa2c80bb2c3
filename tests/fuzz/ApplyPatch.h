#pragma once
// A strict reader and applier of a one-file unified diff, as `patch` reads one: every context
// and removed line must be where the hunk says, and the line counts must agree. Used to check
// that a diff the program prints gives, applied, exactly the text it was made from.

#include <QByteArray>
#include <QString>
#include <optional>

struct PatchedFile {
    QByteArray oldName; // from "--- ", unquoted
    QByteArray newName; // from "+++ ", unquoted
    QByteArray text;    // `before` with every hunk applied
};

// Nothing, with the reason in `error`, when `diff` is malformed or does not apply to `before`.
std::optional<PatchedFile> ApplyUnifiedDiff(const QByteArray& before, const QByteArray& diff,
                                            QString& error);
