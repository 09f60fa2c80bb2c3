#pragma once
// Runs HTML Tidy over one document with the current option set and collects its reports as
// message lines "Line %d, Column %d - %s: %s", each ended by CR LF.

#include "engine/TidyRequest.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Tidies `document` (8-bit bytes, every one of them, decoded by the input encoding) with the
// current option set and fills `messages` with one line per library report that is not muted.
// Answers false when the library could not process the document (a severe failure, or no
// output for a non-empty document): `document` is then left as it was and `messages` holds
// the reports collected up to the failure. An empty document answers true with whatever the
// library writes for it. Option errors ("Invalid Input encoding", a wrap width that is no
// number) are thrown as KelvaneError before any parsing, leaving both texts unchanged.
bool RunTidy(QByteArray& document, QString& messages);

// The validation road: reads the file (file-open error when it cannot) and collects the
// messages RunTidy would give for it, without writing a tidied text. Answers false only for a
// severe failure of the library.
bool RunTidyOnFile(const QString& fileName, QString& messages);

// Which reports a message text lists, and how.
enum class MessageLines {
    Shown,         // every report that is not muted
    ShownWithKeys, // the same, each line ended by " [KEY]" where the report has a key
    Counted,       // every report, muted ones included: what limits on messages count
};

// The lines of FormatTidyMessage for the reports `which` takes, each followed by CR LF.
QString FormatTidyMessages(const QList<TidyReport>& reports, MessageLines which);

// One message line, with the level word and the template translated. `level` is the library's
// TidyReportLevel value; levels other than TidyInfo ... TidyFatal get an empty word.
QString FormatTidyMessage(int level, int line, int column, const QString& text);

// Whole-file helpers. ReadFileText raises the file-open error, also for a folder, a FIFO, a
// device or anything else that is not a regular file (refused before any byte is read, so it
// never blocks). WriteFileText raises the file-creation error; it replaces the file through a
// synced temporary file renamed into place, so that a failure leaves the old file exactly as
// it was and no temporary behind. Only where that is impossible (other hard links, a folder
// that takes no new file, a FIFO or character device) does it write in place; a failure part-
// way through then puts the old content back when the file could be read, and otherwise
// leaves the file partly written, which is why the batch run makes its backup first. A read-
// only target (owner's write bit clear) is refused unchanged. platform/FileWriting.h has the
// details.
QByteArray ReadFileText(const QString& path);
void WriteFileText(const QString& path, const QByteArray& bytes);

// A per-file message page's content: the file, a heading and the message lines.
class TTidyErrors {
public:
    explicit TTidyErrors(QString fileName) : FileName(std::move(fileName)) {}
    virtual ~TTidyErrors() = default;
    QString FileName;
    QStringList Messages;
    QString Heading;
};

// The run-summary page that the main window keeps first.
class TKelvaneMessages : public TTidyErrors {
public:
    using TTidyErrors::TTidyErrors;
};
