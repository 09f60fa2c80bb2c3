#include "common/ScriptedPrompts.h"
#include "support/Prompts.h"

#include <gtest/gtest.h>

TEST(Prompts, ScriptedAnswererIsUsedWhileInstalledAndRecordsQuestions) {
    ScriptedPrompts scripted;
    scripted.messageAnswers = {mrYes};
    {
        ScopedPrompts scope(scripted);
        EXPECT_EQ(CurrentPrompts().Message(QStringLiteral("Go on?"), DialogKind::Warning,
                                           Button::Yes | Button::No),
                  mrYes);
    }
    ASSERT_EQ(scripted.messages(), QStringList{QStringLiteral("Go on?")});
    EXPECT_NE(&CurrentPrompts(), static_cast<Prompts*>(&scripted));
}

TEST(Prompts, WithoutWindowsQuestionsAreRefusedAndNothingWaits) {
    EXPECT_EQ(CurrentPrompts().Message(QStringLiteral("Overwrite?"), DialogKind::Warning,
                                       Button::Yes | Button::No),
              mrNo);
    EXPECT_TRUE(CurrentPrompts().SaveFileName({}).isEmpty());
    EXPECT_FALSE(CurrentPrompts().EditTidyOptions(QStringLiteral("x.html"), {}));
}
