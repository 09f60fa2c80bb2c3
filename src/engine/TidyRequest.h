#pragma once
// Plain data that crosses between the program and the place where HTML Tidy runs (in this
// process, or a helper process talking over pipes): resolved option values and document bytes
// go in, output bytes and raw reports come out. Translation and message formatting stay with
// the caller, so nothing here carries user-facing text.

#include <QByteArray>
#include <QList>
#include <tidy/tidyenum.h>

class QDataStream;

// One library option to set, chosen by its identifier. The setter is picked from the
// option's type when it is applied; a Text value always goes through the text setter (this
// is how encodings are set, by name).
struct TidyOptionStep {
    enum class Kind : quint8 { Number, Text };

    TidyOptionId option = TidyUnknownOption;
    Kind kind = Kind::Number;
    int number = 0;  // flags as 0/1, widths, sizes
    QByteArray text; // UTF-8

    static TidyOptionStep Flag(TidyOptionId option, bool on) {
        return {option, Kind::Number, on ? 1 : 0, {}};
    }
    static TidyOptionStep Number(TidyOptionId option, int value) {
        return {option, Kind::Number, value, {}};
    }
    static TidyOptionStep Text(TidyOptionId option, QByteArray value) {
        return {option, Kind::Text, 0, std::move(value)};
    }

    bool operator==(const TidyOptionStep&) const = default;
};

// The option steps of one run, in the order they are applied.
using ResolvedTidyOptions = QList<TidyOptionStep>;

struct TidyRequest {
    // ReportsOnly parses, cleans and repairs but writes no output: the reports are the same
    // (the library reports nothing while it writes), for about half the work. Validation uses
    // it; the result's output is then empty.
    // CheckOutput answers what Tidy would (its status and reports) without the output, and
    // writes the text only where the library's options leave its status in doubt; the result
    // cache checks a tidied text this way, so that a later run over it needs no run at all.
    enum class Mode : quint8 { Tidy, ReportsOnly, CheckOutput };

    ResolvedTidyOptions options;
    QByteArray document; // every byte, NUL bytes included
    Mode mode = Mode::Tidy;

    bool operator==(const TidyRequest&) const = default;
};

// One report as the library gave it: its TidyReportLevel value (TidyInfo ... TidyFatal, or a
// dialogue level), its position, its bare text (UTF-8) and its message key ("MISSING_ENDTAG_FOR";
// empty for a report the program made itself, such as a crashed helper's). A muted report is
// kept only so that it still counts, as the library's own counts keep muted messages: it is
// shown nowhere.
struct TidyReport {
    int level = 0;
    int line = 0;
    int column = 0;
    QByteArray text;
    QByteArray key{};
    bool muted = false;

    bool operator==(const TidyReport&) const = default;
};

enum class TidyRunStatus : quint8 {
    Completed, // output holds the tidied document (nothing for a ReportsOnly request)
    Failed,    // severe library failure, a refused option, or no output for a non-empty document
};

struct TidyResult {
    TidyRunStatus status = TidyRunStatus::Failed;
    QByteArray output;
    QList<TidyReport> reports; // collected also when the run failed

    bool operator==(const TidyResult&) const = default;
};

// Stream forms for a pipe protocol. A read that finds malformed data sets the stream's status
// (QDataStream::ReadCorruptData) instead of producing a half-filled value.
QDataStream& operator<<(QDataStream& out, const TidyOptionStep& step);
QDataStream& operator>>(QDataStream& in, TidyOptionStep& step);
QDataStream& operator<<(QDataStream& out, const TidyRequest& request);
QDataStream& operator>>(QDataStream& in, TidyRequest& request);
QDataStream& operator<<(QDataStream& out, const TidyReport& report);
QDataStream& operator>>(QDataStream& in, TidyReport& report);
QDataStream& operator<<(QDataStream& out, const TidyResult& result);
QDataStream& operator>>(QDataStream& in, TidyResult& result);
