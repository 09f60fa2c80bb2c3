#pragma once
// Access lists and extended attributes as a user sees and sets them: the tools of Debian's acl
// (setfacl, getfacl) and attr (setfattr, getfattr) packages.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

inline bool HasAttributeTools() {
    for (const char* tool : {"setfacl", "getfacl", "setfattr", "getfattr"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return false;
    return true;
}

#define SKIP_WITHOUT_ATTRIBUTE_TOOLS()                                                             \
    do {                                                                                           \
        if (!HasAttributeTools())                                                                  \
            GTEST_SKIP() << "needs setfacl/getfacl (acl) and setfattr/getfattr (attr): "           \
                            "scripts/install-deps installs them";                                  \
    } while (false)

// Runs a tool; answers its standard output, or a marker with its error output when it failed.
inline QByteArray RunTool(const QString& tool, const QStringList& arguments) {
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return "<" + tool.toUtf8() + " failed: " + process.readAllStandardError() + ">";
    return process.readAllStandardOutput();
}

// The access list as getfacl shows it, without the header (so two files compare).
inline QByteArray AclOf(const QString& path) {
    return RunTool(QStringLiteral("getfacl"), {QStringLiteral("-c"), QStringLiteral("-p"), path});
}

inline void SetAcl(const QString& path, const QString& entries) {
    EXPECT_EQ(RunTool(QStringLiteral("setfacl"), {QStringLiteral("-m"), entries, path}), "")
        << path.toStdString();
}

// Every user.* attribute but ours (user.kelvane.*), "name=\"value\"" a line, as getfattr
// dumps them (names sorted), without the "# file:" line, so that two files compare.
inline QByteArray UserAttributesOf(const QString& path) {
    const QByteArray dump = RunTool(QStringLiteral("getfattr"),
                                    {QStringLiteral("-d"), QStringLiteral("--absolute-names"),
                                     QStringLiteral("-m"), QStringLiteral("^user\\."), path});
    QByteArray kept;
    for (const QByteArray& line : dump.split('\n'))
        if (!line.startsWith("# file:") && !line.startsWith("user.kelvane.") && !line.isEmpty())
            kept += line + '\n';
    return kept;
}

inline void SetAttribute(const QString& path, const QString& name, const QString& value) {
    EXPECT_EQ(RunTool(QStringLiteral("setfattr"),
                      {QStringLiteral("-n"), name, QStringLiteral("-v"), value, path}),
              "")
        << path.toStdString();
}
