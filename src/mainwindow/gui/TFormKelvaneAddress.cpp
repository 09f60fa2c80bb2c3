// The main window's address bar: the "Go" action and the web-page road.
#include "mainwindow/gui/TFormKelvane.h"

#include "cmdline/FileSaveDialog.h"
#include "cmdline/gui/CommandLineJobs.h"
#include "engine/TidyEngine.h"
#include "mainwindow/gui/TIEAddress.h"
#include "platform/FileFunctions.h"
#include "platform/FileNames.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"
#include "support/WebAddress.h"
#include "support/gui/DisplayText.h"

#include <QUrl>

namespace {

// A "file://" address names a local path, its bytes percent-encoded.
QString LocalPathOf(const QString& text) {
    if (!text.startsWith(QLatin1String("file://"), Qt::CaseInsensitive))
        return text;
    const QUrl url(text);
    if (!url.isValid() || !url.isLocalFile())
        return text;
    return platform::DecodeFileName(
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

// The last line of the engine's messages: the reason when it could not tidy a document.
QString LastMessageLine(const QString& messages) {
    const QStringList lines = messages.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

} // namespace

QComboBox* TFormKelvane::addressBox() const {
    return cbAddress;
}

void TFormKelvane::GoClick() {
    const QString text = cbAddress->Text();
    if (IsWebAddress(text)) {
        TidyWebPage(text);
        return;
    }
    // A name may end in a blank; a pasted path often ends in a stray one. A name whose odd
    // bytes the window shows escaped is found by what it shows.
    QString path = LocalPathOf(text);
    auto exists = [](const QString& candidate) {
        return platform::FileExists(candidate) || platform::FolderExists(candidate);
    };
    for (const QString& candidate :
         {path.trimmed(), FromDisplayText(path), FromDisplayText(path.trimmed())})
        if (!exists(path) && exists(candidate))
            path = candidate;
    LocatePath(path);
}

void TFormKelvane::TidyWebPage(const QString& address) {
    RunGuarded([&] {
        QString source = address;
        // Removed once read, and on every road out of here.
        DownloadedCopy copy = DownloadWebPage(source);
        QByteArray page = ReadFileText(source);
        if (!CurrentPrompts().EditTidyOptions(
                source,
                Translate(QStringLiteral("Tidy Options"), QStringLiteral("TFormTidyProperties"))))
            throw SilentAbort();
        copy.remove();

        QString messages;
        if (!RunTidy(page, messages))
            throw KelvaneError(
                FillTemplate(Translate(QStringLiteral(
                                 "The web page %s could not be tidied; nothing was saved.")),
                             {address}) +
                QStringLiteral("\r\n\r\n") + LastMessageLine(messages));

        const QString target = FileSaveDialog(
            Translate(QStringLiteral("HTML Documents|*.html;*.htm")), QStringLiteral("html"));
        if (target.isEmpty())
            throw SilentAbort();
        WriteFileText(target, page);
    });
}
