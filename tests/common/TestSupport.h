#pragma once
// Small helpers shared by the tests: fixture paths and whole-file reads and writes.

#include <QByteArray>
#include <QString>
#include <ostream>

QString TestDataPath(const QString& relative); // tests/data/<relative>
QString ExamplesPath(const QString& relative); // examples/<relative>
QString BinPath(const QString& program);       // build/bin/<program>

QByteArray ReadAll(const QString& path); // fails the test when unreadable
void WriteAll(const QString& path, const QByteArray& bytes);
void SetReadOnly(const QString& path, bool readOnly); // owner's write bit
// Writes `content` as <folder>/lang.txt and loads it into the translation table.
void LoadLanguageText(const QString& folder, const QByteArray& content);

// Readable QString values in failed comparisons.
void PrintTo(const QString& text, std::ostream* out);
