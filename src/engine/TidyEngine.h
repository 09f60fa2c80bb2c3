#pragma once
// Runs HTML Tidy over one document with the current option set and collects its reports as
// message lines "Line %d, Column %d - %s: %s", each ended by CR LF.

#include <QByteArray>
#include <QString>
#include <QStringList>

// Tidies `document` (8-bit bytes, decoded by the input encoding) in place and fills
// `messages`. Answers false when the library could not process the document; option errors
// ("Invalid Input encoding", a wrap width that is no number) are thrown as KelvaneError
// before any parsing, leaving both texts unchanged.
bool RunTidy(QByteArray& document, QString& messages);

// The validation road: reads the file (file-open error when it cannot), runs RunTidy and
// drops the tidied text.
bool RunTidyOnFile(const QString& fileName, QString& messages);

// One message line, with the level word and the template translated.
QString FormatTidyMessage(int level, int line, int column, const QString& text);

// Whole-file helpers. ReadFileText raises the file-open error; WriteFileText replaces the file
// (through a temporary file renamed into place) and raises the file-creation error.
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
