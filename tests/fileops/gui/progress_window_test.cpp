#include "common/TestSupport.h"
#include "fileops/gui/TFormFileProgress.h"
#include "support/Errors.h"
#include "support/Prompts.h"
#include "support/Translation.h"
#include "support/gui/TranslateComponents.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <optional>

namespace {

template <typename T> T* Child(const QObject& form, const char* name) {
    auto* child = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// Something the user does while item `k` is processed. It arrives as an event, so it takes
// effect when the run next lets events run, as a real click does.
void BetweenItems(QObject& context, std::function<void()> action) {
    QTimer::singleShot(0, &context, std::move(action));
    // Past the throttle: the next round of events is not skipped.
    QThread::msleep(TFormFileProgress::kEventInterval + 5);
}

// A list whose length is only known at its end (a stream of paths).
class StreamedItems final : public WorkItems {
public:
    explicit StreamedItems(QStringList paths) : m_list(std::move(paths)) {}
    std::optional<QString> Next() override { return m_list.Next(); }
    qsizetype Count() const override { return -1; }

private:
    ListWorkItems m_list;
};

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No test may wait for a person: a window left open is closed.
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, &form, [this] {
            timedOut = true;
            form.Run().OnNextItem = nullptr;
            form.done(mrCancel);
        });
        safety.start(10000);
    }

    TFormFileProgress form;
    QTimer safety;
    bool timedOut = false;
};

enum class Press { Nothing, CancelButton, CancelAction, CloseBox, Escape };
enum class Query { None, Yes, No };

struct CancelCase {
    const char* name;
    Press press;
    int atItem;
    Query query;
    int processed;
    TFormFileProgressState state;
    bool ok;
};

} // namespace

TEST_F(ProgressWindowTest, CancelAndCloseRequestsStopTheRunOnlyBetweenItemsAndOnlyOnYes) {
    const CancelCase cases[] = {
        {"no request", Press::Nothing, -1, Query::Yes, 3, fpsIdle, true},
        {"Cancel button, no query", Press::CancelButton, 0, Query::None, 1, fpsCancelled, false},
        {"close box, no query", Press::CloseBox, 1, Query::None, 2, fpsCancelled, false},
        {"close box, query says no", Press::CloseBox, 0, Query::No, 3, fpsIdle, true},
        {"Cancel action, query says no", Press::CancelAction, 0, Query::No, 3, fpsIdle, true},
        {"Cancel during the last item, yes", Press::CancelButton, 2, Query::Yes, 3, fpsCancelled,
         false},
        {"Escape is no Cancel", Press::Escape, 0, Query::Yes, 3, fpsIdle, true},
    };
    auto* cancel = Child<QPushButton>(form, "btCancel");
    auto* action = Child<QAction>(form, "actCancel");
    for (const CancelCase& c : cases) {
        FileProgressRun& run = form.Run();
        run.Caption = QStringLiteral("Restoring Files...");
        int processed = 0, queries = 0, finished = 0;
        bool visibleInSteps = true, visibleWhenFinished = false;
        run.OnNextItem = [&](FileProgressRun&, const QString&) {
            visibleInSteps = visibleInSteps && form.isVisible();
            if (processed++ == c.atItem) {
                BetweenItems(form, [&] {
                    switch (c.press) {
                    case Press::CancelButton:
                        QTest::mouseClick(cancel, Qt::LeftButton);
                        break;
                    case Press::CancelAction:
                        action->trigger();
                        break;
                    case Press::CloseBox:
                        form.close();
                        break;
                    case Press::Escape:
                        QTest::keyClick(&form, Qt::Key_Escape);
                        break;
                    case Press::Nothing:
                        break;
                    }
                });
            }
            return true;
        };
        if (c.query != Query::None) {
            run.OnCancelQuery = [&](FileProgressRun&) {
                ++queries;
                return c.query == Query::Yes;
            };
        }
        run.OnFinished = [&](FileProgressRun&) {
            ++finished;
            visibleWhenFinished = form.isVisible();
        };
        ListWorkItems items({"/a", "/b", "/c"});
        EXPECT_EQ(run.RunItems(items), c.ok) << c.name;
        EXPECT_EQ(processed, c.processed) << c.name;
        EXPECT_EQ(run.State(), c.state) << c.name;
        EXPECT_EQ(form.result(), c.ok ? mrOk : mrCancel) << c.name;
        EXPECT_EQ(finished, 1) << c.name;
        EXPECT_TRUE(visibleInSteps && visibleWhenFinished) << c.name;
        EXPECT_FALSE(form.isVisible()) << c.name << ": the window closes by itself";
        const bool asked =
            c.query != Query::None && c.press != Press::Nothing && c.press != Press::Escape;
        EXPECT_EQ(queries, asked ? 1 : 0) << c.name;
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Restoring Files...")) << c.name;
        run.ResetRun();
    }
    EXPECT_FALSE(timedOut);
}

TEST_F(ProgressWindowTest, BarAndCaptionFollowTheItemInHand) {
    struct BarCase {
        const char* name;
        QStringList paths;
        bool streamed;
        // minimum, maximum, value seen while each item is processed
        QList<std::array<int, 3>> bars;
    };
    const BarCase cases[] = {
        {"one item: full while it runs", {"/one.htm"}, false, {{0, 1, 1}}},
        {"three items", {"/a", "/b", "/c"}, false, {{0, 2, 0}, {0, 2, 1}, {0, 2, 2}}},
        {"unknown length: busy bar", {"/a", "/b"}, true, {{0, 0, -1}, {0, 0, -1}}},
    };
    auto* bar = Child<QProgressBar>(form, "pbProgress");
    auto* caption = Child<QLabel>(form, "lblMessage");
    for (const BarCase& c : cases) {
        FileProgressRun& run = form.Run();
        QList<std::array<int, 3>> bars;
        QStringList captions;
        run.OnNameQuery = [](FileProgressRun&, const QString& item) {
            return QStringLiteral("Processing ") + item.mid(1);
        };
        run.OnNextItem = [&](FileProgressRun& sender, const QString&) {
            bars.append({bar->minimum(), bar->maximum(), c.streamed ? -1 : bar->value()});
            captions << caption->text();
            EXPECT_EQ(sender.ItemCount(), c.streamed ? sender.CurrentItem() + 1 : c.paths.size());
            return true;
        };
        ListWorkItems list(c.paths);
        StreamedItems stream(c.paths);
        WorkItems& items = c.streamed ? static_cast<WorkItems&>(stream) : list;
        EXPECT_TRUE(run.RunItems(items)) << c.name;
        EXPECT_EQ(bars, c.bars) << c.name;
        QStringList expected;
        for (const QString& path : c.paths)
            expected << QStringLiteral("Processing ") + path.mid(1);
        EXPECT_EQ(captions, expected) << c.name;
        run.ResetRun();
        EXPECT_EQ(bar->value(), 0) << c.name;
        EXPECT_EQ(run.ItemCount(), 0) << c.name;
        EXPECT_FALSE(run.OnNextItem || run.OnNameQuery || run.OnCancelQuery || run.OnFinished);
    }
}

TEST_F(ProgressWindowTest, MessageLinesCarryTheirMarkAndViewMessagesShowsThemDuringTheRun) {
    auto* list = Child<QTreeWidget>(form, "lvMessages");
    auto* box = Child<QCheckBox>(form, "cbShowMessages");
    EXPECT_EQ(box->text(), QStringLiteral("View Messages"));
    EXPECT_FALSE(form.ShowMessages());
    EXPECT_TRUE(list->isHidden());
    EXPECT_EQ(list->size(), QSize(361, 257));

    FileProgressRun& run = form.Run();
    int closedHeight = 0, linesSeenWhenShown = -1;
    run.OnNextItem = [&](FileProgressRun& sender, const QString& item) {
        if (item == QLatin1String("/a")) {
            sender.AddError(QStringLiteral("/a: File is read-only. This file cannot be tidied."));
            sender.AddNotice(QStringLiteral("/a: No backup exists."));
            closedHeight = form.height();
            BetweenItems(form, [&] { QTest::mouseClick(box, Qt::LeftButton); });
        } else if (item == QLatin1String("/b")) {
            linesSeenWhenShown = list->isVisible() ? list->topLevelItemCount() : -1;
            EXPECT_GT(form.height(), closedHeight + 200) << "the window grows with the list";
            sender.AddError(QStringLiteral("Tidy cancelled"));
        }
        return true;
    };
    ListWorkItems items({"/a", "/b"});
    EXPECT_TRUE(run.RunItems(items));
    EXPECT_EQ(linesSeenWhenShown, 2);
    EXPECT_TRUE(form.ShowMessages());
    EXPECT_TRUE(Child<QAction>(form, "actViewMessages")->isChecked());

    ASSERT_EQ(list->topLevelItemCount(), 3);
    const auto markOf = [&](int row) {
        const QImage image = list->topLevelItem(row)->icon(0).pixmap(16, 16).toImage();
        const QColor centre = image.pixelColor(8, 8);
        return centre.alpha() == 0                          ? QStringLiteral("none")
               : centre.red() > 150 && centre.green() < 100 ? QStringLiteral("red cross")
                                                            : centre.name();
    };
    EXPECT_EQ(markOf(0), QStringLiteral("red cross"));
    EXPECT_EQ(markOf(1), QStringLiteral("none"));
    EXPECT_EQ(markOf(2), QStringLiteral("red cross"));
    EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("/a: No backup exists."));
    EXPECT_EQ(run.MessageTexts().size(), 3);

    // The setting outlasts the run; the lines do not.
    run.ResetRun();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_TRUE(form.ShowMessages());
    form.actViewMessagesExecute();
    EXPECT_FALSE(form.ShowMessages());
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(list->isHidden());
}

TEST_F(ProgressWindowTest, ErrorInAStepClosesTheWindowAndReachesTheCaller) {
    FileProgressRun& run = form.Run();
    int processed = 0, finished = 0;
    run.OnNextItem = [&](FileProgressRun&, const QString& item) {
        ++processed;
        if (item == QLatin1String("/b"))
            throw KelvaneError(QStringLiteral("Cannot open file \"/b\"."));
        return true;
    };
    run.OnFinished = [&](FileProgressRun&) { ++finished; };
    ListWorkItems items({"/a", "/b", "/c"});
    try {
        run.RunItems(items);
        ADD_FAILURE() << "the error was swallowed";
    } catch (const KelvaneError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("Cannot open file \"/b\"."));
    }
    EXPECT_EQ(processed, 2);
    EXPECT_EQ(finished, 0);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(run.State(), fpsIdle);
    run.ResetRun();

    // The window is ready for the next run.
    run.OnNextItem = [&](FileProgressRun&, const QString&) { return ++processed > 0; };
    ListWorkItems again({"/d"});
    EXPECT_TRUE(run.RunItems(again));
    EXPECT_EQ(processed, 3);
}

TEST_F(ProgressWindowTest, OpensCentredOnItsOwnerAndIsTranslated) {
    QTemporaryDir language;
    ASSERT_TRUE(language.isValid());
    LoadLanguageText(language.path(), "<//TFormFileProgress-progress\n"
                                      "E=View Messages\nT=Meldungen zeigen\n"
                                      "E=Cancel\nT=Abbrechen\n"
                                      "E=Tidying Files...\nT=Dateien werden bereinigt...\n"
                                      "<//STRING_TABLE-texts\n"
                                      "E=Validating Files...\nT=Dateien werden gepr\xc3\xbc"
                                      "ft...\n");
    QWidget owner;
    owner.setGeometry(200, 150, 900, 700);
    owner.show();
    TFormFileProgress owned(&owner);
    TranslateComponent(&owned);
    EXPECT_EQ(owned.windowTitle(), QStringLiteral("Dateien werden bereinigt..."));
    EXPECT_EQ(Child<QCheckBox>(owned, "cbShowMessages")->text(),
              QStringLiteral("Meldungen zeigen"));
    EXPECT_EQ(Child<QPushButton>(owned, "btCancel")->text(), QStringLiteral("Abbrechen"));

    // A run's caption is a text of the string table.
    QPoint centre;
    QString title;
    owned.Run().Caption = QStringLiteral("Validating Files...");
    owned.Run().OnNextItem = [&](FileProgressRun&, const QString&) {
        centre = owned.geometry().center();
        title = owned.windowTitle();
        return true;
    };
    ListWorkItems items({"/a"});
    EXPECT_TRUE(owned.Run().RunItems(items));
    ClearTranslations();
    EXPECT_EQ(title, QStringLiteral("Dateien werden geprüft..."));
    EXPECT_LE((centre - owner.frameGeometry().center()).manhattanLength(), 4);
}
