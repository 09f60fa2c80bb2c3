#include "batch/BatchArguments.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

namespace {

QStringList Split(const char* line) {
    return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

TEST(BatchArguments, AcceptedForms) {
    struct Case {
        const char* line;
        std::function<void(const BatchArguments&)> expect;
    };
    const Case cases[] = {
        {"tidy site",
         [](const BatchArguments& a) {
             EXPECT_EQ(a.command, BatchCommand::Tidy);
             EXPECT_EQ(a.paths, QStringList{"site"});
             EXPECT_FALSE(a.recursive || a.quiet || a.masks || a.filesFrom || a.WritesNothing());
             EXPECT_EQ(a.jobs, 0);
             EXPECT_EQ(a.format, ReportFormat::Text);
         }},
        // Clusters, attached values, switches after paths, "--" before a path like a switch.
        {"-rq0 validate --files-from=- -j3 -m*.htm;*.php a -- -b",
         [](const BatchArguments& a) {
             EXPECT_EQ(a.command, BatchCommand::Validate);
             EXPECT_TRUE(a.recursive && a.quiet && a.nullSeparated);
             EXPECT_EQ(a.filesFrom, QString("-"));
             EXPECT_EQ(a.jobs, 3);
             EXPECT_EQ(a.masks, QString("*.htm;*.php"));
             EXPECT_EQ(a.paths, (QStringList{"a", "-b"}));
         }},
        {"tidy --check --diff --force --format sarif --options o.ini --mask *.x -j 8 p",
         [](const BatchArguments& a) {
             EXPECT_TRUE(a.check && a.diff && a.force && a.WritesNothing());
             EXPECT_EQ(a.format, ReportFormat::Sarif);
             EXPECT_EQ(a.optionsFile, QString("o.ini"));
             EXPECT_EQ(a.masks, QString("*.x"));
             EXPECT_EQ(a.jobs, 8);
         }},
        {"restore --force -r site",
         [](const BatchArguments& a) {
             EXPECT_EQ(a.command, BatchCommand::Restore);
             EXPECT_TRUE(a.force && a.recursive);
         }},
        // The result cache: on by default, off with --no-cache (the last of the two wins).
        {"validate --cache-location=/c --cache-strategy metadata p",
         [](const BatchArguments& a) {
             EXPECT_TRUE(a.cache);
             EXPECT_EQ(a.cacheLocation, QString("/c"));
             EXPECT_EQ(a.cacheStrategy, CacheStrategy::Metadata);
         }},
        {"tidy --cache --no-cache p",
         [](const BatchArguments& a) {
             EXPECT_FALSE(a.cache);
             EXPECT_FALSE(a.cacheStrategy);
         }},
        {"tidy --no-cache --cache --cache-strategy content p",
         [](const BatchArguments& a) {
             EXPECT_TRUE(a.cache);
             EXPECT_EQ(a.cacheStrategy, CacheStrategy::Content);
         }},
        {"clean --files-from list",
         [](const BatchArguments& a) {
             EXPECT_EQ(a.command, BatchCommand::Clean);
             EXPECT_TRUE(a.paths.isEmpty());
         }},
        // Help and version need nothing else.
        {"--help", [](const BatchArguments& a) { EXPECT_TRUE(a.help); }},
        {"--version", [](const BatchArguments& a) { EXPECT_TRUE(a.version); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        c.expect(ParseBatchArguments(Split(c.line)));
    }
}

TEST(BatchArguments, RefusedWithAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "no command"},
        {"frob x", "unknown command 'frob'"},
        {"tidy", "no PATH"},
        {"tidy --bogus x", "unknown switch '--bogus'"},
        {"tidy -x x", "unknown switch '-x'"},
        {"tidy x -m", "-m needs a value"},
        {"tidy -j 0 x", "--jobs wants a whole number"},
        {"tidy -j many x", "--jobs wants a whole number"},
        {"tidy --format xml x", "--format wants text, json or sarif"},
        {"tidy --mask [a x", "'[a' is an invalid mask at (3)"},
        {"tidy --check=yes x", "--check takes no value"},
        {"validate --diff x", "--diff goes with tidy only"},
        {"clean --force x", "--force goes with tidy and restore only"},
        {"validate --force x", "--force goes with tidy and restore only"},
        {"tidy -0 x", "-0 goes with --files-from"},
        {"tidy --files-from a --files-from b", "--files-from is given twice"},
        {"tidy --cache-strategy mtime x", "--cache-strategy wants content or metadata"},
        {"tidy --no-cache --cache-location c x", "--no-cache leaves no cache for --cache-location"},
        {"validate --cache-strategy metadata --no-cache x", "--no-cache leaves no cache"},
        {"restore --cache-location c x", "--cache-location goes with tidy and validate only"},
        {"clean --cache-strategy content x", "--cache-strategy goes with tidy and validate only"},
        {"tidy --cache-location= x", "--cache-location wants a folder"},
        {"tidy --cache-location a --cache-location b x", "--cache-location is given twice"},
        {"tidy --no-cache=1 x", "--no-cache takes no value"},
    };
    for (const auto& [line, reason] : cases) {
        SCOPED_TRACE(line);
        try {
            ParseBatchArguments(Split(line));
            ADD_FAILURE() << "accepted";
        } catch (const UsageError& error) {
            EXPECT_TRUE(error.message().contains(QString::fromUtf8(reason)))
                << error.message().toStdString();
        }
    }
}
