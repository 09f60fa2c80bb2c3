// The engine against the `tidy` program on every page of the example site and a few hundred
// hostile pages made from them (PageMutator.h): output and reports, in this process and from a
// helper, tidying and only checking, byte for byte, with the default options and a second set;
// and the same answers through the result cache as reruns get them (validations, tidies, and
// each tidied text checked once for the run after), against the program on its own output.
//
// KELVANE_ORACLE_SEED and KELVANE_ORACLE_PAGES choose other pages; a failure names the seed and
// the page, and the same seed makes the same page again.
//
// Deliberate differences from the program:
// - A UTF-16 page (with a byte-order mark) of an odd number of bytes: the program reads the
//   byte past the end of its memory-mapped file as the missing half of the last code unit;
//   the engine stops at the last whole unit. The program is given the whole units only
//   (tidy_oracle::ProgramInput), and tidy_bytes_oracle_test checks that the engine ignores the
//   dangling byte.
// - Nesting deeper than about 50,000 levels overflows an 8 MB stack and crashes the program
//   (the engine's helpers run the library on 256 MB). Not generated (kMaxNesting): the test's
//   in-process road would crash this test, and the library's time grows with the square of
//   the depth.

#include "PageMutator.h"
#include "TidyOracle.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr quint64 kDefaultSeed = 20240517;
constexpr int kDefaultPages = 300;

quint64 Seed() {
    bool ok = false;
    const quint64 seed = qEnvironmentVariable("KELVANE_ORACLE_SEED").toULongLong(&ok);
    return ok ? seed : kDefaultSeed;
}

int PageCount() {
    bool ok = false;
    const int count = qEnvironmentVariableIntValue("KELVANE_ORACLE_PAGES", &ok);
    return ok && count >= 0 ? count : kDefaultPages;
}

// Every page of the example site (the pictures left out), in a fixed order.
QList<QByteArray> SitePages(QStringList& names) {
    QDirIterator it(ExamplesPath(QStringLiteral("site")), QDir::Files,
                    QDirIterator::Subdirectories);
    QStringList paths;
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.endsWith(QLatin1String(".gif")) && !path.endsWith(QLatin1String(".png")) &&
            !path.endsWith(QLatin1String(".jpg")))
            paths << path;
    }
    paths.sort();
    QList<QByteArray> pages;
    for (const QString& path : std::as_const(paths)) {
        pages << ReadAll(path);
        names << QDir(ExamplesPath(QStringLiteral("site"))).relativeFilePath(path);
    }
    return pages;
}

} // namespace

TEST(TidyOracle, SitePagesAndMutatedPagesEqualTheTidyProgram) {
    if (tidy_oracle::ProgramPath().isEmpty())
        GTEST_SKIP() << "the tidy program is not installed (scripts/install-deps installs it)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    QStringList names;
    const QList<QByteArray> site = SitePages(names);
    ASSERT_GE(site.size(), 10) << "the example site is missing";
    const quint64 seed = Seed();
    QList<QByteArray> pages = site;
    std::vector<std::string> recipes;
    for (int i = 0; i < PageCount(); ++i) {
        MutatedPage page = PageMutator(seed + quint64(i)).make(site);
        pages << page.bytes;
        recipes.push_back(page.recipe);
    }
    const auto describe = [&](qsizetype i) {
        if (i < site.size())
            return "examples/site/" + names[i].toStdString();
        const qsizetype n = i - site.size();
        return "mutated page: KELVANE_ORACLE_SEED=" + std::to_string(seed + quint64(n)) +
               " KELVANE_ORACLE_PAGES=1 (" + recipes[size_t(n)] + ")";
    };

    // Muting as the program's own "mute" option does (a few keys: the library's list of more than
    // ten corrupts its heap).
    TidyOptionSet muted;
    muted.EditMute = QStringLiteral("MISSING_DOCTYPE,TRIM_EMPTY_ELEMENT,MISSING_QUOTEMARK_OPEN");
    TidyProcessPool pool(tidy_oracle::HelperPool());
    for (const TidyOptionSet& set : {TidyOptionSet{}, tidy_oracle::SecondOptionSet(), muted}) {
        SCOPED_TRACE(set == TidyOptionSet{} ? "default options"
                     : set == muted         ? "muted keys"
                                            : "second option set");
        QByteArray config = tidy_oracle::ConfigText(ResolveOptions(set), dir.path());
        if (!set.EditMute.isEmpty())
            config += "mute: " + set.EditMute.toLatin1() + '\n';
        // The program announces each muted key before the page's own messages.
        const auto runProgram = [&](const QList<QByteArray>& documents) {
            std::vector<tidy_oracle::Answer> answers =
                tidy_oracle::Run(documents, config, dir.path());
            for (tidy_oracle::Answer& answer : answers) {
                QList<QByteArray> lines = answer.messages.split('\n');
                lines.removeIf(
                    [](const QByteArray& line) { return line.endsWith("(STRING_MUTING_TYPE)"); });
                answer.messages = lines.join('\n');
            }
            return answers;
        };
        const std::vector<tidy_oracle::Answer> program = runProgram(pages);
        const std::vector<tidy_oracle::EngineAnswer> engine =
            tidy_oracle::EngineAnswers(pages, set, pool);
        tidy_oracle::ExpectSame(program, engine, describe);

        // With the result cache: what a rerun is answered is what the program says, for the
        // pages and for the texts it writes (checked once when the first run wrote them).
        QList<QByteArray> texts;
        for (const tidy_oracle::Answer& answer : program)
            texts << answer.output;
        const std::vector<tidy_oracle::Answer> onTexts = runProgram(texts);
        QTemporaryDir cacheFolder;
        const std::vector<tidy_oracle::CachedAnswer> cached =
            tidy_oracle::CachedAnswers(pages, set, pool, engine, program, cacheFolder.path());
        int failed = 0;
        for (size_t i = 0; i < program.size() && failed < 5; ++i) {
            const tidy_oracle::Answer& tidy = program[i];
            const tidy_oracle::CachedAnswer& answer = cached[i];
            std::string problems;
            const bool tidied = !tidy.crashed && engine[i].pooledStatus == TidyRunStatus::Completed;
            if (!tidied) {
                if (answer.validated || answer.tidied)
                    problems += "\na failed page's result was kept";
            } else {
                if (!answer.validated ||
                    tidy_oracle::ProgramStyle(*answer.validated) != tidy.messages)
                    problems += "\nvalidation from the cache";
                if (!answer.tidied ||
                    tidy_oracle::ProgramStyle(answer.tidied->reports) != tidy.messages)
                    problems += "\ntidy reports from the cache";
                else if (!answer.tidied->output || answer.tidied->outputSize != tidy.output.size())
                    problems += "\nthe tidied text's size";
                if (answer.tidiedFromBackup != std::optional<bool>(true))
                    problems += "\nthe tidied text is not known as what tidying its original gives";
                // The text's own check: a tidy of it completes exactly where the program writes
                // a text for it, with the program's messages.
                const tidy_oracle::Answer& again = onTexts[i];
                const bool completes = !again.crashed && !again.output.isEmpty();
                if (completes != answer.rerun.has_value())
                    problems += completes ? "\nno reports kept for the tidied text"
                                          : "\nreports kept for a text tidy cannot tidy";
                else if (answer.rerun && tidy_oracle::ProgramStyle(*answer.rerun) != again.messages)
                    problems += "\nthe tidied text's reports from the cache: " +
                                tidy_oracle::FirstDifference(
                                    again.messages, tidy_oracle::ProgramStyle(*answer.rerun));
            }
            if (!problems.empty()) {
                ++failed;
                ADD_FAILURE() << describe(qsizetype(i)) << problems;
            }
        }
    }
}
