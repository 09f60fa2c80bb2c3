#include "cmdline/gui/CommandLineJobs.h"

#include "cmdline/FileSaveDialog.h"
#include "cmdline/TextToHtml.h"
#include "engine/TidyEngine.h"
#include "platform/FileFunctions.h"
#include "platform/FileNames.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"
#include "support/WebTransfer.h"
#include "support/gui/TFormDownload.h"

#include <cstdio>
#include <memory>

namespace {

// Silent reasons: carried for debugging, never shown.
const QString kCancelledByUser = QStringLiteral("Operation cancelled by user");

// Writing a report or tidied page over its own input would lose the page: refused, whatever
// the spelling, link or hard link that leads there.
void RefuseInputAsOutput(const QString& inputName, const QString& target) {
    if (platform::SameFile(inputName, target))
        throw KelvaneError(FillTemplate(
            Translate(QStringLiteral("The output file %s is the input file; nothing was written.")),
            {platform::DisplayFileName(target)}));
}

} // namespace

DownloadedCopy DownloadWebPage(QString& source) {
    std::unique_ptr<TFormDownload> ownWindow;
    TFormDownload* window = FormDownload();
    if (!window) {
        ownWindow = std::make_unique<TFormDownload>();
        window = ownWindow.get();
    }
    const QString address = source;
    if (window->DownloadUrl(Translate(QStringLiteral("Downloading Web Page...")), source))
        return source != address ? DownloadedCopy(source) : DownloadedCopy(); // a local file
    if (window->lastResult() == mrCancel)
        throw SilentAbort(kCancelledByUser);
    // The message names the address only; why it failed (a page over the size limit, a server
    // that stalled) goes to standard error for the terminal or log that started the job.
    if (!window->lastError().isEmpty())
        std::fprintf(stderr, "%s\n", window->lastError().toUtf8().constData());
    throw KelvaneError(FillTemplate(
        Translate(QStringLiteral(
            "Unable to download the web page\r\n\r\n%s\r\n\r\nThe web page may not exist.")),
        {address}));
}

QString JobOptionsCaption(const QString& inputName) {
    return platform::DisplayFileName(inputName) + QStringLiteral(" - ") +
           Translate(QStringLiteral("Tidy Options"), QStringLiteral("TFormTidyProperties"));
}

bool TidyJob(const QString& inputName, const QString& outputName, CommandLineMode, quint8 flags) {
    QString source = inputName;
    DownloadedCopy copy;
    if (flags & clfWebAddress)
        copy = DownloadWebPage(source);

    QByteArray document = ReadFileText(source);
    if (!CurrentPrompts().EditTidyOptions(source, JobOptionsCaption(inputName)))
        throw SilentAbort(kCancelledByUser);
    copy.remove(); // read by now, also by the dialog's preview

    QString messages;
    if (!RunTidy(document, messages))
        return false;

    QString target = outputName;
    if (target.isEmpty()) {
        target = FileSaveDialog(Translate(QStringLiteral("HTML Documents|*.html;*.htm")),
                                QStringLiteral("html"));
        if (target.isEmpty())
            throw SilentAbort(kCancelledByUser);
    }
    // WriteFileText never leaves the target half-written, and refuses a read-only one.
    RefuseInputAsOutput(inputName, target);
    WriteFileText(target, document);
    return true;
}

bool ValidateJob(const QString& inputName, const QString& outputName, CommandLineMode mode,
                 quint8 flags) {
    QString source = inputName;
    DownloadedCopy copy;
    if (flags & clfWebAddress)
        copy = DownloadWebPage(source);

    QString messages;
    RunTidyOnFile(source, messages); // the report is wanted whatever the engine made of it
    copy.remove();

    bool html = mode.HtmlReport == 1;
    QString target = outputName;
    if (target.isEmpty()) {
        target = FileSaveDialog(
            Translate(QStringLiteral("Text Files (*.txt)|*.txt|HTML Files (*.html)|*.html")),
            QStringLiteral("txt"));
        if (target.isEmpty())
            throw SilentAbort(kCancelledByUser);
        if (FileExtension(target) == QLatin1String(".html"))
            html = true;
    }
    if (html)
        messages = TextToHtml(messages);
    RefuseInputAsOutput(inputName, target);
    WriteFileText(target, messages.toUtf8());
    return true;
}

bool RunCommandLineJob(quint8 flags, CommandLineMode mode, const QString& inputName,
                       const QString& outputName) {
    try {
        if (!(flags & clfWebAddress) && !platform::FileExists(inputName))
            throw SilentAbort(FillTemplate(QStringLiteral("File '%s' not found"), {inputName}));
        if (!outputName.isEmpty() && platform::FileExists(outputName) &&
            platform::IsReadOnly(outputName))
            throw SilentAbort(FillTemplate(QStringLiteral("File %s is read only"), {outputName}));
        if (!outputName.isEmpty())
            RefuseInputAsOutput(inputName, outputName);

        switch (mode.JobKind) {
        case jkValidate:
            return ValidateJob(inputName, outputName, mode, flags);
        case jkTidy:
            return TidyJob(inputName, outputName, mode, flags);
        default:
            return false;
        }
    } catch (const SilentAbort& abort) {
        // No message box, but a caller in a terminal or script still learns why nothing was
        // done; a cancel was the user's own doing.
        if (!abort.message().isEmpty() && abort.message() != kCancelledByUser)
            std::fprintf(stderr, "%s\n", abort.message().toUtf8().constData());
        return false;
    } catch (const std::exception& error) {
        CurrentPrompts().Message(ErrorMessage(error), DialogKind::Error, Button::Ok);
        return false;
    }
}
