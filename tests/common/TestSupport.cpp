#include "common/TestSupport.h"

#include "support/Translation.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

QString TestDataPath(const QString& relative) {
    return QStringLiteral(KELVANE_TEST_DATA "/") + relative;
}

QString ExamplesPath(const QString& relative) {
    return QStringLiteral(KELVANE_EXAMPLES "/") + relative;
}

QString BinPath(const QString& program) {
    return QStringLiteral(KELVANE_BIN_DIR "/") + program;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

void SetReadOnly(const QString& path, bool readOnly) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    ASSERT_EQ(::stat(native.constData(), &st), 0) << path.toStdString();
    const mode_t mode = readOnly ? (st.st_mode & ~S_IWUSR) : (st.st_mode | S_IWUSR);
    ASSERT_EQ(::chmod(native.constData(), mode), 0);
}

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

void LoadLanguageText(const QString& folder, const QByteArray& content) {
    WriteAll(folder + QStringLiteral("/lang.txt"), content);
    LoadLanguageFile(folder + QLatin1Char('/'));
}
