#pragma once
// The `tidy` command-line program as the engine's oracle: it is run with `-config FILE` made
// from the very options the engine applies, on the same bytes in a file, and what it writes
// (the tidied text on standard output, its messages on standard error) is compared byte for
// byte with the engine's output and reports.

#include "TidyProgramText.h"
#include "common/TestSupport.h"
#include "engine/EngineHelper.h"
#include "engine/TidyBatch.h"
#include "engine/TidyEngine.h"
#include "engine/TidyLibraryRun.h"
#include "engine/TidyOptionMapping.h"
#include "engine/TidyProcessPool.h"
#include "engine/TidyRequest.h"
#include "engine/TidyResultCache.h"
#include "engine/TidyRunner.h"
#include "fileops/CachedTidying.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <tidy/tidy.h>
#include <vector>

namespace tidy_oracle {

inline QString ProgramPath() {
    return QStandardPaths::findExecutable(QStringLiteral("tidy"));
}

struct Answer {
    QByteArray output;   // standard output: the tidied text
    QByteArray messages; // the messages of parsing and cleaning, one "\n"-ended line each
    bool crashed = false;
    int exitCode = -1;
};

// Runs the program over `pages` (written as files into `folder`) with `config`, several at a
// time, each with a stack as large as the engine helper's, so that deep nesting ends alike.
inline std::vector<Answer> Run(const QList<QByteArray>& pages, const QByteArray& config,
                               const QString& folder) {
    EXPECT_FALSE(config.isEmpty()) << "the options could not be written as a configuration";
    const QString configPath = folder + QStringLiteral("/oracle.conf");
    WriteAll(configPath, config);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("HTML_TIDY"));
    environment.insert(QStringLiteral("HOME"), folder); // no ~/.tidyrc
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));

    std::vector<Answer> answers(size_t(pages.size()));
    const int parallel = std::max(2, QThread::idealThreadCount());
    std::vector<std::pair<qsizetype, std::unique_ptr<QProcess>>> running;
    const auto finishOne = [&] {
        auto& [index, process] = running.front();
        EXPECT_TRUE(process->waitForFinished(120000)) << "tidy on page " << index;
        Answer& answer = answers[size_t(index)];
        const QString page = process->arguments().constLast();
        answer.output = ReadAll(page + QStringLiteral(".out"));
        answer.messages = ParseStageMessages(ReadAll(page + QStringLiteral(".err")));
        answer.crashed = process->exitStatus() != QProcess::NormalExit;
        answer.exitCode = process->exitCode();
        for (const char* suffix : {"", ".out", ".err"})
            QFile::remove(page + QLatin1String(suffix));
        running.erase(running.begin());
    };
    for (qsizetype i = 0; i < pages.size(); ++i) {
        const QString page = folder + QStringLiteral("/page%1.html").arg(i);
        WriteAll(page, ProgramInput(pages[i]));
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        // Files, not pipes: a page with much output must not wait for its turn to be read.
        // Messages through -f: standard error is unbuffered, one system call per byte.
        process->setStandardOutputFile(page + QStringLiteral(".out"));
        process->setChildProcessModifier([] {
            rlimit stack{};
            if (::getrlimit(RLIMIT_STACK, &stack) == 0) {
                stack.rlim_cur = std::min<rlim_t>(kEngineStackSize, stack.rlim_max);
                ::setrlimit(RLIMIT_STACK, &stack);
            }
        });
        process->start(ProgramPath(), {QStringLiteral("-config"), configPath, QStringLiteral("-f"),
                                       page + QStringLiteral(".err"), page});
        running.emplace_back(i, std::move(process));
        if (qsizetype(running.size()) >= parallel)
            finishOne();
    }
    while (!running.empty())
        finishOne();
    QFile::remove(configPath);
    return answers;
}

// Where two byte strings first differ, with a little of each around it, for a failure message.
inline std::string FirstDifference(const QByteArray& expected, const QByteArray& actual) {
    qsizetype at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        ++at;
    const auto around = [at](const QByteArray& bytes) {
        const qsizetype from = std::max<qsizetype>(0, at - 40);
        return QString::fromLatin1(bytes.mid(from, 80).toPercentEncoding(" <>/=\"'!-:;,.()"))
            .toStdString();
    };
    return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(actual.size()) +
           ", first difference at byte " + std::to_string(at) + "\n  tidy:   " + around(expected) +
           "\n  engine: " + around(actual);
}

// The engine's answers for one page: tidied by RunTidy in this process, and by the helper
// pool; reports of a tidy and of a reports-only check, on both roads.
struct EngineAnswer {
    QByteArray inProcessOutput;
    QByteArray pooledOutput;
    TidyRunStatus pooledStatus = TidyRunStatus::Failed;
    QList<TidyReport> inProcessReports, inProcessChecked, pooledReports, pooledChecked;
};

// Compares every engine answer with the program's. `describe` names a page in a failure (a
// seed, a case). Stops reporting after a few failing pages, so that one fault does not bury
// the output. Answers how many pages differed.
inline int ExpectSame(const std::vector<Answer>& program, const std::vector<EngineAnswer>& engine,
                      const std::function<std::string(qsizetype)>& describe) {
    int failed = 0;
    for (size_t i = 0; i < program.size() && failed < 5; ++i) {
        const Answer& tidy = program[i];
        const EngineAnswer& ours = engine[i];
        std::string problems;
        const auto check = [&](const char* what, const QByteArray& expected,
                               const QByteArray& actual) {
            if (expected != actual)
                problems += std::string("\n") + what + ": " + FirstDifference(expected, actual);
        };
        if (tidy.crashed)
            problems += "\ntidy crashed";
        check("output in this process", tidy.output, ours.inProcessOutput);
        check("output from a helper", tidy.output, ours.pooledOutput);
        check("reports in this process", tidy.messages, ProgramStyle(ours.inProcessReports));
        check("reports from a helper", tidy.messages, ProgramStyle(ours.pooledReports));
        check("check in this process", tidy.messages, ProgramStyle(ours.inProcessChecked));
        check("check from a helper", tidy.messages, ProgramStyle(ours.pooledChecked));
        if (!problems.empty()) {
            ++failed;
            ADD_FAILURE() << describe(qsizetype(i)) << problems;
        }
    }
    return failed;
}

// Remembers the last result of the in-process runner, for RunTidy's raw reports.
class RecordingRunner final : public TidyRunner {
public:
    TidyResult run(const TidyRequest& request) override {
        last = RunTidyLibrary(request);
        return last;
    }
    TidyResult last;
};

// The results of a whole list through one batch, taken in list order as the runs take them.
inline QList<TidyResult> Batched(const QList<QByteArray>& pages, const ResolvedTidyOptions& options,
                                 TidyProcessPool& pool, bool reportsOnly) {
    TidyBatch batch(options, pool);
    batch.setPumpEvents(false);
    batch.setReportsOnly(reportsOnly);
    QList<TidyResult> results;
    qsizetype submitted = 0;
    while (results.size() < pages.size()) {
        while (submitted < pages.size() && batch.wantsMore())
            batch.submit(pages[submitted++]);
        results << batch.takeNext();
    }
    return results;
}

inline std::vector<EngineAnswer> EngineAnswers(const QList<QByteArray>& pages,
                                               const TidyOptionSet& set, TidyProcessPool& pool) {
    std::vector<EngineAnswer> answers(size_t(pages.size()));
    const ResolvedTidyOptions options = ResolveOptions(set);
    const TidyOptionSet saved = CurrentOptionSet();
    CurrentOptionSet() = set;
    {
        RecordingRunner recorder;
        ScopedTidyRunner scope(recorder);
        for (qsizetype i = 0; i < pages.size(); ++i) {
            EngineAnswer& answer = answers[size_t(i)];
            QByteArray document = pages[i];
            QString messages;
            if (RunTidy(document, messages))
                answer.inProcessOutput = document;
            answer.inProcessReports = recorder.last.reports;
            EXPECT_EQ(messages, TidyMessageText(recorder.last.reports));
            answer.inProcessChecked =
                RunTidyLibrary({options, pages[i], TidyRequest::Mode::ReportsOnly}).reports;
        }
    }
    CurrentOptionSet() = saved;
    const QList<TidyResult> tidied = Batched(pages, options, pool, false);
    const QList<TidyResult> checked = Batched(pages, options, pool, true);
    for (qsizetype i = 0; i < pages.size(); ++i) {
        EngineAnswer& answer = answers[size_t(i)];
        answer.pooledStatus = tidied[i].status;
        if (tidied[i].status == TidyRunStatus::Completed)
            answer.pooledOutput = tidied[i].output;
        answer.pooledReports = tidied[i].reports;
        answer.pooledChecked = checked[i].reports;
    }
    return answers;
}

// What the result cache answers for a page once a tidy run has kept the helpers' results and
// checked each tidied text (CachedTidying, as the runs use it).
struct CachedAnswer {
    std::optional<QList<TidyReport>> validated; // a validation of the page
    std::optional<CachedTidyResult> tidied;     // a tidy of the page (its text's digest)
    // A tidy of the program's tidied text as a page whose backup is this one: already tidied,
    // with the tidied text's own reports (none when the cache cannot answer it).
    std::optional<bool> tidiedFromBackup;
    std::optional<QList<TidyReport>> rerun;
};

inline std::vector<CachedAnswer> CachedAnswers(const QList<QByteArray>& pages,
                                               const TidyOptionSet& set, TidyProcessPool& pool,
                                               const std::vector<EngineAnswer>& engine,
                                               const std::vector<Answer>& program,
                                               const QString& folder) {
    std::vector<CachedAnswer> answers(size_t(pages.size()));
    std::unique_ptr<TidyResultCache> cache = TidyResultCache::Open(folder, {});
    EXPECT_TRUE(cache) << "no cache in " << folder.toStdString();
    if (!cache)
        return answers;
    const ResolvedTidyOptions options = ResolveOptions(set);
    {
        CachedTidying run;
        run.Start(cache.get(), options, pool, false, true);
        for (qsizetype i = 0; i < pages.size(); ++i) {
            const EngineAnswer& ours = engine[size_t(i)];
            TidyResult result;
            result.status = ours.pooledStatus;
            result.output = ours.pooledOutput;
            result.reports = ours.pooledReports;
            const CachedTidying::Answer answer = run.Look(pages[i], nullptr);
            if (!answer.result)
                run.Learn(answer, result);
        }
        run.TakeChecks(true);
    }
    CachedTidying validate, rerun;
    validate.Start(cache.get(), options, pool, true, false);
    rerun.Start(cache.get(), options, pool, false, false);
    const TidyResultCache::Keys tidyKeys =
        cache->KeysFor(options, TidyRequest::Mode::Tidy, pool.identity());
    for (qsizetype i = 0; i < pages.size(); ++i) {
        CachedAnswer& answer = answers[size_t(i)];
        if (std::optional<TidyResult> known = validate.Look(pages[i], nullptr).result)
            answer.validated = known->reports;
        answer.tidied = cache->Find(tidyKeys, cache->Digest(pages[i]));
        const QByteArray& text = program[size_t(i)].output;
        const CachedTidying::Answer again = rerun.Look(text, &pages[i]);
        answer.tidiedFromBackup = again.fromBackup;
        if (again.result)
            answer.rerun = again.result->reports;
    }
    return answers;
}

// A pool of two helpers of the real helper program.
inline TidyPoolSettings HelperPool() {
    TidyPoolSettings settings = DefaultTidyPoolSettings();
    settings.helperPath = BinPath(QStringLiteral("kelvane-engine"));
    settings.helperCount = 2;
    return settings;
}

// A second option set, far from the defaults: wrapping with its sub-options, indenting, lower
// case, alt text, another tab size, UTF-8 in and Latin-1 out, no cleaning.
inline TidyOptionSet SecondOptionSet() {
    TidyOptionSet set;
    set.cbEnableTextWrapping = true;
    set.EditWrapWidth = QStringLiteral("40");
    set.cbWrapLiterals = set.cbWrapAttributes = set.cbWrapJSTE = set.CBWrapSections = true;
    set.CBIndent = set.CBBreakBeforeBR = set.CBFixURI = set.CBFixBadComments = true;
    set.cbUppercaseTags = set.cbUppercaseAttributes = false;
    set.CBWord2000 = set.CBClean = set.CBBare = set.CBDropEmptyParas = false;
    set.cbTidyMark = true;
    set.CBAltText = true;
    set.EditAltText = QStringLiteral("picture");
    set.CBTabSize = {3, QStringLiteral("4")};
    set.CBInputEncoding = {3, QStringLiteral("utf8")};
    set.CBOutputEncoding = {1, QStringLiteral("latin1")};
    return set;
}

} // namespace tidy_oracle
