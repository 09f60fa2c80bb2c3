// The result cache's keys and stored form: every part of a key tells results apart, what is
// stored comes back whole (every field of every report), and stored bytes that were not made
// by this build are refused.

#include "common/TestSupport.h"
#include "engine/CachedTidyResult.h"
#include "engine/EngineProtocol.h"
#include "engine/TidyOptionMapping.h"
#include "engine/TidyResultCache.h"
#include "platform/BuildIdentity.h"

#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <set>

namespace {

CachedTidyResult Sample() {
    CachedTidyResult result;
    result.status = TidyRunStatus::Completed;
    for (int i = 0; i < 3; ++i) {
        TidyReport report;
        report.level = TidyWarning + i;
        report.line = 1000 + i;
        report.column = -i;
        report.text = QByteArray("text with a NUL \0 and \xc3\xa9", 22) + QByteArray::number(i);
        result.reports.append(report);
    }
    result.output = KeyedDigest{0x0123456789abcdefull, 0xfedcba9876543210ull};
    result.outputSize = 123456789;
    return result;
}

} // namespace

TEST(CachedTidyResult, ComesBackWholeAndRefusesAnythingElse) {
    const CachedTidyResult sample = Sample();
    const QByteArray stored = EncodeCachedResult(sample);
    CachedTidyResult decoded;
    ASSERT_TRUE(DecodeCachedResult(stored, decoded));
    EXPECT_EQ(decoded, sample);

    CachedTidyResult reportsOnly = sample;
    reportsOnly.output.reset();
    reportsOnly.outputSize = 0;
    ASSERT_TRUE(DecodeCachedResult(EncodeCachedResult(reportsOnly), decoded));
    EXPECT_EQ(decoded, reportsOnly);
    EXPECT_FALSE(decoded.output);

    // Cut anywhere, grown, or with a flag or status no build of ours writes: refused.
    for (qsizetype size = 0; size < stored.size(); ++size)
        EXPECT_FALSE(DecodeCachedResult(QByteArrayView(stored).first(size), decoded)) << size;
    EXPECT_FALSE(DecodeCachedResult(stored + '\0', decoded));
    QByteArray flagged = stored;
    flagged[0] = char(0x80 | flagged[0]);
    EXPECT_FALSE(DecodeCachedResult(flagged, decoded));
    QByteArray unknownOutput = EncodeCachedResult(reportsOnly);
    unknownOutput[5] = 1; // a digest beside "no output known"
    EXPECT_FALSE(DecodeCachedResult(unknownOutput, decoded));
    EXPECT_EQ(decoded, reportsOnly); // untouched by the refusals
}

TEST(TidyResultCache, EveryPartOfTheKeyTellsResultsApart) {
    QTemporaryDir home;
    std::unique_ptr<TidyResultCache> cache = TidyResultCache::Open(home.filePath("a"), {});
    std::unique_ptr<TidyResultCache> other = TidyResultCache::Open(home.filePath("b"), {});
    ASSERT_TRUE(cache && other);
    const ResolvedTidyOptions options = ResolveOptions(TidyOptionSet{});
    TidyOptionSet wrapped;
    wrapped.cbEnableTextWrapping = true;
    wrapped.EditWrapWidth = QStringLiteral("72");
    const KeyedDigest page = cache->Digest("<p>page</p>");

    struct Variant {
        const char* name;
        std::function<KeyedDigest()> key;
    };
    const auto key = [&](TidyResultCache& c, const ResolvedTidyOptions& o, TidyRequest::Mode m,
                         const QByteArray& identity, const QByteArray& bytes) {
        return c.KeysFor(o, m, identity).For(c.Digest(bytes));
    };
    const std::vector<Variant> variants = {
        {"the reference",
         [&] { return key(*cache, options, TidyRequest::Mode::Tidy, "a", "<p>"); }},
        {"another document",
         [&] { return key(*cache, options, TidyRequest::Mode::Tidy, "a", "<p> "); }},
        {"other options",
         [&] { return key(*cache, ResolveOptions(wrapped), TidyRequest::Mode::Tidy, "a", "<p>"); }},
        {"reports only",
         [&] { return key(*cache, options, TidyRequest::Mode::ReportsOnly, "a", "<p>"); }},
        {"another library build",
         [&] { return key(*cache, options, TidyRequest::Mode::Tidy, "b", "<p>"); }},
        {"another user's secret",
         [&] { return key(*other, options, TidyRequest::Mode::Tidy, "a", "<p>"); }},
    };
    std::set<std::pair<quint64, quint64>> seen;
    for (const Variant& variant : variants) {
        const KeyedDigest k = variant.key();
        EXPECT_TRUE(seen.insert({k.low, k.high}).second) << variant.name;
        EXPECT_EQ(variant.key(), k) << variant.name << " is not stable";
    }
    EXPECT_NE(cache->Digest("<p>page</p>"), other->Digest("<p>page</p>"));
    EXPECT_EQ(cache->Digest("<p>page</p>"), page);
}

TEST(TidyResultCache, KeepsOnlyCompletedResults) {
    QTemporaryDir home;
    std::unique_ptr<TidyResultCache> cache = TidyResultCache::Open(home.path(), {});
    ASSERT_TRUE(cache);
    const TidyResultCache::Keys keys =
        cache->KeysFor(ResolveOptions(TidyOptionSet{}), TidyRequest::Mode::Tidy, "build");
    CachedTidyResult failed = Sample();
    failed.status = TidyRunStatus::Failed; // a crash or a time-out says little of the page
    cache->Keep(keys, cache->Digest("crashes"), failed);
    cache->Keep(keys, cache->Digest("tidies"), Sample());
    cache->Commit();
    EXPECT_FALSE(cache->Find(keys, cache->Digest("crashes")));
    EXPECT_EQ(cache->Find(keys, cache->Digest("tidies")), Sample());
}

TEST(BuildIdentity, TellsProgramBuildsApart) {
    const QByteArray engine = platform::ProgramBuildIdentity(BinPath("kelvane-engine"));
    const QByteArray batch = platform::ProgramBuildIdentity(BinPath("kelvane-batch"));
    EXPECT_TRUE(engine.startsWith("gnu-build-id:")) << engine.constData();
    EXPECT_NE(engine, batch);
    QTemporaryDir home;
    const QString copy = home.filePath("engine");
    ASSERT_TRUE(QFile::copy(BinPath("kelvane-engine"), copy));
    EXPECT_EQ(platform::ProgramBuildIdentity(copy), engine); // the same build, wherever it lies
    WriteAll(home.filePath("script"), "#!/bin/sh\nexec true\n");
    const QByteArray script = platform::ProgramBuildIdentity(home.filePath("script"));
    EXPECT_TRUE(script.startsWith("file-digest:"));
    WriteAll(home.filePath("script"), "#!/bin/sh\nexec false\n");
    EXPECT_NE(platform::ProgramBuildIdentity(home.filePath("script")), script);
    EXPECT_TRUE(platform::ProgramBuildIdentity(home.filePath("missing")).isEmpty());
}
