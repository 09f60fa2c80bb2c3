#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "platform/UserRegistry.h"
#include "support/ApplicationTitle.h"
#include "support/RememberedAnswers.h"
#include "support/Translation.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kFolderQuestion = QStringLiteral(
    "You have selected a folder.\r\n\r\nDo you want Kelvane to process the files and sub-folders "
    "in this folder?");
const QString kCaption = QStringLiteral("Don't ask again");

class RememberedAnswers : public ::testing::Test {
protected:
    void SetUp() override {
        ClearTranslations();
        ASSERT_TRUE(dir.isValid());
        SetUserRegistryFile(dir.filePath("registry.ini"));
    }
    void TearDown() override {
        SetUserRegistryFile({});
        ClearTranslations();
    }
    int ask() {
        return AskRemembered(kFolderQuestion, DialogKind::Confirmation, Button::Yes | Button::No,
                             kCaption);
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    ScopedPrompts scope{prompts};
};

} // namespace

TEST_F(RememberedAnswers, KeyPathHoldsTitleAndUpperCaseCrc) {
    EXPECT_EQ(QuestionKeyPath("abc"),
              "\\Software\\Mondavik\\Mondavik Kelvane\\AskWithMemory\\352441C2\\");
    EXPECT_EQ(QuestionKeyPath(""),
              "\\Software\\Mondavik\\Mondavik Kelvane\\AskWithMemory\\00000000\\")
        << "eight digits, zero-padded";
    // The checksum is taken over UTF-8 bytes: "é" is C3 A9.
    EXPECT_NE(QuestionKeyPath(QString::fromUtf8("\xc3\xa9")), QuestionKeyPath("\xe9"));
}

TEST_F(RememberedAnswers, UntickedBoxStoresNothingAndAsksAgain) {
    prompts.messageAnswers = {mrYes, mrNo};
    prompts.checkBoxTicks = {false, false};
    EXPECT_EQ(ask(), mrYes);
    EXPECT_FALSE(IsAnswerRemembered(kFolderQuestion));
    EXPECT_EQ(ask(), mrNo);
    ASSERT_EQ(prompts.asked.size(), 2);
    EXPECT_EQ(prompts.asked[0].what, "check");
    EXPECT_EQ(prompts.asked[0].text, kFolderQuestion);
    EXPECT_EQ(prompts.asked[0].caption, kCaption);
    EXPECT_EQ(prompts.asked[0].kind, DialogKind::Confirmation);
    EXPECT_EQ(prompts.asked[0].buttons, Button::Yes | Button::No);
}

TEST_F(RememberedAnswers, TickedAnswerIsReturnedLaterWithoutAsking) {
    prompts.messageAnswers = {mrNo};
    prompts.checkBoxTicks = {true};
    EXPECT_EQ(ask(), mrNo);
    EXPECT_TRUE(IsAnswerRemembered(kFolderQuestion));
    EXPECT_EQ(ask(), mrNo);
    EXPECT_EQ(ask(), mrNo);
    EXPECT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(RegistryKey::Open(QuestionKeyPath(kFolderQuestion), false)->DefaultInteger(), mrNo);
}

TEST_F(RememberedAnswers, ForgetAnswerAsksAgain) {
    ASSERT_TRUE(RememberAnswer(kFolderQuestion, mrYes));
    EXPECT_EQ(ask(), mrYes);
    EXPECT_TRUE(prompts.asked.isEmpty());

    EXPECT_TRUE(ForgetAnswer(kFolderQuestion));
    EXPECT_FALSE(IsAnswerRemembered(kFolderQuestion));
    prompts.messageAnswers = {mrNo};
    EXPECT_EQ(ask(), mrNo);
    EXPECT_EQ(prompts.asked.size(), 1);
    EXPECT_TRUE(ForgetAnswer(kFolderQuestion)) << "forgetting twice is harmless";
}

TEST_F(RememberedAnswers, KeyWithoutDefaultValueIsRememberedButStillAsks) {
    ASSERT_TRUE(RegistryKey::Open(QuestionKeyPath(kFolderQuestion), true).has_value());
    EXPECT_TRUE(IsAnswerRemembered(kFolderQuestion));
    prompts.messageAnswers = {mrYes};
    EXPECT_EQ(ask(), mrYes);
    EXPECT_EQ(prompts.asked.size(), 1);
}

TEST_F(RememberedAnswers, AnswersAreKeptPerQuestion) {
    ASSERT_TRUE(RememberAnswer("one", mrYes));
    ASSERT_TRUE(RememberAnswer("two", mrNo));
    EXPECT_EQ(AskRemembered("one", DialogKind::Confirmation, Button::Yes | Button::No, kCaption),
              mrYes);
    EXPECT_EQ(AskRemembered("two", DialogKind::Confirmation, Button::Yes | Button::No, kCaption),
              mrNo);
    EXPECT_TRUE(prompts.asked.isEmpty());
}

TEST_F(RememberedAnswers, UnwritableStoreMeansAskingEveryTime) {
    WriteAll(dir.filePath("blocker"), "a file where the folder should be");
    SetUserRegistryFile(dir.filePath("blocker/registry.ini"));
    prompts.messageAnswers = {mrYes, mrYes};
    prompts.checkBoxTicks = {true, true};
    EXPECT_EQ(ask(), mrYes);
    EXPECT_EQ(ask(), mrYes);
    EXPECT_EQ(prompts.asked.size(), 2);
    EXPECT_FALSE(RememberAnswer(kFolderQuestion, mrYes));
}

TEST_F(RememberedAnswers, TranslatedQuestionAndTitleGiveOtherKeys) {
    RememberAnswer(kFolderQuestion, mrYes);
    const QString english = QuestionKeyPath(kFolderQuestion);

    QTemporaryDir language;
    LoadLanguageText(
        language.path(),
        "<//Application-->\nE=Mondavik Kelvane\nT=Mondavik Kelvane DE\n"
        "<//STRING_TABLE-->\nE=You have selected a folder.\\r\\n\\r\\nDo you want Kelvane "
        "to process the files and sub-folders in this folder?\n"
        "T=Sie haben einen Ordner gew\xc3\xa4hlt.\\r\\n\\r\\nWeiter?\n");
    ASSERT_EQ(ApplicationTitle(), "Mondavik Kelvane DE");

    const QString translated = Translate(kFolderQuestion);
    ASSERT_NE(translated, kFolderQuestion);
    EXPECT_TRUE(QuestionKeyPath(kFolderQuestion)
                    .startsWith("\\Software\\Mondavik\\Mondavik Kelvane DE\\AskWithMemory\\"));
    EXPECT_NE(QuestionKeyPath(translated), english);
    EXPECT_NE(QuestionKeyPath(translated).right(10), english.right(10));
    EXPECT_FALSE(IsAnswerRemembered(translated)) << "earlier answers are out of reach";
    EXPECT_TRUE(RegistryKey::Exists(english)) << "but still stored";
}
