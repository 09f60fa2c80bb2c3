#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void Write(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// Points the XDG folders at a temporary tree for one test.
class ScopedXdg {
public:
    explicit ScopedXdg(const QString& root) {
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        }
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root + QStringLiteral("/etc")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/data")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(root + QStringLiteral("/usr")));
    }
    ~ScopedXdg() {
        for (const Saved& saved : m_saved) {
            if (saved.wasSet)
                qputenv(saved.name, saved.value);
            else
                qunsetenv(saved.name);
        }
    }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    QList<Saved> m_saved;
};

} // namespace

TEST(DesktopExecCommand, FileCodesTakeTheFileAndOthersAreDropped) {
    const QString file = QStringLiteral("/tmp/my page.html");
    EXPECT_EQ(DesktopExecCommand(QStringLiteral("gedit %U"), file),
              (QStringList{QStringLiteral("gedit"), QStringLiteral("file:///tmp/my%20page.html")}));
    EXPECT_EQ(DesktopExecCommand(QStringLiteral("kate -b %F"), file),
              (QStringList{QStringLiteral("kate"), QStringLiteral("-b"), file}));
    EXPECT_EQ(DesktopExecCommand(QStringLiteral("editor --icon %i %c %k --file=%f"), file),
              (QStringList{QStringLiteral("editor"), QStringLiteral("--icon"),
                           QStringLiteral("--file=") + file}));
    EXPECT_EQ(DesktopExecCommand(QStringLiteral("mousepad"), file),
              (QStringList{QStringLiteral("mousepad"), file}));
    EXPECT_EQ(DesktopExecCommand(QStringLiteral("show 100%% %f"), file),
              (QStringList{QStringLiteral("show"), QStringLiteral("100%"), file}));
}

TEST(DesktopExecCommand, QuotingAndEscapesAreUndone) {
    const QString file = QStringLiteral("/x.txt");
    EXPECT_EQ(DesktopExecCommand(QStringLiteral("\"/opt/My Editor/bin/edit\" %f"), file),
              (QStringList{QStringLiteral("/opt/My Editor/bin/edit"), file}));
    EXPECT_EQ(
        DesktopExecCommand(QStringLiteral("sh -c \"echo \\\\\"hi\\\\\" \\\\$HOME\" %f"), file),
        (QStringList{QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral("echo \"hi\" $HOME"), file}));
    EXPECT_EQ(DesktopExecCommand(QStringLiteral("\"a\\sb\" %f"), file),
              (QStringList{QStringLiteral("a b"), file}));
    EXPECT_EQ(DesktopExecCommand(QString(), file), QStringList());
}

TEST(DefaultApplication, FoundThroughMimeappsListInXdgOrder) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ScopedXdg xdg(root.path());
    EXPECT_EQ(DefaultApplicationFor(QStringLiteral("text/plain")), QString());

    const QString systemEditor = root.filePath(QStringLiteral("usr/applications/system.desktop"));
    const QString userEditor = root.filePath(QStringLiteral("data/applications/mine.desktop"));
    Write(systemEditor, "[Desktop Entry]\nName=System\nExec=system-edit %f\n");
    Write(userEditor, "[Desktop Action new]\nExec=wrong\n[Desktop Entry]\nExec=my-edit --new %U\n");
    Write(root.filePath(QStringLiteral("usr/applications/defaults.list")),
          "[Default Applications]\ntext/plain=system.desktop\n");
    EXPECT_EQ(DefaultApplicationFor(QStringLiteral("text/plain")), systemEditor);

    // The user's own choice comes first; entries that are not installed are skipped.
    Write(root.filePath(QStringLiteral("config/mimeapps.list")),
          "[Added Associations]\ntext/plain=system.desktop\n"
          "[Default Applications]\ntext/html=system.desktop\n"
          "text/plain=gone.desktop;mine.desktop;\n");
    EXPECT_EQ(DefaultApplicationFor(QStringLiteral("text/plain")), userEditor);
    EXPECT_EQ(DesktopEntryExec(userEditor), QStringLiteral("my-edit --new %U"));
    EXPECT_EQ(DefaultApplicationFor(QStringLiteral("image/png")), QString());
}
