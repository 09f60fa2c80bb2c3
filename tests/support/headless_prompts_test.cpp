#include "support/HeadlessPrompts.h"

#include <gtest/gtest.h>

namespace {

QByteArray Written(std::FILE* file) {
    std::fflush(file);
    const long size = std::ftell(file);
    std::rewind(file);
    QByteArray bytes(size, '\0');
    EXPECT_EQ(std::fread(bytes.data(), 1, size, file), static_cast<size_t>(size));
    return bytes;
}

TEST(HeadlessPrompts, SaysEverythingAndNeverWaits) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    HeadlessPrompts prompts(out);

    EXPECT_EQ(prompts.Message(QStringLiteral("Unable to download"), DialogKind::Error, Button::Ok),
              mrOk);
    EXPECT_EQ(
        prompts.Message(QStringLiteral("Go on?"), DialogKind::Warning, Button::Yes | Button::No),
        mrNo);
    bool ticked = true;
    EXPECT_EQ(prompts.MessageWithCheckBox(QStringLiteral("Again?"), DialogKind::Confirmation,
                                          Button::Yes | Button::No | Button::Cancel,
                                          QStringLiteral("Don't ask again"), ticked),
              mrNo);
    EXPECT_FALSE(ticked);
    // Dialogs are refused, with the reason.
    EXPECT_TRUE(prompts.SaveFileName({}).isEmpty());
    EXPECT_FALSE(prompts.EditTidyOptions(QStringLiteral("/tmp/a.html"), QStringLiteral("x")));
    EXPECT_TRUE(prompts.ChooseProgram(QStringLiteral("/tmp/a.html")).isEmpty());

    const QList<QByteArray> lines = Written(out).split('\n');
    std::fclose(out);
    ASSERT_EQ(lines.size(), 7); // six lines and the empty rest after the last break
    EXPECT_EQ(lines[0], "Unable to download");
    EXPECT_EQ(lines[1], "Go on?");
    EXPECT_EQ(lines[2], "Again?");
    for (int i = 3; i < 6; ++i)
        EXPECT_TRUE(lines[i].contains("needs a display")) << lines[i].constData();
}

} // namespace
