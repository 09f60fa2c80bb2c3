#include "platform/gui/ShellOpen.h"

#include "platform/DesktopEntry.h"
#include "support/Prompts.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace {

bool StartDetached(QStringList command) {
    if (command.isEmpty() || command.first().isEmpty())
        return false;
    const QString program = command.takeFirst();
    return QProcess::startDetached(program, command);
}

} // namespace

bool OpenDocument(const QString& pathOrUrl) {
    const QUrl asUrl(pathOrUrl, QUrl::TolerantMode);
    // One-letter "schemes" would be drive letters; anything else without a scheme is a path.
    const bool isUrl = asUrl.isValid() && asUrl.scheme().size() > 1;
    const QUrl url = isUrl ? asUrl : QUrl::fromLocalFile(QFileInfo(pathOrUrl).absoluteFilePath());
    return QDesktopServices::openUrl(url);
}

bool EditDocument(const QString& path) {
    const QString visual = qEnvironmentVariable("VISUAL").trimmed();
    if (!visual.isEmpty()) {
        QStringList command = QProcess::splitCommand(visual);
        command << path;
        if (StartDetached(command))
            return true;
    }
    const QString editor = DefaultApplicationFor(QStringLiteral("text/plain"));
    if (!editor.isEmpty()) {
        const QString exec = DesktopEntryExec(editor);
        if (!exec.isEmpty() && StartDetached(DesktopExecCommand(exec, path)))
            return true;
    }
    return OpenDocument(path);
}

bool OpenWith(const QString& path) {
    const QString program = CurrentPrompts().ChooseProgram(path);
    if (program.isEmpty())
        return false;
    // A chosen application entry is run the way the desktop would run it.
    if (program.endsWith(QLatin1String(".desktop"))) {
        const QString exec = DesktopEntryExec(program);
        return !exec.isEmpty() && StartDetached(DesktopExecCommand(exec, path));
    }
    return StartDetached({program, path});
}
