#include "common/TestSupport.h"
#include "platform/UserRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class UserRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SetUserRegistryFile(dir.filePath("config/Mondavik/registry.ini"));
    }
    void TearDown() override { SetUserRegistryFile({}); }
    QTemporaryDir dir;
};

const QString kKey = QStringLiteral("\\Software\\Mondavik\\Mondavik Kelvane\\AskWithMemory\\"
                                    "352441C2\\");

} // namespace

TEST_F(UserRegistry, DefaultStoreLivesInTheUsersConfigFolder) {
    SetUserRegistryFile({});
    EXPECT_TRUE(UserRegistryFile().endsWith("/Mondavik/registry.ini"));
}

TEST_F(UserRegistry, OpeningWithoutCreatingFindsNothingAndWritesNothing) {
    EXPECT_FALSE(RegistryKey::Open(kKey, false).has_value());
    EXPECT_FALSE(RegistryKey::Exists(kKey));
    EXPECT_FALSE(QFile::exists(UserRegistryFile()));
}

TEST_F(UserRegistry, CreatedKeyExistsBeforeAndAfterItGetsADefaultValue) {
    std::optional<RegistryKey> key = RegistryKey::Open(kKey, true);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->path(), "Software\\Mondavik\\Mondavik Kelvane\\AskWithMemory\\352441C2");
    EXPECT_TRUE(RegistryKey::Exists(kKey));
    EXPECT_FALSE(key->DefaultInteger().has_value()) << "an empty key has no default value";

    ASSERT_TRUE(key->SetDefaultInteger(7));
    std::optional<RegistryKey> reopened = RegistryKey::Open(kKey, false);
    ASSERT_TRUE(reopened.has_value());
    EXPECT_EQ(reopened->DefaultInteger(), 7);
    EXPECT_TRUE(RegistryKey::Exists("\\Software\\Mondavik")) << "parents exist with children";
    EXPECT_TRUE(
        RegistryKey::Exists("Software\\Mondavik\\Mondavik Kelvane\\AskWithMemory\\352441C2"))
        << "outer backslashes do not matter";

    ASSERT_TRUE(reopened->SetDefaultInteger(-1));
    EXPECT_EQ(RegistryKey::Open(kKey, false)->DefaultInteger(), -1);
}

TEST_F(UserRegistry, DeleteRemovesOnlyThatKey) {
    const QString sibling = QStringLiteral("\\Software\\Mondavik\\Mondavik Kelvane\\"
                                           "AskWithMemory\\00000001\\");
    ASSERT_TRUE(RegistryKey::Open(kKey, true)->SetDefaultInteger(6));
    ASSERT_TRUE(RegistryKey::Open(sibling, true)->SetDefaultInteger(7));

    EXPECT_TRUE(RegistryKey::Delete(kKey));
    EXPECT_FALSE(RegistryKey::Exists(kKey));
    EXPECT_TRUE(RegistryKey::Exists(sibling));
    EXPECT_TRUE(RegistryKey::Delete(kKey)) << "a missing key is already gone";
    EXPECT_FALSE(RegistryKey::Delete(QStringLiteral("\\"))) << "never the whole store";
    EXPECT_TRUE(RegistryKey::Exists(sibling));
}

TEST_F(UserRegistry, KeyNamesWithSlashesStayOneLevel) {
    const QString odd = QStringLiteral("\\Software\\Mondavik\\A/B %25\\AskWithMemory\\X\\");
    ASSERT_TRUE(RegistryKey::Open(odd, true)->SetDefaultInteger(1));
    EXPECT_EQ(RegistryKey::Open(odd, false)->path(),
              "Software\\Mondavik\\A/B %25\\AskWithMemory\\X");
    EXPECT_FALSE(RegistryKey::Exists("\\Software\\Mondavik\\A"));
}

TEST_F(UserRegistry, ValueThatIsNotAnIntegerCountsAsMissing) {
    ASSERT_TRUE(RegistryKey::Open(kKey, true).has_value());
    QByteArray text = ReadAll(UserRegistryFile());
    // Hand-edit the file as a user might.
    text.append("\n[Other]\nkey\\@=seven\n");
    WriteAll(UserRegistryFile(), text);
    std::optional<RegistryKey> key = RegistryKey::Open("\\Other\\key", false);
    ASSERT_TRUE(key.has_value());
    EXPECT_FALSE(key->DefaultInteger().has_value());
}

TEST_F(UserRegistry, UnwritableStoreFailsQuietly) {
    SetUserRegistryFile(dir.filePath("blocker/registry.ini"));
    WriteAll(dir.filePath("blocker"), "a file where the folder should be");
    EXPECT_FALSE(RegistryKey::Open(kKey, true).has_value());
    EXPECT_FALSE(RegistryKey::Exists(kKey));
}
