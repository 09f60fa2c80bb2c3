#pragma once
// Baselines: the JSON report of an earlier run (share/schema/kelvane-batch-report.schema.json)
// as the list of messages a site already had, so that a legacy site can adopt the tool and fail
// only on what is new. A message is matched by its file, its message key and its text, not by
// its place, so that an edit above it does not make it new; occurrences are counted, so a page
// with three such messages in the baseline and four now has one new.

#include "batch/Report.h"

#include <QHash>
#include <QString>
#include <cstdio>
#include <vector>

class Baseline {
public:
    // Reads the report at `path`. Throws UsageError for a file that cannot be read or is not a
    // kelvane-batch JSON report.
    static Baseline Load(const QString& path);

    // For each of `reports` of the file `path`: whether the baseline holds it. Each message of
    // the baseline matches once, so what is left over of a kind is new. Muted reports, which
    // no report lists, never match.
    std::vector<bool> Match(const QString& path, const QList<TidyReport>& reports);

    qint64 MessageCount() const { return m_count; }

private:
    // Paths as the file system has them, "./" in front dropped.
    static QByteArray PathKey(QByteArray bytes);
    static QByteArray MessageKey(QByteArrayView rule, QByteArrayView text);

    QHash<QByteArray, QHash<QByteArray, int>> m_files;
    qint64 m_count = 0;
};

// The file that --write-baseline names, written beside its final place and put there in one
// step once the run's report is complete: a run that fails or is stopped leaves the old one.
class BaselineFile {
public:
    BaselineFile() = default;
    ~BaselineFile(); // removes what was not committed
    BaselineFile(const BaselineFile&) = delete;
    BaselineFile& operator=(const BaselineFile&) = delete;

    // Creates the temporary. Throws UsageError when the folder takes no file.
    void Open(const QString& path);
    std::FILE* Stream() const { return m_stream; }
    // Flushes it to disk and gives it its name; false (with `error` set) when that fails.
    bool Commit(QString& error);

private:
    void Drop();

    QString m_path;
    QByteArray m_temporary;
    std::FILE* m_stream = nullptr;
};
