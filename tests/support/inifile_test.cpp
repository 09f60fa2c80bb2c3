// The settings file against files written by hand, and what its writes leave on disk.

#include "common/TestSupport.h"
#include "platform/FileWriting.h"
#include "support/DefaultsSnapshot.h"
#include "support/Errors.h"
#include "support/IniFile.h"
#include "support/SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QString PathOf(const QString& name = QStringLiteral("Settings.ini")) const {
        return dir.filePath(name);
    }
    QString HandWritten(const QByteArray& content) {
        WriteAll(PathOf(), content);
        return PathOf();
    }
    QTemporaryDir dir;
};

// Runs `write` and returns the text of the KelvaneError it raises (empty when none).
template <typename F> QString ErrorOf(F write) {
    try {
        write();
    } catch (const KelvaneError& error) {
        return error.message();
    }
    return {};
}

TEST_F(IniFileTest, NamesCompareWithoutCaseAndValuesLoseBlanksAndOnePairOfQuotes) {
    IniFile ini(HandWritten("; a comment\n"
                            "[FormKelvane]\n"
                            "  Recurse = 1  \n"
                            "Filter=\t*.htm;*.html\t\n"
                            "Quoted=\"  spaced  \"\n"
                            "Single='x'\n"
                            "Twice=\"\"both\"\"\n"
                            "Mixed=\"x'\n"
                            "Lone=\"\n"
                            "Equals=a=b\n"
                            "Empty=\n")); // no line end after the last line
    const QString s = QStringLiteral("formKELVANE");
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("RECURSE"), {}), QStringLiteral("1"));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("filter"), {}), QStringLiteral("*.htm;*.html"));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("Quoted"), {}), QStringLiteral("  spaced  "));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("Single"), {}), QStringLiteral("x"));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("Twice"), {}), QStringLiteral("\"both\""));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("Mixed"), {}), QStringLiteral("\"x'"));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("Lone"), {}), QStringLiteral("\""));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("Equals"), {}), QStringLiteral("a=b"));
    // A present but empty value is not the default.
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("Empty"), QStringLiteral("d")), QString());
    EXPECT_TRUE(ini.ValueExists(s, QStringLiteral("empty")));
}

TEST_F(IniFileTest, LinesThatFitNoFormAreIgnored) {
    IniFile ini(HandWritten("Orphan=before any section\r\n"
                            "[A]\r\n"
                            "no equals sign here\r\n"
                            "=no name\r\n"
                            ";Key=commented\r\n"
                            "[broken\r\n"
                            "Key=value\r\n"));
    EXPECT_EQ(ini.ReadString(QString(), QStringLiteral("Orphan"), QStringLiteral("d")),
              QStringLiteral("d"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("A"), QStringLiteral("Key"), {}),
              QStringLiteral("value"));
    EXPECT_EQ(ini.ReadSection(QStringLiteral("A")), QStringList{QStringLiteral("Key")});
    EXPECT_EQ(ini.ReadSections(), QStringList{QStringLiteral("A")});
}

TEST_F(IniFileTest, MissingFileSectionOrKeyReadsAsTheDefault) {
    IniFile missing(PathOf(QStringLiteral("none.ini")));
    EXPECT_EQ(missing.ReadString(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("d")),
              QStringLiteral("d"));
    EXPECT_EQ(missing.ReadInteger(QStringLiteral("A"), QStringLiteral("B"), 7), 7);
    EXPECT_TRUE(missing.ReadSections().isEmpty());
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("none.ini"))));

    IniFile ini(HandWritten("[A]\nB=1\n"));
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("Other"), QStringLiteral("B"), 5), 5);
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("A"), QStringLiteral("C"), 5), 5);
}

TEST_F(IniFileTest, ValuesAreReadBackCutTo2047Characters) {
    const QByteArray longValue(3000, 'x');
    IniFile ini(HandWritten("[A]\nLong=" + longValue + "\nExact=" + QByteArray(2047, 'y') + "\n"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("A"), QStringLiteral("Long"), {}), QString(2047, u'x'));
    EXPECT_EQ(ini.ReadString(QStringLiteral("A"), QStringLiteral("Exact"), {}).size(), 2047);
    // The file itself keeps the whole value.
    EXPECT_TRUE(ReadAll(PathOf()).contains(longValue));
}

TEST_F(IniFileTest, IntegersAcceptDecimalDollarAndZeroXHexOtherwiseTheDefault) {
    IniFile ini(HandWritten("[N]\nDec=42\nNeg=-7\nPlus=+3\nDollar=$1F\nHex=0x1f\nHEX=0X1F\n"
                            "Word=abc\nTail=12abc\nHuge=99999999999\nQuoted='5'\nBlank=\n"
                            "AllOnes=$FFFFFFFF\nTooWide=$1FFFFFFFF\nOnlyPrefix=$\n"
                            "MinHex=-$80000000\nMinusAllOnes=-$FFFFFFFF\nHighBit=$80000000\n"
                            "MinDec=-2147483648\nBelowMin=-2147483649\n"));
    auto read = [&](const char* key) {
        return ini.ReadInteger(QStringLiteral("N"), QLatin1String(key), -99);
    };
    EXPECT_EQ(read("Dec"), 42);
    EXPECT_EQ(read("Neg"), -7);
    EXPECT_EQ(read("Plus"), 3);
    EXPECT_EQ(read("Dollar"), 31);
    EXPECT_EQ(read("Hex"), 31); // names compare without case: the first "Hex" wins
    EXPECT_EQ(read("Word"), -99);
    EXPECT_EQ(read("Tail"), -99);
    EXPECT_EQ(read("Huge"), -99);
    EXPECT_EQ(read("Quoted"), 5);
    EXPECT_EQ(read("Blank"), -99);
    EXPECT_EQ(read("AllOnes"), -1);
    EXPECT_EQ(read("TooWide"), -99);
    EXPECT_EQ(read("OnlyPrefix"), -99);
    // A sign applies to the 32-bit pattern, wrapping as the classic service does.
    EXPECT_EQ(read("MinHex"), std::numeric_limits<int>::min());
    EXPECT_EQ(read("MinusAllOnes"), 1);
    EXPECT_EQ(read("HighBit"), std::numeric_limits<int>::min());
    EXPECT_EQ(read("MinDec"), std::numeric_limits<int>::min());
    EXPECT_EQ(read("BelowMin"), -99);
}

TEST_F(IniFileTest, BooleansAreWrittenOneOrZeroAndReadAsIntegers) {
    IniFile ini(HandWritten("[B]\nTwo=2\nZero=0\nYes=yes\nHexOne=$1\n"));
    EXPECT_TRUE(ini.ReadBool(QStringLiteral("B"), QStringLiteral("Two"), false));
    EXPECT_FALSE(ini.ReadBool(QStringLiteral("B"), QStringLiteral("Zero"), true));
    EXPECT_TRUE(ini.ReadBool(QStringLiteral("B"), QStringLiteral("Yes"), true));
    EXPECT_FALSE(ini.ReadBool(QStringLiteral("B"), QStringLiteral("Yes"), false));
    EXPECT_TRUE(ini.ReadBool(QStringLiteral("B"), QStringLiteral("HexOne"), false));
    ini.WriteBool(QStringLiteral("B"), QStringLiteral("On"), true);
    ini.WriteBool(QStringLiteral("B"), QStringLiteral("Off"), false);
    EXPECT_TRUE(ReadAll(PathOf()).endsWith("On=1\nOff=0\n"));
}

TEST_F(IniFileTest, BinaryIsUpperCaseHexAndReadingAppends) {
    IniFile ini(PathOf());
    const QByteArray bytes("\x00\xab\x7f/home", 8);
    ini.WriteBinaryStream(QStringLiteral("FormKelvane"), QStringLiteral("ActiveDirectory"), bytes);
    EXPECT_TRUE(ReadAll(PathOf()).contains("ActiveDirectory=00AB7F2F686F6D65\n"));

    QByteArray buffer("head");
    EXPECT_EQ(ini.ReadBinaryStream(QStringLiteral("formkelvane"), QStringLiteral("activedirectory"),
                                   buffer),
              8);
    EXPECT_EQ(buffer, QByteArray("head") + bytes);
    EXPECT_EQ(
        ini.ReadBinaryStream(QStringLiteral("FormKelvane"), QStringLiteral("Missing"), buffer), 0);
    EXPECT_EQ(buffer, QByteArray("head") + bytes);

    WriteAll(PathOf(), "[X]\nLower=0a0b\nBad=0AZZ11\nOdd=ABC\n");
    QByteArray decoded;
    ini.ReadBinaryStream(QStringLiteral("X"), QStringLiteral("Lower"), decoded);
    ini.ReadBinaryStream(QStringLiteral("X"), QStringLiteral("Bad"), decoded);
    ini.ReadBinaryStream(QStringLiteral("X"), QStringLiteral("Odd"), decoded);
    EXPECT_EQ(decoded, QByteArray("\x0a\x0b\x0a\xab", 4));
}

TEST_F(IniFileTest, WritesKeepCommentsOrderAndUnknownLines) {
    IniFile ini(HandWritten("\xEF\xBB\xBF; settings\r\n"
                            "[First]\r\n"
                            "  Alpha = old  \r\n"
                            "junk line\r\n"
                            "Beta=2\r\n"
                            "\r\n"
                            "; belongs to Second\r\n"
                            "[Second]\r\n"
                            "Gamma=3"));
    ini.WriteString(QStringLiteral("FIRST"), QStringLiteral("alpha"), QStringLiteral("new"));
    ini.WriteString(QStringLiteral("first"), QStringLiteral("Delta"), QStringLiteral("4"));
    ini.WriteString(QStringLiteral("Second"), QStringLiteral("Epsilon"), QStringLiteral("5"));
    ini.WriteString(QStringLiteral("Third"), QStringLiteral("Zeta"), QStringLiteral("6"));
    EXPECT_EQ(ReadAll(PathOf()), QByteArray("\xEF\xBB\xBF; settings\r\n"
                                            "[First]\r\n"
                                            "  Alpha =new\r\n"
                                            "junk line\r\n"
                                            "Beta=2\r\n"
                                            "Delta=4\r\n"
                                            "\r\n"
                                            "; belongs to Second\r\n"
                                            "[Second]\r\n"
                                            "Gamma=3\r\n"
                                            "Epsilon=5\r\n"
                                            "\r\n"
                                            "[Third]\r\n"
                                            "Zeta=6\r\n"));
}

TEST_F(IniFileTest, FirstWriteCreatesTheFileAndTextStaysUtf8) {
    IniFile ini(PathOf());
    ini.WriteString(QStringLiteral("Ä"), QStringLiteral("Schlüssel"), QStringLiteral("Grüße €"));
    EXPECT_EQ(ReadAll(PathOf()), QByteArray("[Ä]\nSchlüssel=Grüße €\n"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("ä"), QStringLiteral("SCHLÜSSEL"), {}),
              QStringLiteral("Grüße €"));
}

TEST_F(IniFileTest, AValueWithLineBreaksCannotAddKeys) {
    IniFile ini(PathOf());
    ini.WriteString(QStringLiteral("A"), QStringLiteral("Text"),
                    QStringLiteral("one\r\ntwo\n[B]\nInjected=1"));
    EXPECT_FALSE(ini.ValueExists(QStringLiteral("B"), QStringLiteral("Injected")));
    EXPECT_EQ(ini.ReadString(QStringLiteral("A"), QStringLiteral("Text"), {}),
              QStringLiteral("one two [B] Injected=1"));
}

TEST_F(IniFileTest, NothingIsCachedBetweenTwoObjectsOnOneFile) {
    IniFile first(PathOf());
    IniFile second(PathOf());
    first.WriteString(QStringLiteral("FormKelvane"), QStringLiteral("Recurse"),
                      QStringLiteral("1"));
    second.WriteString(QStringLiteral("FormKelvanetbMainMenu"), QStringLiteral("Rev"),
                       QStringLiteral("2000"));
    first.WriteString(QStringLiteral("FormKelvane"), QStringLiteral("Left"), QStringLiteral("10"));
    second.WriteString(QStringLiteral("FormKelvanetbMainMenu"), QStringLiteral("Visible"),
                       QStringLiteral("1"));
    for (const IniFile* ini : {&first, &second}) {
        EXPECT_EQ(ini->ReadSection(QStringLiteral("FormKelvane")),
                  (QStringList{QStringLiteral("Recurse"), QStringLiteral("Left")}));
        EXPECT_EQ(ini->ReadSection(QStringLiteral("FormKelvanetbMainMenu")),
                  (QStringList{QStringLiteral("Rev"), QStringLiteral("Visible")}));
    }
    // A change made by hand in between is seen at once, and kept by the next write.
    WriteAll(PathOf(), ReadAll(PathOf()) + "[Hand]\nMade=yes\n");
    EXPECT_EQ(first.ReadString(QStringLiteral("Hand"), QStringLiteral("Made"), {}),
              QStringLiteral("yes"));
    second.WriteInteger(QStringLiteral("FormKelvane"), QStringLiteral("Top"), 20);
    EXPECT_EQ(first.ReadString(QStringLiteral("Hand"), QStringLiteral("Made"), {}),
              QStringLiteral("yes"));
}

TEST_F(IniFileTest, ConcurrentWritersOfDifferentSectionsLoseNothing) {
    auto writer = [this](const QString& section) {
        IniFile ini(PathOf());
        for (int i = 0; i < 40; ++i)
            ini.WriteInteger(section, QStringLiteral("Key%1").arg(i), i);
    };
    std::thread a(writer, QStringLiteral("A"));
    std::thread b(writer, QStringLiteral("B"));
    a.join();
    b.join();
    IniFile ini(PathOf());
    EXPECT_EQ(ini.ReadSection(QStringLiteral("A")).size(), 40);
    EXPECT_EQ(ini.ReadSection(QStringLiteral("B")).size(), 40);
    // The atomic replace leaves no temporary or lock files behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("Settings.ini")});
}

TEST_F(IniFileTest, RefusedWritesRaiseUnableToWriteWithTheFullPath) {
    // The parent "folder" is a regular file: no file can be created there.
    WriteAll(PathOf(QStringLiteral("plain")), "x");
    const QString underFile = PathOf(QStringLiteral("plain/Settings.ini"));
    IniFile inFile(underFile);
    EXPECT_EQ(ErrorOf([&] { inFile.WriteInteger(QStringLiteral("A"), QStringLiteral("B"), 1); }),
              QStringLiteral("Unable to write to ") + underFile);

    // A folder where the file should be is left alone.
    QDir(dir.path()).mkdir(QStringLiteral("Folder.ini"));
    IniFile onFolder(PathOf(QStringLiteral("Folder.ini")));
    EXPECT_EQ(ErrorOf([&] { onFolder.WriteInteger(QStringLiteral("A"), QStringLiteral("B"), 1); }),
              QStringLiteral("Unable to write to ") + PathOf(QStringLiteral("Folder.ini")));
    EXPECT_TRUE(QFileInfo(PathOf(QStringLiteral("Folder.ini"))).isDir());
}

TEST_F(IniFileTest, AReadOnlySettingsFileIsNotReplaced) {
    IniFile ini(HandWritten("[A]\nB=1\n"));
    SetReadOnly(PathOf(), true);
    EXPECT_EQ(ErrorOf([&] { ini.WriteInteger(QStringLiteral("A"), QStringLiteral("B"), 2); }),
              QStringLiteral("Unable to write to ") + PathOf());
    // Writing what the file already holds changes nothing and so succeeds.
    EXPECT_EQ(ErrorOf([&] { ini.WriteInteger(QStringLiteral("A"), QStringLiteral("B"), 1); }),
              QString());
    EXPECT_EQ(ReadAll(PathOf()), QByteArray("[A]\nB=1\n"));
    SetReadOnly(PathOf(), false);
}

// Every write and the final sync are checked before anything is renamed into place: a full
// disk leaves the settings as they were and says so.
TEST_F(IniFileTest, ADeviceThatTakesNoBytesLeavesTheFileAndSaysSo) {
    const QByteArray before = "[A]\nB=1\n";
    IniFile ini(HandWritten(before));
    const platform::FileWriteCalls full{[](int, const void*, size_t) -> ssize_t {
                                            errno = ENOSPC;
                                            return -1;
                                        },
                                        &::fsync};
    const platform::FileWriteCalls unsynced{&::write, [](int) {
                                                errno = EIO;
                                                return -1;
                                            }};
    for (const platform::FileWriteCalls* calls : {&full, &unsynced}) {
        platform::SetFileWriteCallsForTests(calls);
        const QString error =
            ErrorOf([&] { ini.WriteString(QStringLiteral("A"), QStringLiteral("B"), "2"); });
        platform::SetFileWriteCallsForTests(nullptr);
        EXPECT_EQ(error, QStringLiteral("Unable to write to ") + PathOf());
        EXPECT_EQ(ReadAll(PathOf()), before);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("Settings.ini")});
}

TEST_F(IniFileTest, AFullFileSystemLeavesTheFileAndSaysSo) {
    const QString mountPoint = PathOf(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkdir(mountPoint));
    const QByteArray native = QFile::encodeName(mountPoint);
    if (::mount("tmpfs", native.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no small file system can be mounted here: " << std::strerror(errno);
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{native};

    const QString path = mountPoint + QStringLiteral("/Settings.ini");
    const QByteArray before = "[A]\nB=1\n";
    WriteAll(path, before);
    // Fill what is left.
    const int filler = ::open((native + "/filler").constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(filler, 0);
    const QByteArray block(4096, 'x');
    while (::write(filler, block.constData(), block.size()) > 0) {
    }
    ::close(filler);

    IniFile ini(path);
    EXPECT_EQ(ErrorOf([&] {
                  ini.WriteString(QStringLiteral("A"), QStringLiteral("Long"),
                                  QString(8192, QLatin1Char('v')));
              }),
              QStringLiteral("Unable to write to ") + path);
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{QStringLiteral("Settings.ini"), QStringLiteral("filler")}));
}

TEST_F(IniFileTest, ReplacingTheFileKeepsItsPermissions) {
    IniFile ini(HandWritten("[A]\nB=1\n"));
    QFile::setPermissions(PathOf(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ini.WriteInteger(QStringLiteral("A"), QStringLiteral("B"), 2);
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther;
    const QFileDevice::Permissions now = QFileInfo(PathOf()).permissions();
    EXPECT_TRUE(now.testFlag(QFileDevice::WriteOwner));
    EXPECT_FALSE(now & others);
}

TEST_F(IniFileTest, NamesThatCannotBeStoredAreRefused) {
    IniFile ini(PathOf());
    EXPECT_FALSE(ErrorOf([&] {
                     ini.WriteString(QStringLiteral("A"), QStringLiteral("k=v"), {});
                 }).isEmpty());
    EXPECT_FALSE(ErrorOf([&] {
                     ini.WriteString(QStringLiteral("A\nB"), QStringLiteral("k"), {});
                 }).isEmpty());
    EXPECT_FALSE(QFile::exists(PathOf()));
}

TEST(DefaultsSnapshotTest, ReadsFollowTheSettingsFileRules) {
    DefaultsSnapshot snapshot;
    snapshot.WriteString(QStringLiteral("Form"), QStringLiteral("Text"), QStringLiteral("  'x'  "));
    snapshot.WriteString(QStringLiteral("Form"), QStringLiteral("Long"), QString(3000, u'z'));
    snapshot.WriteString(QStringLiteral("Form"), QStringLiteral("Num"), QStringLiteral("$1F"));
    snapshot.WriteInteger(QStringLiteral("FORM"), QStringLiteral("num"), 5); // replaces
    snapshot.WriteBinaryStream(QStringLiteral("Other"), QStringLiteral("Bin"), "\x01\xfe");

    EXPECT_EQ(snapshot.ReadString(QStringLiteral("form"), QStringLiteral("TEXT"), {}),
              QStringLiteral("x"));
    EXPECT_EQ(snapshot.ReadString(QStringLiteral("Form"), QStringLiteral("Long"), {}).size(), 2047);
    EXPECT_EQ(snapshot.ReadInteger(QStringLiteral("Form"), QStringLiteral("Num"), 0), 5);
    EXPECT_EQ(snapshot.ReadSection(QStringLiteral("form")),
              (QStringList{QStringLiteral("Text"), QStringLiteral("Long"), QStringLiteral("Num")}));
    QByteArray bytes;
    EXPECT_EQ(snapshot.ReadBinaryStream(QStringLiteral("Other"), QStringLiteral("Bin"), bytes), 2);
    EXPECT_EQ(bytes, QByteArray("\x01\xfe"));
    EXPECT_EQ(snapshot.ReadBool(QStringLiteral("Other"), QStringLiteral("Missing"), true), true);
}

TEST(SettingsFileTest, PathIsTheUsersEvenInTheBuildTreeUnlessSetExplicitly) {
    // The test program runs where it was built, which is no portable copy.
    EXPECT_EQ(DefaultSettingsFilePath(), qEnvironmentVariable("XDG_CONFIG_HOME") +
                                             QStringLiteral("/Mondavik/Kelvane/Settings.ini"));
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath(QStringLiteral("Settings.ini")));
    EXPECT_EQ(SettingsFile().FileName(), dir.filePath(QStringLiteral("Settings.ini")));
    EXPECT_EQ(SettingsFilePath(), dir.filePath(QStringLiteral("Settings.ini")));
    EXPECT_EQ(&SettingsFile(), &SettingsFile());
    SettingsFile().WriteInteger(QStringLiteral("A"), QStringLiteral("B"), 1);
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("Settings.ini"))));
    SetSettingsFilePath(QString());
}

} // namespace
