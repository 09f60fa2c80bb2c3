// The main window's own keys: the folder current at exit and the "Recurse" byte.

#include "common/TestSupport.h"
#include "mainwindow/MainSettings.h"
#include "platform/FileNames.h"
#include "support/DefaultsSnapshot.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(MainSettings, ActiveDirectoryKeepsEveryByteOfThePath) {
    DefaultsSnapshot store;
    const QString odd = QStringLiteral("/srv/site ") + platform::DecodeFileName("caf\xe9/x");
    WriteActiveDirectory(store, odd);
    EXPECT_EQ(store.ReadString(kMainWindowSection, QStringLiteral("ActiveDirectory"), {}),
              QStringLiteral("2F7372762F7369746520636166E92F78"));
    EXPECT_EQ(ReadActiveDirectory(store), odd);
}

TEST(MainSettings, UnusableActiveDirectoryIsIgnored) {
    const struct {
        const char* stored;
        const char* why;
    } cases[] = {
        {"", "empty"},
        {"2F7", "odd number of digits"},
        {"2F74ZZ", "not hexadecimal"},
        {"746D70", "not absolute"},
    };
    for (const auto& c : cases) {
        DefaultsSnapshot store;
        store.WriteString(kMainWindowSection, QStringLiteral("ActiveDirectory"),
                          QString::fromLatin1(c.stored));
        EXPECT_EQ(ReadActiveDirectory(store), std::nullopt) << c.why;
    }
    DefaultsSnapshot missing;
    EXPECT_EQ(ReadActiveDirectory(missing), std::nullopt);

    // A stored identifier list's terminator and what follows it are not part of the path.
    DefaultsSnapshot terminated;
    terminated.WriteString(kMainWindowSection, QStringLiteral("ActiveDirectory"),
                           QStringLiteral("2F746D7000004142"));
    EXPECT_EQ(ReadActiveDirectory(terminated), QStringLiteral("/tmp"));
}

TEST(MainSettings, PathTooLongForAValueIsStoredAsItsDeepestFittingFolder) {
    QString deep;
    for (int i = 0; i < 200; ++i)
        deep += QStringLiteral("/folder");
    DefaultsSnapshot store;
    WriteActiveDirectory(store, deep);
    const std::optional<QString> read = ReadActiveDirectory(store);
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(deep.startsWith(*read + QLatin1Char('/')));
    EXPECT_LE(read->size(), 1023);
    EXPECT_GT(read->size(), 1023 - 8);

    // A value cut by the read limit would name another folder: refused.
    DefaultsSnapshot cut;
    cut.WriteString(kMainWindowSection, QStringLiteral("ActiveDirectory"),
                    QString(2048, QLatin1Char('A')).prepend(QStringLiteral("2F")));
    EXPECT_EQ(ReadActiveDirectory(cut), std::nullopt);
}

TEST(MainSettings, RecurseKeepsItsLowByte) {
    DefaultsSnapshot store;
    EXPECT_EQ(ReadRecurse(store, 7), 7);
    store.WriteInteger(kMainWindowSection, QStringLiteral("Recurse"), 0x1FF);
    EXPECT_EQ(ReadRecurse(store, 0), 0xFF);
    WriteRecurse(store, 300);
    EXPECT_EQ(store.ReadInteger(kMainWindowSection, QStringLiteral("Recurse"), -1), 300 & 0xFF);
}

TEST(MainSettings, StoredItemLeadsToItsFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString page = dir.filePath(QStringLiteral("page.html"));
    WriteAll(page, "x");
    ::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe"))).constData(), 0600);

    EXPECT_EQ(ResolveActiveItem(dir.path())->folder, dir.path());
    EXPECT_TRUE(ResolveActiveItem(dir.path())->file.isEmpty());
    EXPECT_EQ(ResolveActiveItem(page)->folder, dir.path());
    EXPECT_EQ(ResolveActiveItem(page)->file, page);
    EXPECT_FALSE(ResolveActiveItem(dir.filePath(QStringLiteral("gone"))).has_value());
    EXPECT_FALSE(ResolveActiveItem(dir.filePath(QStringLiteral("pipe"))).has_value());
    EXPECT_FALSE(ResolveActiveItem(QString()).has_value());
}

} // namespace
