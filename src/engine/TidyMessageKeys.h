#pragma once
// HTML Tidy's message keys ("MISSING_ENDTAG_FOR"): the stable name of each kind of report,
// the same in every language and in every build of the library. Reports carry them, mute
// lists name them and code-scanning rules are made from them.

#include <QByteArray>
#include <QList>
#include <QString>

// Whether `key` names a report message of the library: the messages of a document's markup
// that can be muted (the library's own dialogue, such as its summary lines, cannot).
bool IsReportMessageKey(QByteArrayView key);

// The keys of a mute list: separated by commas or white space, as the library's own "mute"
// option takes them; duplicates dropped, order kept. Raises KelvaneError naming the first key
// that is no report message of the library.
QList<QByteArray> ParseMuteList(const QString& text);
// The list in the form it is stored and passed on: the keys joined with ",".
QString JoinMuteList(const QList<QByteArray>& keys);

// A short description of the kind of message `key` names, made from the library's English
// text for it with its values left out ("missing </…> before …"); the key itself for a key the
// library does not know.
QString MessageKeyDescription(QByteArrayView key);
