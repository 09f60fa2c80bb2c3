// The option set's life in the settings file: keys, encodings and the dialog's moments.

#include "common/TestSupport.h"
#include "engine/OptionStorage.h"
#include "support/Errors.h"
#include "support/IniFile.h"
#include "support/SettingsFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QStringList kExpectedKeys = {QStringLiteral("cbTidyMark.Checked"),
                                   QStringLiteral("cbUppercaseTags.Checked"),
                                   QStringLiteral("cbUppercaseAttributes.Checked"),
                                   QStringLiteral("CBBreakBeforeBR.Checked"),
                                   QStringLiteral("CBIndent.Checked"),
                                   QStringLiteral("CBDropEmptyParas.Checked"),
                                   QStringLiteral("CBWord2000.Checked"),
                                   QStringLiteral("CBBare.Checked"),
                                   QStringLiteral("CBClean.Checked"),
                                   QStringLiteral("CBFixURI.Checked"),
                                   QStringLiteral("CBFixBadComments.Checked"),
                                   QStringLiteral("EditWrapWidth.Text"),
                                   QStringLiteral("cbEnableTextWrapping.Checked"),
                                   QStringLiteral("cbWrapJSTE.Checked"),
                                   QStringLiteral("cbWrapLiterals.Checked"),
                                   QStringLiteral("cbWrapPHP.Checked"),
                                   QStringLiteral("cbWrapASP.Checked"),
                                   QStringLiteral("CBWrapSections.Checked"),
                                   QStringLiteral("cbWrapAttributes.Checked"),
                                   QStringLiteral("CBAltText.Checked"),
                                   QStringLiteral("EditAltText.Text"),
                                   QStringLiteral("CBTabSize.ItemIndex"),
                                   QStringLiteral("CBTabSize.Text"),
                                   QStringLiteral("CBInputEncoding.ItemIndex"),
                                   QStringLiteral("CBInputEncoding.Text"),
                                   QStringLiteral("CBOutputEncoding.ItemIndex"),
                                   QStringLiteral("CBOutputEncoding.Text"),
                                   QStringLiteral("EditMute.Text")};

const QByteArray kDefaultsSection = "[FormTidyProperties]\n"
                                    "cbTidyMark.Checked=0\n"
                                    "cbUppercaseTags.Checked=1\n"
                                    "cbUppercaseAttributes.Checked=1\n"
                                    "CBBreakBeforeBR.Checked=0\n"
                                    "CBIndent.Checked=0\n"
                                    "CBDropEmptyParas.Checked=1\n"
                                    "CBWord2000.Checked=1\n"
                                    "CBBare.Checked=1\n"
                                    "CBClean.Checked=1\n"
                                    "CBFixURI.Checked=0\n"
                                    "CBFixBadComments.Checked=0\n"
                                    "EditWrapWidth.Text=80\n"
                                    "cbEnableTextWrapping.Checked=0\n"
                                    "cbWrapJSTE.Checked=0\n"
                                    "cbWrapLiterals.Checked=0\n"
                                    "cbWrapPHP.Checked=0\n"
                                    "cbWrapASP.Checked=0\n"
                                    "CBWrapSections.Checked=0\n"
                                    "cbWrapAttributes.Checked=0\n"
                                    "CBAltText.Checked=0\n"
                                    "EditAltText.Text=\n"
                                    "CBTabSize.ItemIndex=0\n"
                                    "CBTabSize.Text=1\n"
                                    "CBInputEncoding.ItemIndex=2\n"
                                    "CBInputEncoding.Text=raw\n"
                                    "CBOutputEncoding.ItemIndex=2\n"
                                    "CBOutputEncoding.Text=raw\n"
                                    "EditMute.Text=\n";

class OptionStorageTest : public ::testing::Test {
protected:
    OptionStorageTest() : path(dir.filePath(QStringLiteral("Settings.ini"))), file(path) {}

    // Fields a user might change in the dialog.
    static void Edit(TidyOptionSet& options) {
        options.CBIndent = true;
        options.cbUppercaseTags = false;
        options.EditWrapWidth = QStringLiteral("72");
        options.EditAltText = QStringLiteral("picture");
        options.CBOutputEncoding = {3, QStringLiteral("utf8")};
        options.CBTabSize = {-1, QStringLiteral("12")};
    }

    QTemporaryDir dir;
    QString path;
    IniFile file;
    TidyOptionSet options;
};

TEST(OptionKeysTest, TheKeysAreWrittenInDialogOrder) {
    EXPECT_EQ(TidyOptionKeys(), kExpectedKeys);
}

TEST_F(OptionStorageTest, FreshInstallationKeepsTheDefaultsAndOkStoresAll28Keys) {
    TidyOptionStorage storage(options, &file);
    EXPECT_EQ(options, TidyOptionSet{});
    EXPECT_FALSE(QFile::exists(path)); // created by the first save only
    storage.acceptOk();
    EXPECT_EQ(file.ReadSection(kTidyOptionsSection), kExpectedKeys);
    EXPECT_EQ(ReadAll(path), kDefaultsSection);
}

TEST_F(OptionStorageTest, WhatOkStoredComesBackAtTheNextStart) {
    {
        TidyOptionStorage storage(options, &file);
        Edit(options);
        storage.acceptOk();
    }
    TidyOptionSet next;
    TidyOptionStorage storage(next, &file);
    TidyOptionSet expected;
    Edit(expected);
    EXPECT_EQ(next, expected);
    // The Defaults button still knows the built-in values, not the stored ones.
    storage.loadDefaults();
    EXPECT_EQ(next, TidyOptionSet{});
}

TEST_F(OptionStorageTest, CancelUndoesChangesAndLeavesTheFile) {
    TidyOptionStorage storage(options, &file);
    Edit(options);
    storage.acceptOk();
    const QByteArray stored = ReadAll(path);
    const TidyOptionSet accepted = options;

    options.CBIndent = false;
    options.CBInputEncoding = {0, QStringLiteral("ascii")};
    options.EditAltText = QStringLiteral("changed");
    storage.otherClose();
    EXPECT_EQ(options, accepted);
    EXPECT_EQ(ReadAll(path), stored);
}

TEST_F(OptionStorageTest, DefaultsThenCancelKeepsTheStoredOptions) {
    TidyOptionStorage storage(options, &file);
    Edit(options);
    storage.acceptOk();
    const QByteArray stored = ReadAll(path);
    const TidyOptionSet accepted = options;

    storage.loadDefaults();
    EXPECT_EQ(options, TidyOptionSet{});
    EXPECT_EQ(ReadAll(path), stored); // nothing written until OK
    storage.otherClose();
    EXPECT_EQ(options, accepted);
    EXPECT_EQ(ReadAll(path), stored);
}

TEST_F(OptionStorageTest, DefaultsThenOkStoresTheDefaults) {
    TidyOptionStorage storage(options, &file);
    Edit(options);
    storage.acceptOk();
    storage.loadDefaults();
    storage.acceptOk();
    EXPECT_EQ(ReadAll(path), kDefaultsSection);
}

TEST_F(OptionStorageTest, AtExitStoresTheCurrentRecord) {
    TidyOptionStorage storage(options, &file);
    options.cbWrapPHP = true;
    storage.atExit();
    EXPECT_EQ(file.ReadString(kTidyOptionsSection, QStringLiteral("cbWrapPHP.Checked"), {}),
              QStringLiteral("1"));
}

TEST_F(OptionStorageTest, HandWrittenValuesAreTakenUnvalidated) {
    WriteAll(path, "[formtidyproperties]\n"
                   "CBTIDYMARK.CHECKED=1\n"
                   "CBInputEncoding.ItemIndex=9\n"
                   "EditWrapWidth.Text= wide \n");
    TidyOptionStorage storage(options, &file);
    // The box the dialog never shows can only be switched on this way.
    EXPECT_TRUE(options.cbTidyMark);
    EXPECT_EQ(options.CBInputEncoding, (ComboValue{-1, QStringLiteral("raw")}));
    EXPECT_EQ(options.EditWrapWidth, QStringLiteral("wide"));
    // Everything else keeps its built-in value.
    TidyOptionSet expected;
    expected.cbTidyMark = true;
    expected.CBInputEncoding.itemIndex = -1;
    expected.EditWrapWidth = QStringLiteral("wide");
    EXPECT_EQ(options, expected);
}

TEST_F(OptionStorageTest, ValuesThatAreNoIntegersLeaveTheFieldAsItIs) {
    WriteAll(path, "[FormTidyProperties]\n"
                   "cbUppercaseTags.Checked=yes\n"
                   "CBIndent.Checked=$1\n"
                   "CBTabSize.ItemIndex=four\n"
                   "CBOutputEncoding.ItemIndex=\n");
    LoadOptionSet(options, file);
    EXPECT_TRUE(options.cbUppercaseTags);
    EXPECT_TRUE(options.CBIndent);
    EXPECT_EQ(options.CBTabSize, (ComboValue{0, QStringLiteral("1")}));
    EXPECT_EQ(options.CBOutputEncoding, (ComboValue{2, QStringLiteral("raw")}));
}

TEST_F(OptionStorageTest, AListBoxTakesItsTextFirstAndThenItsPositionWhichDecides) {
    WriteAll(path, "[FormTidyProperties]\n"
                   "CBInputEncoding.ItemIndex=5\n"
                   "CBInputEncoding.Text=utf8\n"    // disagrees: the position wins
                   "CBOutputEncoding.Text=latin1\n" // no position: picking by text
                   "CBTabSize.ItemIndex=-1\n"
                   "CBTabSize.Text=12\n"); // typed size, no entry
    LoadOptionSet(options, file);
    EXPECT_EQ(options.CBInputEncoding, (ComboValue{5, QStringLiteral("mac")}));
    EXPECT_EQ(options.CBOutputEncoding, (ComboValue{1, QStringLiteral("latin1")}));
    EXPECT_EQ(options.CBTabSize, (ComboValue{-1, QStringLiteral("12")}));

    // A typed tab size is no pick: its stored position still decides.
    WriteAll(path, "[FormTidyProperties]\nCBTabSize.Text=3\n");
    TidyOptionSet other;
    LoadOptionSet(other, file);
    EXPECT_EQ(other.CBTabSize, (ComboValue{0, QStringLiteral("1")}));
}

TEST_F(OptionStorageTest, SnapshotAndFileGiveTheSameRecordBack) {
    Edit(options);
    options.EditAltText = QStringLiteral("  padded  ");
    DefaultsSnapshot snapshot;
    SaveOptionSet(options, snapshot);
    SaveOptionSet(options, file);
    TidyOptionSet fromSnapshot;
    TidyOptionSet fromFile;
    LoadOptionSet(fromSnapshot, snapshot);
    LoadOptionSet(fromFile, file);
    EXPECT_EQ(fromSnapshot, fromFile);
    // Blanks around a text are lost in storage, as with the platform's settings files.
    EXPECT_EQ(fromFile.EditAltText, QStringLiteral("padded"));
}

TEST_F(OptionStorageTest, ARefusedSaveRaisesAndTheRecordStays) {
    WriteAll(dir.filePath(QStringLiteral("plain")), "x");
    const QString blocked = dir.filePath(QStringLiteral("plain/Settings.ini"));
    IniFile nowhere(blocked);
    TidyOptionStorage storage(options, &nowhere);
    Edit(options);
    const TidyOptionSet edited = options;
    try {
        storage.acceptOk();
        FAIL() << "the save went through";
    } catch (const KelvaneError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("Unable to write to ") + blocked);
    }
    EXPECT_EQ(options, edited);
}

TEST_F(OptionStorageTest, WithoutAnExplicitFileTheSharedSettingsFileIsUsed) {
    SetSettingsFilePath(path);
    WriteAll(path, "[FormTidyProperties]\nCBBare.Checked=0\n");
    TidyOptionSet record;
    TidyOptionStorage storage(record);
    EXPECT_FALSE(record.CBBare);
    record.CBBare = true;
    storage.acceptOk();
    EXPECT_EQ(file.ReadSection(kTidyOptionsSection).size(), 28);
    SetSettingsFilePath(QString());
}

} // namespace
