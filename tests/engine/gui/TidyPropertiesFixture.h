#pragma once
// The tidy options dialog as its tests drive it: a counting engine, the stored options in a
// temporary folder, scripted answers and the helpers that reach its controls.

#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "engine/OptionStorage.h"
#include "engine/TidyEngine.h"
#include "engine/TidyRunner.h"
#include "engine/gui/PreviewFile.h"
#include "engine/gui/TFormTidyProperties.h"
#include "platform/MachineRegistry.h"
#include "support/Errors.h"
#include "support/SettingsFile.h"
#include "support/Translation.h"
#include "support/gui/QtPrompts.h"
#include "support/gui/Scintilla.h"
#include "support/gui/TFormAboutBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFocusEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

inline const QByteArray kSample =
    "<html><head><title>t</title></head><body><p>One<p>Two</body></html>";

// Counts the engine runs and remembers the last request; tidies in this process.
class CountingRunner : public TidyRunner {
public:
    TidyResult run(const TidyRequest& request) override {
        ++runs;
        last = request;
        if (fail)
            return {};
        return InProcessTidyRunner().run(request);
    }
    int runs = 0;
    bool fail = false;
    TidyRequest last;
};

inline std::optional<int> StepNumber(const ResolvedTidyOptions& steps, TidyOptionId option) {
    for (const TidyOptionStep& step : steps)
        if (step.option == option)
            return step.number;
    return std::nullopt;
}

// What the dialog tried to start, instead of starting it.
struct OpenLog {
    QList<QPair<QString, QStringList>> programs;
    QStringList documents;
    QStringList openWith;
    QStringList webPages;
    bool programsStart = true;
    bool documentsOpen = true;
    QStringList networkTool;
};

class TidyPropertiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ClearTranslations();
        SetSettingsFilePath(settingsPath());
        SetMachineRegistryFile(m_dir.filePath(QStringLiteral("machine-registry.ini")));
        // Each test its own data folder: tests run in parallel processes.
        SetPreviewDataFolder(m_dir.filePath(QStringLiteral("data")));
    }
    void TearDown() override {
        m_form.reset(); // stores at exit, into this test's file
        SetSettingsFilePath({});
        SetPreviewDataFolder({});
        SetMachineRegistryFile({});
    }

    QString settingsPath() const { return m_dir.filePath(QStringLiteral("Settings.ini")); }

    TFormTidyProperties& form() {
        if (!m_form) {
            m_form = std::make_unique<TFormTidyProperties>();
            TidyPropertiesOpeners openers;
            openers.startProgram = [this](const QString& program, const QStringList& arguments) {
                m_log.programs.append({program, arguments});
                return m_log.programsStart;
            };
            openers.openDocument = [this](const QString& path) {
                m_log.documents.append(path);
                return m_log.documentsOpen;
            };
            openers.openWith = [this](const QString& path) {
                m_log.openWith.append(path);
                return true;
            };
            openers.openWebAddress = [this](const QString& address) {
                m_log.webPages.append(address);
                return true;
            };
            openers.networkSettingsCommand = [this] { return m_log.networkTool; };
            m_form->setOpeners(openers);
        }
        return *m_form;
    }

    template <typename T> T* control(const char* name) {
        T* widget = form().findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QTabWidget* pages() { return control<QTabWidget>("PageControl1"); }
    void showPage(const char* name) { pages()->setCurrentWidget(control<QWidget>(name)); }

    // Opens the dialog modally on `document`; once it shows, runs `whileOpen`, which closes it.
    // Should it not, the dialog is cancelled after a few seconds so that no test hangs.
    bool showAndAnswer(const QByteArray& document, const std::function<void()>& whileOpen) {
        bool answered = false;
        QElapsedTimer clock;
        clock.start();
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (!answered && QApplication::activeModalWidget() == m_form.get()) {
                answered = true;
                whileOpen();
            } else if (clock.elapsed() > 5000 && m_form->isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                m_form->reject();
            }
        });
        timer.start(5);
        form();
        const bool result = m_form->ShowOptionsDialog(document);
        EXPECT_TRUE(answered);
        return result;
    }
    void click(const char* button) { control<QPushButton>(button)->click(); }

    QTemporaryDir m_dir;
    ScriptedPrompts m_prompts;
    ScopedPrompts m_scopedPrompts{m_prompts};
    CountingRunner m_runner;
    ScopedTidyRunner m_scopedRunner{m_runner};
    OpenLog m_log;
    std::unique_ptr<TFormTidyProperties> m_form;
};
