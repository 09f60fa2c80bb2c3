#include "platform/FileNames.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(FileNames, EveryByteSequenceSurvivesTheRoundTrip) {
    const QByteArray names[] = {
        "index.html",
        "caf\xc3\xa9.html",               // valid UTF-8
        "caf\xe9.html",                   // latin1 byte
        "\xff\xfe",                       // never valid
        "a\xc3",                          // cut sequence at the end
        "\xe2\x82",                       // cut three-byte sequence
        "\xc0\xaf",                       // overlong '/'
        "\xed\xa0\x80",                   // an encoded surrogate
        "\xf0\x9f\x98\x80 smile.htm",     // outside the basic plane
        " lead and trail \x01\x1b.html ", // blanks and controls are plain bytes
    };
    for (const QByteArray& bytes : names) {
        const QString name = DecodeFileName(bytes);
        EXPECT_EQ(EncodeFileName(name), bytes) << bytes.toHex().constData();
    }
}

TEST(FileNames, ValidNamesDecodeAsTextAndOnlyBadBytesAreEscaped) {
    EXPECT_EQ(DecodeFileName("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_FALSE(HasUndecodableBytes(DecodeFileName("caf\xc3\xa9 \xf0\x9f\x98\x80")));
    const QString latin = DecodeFileName("caf\xe9");
    EXPECT_TRUE(HasUndecodableBytes(latin));
    EXPECT_EQ(latin.left(3), QStringLiteral("caf"));
    EXPECT_EQ(latin.at(3).unicode(), 0xDCE9);
    // A lone surrogate typed by someone, not produced by decoding, becomes U+FFFD.
    EXPECT_EQ(EncodeFileName(QString(QChar(0xD800))), QByteArray("\xef\xbf\xbd"));
}

TEST(FileNames, ShownNamesEscapeBadBytesAndTerminalControls) {
    EXPECT_EQ(DisplayFileName(DecodeFileName("caf\xe9\x1b[1m\xc2\x9b\x7f\tx\xc3\xa9.html")),
              QString::fromUtf8("caf\\xe9\\x1b[1m\\u009b\\x7f\tx\xc3\xa9.html"));
    EXPECT_EQ(DisplayFileName(QStringLiteral("/plain/name.html")),
              QStringLiteral("/plain/name.html"));
}
