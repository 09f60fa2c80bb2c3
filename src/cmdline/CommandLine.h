#pragma once
// The command-line grammar: switches t, v, h, X and up to two names. The same parser reads the
// program's own command line at start-up and the command lines that other processes forward.

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Bits of CommandLineFlags.
enum : quint8 {
    clfInteractive = 2, // open the main window instead of running a job
    clfWebAddress = 4,  // the input is a web address
};

// Byte 0 of CommandLineMode.
enum : quint8 {
    jkNone = 0,
    jkTidy = 1,     // switch t
    jkValidate = 2, // switch v
};

struct CommandLineMode {
    quint8 JobKind = jkNone;
    quint8 HtmlReport = 0; // switch h; read by the validate job only
};

struct ParsedCommandLine {
    quint8 Flags = 0; // CommandLineFlags
    CommandLineMode Mode;
    QString InputName;
    QString OutputName;

    bool interactive() const { return Flags & clfInteractive; }
    bool webAddress() const { return Flags & clfWebAddress; }
};

// Splits a whole command line into tokens: blanks and control characters (1 to 32) separate
// them; a token that opens with a double quote runs to its closing quote, with two quotes in a
// row standing for one, and text glued after the closing quote starts the next token. A quote
// that is never closed takes the rest of the text. A NUL character ends the text.
QStringList TokenizeCommandLine(const QString& commandLine);

// The inverse for an argument vector: quotes every argument that the tokeniser would not give
// back unchanged, so that TokenizeCommandLine(JoinCommandLine(args)) == args.
QString JoinCommandLine(const QStringList& arguments);

// Parses a whole command line, program path first. Blanks and control characters around a
// token are ignored when testing it for a switch; names keep them. Throws SilentAbort carrying
// the translated "Too many files specified (%s)" when a third name follows the input and output
// names.
// An empty argument ("") is never taken for a switch; it takes the place of a name, so the
// names that follow it keep their positions.
ParsedCommandLine ParseCommandLine(const QString& commandLine);
