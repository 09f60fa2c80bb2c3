#pragma once
// File-name masks of the file-type filter ("*.htm;*.html;*.asp;*.php").

#include <QString>
#include <QStringList>

// The filter's masks: split at every ';', entries not trimmed (a blank after ';' belongs to
// the next mask), an empty entry kept (it matches nothing), a ';' at the very end adds none.
QStringList MaskList(const QString& filter);

// Whether `mask` covers the whole of `fileName` (a name, never a path). Letters match without
// regard to case; '*' any run, '?' one character, "[a-z]" / "[!abc]" one character of a set.
// A malformed mask throws KelvaneError("'%s' is an invalid mask at (%d)"), 1-based position.
bool MatchesMask(const QString& fileName, const QString& mask);

// The first mask of `masks` that matches decides; false when none does. Throws as MatchesMask.
bool MatchesAnyMask(const QString& fileName, const QStringList& masks);
