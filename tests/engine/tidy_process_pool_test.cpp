// HTML Tidy in helper processes: the helper program on its own, the pool (same results as the
// library in this process, crash, hang and memory isolation, restarts, a missing helper), the
// batch form (list order, cancelling, an interface that keeps running) and RunTidy on top.

#include "common/TestSupport.h"
#include "engine/EngineHelper.h"
#include "engine/EngineProtocol.h"
#include "engine/TidyBatch.h"
#include "engine/TidyEngine.h"
#include "engine/TidyLibraryRun.h"
#include "engine/TidyOptionMapping.h"
#include "engine/TidyProcessPool.h"
#include "support/Errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <gtest/gtest.h>
#include <limits>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

QString RealHelper() {
    return BinPath(QStringLiteral("kelvane-engine"));
}

QString FaultHelper() {
    return BinPath(QStringLiteral("engine_fault_helper"));
}

TidyPoolSettings Settings(const QString& helper, int count) {
    TidyPoolSettings settings;
    settings.helperPath = helper;
    settings.helperCount = count;
    return settings;
}

TidyRequest Request(QByteArray document, const TidyOptionSet& set = TidyOptionSet{}) {
    return {ResolveOptions(set), std::move(document)};
}

bool SaysCouldNotProcess(const TidyResult& result) {
    return result.status == TidyRunStatus::Failed && result.output.isEmpty() &&
           result.reports.size() == 1 && result.reports[0].level == int(TidyFatal) &&
           result.reports[0].line == 0 && result.reports[0].column == 0 &&
           result.reports[0].text.startsWith("HTML Tidy could not process this document");
}

// The pages of the example site.
QStringList SitePages() {
    QStringList pages;
    const QDir site(ExamplesPath(QStringLiteral("site")));
    for (const QString& name : site.entryList({QStringLiteral("*.html"), QStringLiteral("*.htm"),
                                               QStringLiteral("*.php"), QStringLiteral("*.asp")},
                                              QDir::Files, QDir::Name))
        pages << site.filePath(name);
    const QDir news(site.filePath(QStringLiteral("news")));
    for (const QString& name : news.entryList(QDir::Files, QDir::Name))
        pages << news.filePath(name);
    return pages;
}

// Talks to one helper process over plain pipes.
class HelperProcess {
public:
    explicit HelperProcess(const QString& program, const QStringList& arguments = {}) {
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.start();
        EXPECT_TRUE(m_process.waitForStarted(10000));
    }
    ~HelperProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    void write(const QByteArray& bytes) { m_process.write(bytes); }
    void closeInput() { m_process.closeWriteChannel(); }
    // Waits for the process to end and gives its exit status and everything it wrote.
    int finish(QByteArray& output) {
        EXPECT_TRUE(m_process.waitForFinished(20000));
        output = m_process.readAllStandardOutput();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

private:
    QProcess m_process;
};

QList<EngineFrame> Frames(const QByteArray& stream, bool* clean = nullptr) {
    EngineFrameReader reader;
    reader.append(stream);
    QList<EngineFrame> frames;
    EngineFrame frame;
    EngineFrameReader::Status status;
    while ((status = reader.next(frame)) == EngineFrameReader::Status::Frame)
        frames << frame;
    if (clean)
        *clean = status == EngineFrameReader::Status::NeedMore && reader.isEmpty();
    return frames;
}

} // namespace

// ---- The helper program on its own ----

TEST(EngineHelperProgram, AnswersRequestsAndEndsCleanlyWhenThePipeCloses) {
    HelperProcess helper(RealHelper());
    const TidyRequest request = Request("<title>t</title><p>one<p>two");
    helper.write(EncodeTidyRequestFrame(request) + EncodeTidyRequestFrame(request));
    helper.closeInput();
    QByteArray output;
    EXPECT_EQ(helper.finish(output), kEngineExitClean);
    bool clean = false;
    const QList<EngineFrame> frames = Frames(output, &clean);
    EXPECT_TRUE(clean);
    ASSERT_EQ(frames.size(), 3);
    EXPECT_EQ(frames[0].kind, EngineFrameKind::Hello);
    for (int i = 1; i < 3; ++i) {
        ASSERT_EQ(frames[i].kind, EngineFrameKind::Result);
        TidyResult result;
        ASSERT_TRUE(DecodeTidyResult(frames[i].payload, result));
        EXPECT_EQ(result, RunTidyLibrary(request));
    }
}

TEST(EngineHelperProgram, EndsOnCorruptOrTruncatedInputWithoutAnswering) {
    const QByteArray request = EncodeTidyRequestFrame(Request("<p>x"));
    QByteArray badVersion = request;
    badVersion[5] = char(9);
    QByteArray wrongKind = request;
    wrongKind[6] = char(EngineFrameKind::Result);
    QByteArray shortPayload = request; // the header promises one byte more than there is
    qToBigEndian<quint32>(quint32(request.size() - kEngineFrameHeaderSize + 1),
                          shortPayload.data() + 8);
    shortPayload += EncodeTidyRequestFrame(Request("<p>y")).left(1);
    for (const QByteArray& input : {QByteArray("<html>not a frame"), request.left(20),
                                    request.chopped(1), badVersion, wrongKind, shortPayload}) {
        HelperProcess helper(RealHelper());
        helper.write(input);
        helper.closeInput();
        QByteArray output;
        EXPECT_EQ(helper.finish(output), kEngineExitProtocol);
        const QList<EngineFrame> frames = Frames(output);
        ASSERT_EQ(frames.size(), 1);
        EXPECT_EQ(frames[0].kind, EngineFrameKind::Hello);
    }
}

TEST(EngineHelperProgram, RefusesOptionsOutsideTheSetAndGoesOn) {
    HelperProcess helper(RealHelper());
    TidyRequest sneaky = Request("<p>x");
    sneaky.options << TidyOptionStep::Flag(TidyXmlOut, true);
    TidyRequest negative = Request("<p>x");
    negative.options << TidyOptionStep::Number(TidyWrapLen, -1);
    helper.write(EncodeTidyRequestFrame(sneaky) + EncodeTidyRequestFrame(negative) +
                 EncodeTidyRequestFrame(Request("<p>x")));
    helper.closeInput();
    QByteArray output;
    EXPECT_EQ(helper.finish(output), kEngineExitClean);
    const QList<EngineFrame> frames = Frames(output);
    ASSERT_EQ(frames.size(), 4);
    EXPECT_EQ(frames[1].kind, EngineFrameKind::Refused);
    EXPECT_EQ(frames[2].kind, EngineFrameKind::Refused);
    EXPECT_EQ(frames[3].kind, EngineFrameKind::Result);
}

TEST(EngineHelperProgram, RefusesUnknownArguments) {
    HelperProcess helper(RealHelper(), {QStringLiteral("--memory-limit=-1")});
    QByteArray output;
    EXPECT_EQ(helper.finish(output), kEngineExitUsage);
    EXPECT_TRUE(output.isEmpty());
}

TEST(EngineHelperProgram, WhatTheLibraryPrintsNeverReachesTheProtocol) {
    HelperProcess helper(FaultHelper());
    helper.write(EncodeTidyRequestFrame(Request("print <p>x")));
    helper.closeInput();
    QByteArray output;
    EXPECT_EQ(helper.finish(output), kEngineExitClean);
    bool clean = false;
    const QList<EngineFrame> frames = Frames(output, &clean);
    EXPECT_TRUE(clean);
    ASSERT_EQ(frames.size(), 2);
    EXPECT_EQ(frames[1].kind, EngineFrameKind::Result);
}

// ---- The pool ----

TEST(TidyProcessPool, GivesTheSameResultsAsTheLibraryInThisProcess) {
    const QStringList pages = SitePages();
    ASSERT_GE(pages.size(), 10);

    TidyOptionSet wrapped;
    wrapped.CBIndent = true;
    wrapped.cbEnableTextWrapping = true;
    wrapped.EditWrapWidth = QStringLiteral("60");
    wrapped.cbWrapAttributes = wrapped.cbWrapASP = wrapped.cbWrapPHP = true;
    wrapped.CBAltText = true;
    wrapped.EditAltText = QStringLiteral("Bild");
    wrapped.CBTabSize = {3, QStringLiteral("4")};
    wrapped.CBInputEncoding = {1, QStringLiteral("latin1")};
    wrapped.CBOutputEncoding = {3, QStringLiteral("utf8")};
    TidyOptionSet plain;
    plain.cbUppercaseTags = plain.cbUppercaseAttributes = false;
    plain.CBBare = plain.CBClean = plain.CBWord2000 = plain.CBDropEmptyParas = false;
    plain.CBBreakBeforeBR = plain.CBFixURI = plain.CBFixBadComments = plain.cbTidyMark = true;
    plain.CBInputEncoding = {6, QStringLiteral("win1252")};
    plain.CBOutputEncoding = {0, QStringLiteral("ascii")};

    TidyProcessPool pool(Settings(RealHelper(), 2));
    for (const TidyOptionSet& set : {TidyOptionSet{}, wrapped, plain}) {
        const ResolvedTidyOptions options = ResolveOptions(set);
        TidyBatch batch(options, pool);
        batch.setPumpEvents(false);
        for (const QString& page : pages)
            batch.submit(ReadAll(page));
        for (const QString& page : pages) {
            const TidyResult expected = RunTidyLibrary({options, ReadAll(page)});
            const TidyResult got = batch.takeNext();
            EXPECT_EQ(got.status, expected.status) << page.toStdString();
            EXPECT_EQ(got.output, expected.output) << page.toStdString();
            EXPECT_EQ(got.reports, expected.reports) << page.toStdString();
        }
    }
    EXPECT_LE(pool.startedHelpers(), 2);
}

TEST(TidyProcessPool, ACrashCostsOnlyThatDocument) {
    TidyProcessPool pool(Settings(FaultHelper(), 1));
    const TidyRequest good = Request("<title>a</title><p>fine");
    EXPECT_EQ(pool.run(good), RunTidyLibrary(good));

    const TidyResult crashed = pool.run(Request("crash <p>x"));
    EXPECT_TRUE(SaysCouldNotProcess(crashed));
    EXPECT_TRUE(crashed.reports[0].text.contains("crashed (SIGSEGV)"));

    EXPECT_EQ(pool.run(good), RunTidyLibrary(good));
    EXPECT_EQ(pool.run(good), RunTidyLibrary(good));
    // The first helper, one fresh try for the crashing document (its helper had served one
    // before), and one for the documents after it.
    EXPECT_EQ(pool.startedHelpers(), 3);
}

TEST(TidyProcessPool, ADocumentIsRetriedOnceInAFreshHelperBeforeItIsBlamed) {
    TidyProcessPool pool(Settings(FaultHelper(), 1));
    const TidyRequest good = Request("<p>fine");
    pool.run(good);
    // Crashes in a helper that has served a document before, so the fresh one succeeds.
    const TidyRequest touchy = Request("crash-if-used <p>x");
    const TidyResult result = pool.run(touchy);
    EXPECT_EQ(result, RunTidyLibrary(touchy));
    EXPECT_EQ(pool.startedHelpers(), 2);
}

TEST(TidyProcessPool, UnexpectedExitsAndMalformedAnswersCostOnlyThatDocument) {
    TidyProcessPool pool(Settings(FaultHelper(), 1));
    const TidyResult exited = pool.run(Request("exit"));
    EXPECT_TRUE(SaysCouldNotProcess(exited));
    EXPECT_TRUE(exited.reports[0].text.contains("exit status 3"));
    EXPECT_EQ(pool.run(Request("<p>x")).status, TidyRunStatus::Completed);

    TidyPoolSettings garbage = Settings(FaultHelper(), 1);
    garbage.helperArguments = {QStringLiteral("--garbage")};
    TidyProcessPool liar(garbage);
    const TidyResult result = liar.run(Request("<p>x"));
    EXPECT_TRUE(SaysCouldNotProcess(result));
    EXPECT_TRUE(result.reports[0].text.contains("malformed"));
}

TEST(TidyProcessPool, AHangingDocumentIsKilledAtItsTimeOut) {
    TidyPoolSettings settings = Settings(FaultHelper(), 1);
    settings.baseTimeout = 300ms;
    settings.timeoutPer100KB = 0ms;
    TidyProcessPool pool(settings);
    QElapsedTimer timer;
    timer.start();
    const TidyResult hung = pool.run(Request("hang"));
    EXPECT_GE(timer.elapsed(), 250);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(SaysCouldNotProcess(hung));
    EXPECT_TRUE(hung.reports[0].text.contains("not finished after 0.3 seconds"));
    EXPECT_EQ(pool.run(Request("<p>x")).status, TidyRunStatus::Completed);
}

TEST(TidyProcessPool, TheTimeOutGrowsWithTheDocument) {
    TidyPoolSettings settings = Settings(FaultHelper(), 1);
    settings.baseTimeout = 100ms;
    settings.timeoutPer100KB = 200ms;
    TidyProcessPool pool(settings);
    QElapsedTimer timer;
    timer.start();
    const TidyResult hung = pool.run(Request("hang" + QByteArray(300000, ' ')));
    EXPECT_GE(timer.elapsed(), 650); // 100 ms + 3 x 200 ms
    EXPECT_TRUE(hung.reports[0].text.contains("not finished after 0.7 seconds"));
}

TEST(TidyProcessPool, DeeplyNestedMarkupIsTidiedInsteadOfCrashing) {
    // 200,000 unclosed elements overflow a normal 8 MiB stack inside the library. (Spans: the
    // library's parser needs quadratic time for deeply nested block elements.)
    TidyProcessPool pool(Settings(RealHelper(), 1));
    QByteArray page = "<html><head><title>deep</title></head><body>";
    for (int i = 0; i < 200000; ++i)
        page += "<span>";
    page += "deep";
    const TidyResult result = pool.run(Request(page));
    EXPECT_EQ(result.status, TidyRunStatus::Completed);
    EXPECT_TRUE(result.output.contains("<TITLE>deep</TITLE>"));
    EXPECT_GT(result.reports.size(), 200000);
    EXPECT_EQ(pool.startedHelpers(), 1);
}

TEST(TidyProcessPool, EachDocumentMayTakeTheMemoryItsSizeEarnsAndNoMore) {
    if (kAddressSanitizer)
        GTEST_SKIP() << "address-space limits cannot hold under AddressSanitizer";
    TidyPoolSettings settings = Settings(FaultHelper(), 1);
    settings.memoryFloor = qint64(32) << 20;
    settings.memoryPerByte = 1000;
    settings.memoryTotal = qint64(1) << 30;
    TidyProcessPool pool(settings);

    // A short page that would take 100 MB gets the floor, and costs only itself.
    const TidyResult greedy = pool.run(Request("eat 100"));
    EXPECT_TRUE(SaysCouldNotProcess(greedy));
    EXPECT_TRUE(greedy.reports[0].text.contains("more memory than the limit of 32 MB"))
        << greedy.reports[0].text.constData();
    // 150,000 bytes earn 150 MB, in the same helper process as what follows.
    const int started = pool.startedHelpers();
    EXPECT_EQ(pool.run(Request("eat 100" + QByteArray(150000, ' '))).status,
              TidyRunStatus::Completed);
    EXPECT_EQ(pool.run(Request("eat 20")).status, TidyRunStatus::Completed);
    EXPECT_EQ(pool.startedHelpers(), started + 1); // the helper that failed was replaced

    // No document gets more than all of them together may have.
    settings.memoryTotal = qint64(64) << 20;
    TidyProcessPool small(settings);
    const TidyResult capped = small.run(Request("eat 100" + QByteArray(150000, ' ')));
    EXPECT_TRUE(SaysCouldNotProcess(capped));
    EXPECT_TRUE(capped.reports[0].text.contains("more memory than the limit of 64 MB"));

    // The library itself, on a page that needs far more than twice its size.
    TidyPoolSettings real = Settings(RealHelper(), 1);
    real.memoryFloor = qint64(16) << 20;
    real.memoryPerByte = 2;
    TidyProcessPool library(real);
    QByteArray huge;
    huge.reserve(8 << 20);
    while (huge.size() < (8 << 20))
        huge += "<p class=a id=b>x <b>y</b> <i>z</i>";
    const TidyResult result = library.run(Request(huge));
    EXPECT_TRUE(SaysCouldNotProcess(result));
    EXPECT_TRUE(result.reports[0].text.contains("more memory than the limit of 16 MB"));
    const TidyRequest tiny = Request("<p>x");
    EXPECT_EQ(library.run(tiny), RunTidyLibrary(tiny));
}

TEST(TidyProcessPool, TheBudgetsInWorkStayWithinTheTotal) {
    QTemporaryDir meeting;
    ASSERT_TRUE(meeting.isValid());
    const QByteArray overlap = "overlap " + QFile::encodeName(meeting.path());
    // Two documents of 64 MB each, in two helpers, under a total of `total` MB.
    const auto outputs = [&](qint64 total) {
        TidyPoolSettings settings = Settings(FaultHelper(), 2);
        settings.memoryFloor = qint64(64) << 20;
        settings.memoryTotal = total << 20;
        TidyProcessPool pool(settings);
        TidyBatch batch(ResolveOptions(TidyOptionSet{}), pool);
        batch.setPumpEvents(false);
        batch.submit(overlap);
        batch.submit(overlap);
        const QByteArray first = batch.takeNext().output;
        return QList<QByteArray>{first, batch.takeNext().output};
    };
    EXPECT_EQ(outputs(100), (QList<QByteArray>{"alone", "alone"}));
    EXPECT_EQ(outputs(128), (QList<QByteArray>{"together", "together"}));
}

TEST(TidyProcessPool, AMissingHelperIsAClearErrorAndNothingRunsInProcess) {
    const QString missing = QDir::tempPath() + QStringLiteral("/no-such-folder/kelvane-engine");
    TidyProcessPool pool(Settings(missing, 2));
    try {
        pool.run(Request("<p>x"));
        FAIL() << "no error";
    } catch (const KelvaneError& error) {
        EXPECT_TRUE(error.message().contains(missing));
        EXPECT_TRUE(error.message().contains(QStringLiteral("could not be started")));
    }

    // The same through RunTidy: raised, and the document is left alone.
    ScopedTidyRunner scoped(pool);
    QByteArray document = "<p>x";
    QString messages = QStringLiteral("before");
    EXPECT_THROW(RunTidy(document, messages), KelvaneError);
    EXPECT_EQ(document, QByteArray("<p>x"));
    EXPECT_EQ(messages, QStringLiteral("before"));
}

TEST(TidyProcessPool, AHelperThatCannotGetReadyIsAClearError) {
    TidyPoolSettings settings = Settings(FaultHelper(), 2);
    settings.helperArguments = {QStringLiteral("--not-ready")};
    TidyProcessPool pool(settings);
    TidyBatch batch(ResolveOptions(TidyOptionSet{}), pool);
    batch.setPumpEvents(false);
    for (int i = 0; i < 5; ++i)
        batch.submit("<p>x");
    try {
        batch.takeNext();
        FAIL() << "no error";
    } catch (const KelvaneError& error) {
        EXPECT_TRUE(error.message().contains(FaultHelper()));
        EXPECT_TRUE(error.message().contains(QStringLiteral("exit status 1")));
    }
}

TEST(TidyProcessPool, RefusesOptionsTheOptionSetDoesNotName) {
    TidyProcessPool pool(Settings(RealHelper(), 1));
    TidyRequest request = Request("<p>x");
    request.options << TidyOptionStep::Text(TidyDoctype, "strict");
    EXPECT_THROW(pool.run(request), KelvaneError);
    EXPECT_EQ(pool.startedHelpers(), 0);
}

TEST(TidyProcessPool, DefaultsFindTheHelperBesideTheProgram) {
    const TidyPoolSettings settings = DefaultTidyPoolSettings();
    EXPECT_EQ(settings.helperPath, BinPath(QStringLiteral("kelvane-engine")));
    EXPECT_GE(settings.helperCount, 1);
    EXPECT_LE(settings.helperCount, 8);
    EXPECT_EQ(settings.baseTimeout, 30s);
    EXPECT_EQ(settings.timeoutPer100KB, 1s);

    // Half the physical memory at most, and budgets that grow with the document.
    const qint64 physical = qint64(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
    EXPECT_GT(settings.memoryTotal, 0);
    EXPECT_LE(settings.memoryTotal, physical / 2);
    TidyPoolSettings budgets;
    budgets.memoryFloor = 256 << 20;
    budgets.memoryPerByte = 64;
    budgets.memoryTotal = qint64(2) << 30;
    const struct {
        qsizetype size;
        qint64 budget;
    } cases[] = {{0, 256 << 20},
                 {1000, 256 << 20},
                 {4 << 20, 256 << 20},
                 {5 << 20, 320 << 20},
                 {qsizetype(1) << 30, qint64(2) << 30},
                 {std::numeric_limits<qsizetype>::max(), qint64(2) << 30}};
    for (const auto& c : cases)
        EXPECT_EQ(TidyMemoryBudget(budgets, c.size), c.budget) << c.size;
    budgets.memoryTotal = 0;
    EXPECT_EQ(TidyMemoryBudget(budgets, qsizetype(1) << 30), qint64(64) << 30);
    budgets.memoryFloor = 0;
    EXPECT_EQ(TidyMemoryBudget(budgets, 1000), 0);
}

// ---- The batch form ----

TEST(TidyBatch, ResultsComeBackInListOrderFromSeveralHelpers) {
    TidyProcessPool pool(Settings(RealHelper(), 3));
    TidyBatch batch(ResolveOptions(TidyOptionSet{}), pool);
    batch.setPumpEvents(false);
    QList<quint64> tickets;
    for (int i = 0; i < 24; ++i) {
        // Every third document takes long, so later small ones finish first; every fourth is
        // over a megabyte, so it may start before the ones above it.
        QByteArray page = "<title>page " + QByteArray::number(i) + "</title>";
        const int repeats = i % 3 == 0 ? 4000 : 1;
        for (int r = 0; r < repeats; ++r)
            page += "<p>text <b>bold";
        if (i % 4 == 1)
            page += "<p>" + QByteArray(1200000, 'x');
        tickets << batch.submit(page);
    }
    EXPECT_EQ(tickets.first(), 1u);
    EXPECT_EQ(tickets.last(), 24u);
    EXPECT_EQ(batch.pendingCount(), 24);
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(batch.nextTicket(), quint64(i + 1));
        const TidyResult result = batch.takeNext();
        ASSERT_EQ(result.status, TidyRunStatus::Completed);
        EXPECT_TRUE(result.output.contains("<TITLE>page " + QByteArray::number(i) + "</TITLE>"))
            << i;
    }
    EXPECT_EQ(batch.pendingCount(), 0);
    EXPECT_EQ(pool.startedHelpers(), 3);
}

TEST(TidyBatch, ACrashInTheMiddleOfAListLeavesTheRestIntact) {
    TidyProcessPool pool(Settings(FaultHelper(), 2));
    TidyBatch batch(ResolveOptions(TidyOptionSet{}), pool);
    batch.setPumpEvents(false);
    const QList<QByteArray> documents = {"<title>one</title>", "crash", "<title>three</title>",
                                         "exit", "<title>five</title>"};
    for (const QByteArray& document : documents)
        batch.submit(document);
    EXPECT_TRUE(batch.takeNext().output.contains("<TITLE>one</TITLE>"));
    EXPECT_TRUE(SaysCouldNotProcess(batch.takeNext()));
    EXPECT_TRUE(batch.takeNext().output.contains("<TITLE>three</TITLE>"));
    EXPECT_TRUE(SaysCouldNotProcess(batch.takeNext()));
    EXPECT_TRUE(batch.takeNext().output.contains("<TITLE>five</TITLE>"));
}

TEST(TidyBatch, DocumentsQueuedBehindACrashOrAHangAreNotBlamed) {
    // One helper holds several requests at a time: those behind survive the first's failure.
    TidyPoolSettings settings = Settings(FaultHelper(), 1);
    settings.baseTimeout = 300ms;
    TidyProcessPool pool(settings);
    TidyBatch batch(ResolveOptions(TidyOptionSet{}), pool);
    batch.setPumpEvents(false);
    for (const QByteArray& document :
         {QByteArray("crash"), QByteArray("<title>b</title>"), QByteArray("hang"),
          QByteArray("<title>d</title>"), QByteArray("<title>e</title>")})
        batch.submit(document);
    EXPECT_TRUE(SaysCouldNotProcess(batch.takeNext()));
    EXPECT_TRUE(batch.takeNext().output.contains("<TITLE>b</TITLE>"));
    EXPECT_TRUE(SaysCouldNotProcess(batch.takeNext()));
    EXPECT_TRUE(batch.takeNext().output.contains("<TITLE>d</TITLE>"));
    EXPECT_TRUE(batch.takeNext().output.contains("<TITLE>e</TITLE>"));
    // The crash was on a fresh helper (no second try); the time-out killed the next one.
    EXPECT_EQ(pool.startedHelpers(), 3);
}

TEST(TidyBatch, CancelStopsBusyHelpersAndTheNextBatchRunsAtOnce) {
    TidyProcessPool pool(Settings(FaultHelper(), 2));
    {
        TidyBatch batch(ResolveOptions(TidyOptionSet{}), pool);
        for (int i = 0; i < 6; ++i)
            batch.submit("hang");
        batch.cancel();
        EXPECT_EQ(batch.pendingCount(), 0);
    }
    QElapsedTimer timer;
    timer.start();
    TidyBatch next(ResolveOptions(TidyOptionSet{}), pool);
    next.setPumpEvents(false);
    next.submit("<title>after</title>");
    EXPECT_TRUE(next.takeNext().output.contains("<TITLE>after</TITLE>"));
    EXPECT_LT(timer.elapsed(), 10000); // not the 30 s time-out of the hanging ones
}

TEST(TidyBatch, WaitingKeepsTheEventLoopRunning) {
    TidyPoolSettings settings = Settings(FaultHelper(), 1);
    settings.baseTimeout = 400ms * kSanitizerSlowdown;
    TidyProcessPool pool(settings);
    TidyBatch batch(ResolveOptions(TidyOptionSet{}), pool);
    int nextReady = 0;
    QObject::connect(&batch, &TidyBatch::nextReady, [&] { ++nextReady; });
    batch.submit("hang");
    bool timerRan = false;
    QTimer::singleShot(50, [&] { timerRan = true; });
    EXPECT_TRUE(SaysCouldNotProcess(batch.takeNext()));
    EXPECT_TRUE(timerRan);

    // Cancelled from an event handled while it waits: takeNext gives up silently.
    batch.submit("hang");
    QTimer::singleShot(50, [&] { batch.cancel(); });
    EXPECT_THROW(batch.takeNext(), SilentAbort);

    nextReady = 0;
    batch.submit("<p>x");
    QElapsedTimer timer;
    timer.start();
    while (nextReady == 0 && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_GE(nextReady, 1);
    EXPECT_TRUE(batch.isNextReady());
    EXPECT_EQ(batch.takeNext().status, TidyRunStatus::Completed);
}

TEST(TidyBatch, WorksWithTheInProcessRunnerToo) {
    InProcessTidyRunner inProcess;
    const ResolvedTidyOptions options = ResolveOptions(TidyOptionSet{});
    TidyBatch batch(options, inProcess);
    EXPECT_TRUE(batch.wantsMore());
    const QByteArray withNul("<p>a\0<p>not hidden", 19);
    batch.submit(withNul);
    EXPECT_FALSE(batch.wantsMore());
    batch.submit("<p>b");
    EXPECT_TRUE(batch.isNextReady());
    const TidyResult first = batch.takeNext();
    EXPECT_EQ(first, RunTidyLibrary({options, withNul}));
    EXPECT_TRUE(first.output.contains("not hidden"));
    EXPECT_EQ(batch.takeNext(), RunTidyLibrary({options, "<p>b"}));

    // Documents submitted after the switch are only checked: same reports, no output.
    batch.setReportsOnly(true);
    batch.submit(withNul);
    const TidyResult checked = batch.takeNext();
    EXPECT_EQ(checked.status, TidyRunStatus::Completed);
    EXPECT_TRUE(checked.output.isEmpty());
    EXPECT_EQ(checked.reports, first.reports);
}

// ---- RunTidy and RunTidyOnFile on top of the pool ----

TEST(TidyProcessPoolEngine, ALostDocumentIsNeverCountedAsClean) {
    CurrentOptionSet() = TidyOptionSet{};
    TidyProcessPool pool(Settings(FaultHelper(), 1));
    ScopedTidyRunner scoped(pool);

    QByteArray document = "crash <p>x";
    QString messages;
    EXPECT_FALSE(RunTidy(document, messages));
    EXPECT_EQ(document, QByteArray("crash <p>x"));
    EXPECT_TRUE(messages.startsWith(
        QStringLiteral("Line 0, Column 0 - Fatal Error: HTML Tidy could not process this "
                       "document")));
    EXPECT_TRUE(messages.endsWith(QStringLiteral("\r\n")));
    EXPECT_EQ(messages.count(QStringLiteral("\r\n")), 1);

    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("bad.html"));
    WriteAll(file, "crash");
    QString fileMessages;
    EXPECT_FALSE(RunTidyOnFile(file, fileMessages));
    EXPECT_FALSE(fileMessages.isEmpty());

    QByteArray good = "<!DOCTYPE html><html><head><title>t</title></head><body><p>x</p></body>"
                      "</html>";
    QByteArray expected = good;
    QString expectedMessages;
    {
        InProcessTidyRunner inProcess;
        ScopedTidyRunner local(inProcess);
        EXPECT_TRUE(RunTidy(expected, expectedMessages));
    }
    EXPECT_TRUE(RunTidy(good, messages));
    EXPECT_EQ(good, expected);
    EXPECT_EQ(messages, expectedMessages);
}

TEST(TidyProcessPoolEngine, InstallMakesThePoolTheRunner) {
    InstallTidyProcessPool();
    auto* pool = dynamic_cast<TidyProcessPool*>(&CurrentTidyRunner());
    ASSERT_NE(pool, nullptr);
    InstallTidyProcessPool(); // a second call changes nothing
    EXPECT_EQ(&CurrentTidyRunner(), pool);
    EXPECT_EQ(pool->settings().helperPath, RealHelper());
    CurrentOptionSet() = TidyOptionSet{};
    QByteArray document = "<p>x";
    QString messages;
    EXPECT_TRUE(RunTidy(document, messages));
    EXPECT_TRUE(document.contains("<P>x</P>"));
    SetTidyRunner(nullptr); // the other tests of this program expect the in-process runner
}

// A helper left from another build (an upgrade while the program ran) speaks another version
// of the protocol: that is said once, as a helper that cannot be used, instead of every page
// being lost to "a malformed answer".
TEST(TidyProcessPool, AHelperOfAnotherBuildIsNamedAsSuchAndTidiesNothing) {
    TidyPoolSettings settings = Settings(FaultHelper(), 2);
    settings.helperArguments = {QStringLiteral("--old-protocol")};
    TidyProcessPool pool(settings);
    try {
        pool.run(Request("<p>x"));
        FAIL() << "no error";
    } catch (const KelvaneError& error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("could not be started")))
            << error.message().toStdString();
        EXPECT_TRUE(error.message().contains(QStringLiteral("version 3")));
        EXPECT_TRUE(error.message().contains(QStringLiteral("another build")));
    }
}
