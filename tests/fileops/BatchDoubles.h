#pragma once
// Stand-ins for what surrounds the batch runs in the program: the progress view, the error
// pane, the file list and tree, the scanning window, and an observer of every file.

#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "engine/TidyEngine.h"
#include "engine/TidyRunner.h"
#include "fileops/BatchCommands.h"
#include "fileops/FileMask.h"
#include "fileops/FolderScan.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// Runs the loop at once and remembers what the window would have shown.
class RecordingProgressView final : public ProgressView {
public:
    void RunModal(const QString& caption, const std::function<void()>& process) override {
        captions << caption;
        process();
    }
    void ShowItem(qsizetype, qsizetype, const QString& caption) override { shown << caption; }
    void MessageAdded(const ProgressMessage& message) override {
        lines << message.text;
        marks << message.mark;
    }
    void LetEventsRun() override {
        if (betweenItems)
            betweenItems();
    }
    void Reset() override { ++resets; }

    QStringList captions, shown, lines;
    QList<MessageMark> marks;
    std::function<void()> betweenItems;
    int resets = 0;
};

// The error pane as a list of pages; the summary page, when there is one, is page 0.
class FakeErrorPages final : public ErrorPages {
public:
    int FindErrorPage(const QString& path) const override {
        for (size_t i = 0; i < pages.size(); ++i)
            if (!dynamic_cast<TKelvaneMessages*>(pages[i].get()) &&
                pages[i]->FileName.compare(path, Qt::CaseInsensitive) == 0)
                return int(i);
        return -1;
    }
    int AddErrorPage(const QString& path) override {
        pages.push_back(std::make_unique<TTidyErrors>(path));
        return int(pages.size()) - 1;
    }
    TTidyErrors* Page(int index) override { return pages.at(size_t(index)).get(); }
    void SelectPage(int index) override { selected = index; }
    void ClosePage(int index) override {
        pages.erase(pages.begin() + index);
        ++closed;
    }
    void ShowErrorPane(bool visible) override { paneVisible = visible; }
    bool ShowsMessageKeys() const override { return showsKeys; }
    void ShowRunSummary(const QString& heading, const QStringList& messages) override {
        ++summaries;
        if (Summary())
            pages.erase(pages.begin());
        if (messages.isEmpty())
            return;
        auto page = std::make_unique<TKelvaneMessages>(QStringLiteral("Tidy Errors"));
        page->Heading = heading;
        page->Messages = messages;
        pages.insert(pages.begin(), std::move(page));
        selected = 0;
        paneVisible = true;
    }

    TKelvaneMessages* Summary() const {
        return pages.empty() ? nullptr : dynamic_cast<TKelvaneMessages*>(pages.front().get());
    }
    TTidyErrors* PageFor(const QString& path) {
        const int index = FindErrorPage(path);
        return index < 0 ? nullptr : Page(index);
    }

    std::vector<std::unique_ptr<TTidyErrors>> pages;
    int selected = -1;
    int closed = 0;
    int summaries = 0;
    bool paneVisible = false;
    bool showsKeys = false;
};

class FakeSelection final : public SelectionSource {
public:
    QList<SelectedItem> SelectedItems() const override { return items; }
    std::optional<SelectedItem> TreeFolder() const override { return tree; }
    QString FileFilter() const override { return filter; }

    QList<SelectedItem> items;
    std::optional<SelectedItem> tree;
    QString filter = QStringLiteral("*.htm;*.html;*.asp;*.php");
};

// Scans for real (as the scanning window does), and can be cancelled after a number of matches.
class CancellableScanner final : public FolderScanner {
public:
    bool ScanFolder(const QString& folder, const QString& filter, QStringList& target) override {
        scanned << folder;
        if (!QFileInfo(folder).isDir())
            return false;
        Observer observer(*this);
        return ScanDirectory(folder, MaskList(filter), target, observer);
    }

    QStringList scanned;
    int cancelAfterMatches = -1; // per scan; -1: never
private:
    class Observer final : public ScanObserver {
    public:
        explicit Observer(CancellableScanner& scanner) : m_scanner(scanner) {}
        void FolderEntered(const QString&) override {}
        void CountChanged(qsizetype) override { ++m_matches; }
        bool KeepGoing() override {
            return m_scanner.cancelAfterMatches < 0 || m_matches < m_scanner.cancelAfterMatches;
        }

    private:
        CancellableScanner& m_scanner;
        int m_matches = 0;
    };
};

class RecordingObserver final : public BatchObserver {
public:
    void FileDone(const FileRecord& record) override {
        records << record;
        if (onFile)
            onFile(record);
    }
    QList<FileOutcome> Outcomes() const {
        QList<FileOutcome> outcomes;
        for (const FileRecord& record : records)
            outcomes << record.outcome;
        return outcomes;
    }
    QList<FileRecord> records;
    std::function<void(const FileRecord&)> onFile;
};

// Everything a BatchCommands needs, owned in one place.
struct BatchRig {
    RecordingProgressView view;
    FileProgressRun progress{view};
    FakeErrorPages pages;
    FakeSelection selection;
    CancellableScanner scanner;
    RecordingObserver observer;
    int reselects = 0;
    QStringList reselected; // ReselectPaths at the last reselect
    BatchCommands commands{Environment()};

    BatchEnvironment Environment() {
        BatchEnvironment environment;
        environment.selection = &selection;
        environment.scanner = &scanner;
        environment.progress = &progress;
        environment.pages = &pages;
        environment.observer = &observer;
        environment.reselectAfterRun = [this] {
            ++reselects;
            reselected = commands.ReselectPaths();
        };
        return environment;
    }
};

// An engine whose result is read from the document itself: "fail" fails; "keys:" reports a
// message with its key and a muted one ("keys:muted": the muted one only); "tokens:N ..." reports
// one message whose text makes the message text N items long (N >= 7); anything else is tidied
// to "tidied:" + the document. `during` runs inside each tidy (to change files meanwhile).
class ScriptedTidyRunner final : public TidyRunner {
public:
    TidyResult run(const TidyRequest& request) override {
        ++runs;
        if (during)
            during(request.document);
        TidyResult result;
        if (request.document.startsWith("fail")) {
            result.reports.append({int(TidyFatal), 0, 0, "could not process"});
            return result;
        }
        result.status = TidyRunStatus::Completed;
        result.output = "tidied:" + request.document;
        if (request.document.startsWith("keys:")) {
            // A report with its key, and a muted one (only "keys:muted" has no other).
            if (!request.document.startsWith("keys:muted"))
                result.reports.append({int(TidyWarning), 1, 1, "w", "MISSING_DOCTYPE"});
            result.reports.append({int(TidyWarning), 2, 1, "hidden", "TRIM_EMPTY_ELEMENT", true});
        }
        if (request.document.startsWith("tokens:")) {
            const int tokens = request.document.mid(7).split(' ').value(0).toInt();
            // "Line 1, Column 1 - Warninig: " is six items; each word one more.
            QByteArray text = "w";
            for (int i = 7; i < tokens; ++i)
                text += " w";
            result.reports.append({int(TidyWarning), 1, 1, text});
        }
        return result;
    }
    std::function<void(const QByteArray& document)> during;
    int runs = 0;
};

// A fixture for the runs: a folder of pages, scripted prompts and engine, and a rig.
class BatchRunFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Writes a page (and its folders) under the fixture's folder; answers its path.
    QString Page(const QString& name, const QByteArray& content) {
        const QString path = root + name;
        QDir().mkpath(QFileInfo(path).path());
        WriteAll(path, content);
        return path;
    }
    QString Heading() const {
        return rig.pages.Summary() ? rig.pages.Summary()->Heading : QStringLiteral("<none>");
    }
    QStringList SummaryLines() const {
        return rig.pages.Summary() ? rig.pages.Summary()->Messages : QStringList();
    }

    QTemporaryDir dir;
    const QString root = dir.path() + QLatin1Char('/');
    ScriptedPrompts prompts;
    ScopedPrompts scopedPrompts{prompts};
    ScriptedTidyRunner engine;
    ScopedTidyRunner scopedEngine{engine};
    BatchRig rig;
};
