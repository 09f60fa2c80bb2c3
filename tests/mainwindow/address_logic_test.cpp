// The address bar's logic: the typed-address list, the icon rules and the suggestions.

#include "common/TestSupport.h"
#include "mainwindow/AddressIcon.h"
#include "mainwindow/AddressSuggestions.h"
#include "mainwindow/TypedAddresses.h"
#include "platform/UserRegistry.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class AddressLogic : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SetUserRegistryFile(dir.filePath(QStringLiteral("registry.ini")));
    }
    void TearDown() override { SetUserRegistryFile({}); }

    QString at(const char* name) const { return dir.filePath(QLatin1String(name)); }

    QTemporaryDir dir;
};

} // namespace

TEST_F(AddressLogic, TypedAddressesComeInNumberOrderWithoutGapsOrExtras) {
    EXPECT_EQ(ReadTypedAddresses(), QStringList()) << "no key, no list";

    std::optional<RegistryKey> key = RegistryKey::Open(kTypedAddressesKey, true);
    ASSERT_TRUE(key);
    // Written out of order, with gaps, an empty value, one past the end and a stranger.
    const QList<QPair<QString, QString>> values = {
        {"Url10", "ten"},     {"Url2", "http://two.example/"},
        {"Url1", "/home/u"},  {"Url3", ""},
        {"Url26", "beyond"},  {"Url25", "last, with a comma"},
        {"Other", "ignored"}, {"Url0", "zero"},
    };
    for (const auto& [name, value] : values)
        ASSERT_TRUE(key->SetStringValue(name, value));
    EXPECT_EQ(ReadTypedAddresses(),
              (QStringList{"/home/u", "http://two.example/", "ten", "last, with a comma"}));
}

TEST_F(AddressLogic, IconFollowsTheRulesInOrder) {
    WriteAll(at("page.html"), "<p>");
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("folder")));
    using K = AddressIconKind;
    const struct {
        QString text;
        AddressIconChoice expected;
    } cases[] = {
        {"my computer", {K::SpecialFolder, 17, {}}}, // "/" always exists
        {"My Computer", {K::SpecialFolder, 17, {}}},
        {"PRINTERS", {K::WebPage, kNoSpecialFolder, {}}}, // no such folder here
        {at("page.html"), {K::File, kNoSpecialFolder, at("page.html")}},
        {"FILE:///nowhere/x.css", {K::File, kNoSpecialFolder, "/nowhere/x.css"}},
        {at("folder"), {K::Folder, kNoSpecialFolder, {}}},
        {"http://example.org/", {K::WebPage, kNoSpecialFolder, {}}},
        {"anything else", {K::WebPage, kNoSpecialFolder, {}}},
        {"", {K::Empty, kNoSpecialFolder, {}}},
    };
    for (const auto& c : cases) {
        const AddressIconChoice choice = ChooseAddressIcon(c.text);
        EXPECT_EQ(int(choice.kind), int(c.expected.kind)) << c.text.toStdString();
        EXPECT_EQ(choice.specialFolder, c.expected.specialFolder) << c.text.toStdString();
        EXPECT_EQ(choice.path, c.expected.path) << c.text.toStdString();
    }
    EXPECT_EQ(SpecialFolderNumber(QStringLiteral("network neighborhood")), 18);
    EXPECT_EQ(SpecialFolderNumber(QStringLiteral("Desktop ")), kNoSpecialFolder);
}

TEST_F(AddressLogic, SuggestionsOfferTypedAddressesThenTheFolderOfTheText) {
    for (const char* name : {"alpha.html", "alps.htm", ".hidden", "beta.html"})
        WriteAll(at(name), "x");
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("alpine")));
    const QString base = dir.path() + QLatin1Char('/');
    const QStringList typed = {"HTTP://Example.org/", base + "alpha.html", "http://other/"};

    AddressSuggestions suggestions;
    EXPECT_EQ(suggestions.For(QStringLiteral("http://ex"), typed), QStringList{typed.first()});
    EXPECT_EQ(suggestions.For(base + "al", typed),
              (QStringList{base + "alpha.html", base + "alpine/", base + "alps.htm"}))
        << "folders first, each path once";
    EXPECT_EQ(suggestions.For(base + ".", typed), QStringList{base + ".hidden"});
    EXPECT_EQ(suggestions.For(base + "al", typed, 2).size(), 2);
    EXPECT_EQ(suggestions.For(QStringLiteral("relative/al"), typed), QStringList());
    EXPECT_EQ(suggestions.For(QString(), typed), QStringList());
}
