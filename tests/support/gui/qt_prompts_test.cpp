#include "common/TestSupport.h"
#include "support/ApplicationTitle.h"
#include "support/Errors.h"
#include "support/Translation.h"
#include "support/gui/QtPrompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Answers the modal dialogs that the code under test opens, one step per dialog, from a timer.
// A step sees the active modal widget and answers whether it handled it. When the steps run out
// or nothing happens for a few seconds, whatever is modal is closed, so no test can hang.
class ModalAnswerer {
public:
    using Step = std::function<bool(QWidget* modal)>;

    explicit ModalAnswerer(std::deque<Step> steps) : m_steps(std::move(steps)) {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(10);
    }
    bool finished() const { return m_steps.empty() && !m_gaveUp; }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == m_lastHandled)
            return timeOut();
        if (m_steps.empty())
            return giveUp(modal);
        if (m_steps.front()(modal)) {
            m_lastHandled = modal;
            m_steps.pop_front();
            m_clock.restart();
            // The handled widget may stay open (an error box over a file dialog): forget it
            // once the next poll has seen something else.
            QTimer::singleShot(50, &m_timer, [this] { m_lastHandled = nullptr; });
        } else {
            timeOut();
        }
    }
    void timeOut() {
        if (m_clock.elapsed() > 5000)
            if (QWidget* modal = QApplication::activeModalWidget())
                giveUp(modal);
    }
    void giveUp(QWidget* modal) {
        m_gaveUp = true;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }

    std::deque<Step> m_steps;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QWidget* m_lastHandled = nullptr;
    bool m_gaveUp = false;
};

ModalAnswerer::Step Click(QMessageBox::StandardButton which, bool tick = false,
                          std::function<void(QMessageBox*)> inspect = {}) {
    return [=](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr || box->button(which) == nullptr)
            return false;
        if (inspect)
            inspect(box);
        if (tick && box->checkBox())
            box->checkBox()->setChecked(true);
        box->button(which)->click();
        return true;
    };
}

ModalAnswerer::Step ChooseFile(const QString& name) {
    return [=](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        auto* edit =
            dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (edit == nullptr)
            return false;
        // As when the user types: what was selected in the list before no longer counts (the
        // dialog drops it only while the name field has the focus, which offscreen it lacks).
        if (auto* list = dialog->findChild<QListView*>(QStringLiteral("listView")))
            list->clearSelection();
        edit->setText(name);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return true;
    };
}

ModalAnswerer::Step Cancel() {
    return [](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (dialog == nullptr)
            return false;
        dialog->reject();
        return true;
    };
}

class QtPromptsTest : public ::testing::Test {
protected:
    void SetUp() override { ClearTranslations(); }
    void TearDown() override {
        ClearTranslations();
        QtPrompts::setOptionsDialog({});
    }
    QtPrompts prompts;
};

} // namespace

TEST_F(QtPromptsTest, MessageBoxCarriesTitleIconButtonsAndReportsTheButtonPressed) {
    QString title, yes, no;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ModalAnswerer answerer({Click(QMessageBox::No, false, [&](QMessageBox* box) {
        title = box->windowTitle();
        icon = box->icon();
        yes = box->button(QMessageBox::Yes)->text();
        no = box->button(QMessageBox::No)->text();
    })});
    EXPECT_EQ(prompts.Message("Go on?", DialogKind::Confirmation, Button::Yes | Button::No), mrNo);
    EXPECT_TRUE(answerer.finished());
    EXPECT_EQ(title, ApplicationTitle());
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(yes, "&Yes");
    EXPECT_EQ(no, "&No");
}

TEST_F(QtPromptsTest, EveryButtonMapsToItsResultCode) {
    const std::pair<Button, QMessageBox::StandardButton> buttons[] = {
        {Button::Ok, QMessageBox::Ok},
        {Button::Cancel, QMessageBox::Cancel},
        {Button::Abort, QMessageBox::Abort},
        {Button::Retry, QMessageBox::Retry},
        {Button::Ignore, QMessageBox::Ignore},
        {Button::Yes, QMessageBox::Yes},
        {Button::YesToAll, QMessageBox::YesToAll},
    };
    const int codes[] = {mrOk, mrCancel, mrAbort, mrRetry, mrIgnore, mrYes, mrYesToAll};
    for (size_t i = 0; i < std::size(buttons); ++i) {
        ModalAnswerer answerer({Click(buttons[i].second)});
        EXPECT_EQ(prompts.Message("Which?", DialogKind::Warning, buttons[i].first), codes[i]);
        EXPECT_TRUE(answerer.finished());
    }
}

TEST_F(QtPromptsTest, EscapeAnswersNoInAYesNoQuestion) {
    for (const Buttons buttons :
         {Button::Yes | Button::No, Button::Yes | Button::No | Button::YesToAll}) {
        QString yesToAll;
        bool yesIsDefault = false;
        ModalAnswerer answerer({[&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return false;
            if (QAbstractButton* all = box->button(QMessageBox::YesToAll))
                yesToAll = all->text();
            yesIsDefault = box->defaultButton() == box->button(QMessageBox::Yes);
            QTest::keyClick(modal, Qt::Key_Escape);
            return true;
        }});
        EXPECT_EQ(prompts.Message("Delete?", DialogKind::Warning, buttons), mrNo);
        EXPECT_TRUE(answerer.finished());
        EXPECT_TRUE(yesIsDefault);
        EXPECT_EQ(yesToAll, buttons.testFlag(Button::YesToAll) ? "Yes to &All" : "");
    }
}

TEST_F(QtPromptsTest, CheckBoxStartsUntickedAndReportsItsState) {
    bool initiallyTicked = true;
    QString caption;
    ModalAnswerer answerer({Click(QMessageBox::Yes, true,
                                  [&](QMessageBox* box) {
                                      initiallyTicked = box->checkBox()->isChecked();
                                      caption = box->checkBox()->text();
                                  }),
                            Click(QMessageBox::No)});
    bool ticked = false;
    EXPECT_EQ(prompts.MessageWithCheckBox("Folder?", DialogKind::Confirmation,
                                          Button::Yes | Button::No, "Don't ask again", ticked),
              mrYes);
    EXPECT_TRUE(ticked);
    EXPECT_FALSE(initiallyTicked);
    EXPECT_EQ(caption, "Don't ask again");

    EXPECT_EQ(prompts.MessageWithCheckBox("Folder?", DialogKind::Confirmation,
                                          Button::Yes | Button::No, "Don't ask again", ticked),
              mrNo);
    EXPECT_FALSE(ticked);
    EXPECT_TRUE(answerer.finished());
}

TEST_F(QtPromptsTest, MessageBoxIsTranslatedAsTheStandardMessageForm) {
    QTemporaryDir language;
    LoadLanguageText(language.path(), "<//TMessageForm-->\nE=&Yes\nT=&Ja\n"
                                      "E=Don't ask again\nT=Nicht mehr fragen\n"
                                      "<//Application-->\nE=Mondavik Kelvane\nT=MK\n");
    QString yes, caption, title;
    ModalAnswerer answerer({Click(QMessageBox::Yes, false, [&](QMessageBox* box) {
        yes = box->button(QMessageBox::Yes)->text();
        caption = box->checkBox()->text();
        title = box->windowTitle();
    })});
    bool ticked = false;
    EXPECT_EQ(prompts.MessageWithCheckBox("Folder?", DialogKind::Confirmation,
                                          Button::Yes | Button::No, "Don't ask again", ticked),
              mrYes);
    EXPECT_EQ(yes, "&Ja");
    EXPECT_EQ(caption, "Nicht mehr fragen");
    EXPECT_EQ(title, "MK");
}

TEST_F(QtPromptsTest, SaveDialogAddsTheSuffixAndStartsInTheGivenFolder) {
    QTemporaryDir dir;
    QString shownName;
    QStringList filters;
    bool fixedSize = false;
    ModalAnswerer answerer({[&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return false;
        shownName = dialog->findChild<QLineEdit*>("fileNameEdit")->text();
        filters = dialog->nameFilters();
        fixedSize = dialog->minimumSize() == dialog->maximumSize();
        return ChooseFile("page")(modal);
    }});
    SaveFileRequest request;
    request.filters = {"HTML Documents (*.html *.htm)"};
    request.defaultSuffix = "html";
    request.initialFolder = dir.path();
    request.initialName = "suggested.html";
    EXPECT_EQ(prompts.SaveFileName(request), dir.filePath("page.html"));
    EXPECT_TRUE(answerer.finished());
    EXPECT_EQ(shownName, "suggested.html");
    EXPECT_EQ(filters, request.filters);
    EXPECT_TRUE(fixedSize);
}

TEST_F(QtPromptsTest, SaveDialogRefusesReadOnlyFilesAndMissingFoldersAndAsksAgain) {
    QTemporaryDir dir;
    WriteAll(dir.filePath("locked.html"), "x");
    SetReadOnly(dir.filePath("locked.html"), true);
    QString refusal;
    ModalAnswerer answerer(
        {ChooseFile("locked.html"),
         Click(QMessageBox::Ok, false, [&](QMessageBox* box) { refusal = box->text(); }),
         ChooseFile("nowhere/page.html"), Click(QMessageBox::Ok), ChooseFile("free.html")});
    SaveFileRequest request;
    request.defaultSuffix = "html";
    request.initialFolder = dir.path();
    EXPECT_EQ(prompts.SaveFileName(request), dir.filePath("free.html"));
    EXPECT_TRUE(answerer.finished());
    EXPECT_TRUE(refusal.contains("read-only")) << refusal.toStdString();
}

TEST_F(QtPromptsTest, SaveDialogAsksBeforeOverwritingAndCancelGivesNothing) {
    QTemporaryDir dir;
    WriteAll(dir.filePath("old.html"), "x");
    QString question, title;
    ModalAnswerer answerer({ChooseFile("old.html"),
                            Click(QMessageBox::No, false,
                                  [&](QMessageBox* box) {
                                      question = box->text();
                                      title = box->windowTitle();
                                  }),
                            ChooseFile("old.html"), Click(QMessageBox::Yes), Cancel()});
    SaveFileRequest request;
    request.initialFolder = dir.path();
    EXPECT_EQ(prompts.SaveFileName(request), dir.filePath("old.html"));
    EXPECT_EQ(question, dir.filePath("old.html") + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(title, ApplicationTitle());
    // The kept dialog comes back with an empty name when none is suggested.
    EXPECT_TRUE(prompts.SaveFileName({}).isEmpty());
    EXPECT_TRUE(answerer.finished());
}

TEST_F(QtPromptsTest, ChooseProgramAcceptsOnlyExecutables) {
    QTemporaryDir dir;
    WriteAll(dir.filePath("notes.txt"), "text");
    WriteAll(dir.filePath("viewer"), "#!/bin/sh\n");
    ASSERT_TRUE(QFile::setPermissions(dir.filePath("viewer"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QString title;
    ModalAnswerer answerer({[&](QWidget* modal) {
                                title = modal->windowTitle();
                                return ChooseFile(dir.filePath("notes.txt"))(modal);
                            },
                            Click(QMessageBox::Ok), ChooseFile(dir.filePath("viewer"))});
    EXPECT_EQ(prompts.ChooseProgram("/site/index.html"), dir.filePath("viewer"));
    EXPECT_TRUE(answerer.finished());
    EXPECT_TRUE(title.contains("index.html"));
}

TEST_F(QtPromptsTest, OptionsDialogIsForwardedOnceRegistered) {
    EXPECT_THROW(prompts.EditTidyOptions("a.html", "caption"), KelvaneError);
    QString sample, caption;
    QtPrompts::setOptionsDialog([&](const QString& s, const QString& c) {
        sample = s;
        caption = c;
        return true;
    });
    EXPECT_TRUE(prompts.EditTidyOptions("a.html", "Tidy options"));
    EXPECT_EQ(sample, "a.html");
    EXPECT_EQ(caption, "Tidy options");
}
