#pragma once
// The paths of --files-from: read from a file or standard input one at a time, separated by
// line breaks or (with -0) NUL bytes, so that `find -print0 | kelvane-batch --files-from - -0`
// holds only a small piece of the stream at any time, whatever its length.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

class PathList {
public:
    using Problem = std::function<void(const QString& text)>;

    // Opens `name` ("-": standard input) without waiting: a FIFO's writer is waited for by
    // Next(). Throws KelvaneError when it cannot be opened. `problem` hears of a read error or
    // an entry too long to be a path; `wakeFd`, when readable, ends any wait for input (an
    // interrupt).
    PathList(const QString& name, bool nullSeparated, Problem problem, int wakeFd = -1);
    ~PathList();
    PathList(const PathList&) = delete;
    PathList& operator=(const PathList&) = delete;

    // The next entry (empty entries are skipped); nothing at the end of the input, after a
    // read error or once `wakeFd` became readable.
    std::optional<QString> Next();
    // Whether Next() answers at once: an entry is buffered, or the input has something to read
    // (or has ended).
    bool Ready() const;

    // Entries longer than this are no paths: they are reported and passed over.
    static constexpr qsizetype kMaxEntry = 64 * 1024;

private:
    bool Fill();
    void ReportOverlong() const;

    QString m_name;
    int m_fd = -1;
    bool m_ownFd = false;
    char m_separator;
    Problem m_problem;
    int m_wakeFd;
    QByteArray m_buffer;
    qsizetype m_start = 0;
    bool m_atEnd = false;
    bool m_skipping = false; // inside an over-long entry
};
