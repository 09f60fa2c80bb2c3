#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "fileops/gui/TFormFileList.h"
#include "support/Translation.h"
#include "support/gui/TranslateComponents.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

enum class Press { Nothing, CancelButton, Escape, CloseBox };

// The scanning window, with a user who does something once the scan has seen `pressAfter`
// entries.
class TFormFileListUnderTest : public TFormFileList {
public:
    bool KeepGoing() override {
        if (++entries == pressAfter) {
            visibleWhileScanning = isVisible();
            switch (press) {
            case Press::CancelButton:
                QTest::mouseClick(findChild<QPushButton*>(QStringLiteral("ButtonCancel")),
                                  Qt::LeftButton);
                break;
            case Press::Escape:
                QTest::keyClick(this, Qt::Key_Escape);
                break;
            case Press::CloseBox:
                close();
                break;
            case Press::Nothing:
                break;
            }
        }
        return TFormFileList::KeepGoing();
    }

    Press press = Press::Nothing;
    int pressAfter = -1;
    int entries = 0;
    bool visibleWhileScanning = false;
};

QString LabelText(const QObject& form, const char* name) {
    const auto* label = form.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing>");
}

class ScanWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // 4 folders of 30 pages and 10 other files each, one of them hidden.
        for (const char* folder : {"a", "b", ".c", "b/d"}) {
            QDir().mkpath(dir.filePath(QString::fromLatin1(folder)));
            for (int i = 0; i < 40; ++i) {
                const char* suffix = i < 30 ? ".htm" : ".txt";
                WriteAll(dir.filePath(QStringLiteral("%1/p%2%3")
                                          .arg(QLatin1String(folder))
                                          .arg(i)
                                          .arg(QLatin1String(suffix))),
                         "<p>");
            }
        }
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, &form, [this] {
            timedOut = true;
            form.reject();
        });
        safety.start(10000);
    }

    QTemporaryDir dir;
    TFormFileListUnderTest form;
    QTimer safety;
    bool timedOut = false;
};

struct ScanCase {
    const char* name;
    Press press;
    int pressAfter;
    bool expectedResult;
};

} // namespace

TEST_F(ScanWindowTest, CancelEscapeAndTheCloseBoxStopTheScanKeepingWhatWasFound) {
    const ScanCase cases[] = {
        {"to the end", Press::Nothing, -1, true},
        {"Cancel button", Press::CancelButton, 50, false},
        {"Escape", Press::Escape, 90, false},
        {"close box", Press::CloseBox, 20, false},
    };
    for (const ScanCase& c : cases) {
        form.press = c.press;
        form.pressAfter = c.pressAfter;
        form.entries = 0;
        QStringList found{QStringLiteral("/kept/from/before.htm")};
        EXPECT_EQ(form.ScanFolder(dir.path(), QStringLiteral("*.htm;*.html"), found),
                  c.expectedResult)
            << c.name;
        EXPECT_FALSE(form.isVisible()) << c.name;
        EXPECT_EQ(found.first(), QStringLiteral("/kept/from/before.htm")) << c.name;
        if (c.press == Press::Nothing) {
            EXPECT_EQ(found.size(), 121) << c.name;
            EXPECT_EQ(LabelText(form, "LabelCount"), QStringLiteral("121 files found."));
        } else {
            EXPECT_TRUE(form.visibleWhileScanning) << c.name;
            // The scan stops before the entry during which the user acted.
            EXPECT_EQ(form.entries, c.pressAfter) << c.name;
            EXPECT_LT(found.size(), c.pressAfter) << c.name;
            EXPECT_EQ(LabelText(form, "LabelCount"),
                      QStringLiteral("%1 files found.").arg(found.size()))
                << c.name;
        }
        for (const QString& path : found.mid(1))
            EXPECT_TRUE(path.startsWith(dir.path() + QLatin1Char('/')) && path.endsWith(".htm"))
                << path.toStdString();
    }
    EXPECT_FALSE(timedOut);
}

TEST_F(ScanWindowTest, MissingFolderEmptyFilterAndMalformedMask) {
    ScriptedPrompts prompts;
    ScopedPrompts scoped(prompts);
    QStringList found;

    // No folder: no window, nothing found.
    EXPECT_FALSE(form.ScanFolder(dir.filePath(QStringLiteral("missing")), "*.htm", found));
    EXPECT_EQ(form.entries, 0);
    EXPECT_FALSE(form.ScanFolder(dir.filePath(QStringLiteral("a/p1.htm")), "*.htm", found));

    // No masks: the scan runs and finds nothing; the count keeps its earlier text.
    EXPECT_TRUE(form.ScanFolder(dir.path(), QString(), found));
    EXPECT_TRUE(found.isEmpty());
    EXPECT_GT(form.entries, 160);
    EXPECT_EQ(LabelText(form, "LabelFilePath"), dir.path() + QLatin1Char('/'));

    // A malformed mask ends the scan at the first file tested; that counts as complete.
    EXPECT_TRUE(form.ScanFolder(dir.path(), QStringLiteral("[a-;*.htm"), found));
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(prompts.asked.first().kind, DialogKind::Error);
    EXPECT_TRUE(prompts.asked.first().text.contains(QStringLiteral("is an invalid mask")));
    EXPECT_TRUE(found.isEmpty());
    EXPECT_FALSE(timedOut);
}

TEST_F(ScanWindowTest, ControlsAndTheirTranslation) {
    QTemporaryDir language;
    ASSERT_TRUE(language.isValid());
    LoadLanguageText(language.path(), "<//TFormFileList-scan\n"
                                      "E=Scanning for Files\nT=Dateisuche\n"
                                      "E=Cancel\nT=Abbrechen\n");
    TFormFileList window;
    TranslateComponent(&window);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Dateisuche"));
    EXPECT_EQ(window.findChild<QPushButton*>(QStringLiteral("ButtonCancel"))->text(),
              QStringLiteral("Abbrechen"));
    EXPECT_NE(window.findChild<QWidget*>(QStringLiteral("Animate")), nullptr);
    ClearTranslations();

    // The count is never translated.
    QStringList found;
    EXPECT_TRUE(window.ScanFolder(dir.filePath(QStringLiteral("a")), "*.htm", found));
    EXPECT_EQ(LabelText(window, "LabelCount"), QStringLiteral("30 files found."));
}
