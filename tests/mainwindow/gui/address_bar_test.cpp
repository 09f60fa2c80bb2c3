// The address bar as a user drives it (keys, the list, Go on paths, captions and web pages),
// the window's start-up after its first show, and the command records it answers.

#include "cmdline/CommandLine.h"
#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "common/WhenModal.h"
#include "mainwindow/CommandRecord.h"
#include "mainwindow/MainSettings.h"
#include "mainwindow/TypedAddresses.h"
#include "mainwindow/gui/FileListModel.h"
#include "mainwindow/gui/FolderTreeModel.h"
#include "mainwindow/gui/TFormKelvane.h"
#include "mainwindow/gui/TIEAddress.h"
#include "platform/UserRegistry.h"
#include "support/LocalHttpServer.h"
#include "support/SettingsFile.h"
#include "support/Translation.h"
#include "support/gui/TFormDownload.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QByteArray kPage = "<html><head><title>t</title></head><body><p>served</body></html>";

class AddressBar : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid() && cache.isValid());
        ClearTranslations();
        SetSettingsFilePath(dir.filePath(QStringLiteral("Settings.ini")));
        SetUserRegistryFile(dir.filePath(QStringLiteral("registry.ini")));
        download.setDownloadFolder(cache.path());
        SetFormDownload(&download);
        site = dir.filePath(QStringLiteral("site"));
        for (const char* folder : {"A", "Kelvane Caption Folder", "B/inner"})
            ASSERT_TRUE(QDir(site).mkpath(QString::fromLatin1(folder)));
        WriteAll(at("A/page.html"), kPage);
        server.route("/page.html", LocalHttpServer::Page(kPage));
    }
    void TearDown() override {
        window.reset();
        SetFormDownload(nullptr);
        SetUserRegistryFile({});
        SetSettingsFilePath({});
    }

    QString at(const char* name) const { return site + QLatin1Char('/') + QLatin1String(name); }
    QStringList cached() const {
        return QDir(cache.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    TFormKelvane& open() {
        window = std::make_unique<TFormKelvane>();
        return *window;
    }
    void waitLoaded() {
        FileListModel* model = window->fileListModel();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model->Loaded(); }));
    }
    void typeTypedAddresses(int count) {
        std::optional<RegistryKey> key = RegistryKey::Open(kTypedAddressesKey, true);
        ASSERT_TRUE(key);
        for (int n = 1; n <= count; ++n)
            ASSERT_TRUE(key->SetStringValue(QStringLiteral("Url%1").arg(n),
                                            QStringLiteral("http://site%1.example/").arg(n)));
    }

    QTemporaryDir dir;
    QTemporaryDir cache;
    QString site;
    TFormDownload download;
    LocalHttpServer server;
    ScriptedPrompts prompts;
    ScopedPrompts scope{prompts};
    std::unique_ptr<TFormKelvane> window;
};

} // namespace

TEST_F(AddressBar, KeysWalkTheListAndEnterPutsTheAddressOnTop) {
    typeTypedAddresses(kTypedAddressCount);
    TIEAddress box;
    box.show();
    QSignalSpy go(&box, &TIEAddress::GoRequested);
    const QStringList typed = ReadTypedAddresses();
    EXPECT_EQ(box.Entries(), typed);
    EXPECT_EQ(box.Text(), typed.first());

    // Enter with the list closed: Go, then the text tops the list, also a second time.
    box.SetText(QStringLiteral("/tmp"));
    QTest::keyClick(&box, Qt::Key_Return);
    QTest::keyClick(&box, Qt::Key_Enter);
    EXPECT_EQ(go.count(), 2);
    EXPECT_EQ(box.Entries().mid(0, 3), (QStringList{"/tmp", "/tmp", typed.first()}));
    EXPECT_EQ(box.Text(), QStringLiteral("/tmp"));

    // Up does nothing with the list closed; Down opens it; Down and Up walk it, the text
    // following, never past the 25th entry of the 27.
    QTest::keyClick(&box, Qt::Key_Up);
    EXPECT_FALSE(box.view()->isVisible());
    EXPECT_EQ(box.Text(), QStringLiteral("/tmp"));
    QTest::keyClick(&box, Qt::Key_Down);
    ASSERT_TRUE(QTest::qWaitFor([&] { return box.view()->isVisible(); }));
    for (int i = 0; i < 30; ++i)
        QTest::keyClick(box.view(), Qt::Key_Down);
    EXPECT_EQ(box.view()->currentIndex().row(), TIEAddress::kReachableEntries - 1);
    EXPECT_EQ(box.Text(), box.Entries().at(TIEAddress::kReachableEntries - 1));
    QTest::keyClick(box.view(), Qt::Key_Up);
    const QString highlighted = box.Entries().at(TIEAddress::kReachableEntries - 2);
    EXPECT_EQ(box.Text(), highlighted);

    // Enter on the open list: that entry moves to the top, the list closes, Go.
    QTest::keyClick(box.view(), Qt::Key_Return);
    EXPECT_EQ(go.count(), 3);
    EXPECT_FALSE(box.view()->isVisible());
    EXPECT_EQ(box.Entries().first(), highlighted);
    EXPECT_EQ(box.Entries().size(), kTypedAddressCount + 2);
    EXPECT_EQ(box.Text(), highlighted);

    // Esc and Alt+Up close the list without Go.
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Escape, Qt::NoModifier}, std::pair{Qt::Key_Up, Qt::AltModifier}}) {
        QTest::keyClick(&box, Qt::Key_Down);
        ASSERT_TRUE(QTest::qWaitFor([&] { return box.view()->isVisible(); }));
        QTest::keyClick(box.view(), key, modifiers);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !box.view()->isVisible(); }));
    }
    // Picking with the mouse fills the field, selected, and goes nowhere.
    QTest::keyClick(&box, Qt::Key_Down);
    ASSERT_TRUE(QTest::qWaitFor([&] { return box.view()->isVisible(); }));
    QTest::qWait(QApplication::doubleClickInterval() + 50); // the list ignores a hasty click
    const QModelIndex third = box.view()->model()->index(2, 0);
    box.view()->scrollTo(third);
    QTest::mouseClick(box.view()->viewport(), Qt::LeftButton, {},
                      box.view()->visualRect(third).center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !box.view()->isVisible(); }));
    EXPECT_EQ(box.Text(), box.Entries().at(2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.lineEdit()->selectedText() == box.Text(); }));
    EXPECT_EQ(go.count(), 3);

    // A restart reads the stored list again, without the session's entries.
    TIEAddress again;
    EXPECT_EQ(again.Entries(), typed);
}

TEST_F(AddressBar, GoFindsFilesFoldersAndTreeCaptions) {
    TFormKelvane& w = open();
    w.addressBar()->SetText(at("A/page.html"));
    w.GoClick();
    EXPECT_EQ(w.CurrentFolder(), at("A"));
    waitLoaded();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w.SelectedPaths() == QStringList{at("A/page.html")}; }));

    w.addressBar()->SetText(QStringLiteral("file://") + at("B/inner"));
    w.GoClick();
    EXPECT_EQ(w.CurrentFolder(), at("B/inner"));

    // The caption of a node the tree has read, in any case, as the only way to it by name.
    auto* tree = static_cast<FolderTreeModel*>(w.folderTree()->model());
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree->rowCount(tree->IndexOf(site)) == 3; }));
    w.LocatePath(QStringLiteral("kelvane CAPTION folder"));
    EXPECT_EQ(w.CurrentFolder(), at("Kelvane Caption Folder"));

    for (const char* nothing : {"no such node anywhere here", ""})
        w.LocatePath(QLatin1String(nothing));
    EXPECT_EQ(w.CurrentFolder(), at("Kelvane Caption Folder"));
    EXPECT_TRUE(prompts.asked.isEmpty());
}

TEST_F(AddressBar, WebRoadTidiesAndSavesAndLeavesNoCopyOnAnyRoad) {
    TFormKelvane& w = open();
    const QString target = dir.filePath(QStringLiteral("saved.html"));
    bool copyThereForTheDialog = false;
    prompts.onEditOptions = [&](const QString& sample) {
        copyThereForTheDialog = QFileInfo(sample).isFile() && sample.startsWith(cache.path());
    };
    prompts.optionsAnswers = {true, false, true};
    prompts.saveAnswers = {target, QString()};

    w.addressBar()->SetText(server.url(QStringLiteral("/page.html")));
    QTest::keyClick(w.addressBar(), Qt::Key_Return);
    EXPECT_TRUE(copyThereForTheDialog);
    EXPECT_TRUE(ReadAll(target).contains("<P>served</P>")) << ReadAll(target).constData();
    EXPECT_EQ(prompts.asked.last().save.defaultSuffix, QStringLiteral("html"));
    EXPECT_EQ(cached(), QStringList());

    // Options dialog cancelled, then the save dialog cancelled: nothing written, no copy.
    QFile::remove(target);
    w.GoClick();
    w.GoClick();
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(cached(), QStringList());
    EXPECT_EQ(server.requests().size(), 3);
    EXPECT_EQ(prompts.messages(), QStringList()) << "quiet stops";
}

TEST_F(AddressBar, WebRoadCancelledOrUnreachableStopsBeforeAnyDialog) {
    server.route("/slow.html", LocalHttpServer::Stalled(100000, 10));
    TFormKelvane& w = open();
    w.addressBar()->SetText(server.url(QStringLiteral("/slow.html")));
    WhenModal([](QWidget* modal) {
        if (auto* cancel = modal->findChild<QPushButton*>(QStringLiteral("btnCancel")))
            cancel->click();
    });
    w.GoClick();
    EXPECT_TRUE(prompts.asked.isEmpty()) << "no message, no options, no save dialog";
    EXPECT_EQ(cached(), QStringList());

    // https counts as a web address; nothing listens there, so no transfer starts.
    const QString address =
        QStringLiteral("https://127.0.0.1:%1/page.html").arg(LocalHttpServer::ClosedPort());
    w.addressBar()->SetText(address);
    w.GoClick();
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(prompts.asked.first().text,
              QStringLiteral("Unable to download the web page\r\n\r\n") + address +
                  QStringLiteral("\r\n\r\nThe web page may not exist."));
    EXPECT_EQ(prompts.asked.first().kind, DialogKind::Error);

    // A page the server does not have: the same message, and nothing left in the cache.
    w.addressBar()->SetText(server.url(QStringLiteral("/gone.html")));
    w.GoClick();
    ASSERT_EQ(prompts.asked.size(), 2);
    EXPECT_TRUE(prompts.asked.last().text.contains(server.url(QStringLiteral("/gone.html"))));
    EXPECT_EQ(cached(), QStringList());
}

TEST_F(AddressBar, StartUpOpensThePendingPathOnceOrStartsTheWebRoad) {
    TFormKelvane& w = open();
    w.PendingPath = at("A/page.html");
    w.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.StartupDone(); }));
    EXPECT_TRUE(w.PendingPath.isEmpty());
    EXPECT_EQ(w.CurrentFolder(), at("A"));
    waitLoaded();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w.SelectedPaths() == QStringList{at("A/page.html")}; }));

    // Shown again later: the settings are not read again.
    w.hide();
    WriteActiveDirectory(SettingsFile(), at("B"));
    w.show();
    QTest::qWait(50);
    EXPECT_EQ(w.CurrentFolder(), at("A"));
    w.hide();

    // A web address is put into the address bar and goes down the web road from the loop.
    prompts.optionsAnswers = {false};
    TFormKelvane& web = open();
    web.PendingPath = server.url(QStringLiteral("/page.html"));
    web.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompts.asked.size() == 1; }));
    EXPECT_EQ(prompts.asked.first().what, QStringLiteral("options"));
    EXPECT_EQ(web.addressBar()->Text(), server.url(QStringLiteral("/page.html")));
    EXPECT_EQ(cached(), QStringList());
}

TEST_F(AddressBar, RecordsRunJobsAndAreRefusedWhileADialogIsOpen) {
    TFormKelvane& w = open();
    const QString report = dir.filePath(QStringLiteral("report.txt"));
    const QString line = JoinCommandLine({"/usr/bin/kelvane", "-v", at("A/page.html"), report});
    EXPECT_EQ(w.CommandReceiver(1, line), crNotHandled);
    EXPECT_FALSE(QFileInfo::exists(report));
    EXPECT_EQ(w.CommandReceiver(0, QStringLiteral("kelvane")), crFailed) << "only a program path";
    EXPECT_EQ(w.CommandReceiver(0, JoinCommandLine({"kelvane", at("A/page.html")})), crFailed)
        << "a file without a job switch";
    EXPECT_EQ(w.CommandReceiver(0, JoinCommandLine({"kelvane", "-v", "a", "b", "c"})), crAccepted);
    EXPECT_EQ(w.CommandReceiver(0, line), crAccepted);
    EXPECT_TRUE(ReadAll(report).startsWith("Line 1, Column 1 - Warninig: missing <!DOCTYPE>"));
    EXPECT_TRUE(prompts.asked.isEmpty());

    // While the first job's dialog is open, a second record is refused and runs nothing.
    qint32 second = 99;
    int jobs = 0;
    w.RecordJob = [&](const ParsedCommandLine&) {
        ++jobs;
        QDialog dialog(&w);
        QTimer::singleShot(0, &dialog, [&] {
            second = w.CommandReceiver(0, line);
            dialog.accept();
        });
        return dialog.exec() == QDialog::Accepted;
    };
    EXPECT_EQ(w.CommandReceiver(0, JoinCommandLine({"kelvane", "-t", "x.html"})), crAccepted);
    EXPECT_EQ(second, crNotHandled);
    EXPECT_EQ(jobs, 1);

    // The window's own dialog is open: a validation into a named report runs, a job that
    // would need a dialog is turned away.
    w.RecordJob = {};
    QFile::remove(report);
    QDialog preferences(&w);
    qint32 validate = 99;
    qint32 tidy = 99;
    QTimer::singleShot(0, &preferences, [&] {
        validate = w.CommandReceiver(0, line);
        tidy = w.CommandReceiver(0, JoinCommandLine({"kelvane", "-t", at("A/page.html")}));
        preferences.reject();
    });
    preferences.exec();
    EXPECT_EQ(validate, crAccepted);
    EXPECT_TRUE(QFileInfo::exists(report));
    EXPECT_EQ(tidy, crNotHandled);
    EXPECT_TRUE(prompts.asked.isEmpty()) << "no options dialog was asked for";
}
