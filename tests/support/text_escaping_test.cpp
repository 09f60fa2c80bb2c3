#include "support/Errors.h"
#include "support/Translation.h"

#include <gtest/gtest.h>

namespace {

QByteArray Bytes(const char* text) {
    return QByteArray(text);
}

} // namespace

TEST(TextEscaping, EveryByteSurvivesTheRoundTrip) {
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte)
        all += static_cast<char>(byte);
    const QByteArray escaped = EscapeText(all);
    // The escaped form fits on one line: no control bytes are left in it.
    for (const char c : escaped)
        EXPECT_GE(static_cast<unsigned char>(c), 32u);
    EXPECT_EQ(UnescapeText(escaped), all);

    for (int byte = 0; byte < 256; ++byte) {
        // Each byte also next to hexadecimal and octal digits, which must not be swallowed.
        const QByteArray text = QByteArray(1, static_cast<char>(byte)) + "Af07";
        EXPECT_EQ(UnescapeText(EscapeText(text)), text) << "byte " << byte;
    }
}

TEST(TextEscaping, EscapedFormOfSpecialBytes) {
    EXPECT_EQ(EscapeText(Bytes("a\ab\bt\tn\nv\vf\fr\r")), Bytes("a\\ab\\bt\\tn\\nv\\vf\\fr\\r"));
    EXPECT_EQ(EscapeText(Bytes("say \"hi\" \\ ok")), Bytes("say \\\"hi\\\" \\\\ ok"));
    EXPECT_EQ(EscapeText(QByteArray("\x00\x01\x1b\x1f", 4)), Bytes("\\x00\\x01\\x1B\\x1F"));
    EXPECT_EQ(EscapeText(Bytes("caf\xc3\xa9 ' ? \x7f")), Bytes("caf\xc3\xa9 ' ? \x7f"));
}

TEST(TextEscaping, UnescapeSimpleEscapes) {
    EXPECT_EQ(UnescapeText(Bytes("\\\"\\'\\?\\\\")), Bytes("\"'?\\"));
    EXPECT_EQ(UnescapeText(Bytes("\\a\\b\\f\\n\\r\\t\\v")), Bytes("\a\b\f\n\r\t\v"));
    EXPECT_EQ(UnescapeText(Bytes("Line 1\\r\\nLine 2")), Bytes("Line 1\r\nLine 2"));
    // Unknown escapes stay as written.
    EXPECT_EQ(UnescapeText(Bytes("C:\\dir\\q")), Bytes("C:\\dir\\q"));
}

TEST(TextEscaping, TrailingBackslashIsKept) {
    EXPECT_EQ(UnescapeText(Bytes("end\\")), Bytes("end\\"));
    EXPECT_EQ(UnescapeText(Bytes("\\")), Bytes("\\"));
    EXPECT_EQ(UnescapeText(Bytes("two\\\\")), Bytes("two\\"));
}

TEST(TextEscaping, OctalTakesAtMostThreeDigits) {
    EXPECT_EQ(UnescapeText(Bytes("\\101")), Bytes("A"));
    EXPECT_EQ(UnescapeText(Bytes("\\1011")), Bytes("A1"));
    EXPECT_EQ(UnescapeText(Bytes("\\7x")), Bytes("\x07x"));
    EXPECT_EQ(UnescapeText(Bytes("\\08")), QByteArray("\0008", 2));
    EXPECT_EQ(UnescapeText(Bytes("\\377")), Bytes("\xff"));
}

TEST(TextEscaping, OctalAbove255Fails) {
    try {
        UnescapeText(Bytes("x\\400"));
        FAIL() << "no error";
    } catch (const KelvaneError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("Numeric constant too large."));
    }
    EXPECT_THROW(UnescapeText(Bytes("\\777")), KelvaneError);
}

TEST(TextEscaping, HexTakesAtMostTwoDigits) {
    EXPECT_EQ(UnescapeText(Bytes("\\x41")), Bytes("A"));
    EXPECT_EQ(UnescapeText(Bytes("\\x4142")), Bytes("A42"));
    EXPECT_EQ(UnescapeText(Bytes("\\xaB")), Bytes("\xab"));
    EXPECT_EQ(UnescapeText(Bytes("\\xfg")), Bytes("\x0fg"));
}

TEST(TextEscaping, BackslashXWithoutHexDigitIsKept) {
    EXPECT_EQ(UnescapeText(Bytes("\\xg")), Bytes("\\xg"));
    EXPECT_EQ(UnescapeText(Bytes("\\x")), Bytes("\\x"));
    // What follows is read normally.
    EXPECT_EQ(UnescapeText(Bytes("\\x\\n")), Bytes("\\x\n"));
}
