#pragma once
// The jobs that a command line runs on one document: tidy it through the options dialog and
// save the result, or validate it into a plain-text or HTML report. Each answers yes or no;
// at start-up that answer becomes the exit status, for a forwarded command line the reply.

#include "cmdline/CommandLine.h"
#include "support/WebTransfer.h"

#include <QString>

// Checks the input and output, runs the job of `mode` and answers whether it succeeded. A
// silent abort (missing input, read-only output, a cancelled dialog) answers no without a
// word; any other error is shown in an error box and answers no.
bool RunCommandLineJob(quint8 flags, CommandLineMode mode, const QString& inputName,
                       const QString& outputName);
inline bool RunCommandLineJob(const ParsedCommandLine& commandLine) {
    return RunCommandLineJob(commandLine.Flags, commandLine.Mode, commandLine.InputName,
                             commandLine.OutputName);
}

// Downloads a web address first, shows the tidy options dialog on the document, tidies it and
// writes the result to the output name or to a file chosen in the save dialog. Throws.
bool TidyJob(const QString& inputName, const QString& outputName, CommandLineMode mode,
             quint8 flags);

// Downloads a web address first, runs the engine with the stored options and writes its
// messages to the output name or to a file chosen in the save dialog, as HTML when the mode
// asks for it or the chosen name ends in ".html". Throws.
bool ValidateJob(const QString& inputName, const QString& outputName, CommandLineMode mode,
                 quint8 flags);

// Fetches the web address `source` in the download window under "Downloading Web Page..." and
// makes `source` the downloaded copy's path; the copy is removed when the answer goes, so a
// caller removes it as soon as it has read it. A name that is already a local file stays as it
// is, and is never removed. Cancel throws SilentAbort; a failed download throws KelvaneError
// with "Unable to download the web page ..." and the address.
DownloadedCopy DownloadWebPage(QString& source);

// The options dialog's caption for a job on `inputName`: the name, " - ", the dialog's own
// (translated) caption.
QString JobOptionsCaption(const QString& inputName);
