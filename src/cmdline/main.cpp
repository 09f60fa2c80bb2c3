// The program's entry: parse the command line, create the windows hidden, translate them once,
// then run either the one command-line job or the interactive main window.

#include "cmdline/CommandLine.h"
#include "support/HeadlessPrompts.h"
#include "cmdline/gui/CommandLineJobs.h"
#include "engine/TidyProcessPool.h"
#include "engine/gui/TFormTidyProperties.h"
#include "mainwindow/gui/TFormKelvane.h"
#include "platform/ProgramFiles.h"
#include "support/ApplicationTitle.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"
#include "support/gui/QtPrompts.h"
#include "support/gui/TFormDownload.h"
#include "support/gui/TFormKelvaneOptions.h"
#include "support/gui/TranslateComponents.h"

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <memory>

namespace {

// The argument vector as the one command-line text that the grammar reads.
QString CommandLineText(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return JoinCommandLine(arguments);
}

// True when dialogs can be shown to someone: a display is there and Qt draws on it.
bool CanShowDialogs() {
    const QString platform = QGuiApplication::platformName();
    return HasDisplay() && platform != QLatin1String("offscreen") &&
           platform != QLatin1String("minimal");
}

// Everything after the application object exists. Answers the process exit status.
int Run(const QString& commandLine) {
    HeadlessPrompts headless;
    std::unique_ptr<QtPrompts> dialogs;
    if (CanShowDialogs()) {
        dialogs = std::make_unique<QtPrompts>();
        SetPrompts(dialogs.get());
    } else {
        SetPrompts(&headless);
    }
    struct RestorePrompts {
        ~RestorePrompts() { SetPrompts(nullptr); }
    } restorePrompts;

    ParsedCommandLine parsed;
    try {
        parsed = ParseCommandLine(commandLine);
    } catch (const KelvaneError& error) {
        // A third name: nothing is created and nothing runs.
        CurrentPrompts().Message(error.message(), DialogKind::Error, Button::Ok);
        return 1;
    }

    // Every window is created once, hidden, in this order: main window, progress window,
    // folder-scanning window, preferences dialog, tidy options dialog, download window. Each
    // writes its own part of the settings file when it is destroyed at the end of this
    // function; the options dialog loads the stored option set as it is built, so a validate
    // job runs with the user's options.
    auto formKelvane = std::make_unique<TFormKelvane>();
    RegisterStartupWindow(formKelvane.get());
    auto formKelvaneOptions = std::make_unique<TFormKelvaneOptions>(formKelvane.get());
    RegisterStartupWindow(formKelvaneOptions.get());
    auto formTidyProperties = std::make_unique<TFormTidyProperties>();
    RegisterStartupWindow(formTidyProperties.get());
    auto formDownload = std::make_unique<TFormDownload>();
    SetFormDownload(formDownload.get());
    RegisterStartupWindow(formDownload.get());

    TranslateAll();

    int exitCode = 0;
    if (parsed.interactive()) {
        if (!CanShowDialogs()) {
            std::fprintf(stderr, "%s\n",
                         Translate(QStringLiteral("Kelvane needs a display to show its main "
                                                  "window; run a job with -t or -v."))
                             .toUtf8()
                             .constData());
            return -1;
        }
        formKelvane->PendingPath = parsed.InputName;
        formKelvane->show();
        exitCode = QApplication::exec();
    } else {
        // The options dialog is the job's only window: it carries the program's menu.
        formTidyProperties->setMenuVisible(true);
        exitCode = RunCommandLineJob(parsed) ? 0 : -1;
    }
    return exitCode;
}

} // namespace

int main(int argc, char** argv) {
    // Without a display, jobs that need no dialog still run: Qt draws nowhere.
    if (!HasDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Taken before Qt removes the options it knows from argv.
    const QString commandLine = CommandLineText(argc, argv);

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(kApplicationTitle);
    QGuiApplication::setApplicationDisplayName(kApplicationTitle);

    try {
        LoadLanguageFile(platform::LanguageFileFolder());
        // HTML Tidy runs in helper processes beside the program: a page that crashes the
        // library costs that page, never the program.
        InstallTidyProcessPool();
        return Run(commandLine);
    } catch (const std::exception& error) {
        // The last resort: say what went wrong rather than vanish.
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
