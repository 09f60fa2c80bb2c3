#include "common/ScriptedPrompts.h"
#include "support/LocalHttpServer.h"
#include "support/Prompts.h"
#include "support/gui/OpenWebAddress.h"
#include "support/gui/TFormDownload.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QString Text(const TFormDownload& form, const char* label) {
    const auto* widget = form.findChild<QLabel*>(QString::fromLatin1(label));
    return widget ? widget->text() : QStringLiteral("<missing %1>").arg(QLatin1String(label));
}

class DownloadWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        form.setDownloadFolder(folder.path());
        // No test may wait for a person: a window still open after a while is closed.
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, &form, [this] {
            timedOut = true;
            form.reject();
        });
        safety.start(10000);
    }
    QStringList Files() const {
        return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    QTemporaryDir folder;
    LocalHttpServer server;
    TFormDownload form;
    QTimer safety;
    bool timedOut = false;
};

} // namespace

TEST_F(DownloadWindowTest, WindowHasItsControlsAndFixedSize) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Downloading File"));
    EXPECT_NE(form.findChild<QProgressBar*>(QStringLiteral("Animate1")), nullptr);
    EXPECT_NE(form.findChild<QProgressBar*>(QStringLiteral("ProgressBar1")), nullptr);
    EXPECT_NE(form.findChild<QLabel*>(QStringLiteral("lblStatus")), nullptr);
    EXPECT_NE(form.findChild<QLabel*>(QStringLiteral("lblProgress")), nullptr);
    const auto* cancel = form.findChild<QPushButton*>(QStringLiteral("btnCancel"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
}

TEST_F(DownloadWindowTest, ExistingLocalFileReturnsAtOnceWithoutTheWindow) {
    const QString path = folder.filePath(QStringLiteral("here.html"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    int shows = 0;
    struct ShowCounter : QObject {
        int& count;
        explicit ShowCounter(int& c) : count(c) {}
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Show)
                ++count;
            return false;
        }
    } counter(shows);
    form.installEventFilter(&counter);

    QString name = path;
    EXPECT_TRUE(form.DownloadUrl(QStringLiteral("Downloading Web Page..."), name));
    EXPECT_EQ(name, path);
    EXPECT_EQ(shows, 0);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Downloading File"));
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(DownloadWindowTest, CompletePageReplacesTheNameWithTheLocalFile) {
    const QByteArray body = "<html><body>" + QByteArray(3000, 'p') + "</body></html>";
    bool visibleAtRequest = false;
    server.route("/site/page.html", [&](QTcpSocket* socket) {
        visibleAtRequest = form.isVisible();
        LocalHttpServer::Page(body)(socket);
    });
    QString name = server.url(QStringLiteral("/site/page.html"));

    EXPECT_TRUE(form.DownloadUrl(QStringLiteral("Downloading Web Page..."), name));
    EXPECT_TRUE(visibleAtRequest) << "the transfer starts once the window shows";
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(form.lastResult(), mrOk);
    EXPECT_EQ(name, folder.filePath(QStringLiteral("page.html")));
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), body);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Downloading Web Page..."));
    EXPECT_EQ(Text(form, "lblStatus"), QStringLiteral("page.html from (127.0.0.1)"));
    EXPECT_EQ(Text(form, "lblProgress"),
              QStringLiteral("%1 of %1 bytes completed.").arg(body.size()));
    EXPECT_FALSE(form.isVisible());
}

TEST_F(DownloadWindowTest, PageWithoutLengthAndAnAddressEndingInASlash) {
    server.route("/site/", LocalHttpServer::Chunked({"<html>", "</html>"}));
    QString name = server.url(QStringLiteral("/site/"));
    EXPECT_TRUE(form.DownloadUrl(QStringLiteral("Fetching"), name));
    EXPECT_EQ(Text(form, "lblStatus"), QStringLiteral("Downloading from (127.0.0.1)"));
    EXPECT_EQ(Text(form, "lblProgress"), QStringLiteral("13 bytes completed."));
    EXPECT_EQ(name, folder.filePath(QStringLiteral("index.html")));
}

TEST_F(DownloadWindowTest, CancelDuringTheTransferAnswersCancelAndKeepsNothing) {
    server.route("/slow.html", LocalHttpServer::Stalled(500000, 2000));
    bool sawProgress = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &form, [&] {
        if (!Text(form, "lblProgress").contains(QLatin1String("bytes completed.")))
            return;
        sawProgress = true;
        poll.stop();
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnCancel")),
                          Qt::LeftButton);
    });
    poll.start(10);

    const QString address = server.url(QStringLiteral("/slow.html"));
    QString name = address;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(form.DownloadUrl(QStringLiteral("Downloading Web Page..."), name));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(sawProgress);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(form.lastResult(), mrCancel);
    EXPECT_EQ(name, address);
    EXPECT_EQ(Files(), QStringList());
}

TEST_F(DownloadWindowTest, ErrorStatusFailsWithResultOk) {
    QString name = server.url(QStringLiteral("/missing.html"));
    const QString address = name;
    EXPECT_FALSE(form.DownloadUrl(QStringLiteral("Downloading Web Page..."), name));
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(form.lastResult(), mrOk);
    EXPECT_EQ(name, address);
    EXPECT_EQ(Files(), QStringList());
    EXPECT_EQ(server.requests(), QList<QByteArray>{"/missing.html"});
}

TEST_F(DownloadWindowTest, WithoutAConnectionNoTransferIsStarted) {
    QString name =
        QStringLiteral("http://127.0.0.1:%1/page.html").arg(LocalHttpServer::ClosedPort());
    const QString address = name;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(form.DownloadUrl(QStringLiteral("Downloading Web Page..."), name));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(form.lastResult(), mrOk);
    EXPECT_EQ(name, address);
    EXPECT_EQ(Text(form, "lblProgress"), QStringLiteral("Initializing Download."));
    EXPECT_EQ(Files(), QStringList());
}

TEST_F(DownloadWindowTest, TheWindowIsReusedForTheNextDownload) {
    server.route("/a.html", LocalHttpServer::Page("<p>a</p>"));
    server.route("/b.html", LocalHttpServer::Page("<p>bb</p>"));
    QString first = server.url(QStringLiteral("/missing.html"));
    EXPECT_FALSE(form.DownloadUrl(QStringLiteral("One"), first));
    QString second = server.url(QStringLiteral("/a.html"));
    EXPECT_TRUE(form.DownloadUrl(QStringLiteral("Two"), second));
    QString third = server.url(QStringLiteral("/b.html"));
    EXPECT_TRUE(form.DownloadUrl(QStringLiteral("Three"), third));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Three"));
    EXPECT_EQ(Files(), (QStringList{QStringLiteral("a.html"), QStringLiteral("b.html")}));
}

TEST(FormDownloadAccess, HoldsTheStartUpWindowUntilItGoes) {
    EXPECT_EQ(FormDownload(), nullptr);
    {
        TFormDownload form;
        SetFormDownload(&form);
        EXPECT_EQ(FormDownload(), &form);
    }
    EXPECT_EQ(FormDownload(), nullptr);
}

namespace {

class OpenWebAddressTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetWebAddressOpener([this](const QString& address) {
            opened << address;
            return true;
        });
    }
    void TearDown() override { SetWebAddressOpener({}); }
    QStringList opened;
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(OpenWebAddressTest, ReachableAddressOpensWithoutItsFragment) {
    LocalHttpServer server;
    ScopedPrompts scope(prompts);
    EXPECT_TRUE(OpenWebAddress(server.url(QStringLiteral("/help/page.html#section-2#x"))));
    EXPECT_EQ(opened, QStringList{server.url(QStringLiteral("/help/page.html"))});
    EXPECT_TRUE(prompts.asked.isEmpty());
    EXPECT_TRUE(server.requests().isEmpty()) << "a connection check, not a request";
}

TEST_F(OpenWebAddressTest, UnreachableAddressAsksFirst) {
    const QString address =
        QStringLiteral("http://127.0.0.1:%1/page.html").arg(LocalHttpServer::ClosedPort());
    ScopedPrompts scope(prompts);
    prompts.messageAnswers = {mrNo, mrYes};

    EXPECT_FALSE(OpenWebAddress(address + QStringLiteral("#top")));
    EXPECT_TRUE(opened.isEmpty());
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(prompts.asked[0].text,
              QStringLiteral("You don't seem to be connected to the internet. Do you wish to "
                             "connect now?"));
    EXPECT_EQ(prompts.asked[0].kind, DialogKind::Confirmation);
    EXPECT_EQ(prompts.asked[0].buttons, Button::Yes | Button::No);

    EXPECT_TRUE(OpenWebAddress(address + QStringLiteral("#top")));
    EXPECT_EQ(opened, QStringList{address});
}

TEST_F(OpenWebAddressTest, AddressesNeedingNoNetworkOpenWithoutACheck) {
    ScopedPrompts scope(prompts);
    EXPECT_TRUE(OpenWebAddress(QStringLiteral("mailto:someone@example.com")));
    EXPECT_TRUE(OpenWebAddress(QStringLiteral("/usr/share/doc/index.html#intro")));
    EXPECT_EQ(opened, (QStringList{QStringLiteral("mailto:someone@example.com"),
                                   QStringLiteral("/usr/share/doc/index.html")}));
    EXPECT_TRUE(prompts.asked.isEmpty());
}
