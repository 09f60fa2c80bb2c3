// Tidy and validate runs with the result cache against the same runs without it, on two copies
// of the example site run side by side through the real library: every record (outcome and
// reports) and every file must be the same after each step, reruns over what did not change
// must cost no run of the library, and an edit that keeps a page's size and dates must be seen.

#include "BatchDoubles.h"
#include "engine/TidyLibraryRun.h"
#include "engine/TidyOptionMapping.h"
#include "engine/TidyOptionSet.h"
#include "engine/TidyResultCache.h"
#include "fileops/BackupStore.h"

#include <QDirIterator>
#include <QThread>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// The library in this process, counting its runs by mode, under an identity of its own.
class CountingRunner final : public TidyRunner {
public:
    TidyResult run(const TidyRequest& request) override {
        ++runs[int(request.mode)];
        return RunTidyLibrary(request);
    }
    QByteArray identity() const override { return build; }
    int Total() const { return runs[0] + runs[1] + runs[2]; }
    int runs[3] = {0, 0, 0};
    QByteArray build = "counting-runner-1";
};

struct Outcome {
    FileOutcome outcome;
    QList<TidyReport> reports;
    bool operator==(const Outcome&) const = default;
};

// Rewrites a page with other bytes of the same size, its times as before (`touch -r`).
void EditKeepingSizeAndTimes(const QString& path, char from, char to) {
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    ASSERT_EQ(::stat(name.constData(), &before), 0);
    QByteArray bytes = ReadAll(path);
    const qsizetype at = bytes.indexOf(from);
    ASSERT_GE(at, 0) << path.toStdString();
    bytes[at] = to;
    WriteAll(path, bytes);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, name.constData(), times, 0), 0);
    struct stat after {};
    ASSERT_EQ(::stat(name.constData(), &after), 0);
    ASSERT_EQ(after.st_size, before.st_size);
    ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

class CachedRuns : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        for (const char* tree : {"cached", "plain"}) {
            QDirIterator it(ExamplesPath(QStringLiteral("site")), {"*.html", "*.htm"}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString source = it.next();
                const QString target = home.filePath(QLatin1String(tree)) +
                                       source.mid(ExamplesPath(QStringLiteral("site")).size());
                QDir().mkpath(QFileInfo(target).path());
                ASSERT_TRUE(QFile::copy(source, target));
                if (QLatin1String(tree) == QLatin1String("cached"))
                    pages << target.mid(home.filePath("cached").size());
            }
        }
        pages.sort();
        cache = OpenCache(CacheStrategy::Content);
        ASSERT_TRUE(cache);
    }

    std::unique_ptr<TidyResultCache> OpenCache(CacheStrategy strategy) {
        return TidyResultCache::Open(home.filePath("cache"), {}, strategy);
    }

    // Runs the command over both trees, the first with the cache; expects the same records and
    // the same files, and answers how many runs of the library the cached road needed.
    int Both(bool tidy) {
        std::vector<Outcome> outcomes[2];
        for (int road = 0; road < 2; ++road) {
            const QString tree = home.filePath(road == 0 ? "cached" : "plain");
            ScopedTidyResultCache installed(road == 0 ? cache.get() : nullptr);
            CountingRunner& runner = road == 0 ? cached : plain;
            ScopedTidyRunner scoped(runner);
            BatchRig rig;
            QStringList paths;
            for (const QString& page : std::as_const(pages))
                paths << tree + page;
            ListWorkItems items(paths);
            if (tidy) {
                prompts.optionsAnswers.push_back(true);
                rig.commands.RunTidyBatch(items);
            } else {
                rig.commands.RunValidateBatch(items);
            }
            for (const FileRecord& record : std::as_const(rig.observer.records))
                outcomes[road].push_back({record.outcome, record.reports});
        }
        EXPECT_EQ(outcomes[0].size(), size_t(pages.size()));
        EXPECT_TRUE(outcomes[0] == outcomes[1]) << "the records differ";
        for (const QString& page : std::as_const(pages)) {
            EXPECT_EQ(ReadAll(home.filePath("cached") + page),
                      ReadAll(home.filePath("plain") + page))
                << page.toStdString();
        }
        const int runs = cached.Total() - m_counted;
        m_counted = cached.Total();
        return runs;
    }

    QTemporaryDir home;
    QStringList pages; // below each tree, with a leading '/'
    std::unique_ptr<TidyResultCache> cache;
    CountingRunner cached, plain;
    ScriptedPrompts prompts;
    ScopedPrompts scopedPrompts{prompts};

private:
    int m_counted = 0;
};

} // namespace

TEST_F(CachedRuns, RerunsGiveWhatRunsWithoutTheCacheGiveAndCostOnlyWhatChanged) {
    const int count = int(pages.size());
    ASSERT_GE(count, 8);
    EXPECT_EQ(Both(false), count) << "first validation";
    EXPECT_EQ(Both(false), 0) << "validation again";

    // The first tidy runs every page, and checks each text it writes.
    EXPECT_GT(Both(true), count);
    EXPECT_EQ(Both(true), 0) << "tidy again, over the tidied pages";
    EXPECT_EQ(Both(false), 0) << "a validation of what tidying wrote";

    // Edits that keep each page's size and times: seen by their content.
    const QString first = pages.first(), last = pages.last();
    for (const QString& page : {first, last}) {
        for (const char* tree : {"cached", "plain"})
            EditKeepingSizeAndTimes(home.filePath(QLatin1String(tree)) + page, '<', '[');
    }
    EXPECT_EQ(Both(false), 2) << "validation after two edits";
    // The edited pages are tidied again (their backups take what they held), and checked.
    const int tidied = Both(true);
    EXPECT_GE(tidied, 2);
    EXPECT_LE(tidied, 2 * 3);
    EXPECT_EQ(Both(true), 0);

    // Back as the backup holds it: the page is what tidying its backup gives, as before.
    for (const QString& page : {first}) {
        for (const char* tree : {"cached", "plain"}) {
            const QString path = home.filePath(QLatin1String(tree)) + page;
            WriteAll(path, ReadAll(BackupPathOf(path)));
        }
    }
    Both(true);
    EXPECT_EQ(Both(true), 0);
}

TEST_F(CachedRuns, OtherOptionsOrAnotherLibraryBuildAreNotAnsweredFromTheCache) {
    const int count = int(pages.size());
    EXPECT_EQ(Both(false), count);
    const TidyOptionSet saved = CurrentOptionSet();
    CurrentOptionSet().cbEnableTextWrapping = true;
    CurrentOptionSet().EditWrapWidth = QStringLiteral("40");
    CurrentOptionSet().cbUppercaseTags = false;
    EXPECT_EQ(Both(false), count) << "other options";
    CurrentOptionSet() = saved;
    EXPECT_EQ(Both(false), 0) << "the first options again";
    cached.build = "counting-runner-2";
    EXPECT_EQ(Both(false), count) << "another build of the library";
    cached.build.clear(); // a runner without an identity is never cached
    EXPECT_EQ(Both(false), count);
    EXPECT_EQ(Both(false), count);
}

TEST_F(CachedRuns, TheMetadataStrategySeesAnEditThatKeepsSizeAndModificationTime) {
    // A file is remembered only once its times are some seconds old, as real pages' are.
    for (const char* tree : {"cached", "plain"}) {
        for (const QString& page : std::as_const(pages)) {
            const timespec old[2] = {{1600000000, 0}, {1600000000, 123}};
            ASSERT_EQ(::utimensat(
                          AT_FDCWD,
                          QFile::encodeName(home.filePath(QLatin1String(tree)) + page).constData(),
                          old, 0),
                      0);
        }
    }
    // Status-change times are those of the copies: some seconds must pass.
    QThread::sleep(3);
    cache.reset();
    cache = OpenCache(CacheStrategy::Metadata);
    ASSERT_TRUE(cache);
    const int count = int(pages.size());
    EXPECT_EQ(Both(false), count);
    EXPECT_EQ(Both(false), 0);
    for (const char* tree : {"cached", "plain"})
        EditKeepingSizeAndTimes(home.filePath(QLatin1String(tree)) + pages.first(), '<', '[');
    EXPECT_EQ(Both(false), 1) << "its status-change time moved";
}
