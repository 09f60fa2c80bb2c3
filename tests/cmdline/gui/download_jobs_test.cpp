// Jobs on web addresses leave nothing in the download folder once they have read the page.

#include "cmdline/gui/CommandLineJobs.h"

#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "support/LocalHttpServer.h"
#include "support/gui/TFormDownload.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray kPage = "<html><head><title>t</title></head><body><p>served</body></html>";

class DownloadJobs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cache.isValid() && work.isValid());
        window.setDownloadFolder(cache.path());
        SetFormDownload(&window);
        server.route("/page.html", LocalHttpServer::Page(kPage));
    }
    void TearDown() override { SetFormDownload(nullptr); }

    QStringList cached() const {
        return QDir(cache.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    QString address() const { return server.url(QStringLiteral("/page.html")); }
    QString output(const char* name) const { return work.filePath(QLatin1String(name)); }

    QTemporaryDir cache;
    QTemporaryDir work;
    LocalHttpServer server;
    TFormDownload window;
    ScriptedPrompts prompts;
    ScopedPrompts scope{prompts};
};

} // namespace

TEST_F(DownloadJobs, TheDownloadedCopyGoesOnceTheJobHasReadIt) {
    // Validation reads it once.
    EXPECT_TRUE(RunCommandLineJob(clfWebAddress, {jkValidate, 0}, address(), output("r.txt")));
    EXPECT_TRUE(ReadAll(output("r.txt")).contains("Line 1, Column 1"))
        << ReadAll(output("r.txt")).constData();
    EXPECT_EQ(cached(), QStringList());

    // Tidying shows it in the options dialog first; it is there until then.
    QString sample;
    bool sampleThere = false;
    prompts.onEditOptions = [&](const QString& path) {
        sample = path;
        sampleThere = QFileInfo(path).isFile();
    };
    prompts.optionsAnswers = {true, false};
    EXPECT_TRUE(RunCommandLineJob(clfWebAddress, {jkTidy, 0}, address(), output("t.html")));
    EXPECT_TRUE(sampleThere);
    EXPECT_EQ(QFileInfo(sample).absolutePath(), QFileInfo(cache.path()).absoluteFilePath());
    EXPECT_TRUE(ReadAll(output("t.html")).contains("<P>served</P>"));
    EXPECT_EQ(cached(), QStringList());

    // Cancelled in the dialog: gone all the same.
    EXPECT_FALSE(RunCommandLineJob(clfWebAddress, {jkTidy, 0}, address(), output("c.html")));
    EXPECT_FALSE(QFileInfo::exists(output("c.html")));
    EXPECT_EQ(cached(), QStringList());
    EXPECT_EQ(server.requests().size(), 3);
}

TEST_F(DownloadJobs, ALocalFileNamedLikeAnAddressIsNeverRemoved) {
    // With the web-address switch, an existing file of that name is read where it is.
    const QString local = work.filePath(QStringLiteral("http:"));
    ASSERT_TRUE(QDir(work.path()).mkpath(QStringLiteral("http:/x")));
    WriteAll(local + QStringLiteral("/x/page.html"), kPage);
    const QString name = local + QStringLiteral("//x/page.html"); // holds "http://"
    EXPECT_TRUE(RunCommandLineJob(clfWebAddress, {jkValidate, 0}, name, output("r.txt")));
    EXPECT_TRUE(QFileInfo(name).isFile());
    EXPECT_TRUE(server.requests().isEmpty());
}
