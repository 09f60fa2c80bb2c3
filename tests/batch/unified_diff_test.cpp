// The diff is checked against GNU diff itself: the same hunks, byte for byte, and a patch that
// `patch` applies to give the second text.

#include "batch/UnifiedDiff.h"
#include "common/TestSupport.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class UnifiedDiffTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QByteArray GnuDiff(const QByteArray& a, const QByteArray& b) {
        WriteAll(dir.filePath("a"), a);
        WriteAll(dir.filePath("b"), b);
        QProcess diff;
        diff.start("diff", {"-u", "-a", "--label", "a/x", "--label", "b/x", dir.filePath("a"),
                            dir.filePath("b")});
        EXPECT_TRUE(diff.waitForFinished(10000));
        return diff.readAllStandardOutput();
    }

    // Applies `patch` to `a`, kept in the file `name`, and answers the result.
    QByteArray Patched(const QByteArray& a, const QByteArray& patch, const QString& name = "x") {
        WriteAll(dir.filePath(name), a);
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start("patch", {"-s", "-p1", "--no-backup-if-mismatch"});
        process.write(patch);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardOutput().constData();
        return ReadAll(dir.filePath(name));
    }

    QTemporaryDir dir;
};

QByteArray Lines(std::initializer_list<const char*> lines) {
    QByteArray text;
    for (const char* line : lines)
        text += QByteArray(line) + '\n';
    return text;
}

} // namespace

TEST_F(UnifiedDiffTest, SameHunksAsGnuDiff) {
    const QByteArray ten = Lines({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"});
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"", "new\n"},
        {"old\n", ""},
        {ten, "0\n" + ten},                                                // insert at the start
        {ten, Lines({"1", "2", "3", "4", "5", "6", "7", "8", "9"})},       // delete at the end
        {ten, Lines({"1", "X", "3", "4", "5", "6", "7", "8", "Y", "10"})}, // two hunks
        {ten, Lines({"1", "X", "3", "4", "5", "6", "Y", "8", "9", "10"})}, // merged context
        {"a\nb", "a\nb\n"},                                                // newline added
        {"a\nb\n", "a\nc"},                                                // newline removed
        {"same\nend", "other\nend"},                                       // both without
        {"<p>\r\n<b>\r\n", "<P>\r\n<B>\r\n"},                              // CR LF lines
        {QByteArray("nul\0byte\n", 9), "nul\n"},
    };
    for (const auto& [a, b] : cases) {
        SCOPED_TRACE(a.toStdString() + " -> " + b.toStdString());
        EXPECT_EQ(UnifiedDiff(a, b, "a/x", "b/x"), GnuDiff(a, b));
    }
    EXPECT_TRUE(UnifiedDiff(ten, ten, "a/x", "b/x").isEmpty());
}

TEST_F(UnifiedDiffTest, RandomEditsPatchBack) {
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    for (int round = 0; round < 20; ++round) {
        QByteArray a, b;
        for (int i = 0; i < 200; ++i) {
            const QByteArray line = "line " + QByteArray::number(random.bounded(40)) + '\n';
            const int what = random.bounded(10);
            if (what != 0)
                a += line;
            if (what != 1)
                b += what == 2 ? "changed\n" : line;
        }
        SCOPED_TRACE(seed);
        EXPECT_EQ(Patched(a, UnifiedDiff(a, b, "a/x", "b/x")), b);
    }
}

TEST_F(UnifiedDiffTest, TextsTooDifferentForTheBudgetStillPatchBack) {
    // Two long texts with nothing in common except a line in the middle: the search gives up
    // the shortest diff, and what it prints must still be right.
    QByteArray a, b;
    for (int i = 0; i < 30000; ++i) {
        a += "a" + QByteArray::number(i) + '\n';
        b += "b" + QByteArray::number(i) + '\n';
        if (i == 15000)
            a += "common\n", b += "common\n";
    }
    EXPECT_EQ(Patched(a, UnifiedDiff(a, b, "a/x", "b/x")), b);
}

TEST_F(UnifiedDiffTest, APageTidiedOnNearlyEveryLineGetsGnuDiffsShortestDiff) {
    // As tidying in upper case gives: most lines change, a few stay. Lines found on one side
    // only are changes before any search, so the search stays small and the diff shortest.
    QByteArray a, b;
    for (int i = 0; i < 20000; ++i) {
        const QByteArray line = "<td>cell " + QByteArray::number(i) + "</td>\n";
        a += line;
        b += i % 50 == 0 ? line : line.toUpper();
    }
    EXPECT_EQ(UnifiedDiff(a, b, "a/x", "b/x"), GnuDiff(a, b));
}

TEST_F(UnifiedDiffTest, OddNamesAreQuotedAsGnuDiffDoesAndPatchFindsTheFile) {
    const struct {
        QByteArray name;
        QByteArray header; // after "--- "
    } cases[] = {
        {"plain.html", "a/plain.html"},
        {"two words.html", "\"a/two words.html\""},
        {"new\nline.html", "\"a/new\\nline.html\""},
        {"tab\tq\"b\\.htm", "\"a/tab\\tq\\\"b\\\\.htm\""},
        {"bell\a\x01.html", "\"a/bell\\a\\001.html\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QByteArray diff = UnifiedDiff("old\n", "new\n", "a/" + c.name, "b/" + c.name);
        EXPECT_TRUE(diff.startsWith("--- " + c.header + "\n")) << diff.constData();
        EXPECT_EQ(Patched("old\n", diff, QString::fromUtf8(c.name)), "new\n");
    }
}
