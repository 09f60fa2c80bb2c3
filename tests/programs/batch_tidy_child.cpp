// Runs one batch tidy over every *.html file under a folder, as the program does (helpers of
// the process pool, backups, rewrites), answering every question with Yes. For the tests that
// kill a run at random moments or run it on a full disk.
//   batch_tidy_child <folder>
// Prints each message line of the run, then "tidied N of M". Exit status 0 when every file was
// tidied, 1 when a file was not or the run ended by an error, 2 for a usage error.

#include "engine/TidyProcessPool.h"
#include "fileops/BatchCommands.h"
#include "fileops/FolderScan.h"
#include "support/Prompts.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

void Print(const QString& text) {
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

class YesPrompts final : public Prompts {
public:
    int Message(const QString& text, DialogKind, Buttons buttons) override {
        Print(text);
        return buttons.testFlag(Button::Yes) ? mrYes : mrOk;
    }
    int MessageWithCheckBox(const QString& text, DialogKind kind, Buttons buttons, const QString&,
                            bool& ticked) override {
        ticked = false;
        return Message(text, kind, buttons);
    }
    QString SaveFileName(const SaveFileRequest&) override { return {}; }
    QString ChooseProgram(const QString&) override { return {}; }
    bool EditTidyOptions(const QString&, const QString&) override { return true; }
};

class PrintingView final : public ProgressView {
public:
    void RunModal(const QString&, const std::function<void()>& process) override { process(); }
    void ShowItem(qsizetype, qsizetype, const QString&) override {}
    void MessageAdded(const ProgressMessage& message) override { Print(message.text); }
    void LetEventsRun() override {}
    void Reset() override {}
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: batch_tidy_child <folder>\n");
        return 2;
    }
    YesPrompts prompts;
    SetPrompts(&prompts);
    InstallTidyProcessPool();

    QStringList paths;
    PlainFolderScanner().ScanFolder(QString::fromLocal8Bit(argv[1]), QStringLiteral("*.html"),
                                    paths);
    PrintingView view;
    FileProgressRun progress(view);
    BatchEnvironment environment;
    environment.progress = &progress;
    BatchCommands commands(environment);
    ListWorkItems items(paths);
    commands.RunTidyBatch(items);
    Print(QStringLiteral("tidied %1 of %2").arg(commands.SuccessCount()).arg(paths.size()));
    SetPrompts(nullptr);
    return !commands.RunFailed() && commands.SuccessCount() == paths.size() ? 0 : 1;
}
