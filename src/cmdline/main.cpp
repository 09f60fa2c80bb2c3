// The program's entry: parse the command line, create the windows hidden, translate them once,
// then run either the one command-line job or the interactive main window.

#include "cmdline/CommandLine.h"
#include "cmdline/InformationSwitches.h"
#include "cmdline/gui/CommandLineJobs.h"
#include "engine/TidyProcessPool.h"
#include "engine/TidyResultCache.h"
#include "engine/gui/TFormTidyProperties.h"
#include "fileops/gui/TFormFileList.h"
#include "fileops/gui/TFormFileProgress.h"
#include "mainwindow/gui/TFormKelvane.h"
#include "platform/DisplayConnection.h"
#include "platform/FileNames.h"
#include "platform/ProgramFiles.h"
#include "support/ApplicationTitle.h"
#include "support/Errors.h"
#include "support/HeadlessPrompts.h"
#include "support/Prompts.h"
#include "support/Translation.h"
#include "support/gui/QtPrompts.h"
#include "support/gui/TFormDownload.h"
#include "support/gui/TFormKelvaneOptions.h"
#include "support/gui/TranslateComponents.h"

#include <QApplication>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {

QtMessageHandler g_qtMessages = nullptr;

// Qt warns on every start where no runtime folder is set (a server, a container, CI); the
// program has its own fallback for the one folder it needs, so the line would only be noise
// before the real output.
void QuietRuntimeFolderWarning(QtMsgType type, const QMessageLogContext& context,
                               const QString& message) {
    if (type == QtWarningMsg &&
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (g_qtMessages != nullptr)
        g_qtMessages(type, context, message);
}

// The argument vector as the one command-line text that the grammar reads. Names are bytes:
// those that are not UTF-8 are kept, so that they can be opened again.
QString CommandLineText(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(platform::DecodeFileName(argv[i]));
    return JoinCommandLine(arguments);
}

// Qt aborts the process when the display it picks cannot be opened. So the platform is chosen
// before the application object exists, from the displays that accepted a connection, with
// offscreen last: a job that needs no dialog then runs as without a display.
class QtPlatformChoice {
public:
    QtPlatformChoice()
        : m_wasSet(qEnvironmentVariableIsSet(kVariable)), m_previous(qgetenv(kVariable)) {
        const platform::DisplayProbe probe = platform::ProbeDisplays();
        m_unreachableDisplay = probe.unreachable;
        qputenv(kVariable,
                platform::QtPlatformList(probe, m_previous, platform::HasQtWaylandPlugin()));
    }
    // Qt reads the choice once, while the application object is built; programs started later
    // (an editor, a browser, perhaps built with an older Qt) see the user's own setting.
    void restoreEnvironment() const {
        if (m_wasSet)
            qputenv(kVariable, m_previous);
        else
            qunsetenv(kVariable);
    }
    // The display settings that were set but led nowhere ("DISPLAY=:99").
    const QString& unreachableDisplay() const { return m_unreachableDisplay; }

private:
    static constexpr const char* kVariable = "QT_QPA_PLATFORM";
    bool m_wasSet;
    QByteArray m_previous;
    QString m_unreachableDisplay;
};

// True when dialogs can be shown to someone: Qt draws on a real display.
bool CanShowDialogs() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// The answerer of the whole run: real dialogs on a display, standard error without one.
class StartupPrompts {
public:
    explicit StartupPrompts(const QString& unreachableDisplay)
        : m_headless(stderr, unreachableDisplay) {
        if (CanShowDialogs()) {
            m_dialogs = std::make_unique<QtPrompts>();
            SetPrompts(m_dialogs.get());
        } else {
            SetPrompts(&m_headless);
        }
    }
    ~StartupPrompts() { SetPrompts(nullptr); }
    StartupPrompts(const StartupPrompts&) = delete;
    StartupPrompts& operator=(const StartupPrompts&) = delete;

private:
    HeadlessPrompts m_headless;
    std::unique_ptr<QtPrompts> m_dialogs;
};

void SayOnStandardError(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

// Everything after the application object exists. Answers the process exit status.
int Run(const QString& commandLine) {
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
    auto formFileProgress = std::make_unique<TFormFileProgress>();
    SetFormFileProgress(formFileProgress.get());
    RegisterStartupWindow(formFileProgress.get());
    auto formFileList = std::make_unique<TFormFileList>();
    SetFormFileList(formFileList.get());
    RegisterStartupWindow(formFileList.get());
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
            SayOnStandardError(Translate(QStringLiteral(
                "Kelvane needs a display to show its main window; run a job with -t or -v.")));
            return -1;
        }
        formKelvane->PendingPath = parsed.InputName;
        // Other programs can hand this window command lines (kelvane-send) while it runs.
        formKelvane->ServeCommandRecords();
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
    // Answered before a display is looked for: they must work without one.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(platform::DecodeFileName(argv[i]));
    const InformationRequest information = FindInformationRequest(arguments);
    if (information != InformationRequest::None) {
        const QString text = information == InformationRequest::Help
                                 ? KelvaneUsage()
                                 : QStringLiteral("kelvane " KELVANE_VERSION "\n");
        std::fputs(text.toUtf8().constData(), stdout);
        // A text that could not be written (a full disk) is a failed job.
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : -1;
    }

    // Taken before Qt removes the options it knows from argv.
    const QString commandLine = CommandLineText(argc, argv);
    const QtPlatformChoice platformChoice;
    // A report sent to a pipe whose reader went away ends with an error, not a killed process.
    std::signal(SIGPIPE, SIG_IGN);
    g_qtMessages = qInstallMessageHandler(QuietRuntimeFolderWarning);

    QApplication app(argc, argv);
    platformChoice.restoreEnvironment();
    platform::ReleaseDisplayProbe(); // Qt has its own connection now
    // No display name: Qt would append it to every dialog's caption.
    QCoreApplication::setApplicationName(kApplicationTitle);

    StartupPrompts prompts(platformChoice.unreachableDisplay());
    try {
        // A broken language file costs its broken lines, never the run.
        for (const QString& problem : LoadLanguageFile(platform::LanguageFileFolder()))
            SayOnStandardError(problem);
        // HTML Tidy runs in helper processes beside the program: a page that crashes the
        // library costs that page, never the program.
        InstallTidyProcessPool();
        // Validate and Tidy reuse what HTML Tidy answered before for pages that did not
        // change (the cache kelvane-batch keeps too).
        InstallTidyResultCache(SayOnStandardError);
        return Run(commandLine);
    } catch (const std::exception& error) {
        // Any other start-up failure is said where the user looks, and fails the run.
        CurrentPrompts().Message(ErrorMessage(error), DialogKind::Error, Button::Ok);
        return -1;
    }
}
