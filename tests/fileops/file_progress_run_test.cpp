#include "fileops/FileProgressRun.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// Runs the loop straight away and records what the window would show.
class RecordingView final : public ProgressView {
public:
    void RunModal(const QString& caption, const std::function<void()>& process) override {
        captions << caption;
        process();
    }
    void ShowItem(qsizetype index, qsizetype count, const QString& caption) override {
        shown << QStringLiteral("%1/%2 %3").arg(index).arg(count).arg(caption);
    }
    void MessageAdded(const ProgressMessage& message) override { lines << message.text; }
    void LetEventsRun() override {
        if (betweenItems)
            betweenItems();
    }
    void Reset() override { ++resets; }

    QStringList captions, shown, lines;
    std::function<void()> betweenItems;
    int resets = 0;
};

struct CancelCase {
    const char* name;
    int cancelAtItem; // Cancel pressed while this item is processed (-1: never)
    bool queryAnswer; // what the cancel query says (when set)
    bool withQuery;
    int expectedProcessed;
    TFormFileProgressState expectedState;
    bool expectedOk;
};

TEST(FileProgressRun, CancelStopsBeforeTheNextItemOnlyWhenTheQueryAgrees) {
    const CancelCase cases[] = {
        {"no cancel", -1, true, false, 3, fpsIdle, true},
        {"cancel without query", 0, true, false, 1, fpsCancelled, false},
        {"query says no", 0, false, true, 3, fpsIdle, true},
        {"query says yes", 1, true, true, 2, fpsCancelled, false},
        {"cancel during the last item", 2, true, true, 3, fpsCancelled, false},
    };
    for (const CancelCase& c : cases) {
        RecordingView view;
        FileProgressRun run(view);
        int processed = 0, finished = 0, queries = 0;
        run.OnNextItem = [&](FileProgressRun& sender, const QString&) {
            EXPECT_EQ(sender.ItemCount(), 3);
            EXPECT_EQ(sender.CurrentItem(), processed);
            if (processed++ == c.cancelAtItem)
                sender.Cancel();
            return true;
        };
        if (c.withQuery)
            run.OnCancelQuery = [&](FileProgressRun&) {
                ++queries;
                return c.queryAnswer;
            };
        run.OnFinished = [&](FileProgressRun&) { ++finished; };
        ListWorkItems items({"/a", "/b", "/c"});
        EXPECT_EQ(run.RunItems(items), c.expectedOk) << c.name;
        EXPECT_EQ(processed, c.expectedProcessed) << c.name;
        EXPECT_EQ(run.State(), c.expectedState) << c.name;
        EXPECT_EQ(finished, 1) << c.name;
        EXPECT_EQ(queries, c.withQuery && c.cancelAtItem >= 0 ? 1 : 0) << c.name;
        // A second Cancel after a confirmed one asks nothing more.
        run.Cancel();
        EXPECT_EQ(queries, c.withQuery && c.cancelAtItem >= 0 ? 1 : 0) << c.name;
    }
}

TEST(FileProgressRun, HandlersCaptionsMessagesAndReset) {
    RecordingView view;
    FileProgressRun run(view);
    run.Caption = QStringLiteral("Tidying Files...");
    run.OnNameQuery = [](FileProgressRun&, const QString& item) { return item.toUpper(); };
    run.OnNextItem = [](FileProgressRun& sender, const QString& item) {
        sender.AddError(item + QStringLiteral(" failed"));
        sender.AddNotice(item + QStringLiteral(" noted"));
        return item != QLatin1String("/stop");
    };
    ListWorkItems items({"/a", "/stop", "/never"});
    EXPECT_TRUE(run.RunItems(items));
    EXPECT_EQ(view.captions, QStringList({"Tidying Files..."}));
    EXPECT_EQ(view.shown, QStringList({"0/3 /A", "1/3 /STOP"}));
    EXPECT_EQ(run.MessageTexts(),
              QStringList({"/a failed", "/a noted", "/stop failed", "/stop noted"}));
    EXPECT_EQ(run.Messages().at(1).mark, MessageMark::Notice);
    EXPECT_EQ(run.State(), fpsIdle);
    EXPECT_EQ(run.ItemCount(), 3); // the list is let go, its total kept for the summary

    run.ResetRun();
    EXPECT_EQ(run.ItemCount(), 0);
    EXPECT_TRUE(run.Messages().isEmpty());
    EXPECT_FALSE(run.OnNextItem || run.OnNameQuery || run.OnCancelQuery || run.OnFinished);
    EXPECT_EQ(view.resets, 1);
}

TEST(FileProgressRun, CloseRequestAndErrorsInAStep) {
    RecordingView view;
    FileProgressRun run(view);
    EXPECT_TRUE(run.CloseQuery()); // idle: may close

    bool closeAllowed = true;
    run.OnCancelQuery = [](FileProgressRun&) { return false; };
    run.OnNextItem = [&](FileProgressRun& sender, const QString&) {
        closeAllowed = sender.CloseQuery();
        return true;
    };
    ListWorkItems one({"/a"});
    EXPECT_TRUE(run.RunItems(one));
    EXPECT_FALSE(closeAllowed); // running, and the query declined

    bool finished = false;
    run.OnFinished = [&](FileProgressRun&) { finished = true; };
    run.OnNextItem = [](FileProgressRun&, const QString&) -> bool {
        throw std::runtime_error("disk gone");
    };
    ListWorkItems two({"/a", "/b"});
    EXPECT_THROW(run.RunItems(two), std::runtime_error);
    EXPECT_FALSE(finished);
    EXPECT_EQ(run.State(), fpsIdle);
}

// A streamed list: the count is not known until it ends.
class StreamItems final : public WorkItems {
public:
    std::optional<QString> Next() override {
        if (m_left == 0)
            return std::nullopt;
        return QStringLiteral("/p%1").arg(m_left--);
    }
    qsizetype Count() const override { return -1; }

private:
    int m_left = 3;
};

TEST(FileProgressRun, StreamedListsCountWhatWasTaken) {
    RecordingView view;
    FileProgressRun run(view);
    qsizetype countAtEnd = 0;
    run.OnNextItem = [](FileProgressRun&, const QString&) { return true; };
    run.OnFinished = [&](FileProgressRun& sender) { countAtEnd = sender.ItemCount(); };
    StreamItems items;
    run.RunItems(items);
    EXPECT_EQ(countAtEnd, 3);
    EXPECT_EQ(view.shown.first(), QStringLiteral("0/-1 /p3"));
}

} // namespace
