#include "fileops/FileMask.h"
#include "support/Errors.h"

#include <gtest/gtest.h>

namespace {

struct MaskCase {
    const char* name;
    const char* mask;
    bool matches;
};

TEST(FileMask, MatchesWholeNamesWithoutRegardToCase) {
    const MaskCase cases[] = {
        {"index.htm", "*.HTM", true},
        {"index.html", "*.htm", false},
        {"page1.htm", "page?.htm", true},
        {"page10.htm", "page?.htm", false},
        {"about.htm", "[!a]*.htm", false},
        {"contact.htm", "[!a]*.htm", true},
        {"b.htm", "[a-c].htm", true},
        {"B.htm", "[a-c].htm", true},
        {"d.htm", "[a-c].htm", false},
        {"-.htm", "[a-].htm", true},
        {"x.htm", "[].htm", false},
        {"anything", "*", true},
        {"", "*", true},
        {"a.b.c", "*.c", true},
        {"abc", "a*b*c", true},
        {"abXc", "a*b*c", true},
        {"ab", "a*b*c", false},
        {"index.htm", "", false},
        {"index.htm", " *.htm", false},
        {"caf\xc3\xa9.HTML", "CAF\xc3\x89.html", true},
    };
    for (const MaskCase& c : cases)
        EXPECT_EQ(MatchesMask(QString::fromUtf8(c.name), QString::fromUtf8(c.mask)), c.matches)
            << c.name << " ~ " << c.mask;
}

TEST(FileMask, MalformedMasksNameTheMaskAndPosition) {
    const std::pair<const char*, const char*> cases[] = {
        {"*.[ht", "'*.[ht' is an invalid mask at (6)"},
        {"[-a].htm", "'[-a].htm' is an invalid mask at (2)"},
        {"[!-z]", "'[!-z]' is an invalid mask at (3)"},
    };
    for (const auto& [mask, text] : cases) {
        try {
            MatchesMask(QStringLiteral("a.htm"), QString::fromUtf8(mask));
            ADD_FAILURE() << mask << " was accepted";
        } catch (const KelvaneError& error) {
            EXPECT_EQ(error.message(), QString::fromUtf8(text));
        }
    }
}

TEST(FileMask, FilterSplitsAtEverySemicolonWithoutTrimming) {
    EXPECT_EQ(MaskList(QStringLiteral("*.htm;*.html;*.asp;*.php")),
              QStringList({"*.htm", "*.html", "*.asp", "*.php"}));
    EXPECT_EQ(MaskList(QStringLiteral("*.htm; *.html")), QStringList({"*.htm", " *.html"}));
    EXPECT_EQ(MaskList(QStringLiteral("*.htm;;")), QStringList({"*.htm", ""}));
    EXPECT_EQ(MaskList(QStringLiteral("*.htm;")), QStringList({"*.htm"}));
    EXPECT_TRUE(MaskList(QString()).isEmpty());
    // The first matching mask decides; an empty entry never matches.
    EXPECT_TRUE(MatchesAnyMask(QStringLiteral("a.html"), MaskList(QStringLiteral(";*.html"))));
    EXPECT_FALSE(
        MatchesAnyMask(QStringLiteral("a.html"), MaskList(QStringLiteral("*.htm; *.html"))));
}

} // namespace
